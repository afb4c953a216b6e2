#include "common/staleleftovers.h"

#include "common/files.h"
#include "common/paths.h"
#include "common/templateswitch.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <exception>

#include <unistd.h>

namespace staleleftovers {

namespace {

// The process names (as /proc/<pid>/comm shows them, at most 15 bytes) of
// the programs that make working copies or staging folders.
bool isOurProgram(const QByteArray& comm)
{
    static const QByteArray kNames[] = {"Morvanta", "MorvantaConsole", "Tolberin", "morvanta-print",
                                        "MorvantaPrint"};
    for (const QByteArray& name : kNames)
        if (comm == name)
            return true;
    return false;
}

} // namespace

bool ownerGone(qint64 pid)
{
    if (pid <= 0)
        return true;
    if (pid == QCoreApplication::applicationPid())
        return false;
    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
    if (!comm.open(QIODevice::ReadOnly))
        return !QFile::exists(QStringLiteral("/proc/%1").arg(pid));
    return !isOurProgram(comm.readAll().trimmed());
}

qint64 stagingOwner(const QString& name)
{
    static const QRegularExpression staging(
        QStringLiteral("^\\.~morvanta-([1-9][0-9]{0,9})-[0-9a-f]{16}$"));
    const QRegularExpressionMatch match = staging.match(name);
    return match.hasMatch() ? match.captured(1).toLongLong() : 0;
}

void removeStaleStagingFolders(const QString& folder)
{
    const QDir dir(folder);
    for (const QString& name : dir.entryList({QStringLiteral(".~morvanta-*")},
                                             QDir::AllEntries | QDir::Hidden | QDir::System)) {
        const qint64 owner = stagingOwner(name);
        if (owner > 0 && ownerGone(owner))
            morvanta::removeTree(dir.filePath(name));
    }
}

qint64 printFolderOwner(const QString& name)
{
    static const QRegularExpression folder(
        QStringLiteral("^morvanta-print-([1-9][0-9]{0,9})-[A-Za-z0-9]{6}$"));
    const QRegularExpressionMatch match = folder.match(name);
    return match.hasMatch() ? match.captured(1).toLongLong() : 0;
}

QStringList stalePrintFolders(const QString& folder)
{
    // Ours are folders; a link of that name is somebody else's and not followed.
    QStringList stale;
    for (const QFileInfo& entry : QDir(folder).entryInfoList({QStringLiteral("morvanta-print-*")},
                                                             QDir::Dirs | QDir::NoSymLinks)) {
        const qint64 owner = printFolderOwner(entry.fileName());
        if (owner > 0 && entry.ownerId() == ::geteuid() && ownerGone(owner))
            stale << entry.filePath();
    }
    return stale;
}

void removeStalePrintFolders(const QString& folder)
{
    for (const QString& path : stalePrintFolders(folder))
        morvanta::removeTree(path);
}

void clearAtStart()
{
    try {
        templateswitch::clearStaleCopies();
    } catch (const std::exception&) {
        // The switch is reported where the templates are used.
    }
    removeStaleStagingFolders(paths::templatesDir());
    removeStaleStagingFolders(paths::outputDir());
    removeStalePrintFolders(QDir::tempPath());
}

} // namespace staleleftovers
