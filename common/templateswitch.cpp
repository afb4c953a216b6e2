#include "common/templateswitch.h"

#include "common/error.h"
#include "common/filesync.h"
#include "common/paths.h"
#include "common/staleleftovers.h"
#include "common/systemcause.h"
#include "common/workingcopy.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QTemporaryFile>

#include <optional>
#include <vector>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <cerrno>
#include <cstdio>
#endif

namespace templateswitch {

namespace {

const QString kJournalName = QStringLiteral(".templates-switch");

QString journalPath()
{
    return paths::templatesDir() + kJournalName;
}

// The temporary files of a journal being written; only written with the
// switch lock held.
const QStringList kJournalDrafts{kJournalName + QStringLiteral("-??????")};

void removeJournalDrafts()
{
    QDir folder(paths::templatesDir());
    for (const QString& name : folder.entryList(kJournalDrafts, QDir::Files | QDir::Hidden))
        folder.remove(name);
}

// One journal line: a rename of `source` over `target`, or, with no target,
// the removal of `source`. Both are names inside the templates folder.
struct Step
{
    QString source;
    QString target;
};

[[noreturn]] void fail(int number, const QString& text)
{
    throw morvanta::Error(number, text);
}

QString nativePath(const QString& name)
{
    return QDir::toNativeSeparators(paths::templatesDir() + name);
}

QString lastSystemError()
{
#ifdef Q_OS_WIN
    return QString::number(GetLastError());
#else
    return morvanta::lastSystemCause();
#endif
}

// Makes the folder's entries durable. A failure is reported: the renames and
// the journal that it is to make last might not survive a power cut.
void syncFolder()
{
    QString reason;
    if (!filesync::syncToDisk(paths::templatesDir(), &reason))
        fail(morvanta::errc::WriteFailed,
             QStringLiteral("无法把模板文件夹“%1”中的更改写入磁盘：%2")
                 .arg(QDir::toNativeSeparators(paths::templatesDir()), reason));
}

// Renames within the templates folder in one step; false with the system's
// error when the source is missing (ENOENT) is told apart by the caller.
bool renameInFolder(const QString& source, const QString& target, bool* sourceMissing)
{
    const QString from = paths::templatesDir() + source;
    const QString to = paths::templatesDir() + target;
#ifdef Q_OS_WIN
    if (MoveFileExW(reinterpret_cast<LPCWSTR>(from.utf16()), reinterpret_cast<LPCWSTR>(to.utf16()),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    *sourceMissing = GetLastError() == ERROR_FILE_NOT_FOUND;
    return false;
#else
    if (std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0)
        return true;
    *sourceMissing = errno == ENOENT && QFileInfo(paths::templatesDir()).isDir();
    return false;
#endif
}

QString templateName(paths::TemplateKind kind)
{
    return QFileInfo(paths::templateFile(kind)).fileName();
}

QByteArray journalText(const std::vector<Step>& steps)
{
    QByteArray text;
    for (const Step& step : steps) {
        text += step.target.isEmpty()
                    ? "remove\t" + step.source.toUtf8() + '\n'
                    : "rename\t" + step.source.toUtf8() + '\t' + step.target.toUtf8() + '\n';
    }
    return text;
}

// The steps of a journal; nothing when it is not one this code wrote (only
// working copies may be renamed, only over the two templates), so a planted
// file cannot move or remove anything else.
std::optional<std::vector<Step>> parseJournal(const QByteArray& text)
{
    const QString original = templateName(paths::TemplateKind::Original);
    const QString duplicate = templateName(paths::TemplateKind::Duplicate);
    std::vector<Step> steps;
    for (const QByteArray& line : text.split('\n')) {
        if (line.isEmpty())
            continue;
        const QStringList fields = QString::fromUtf8(line).split(u'\t');
        if (fields.size() == 3 && fields[0] == QStringLiteral("rename") &&
            workingcopy::isTemplateCopy(fields[1]) &&
            (fields[2] == original || fields[2] == duplicate)) {
            steps.push_back({fields[1], fields[2]});
        } else if (fields.size() == 2 && fields[0] == QStringLiteral("remove") &&
                   workingcopy::isTemplateCopy(fields[1])) {
            steps.push_back({fields[1], QString()});
        } else {
            return std::nullopt;
        }
    }
    return steps;
}

// Writes the journal whole under a temporary name, makes it durable and
// renames it into place, so it is either absent, the previous one, or
// complete.
void writeJournal(const std::vector<Step>& steps)
{
    QTemporaryFile file(journalPath() + QStringLiteral("-XXXXXX"));
    file.setAutoRemove(false);
    const auto refuse = [&](const QString& detail) {
        if (!file.fileName().isEmpty())
            QFile::remove(file.fileName());
        fail(morvanta::errc::WriteFailed,
             QStringLiteral("无法在模板文件夹“%1”中记录模板的更换：%2")
                 .arg(QDir::toNativeSeparators(paths::templatesDir()), detail));
    };
    if (!file.open())
        refuse(lastSystemError());
    const QByteArray text = journalText(steps);
    if (file.write(text) != text.size() || !file.flush())
        refuse(lastSystemError());
    file.close();
    if (QString reason; !filesync::syncToDisk(file.fileName(), &reason))
        refuse(reason);
    bool missing = false;
    if (!renameInFolder(QFileInfo(file.fileName()).fileName(), kJournalName, &missing))
        refuse(lastSystemError());
    syncFolder();
}

void removeJournal()
{
    QFile::remove(journalPath());
    // A removal lost to a power cut only has the journal carried out once
    // more, which finds every step done: a failure here loses nothing.
    filesync::syncToDisk(paths::templatesDir());
}

// Carries out the steps in order. A source that is gone was renamed or
// removed by an earlier attempt: the journal only names copies made before it.
void apply(const std::vector<Step>& steps)
{
    for (const Step& step : steps) {
        if (step.target.isEmpty()) {
            QFile::remove(paths::templatesDir() + step.source);
            continue;
        }
        bool missing = false;
        if (!renameInFolder(step.source, step.target, &missing) && !missing)
            fail(morvanta::errc::WriteFailed,
                 QStringLiteral("无法用“%1”替换模板文件“%2”：%3")
                     .arg(nativePath(step.source), nativePath(step.target), lastSystemError()));
    }
    syncFolder();
}

// Held while a switch is written, carried out or completed.
class SwitchLock
{
public:
    explicit SwitchLock(int waitMs = 10000) : lock_(journalPath() + QStringLiteral(".lock"))
    {
        // A switch takes milliseconds; a holder that died leaves a stale
        // lock, which QLockFile recognises and takes over.
        if (lock_.tryLock(waitMs))
            return;
        fail(
            lock_.error() == QLockFile::LockFailedError ? morvanta::errc::WriteFailed
                                                        : morvanta::errc::PermissionDenied,
            QStringLiteral("无法更换模板：模板文件夹“%1”正被另一个程序使用或不可写入，请稍后再试。")
                .arg(QDir::toNativeSeparators(paths::templatesDir())));
    }

private:
    QLockFile lock_;
};

// With the lock held: completes the pending journal, if any.
void finishLocked()
{
    QFile journal(journalPath());
    if (!journal.open(QIODevice::ReadOnly))
        return; // none pending, or completed meanwhile by another program
    const std::optional<std::vector<Step>> steps = parseJournal(journal.readAll());
    journal.close();
    if (steps) {
        try {
            apply(*steps);
        } catch (const morvanta::Error& error) {
            fail(error.number(),
                 QStringLiteral("上次未完成的模板更换无法完成，正本和副本模板可能不一致：") +
                     error.description());
        }
    }
    removeJournal();
}

} // namespace

void replaceBoth(const Files& files, const std::function<void()>& betweenRenames)
{
    const QString originalCopy = QFileInfo(files.originalCopy).fileName();
    const QString duplicateCopy = QFileInfo(files.duplicateCopy).fileName();
    const QString backup = QFileInfo(files.originalBackup).fileName();
    const QString original = templateName(paths::TemplateKind::Original);
    const QString duplicate = templateName(paths::TemplateKind::Duplicate);
    const auto discard = [&] {
        for (const QString& name : {originalCopy, duplicateCopy, backup})
            QFile::remove(paths::templatesDir() + name);
    };

    std::optional<SwitchLock> lock;
    try {
        lock.emplace();
        removeJournalDrafts(); // with the lock held, any there is a killed program's
        finishLocked();        // an older switch first: ours would overwrite its journal
        writeJournal({{originalCopy, original}, {duplicateCopy, duplicate}, {backup, QString()}});
    } catch (...) {
        discard();
        throw;
    }

    bool missing = false;
    if (!renameInFolder(originalCopy, original, &missing)) {
        const QString reason = lastSystemError();
        removeJournal();
        discard();
        fail(morvanta::errc::WriteFailed,
             QStringLiteral("无法替换模板文件“%1”：%2").arg(nativePath(original), reason));
    }
    if (betweenRenames)
        betweenRenames();
    if (!renameInFolder(duplicateCopy, duplicate, &missing)) {
        const QString reason = lastSystemError();
        // The old original goes back; written down first, so that dying
        // during the way back still ends with both templates old.
        writeJournal({{backup, original}, {duplicateCopy, QString()}});
        apply({{backup, original}, {duplicateCopy, QString()}});
        removeJournal();
        fail(morvanta::errc::WriteFailed,
             QStringLiteral("无法替换模板文件“%1”：%2").arg(nativePath(duplicate), reason));
    }
    QFile::remove(paths::templatesDir() + backup);
    syncFolder();
    removeJournal();
}

void finishInterrupted()
{
    if (!QFileInfo::exists(journalPath()))
        return;
    SwitchLock lock;
    finishLocked();
}

void clearStaleCopies()
{
    finishInterrupted();
    QDir folder(paths::templatesDir());
    for (const QString& name :
         folder.entryList({QStringLiteral(".*")}, QDir::Files | QDir::Hidden | QDir::System)) {
        if (!workingcopy::isTemplateCopy(name))
            continue;
        const qint64 owner = workingcopy::ownerOf(name);
        if (owner == 0 || staleleftovers::ownerGone(owner))
            folder.remove(name);
    }
    if (folder.entryList(kJournalDrafts, QDir::Files | QDir::Hidden).isEmpty())
        return;
    try {
        SwitchLock lock(200); // held by a running switch: its drafts stay
        removeJournalDrafts();
    } catch (const morvanta::Error&) {
    }
}

} // namespace templateswitch
