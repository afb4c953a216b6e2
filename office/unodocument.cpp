#include "office/unodocument.h"

#include "common/files.h"
#include "common/filesync.h"
#include "common/systemcause.h"
#include "office/unocomponent.h"
#include "office/unofind.h"
#include "office/unoproperty.h"
#include "office/unorange.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <com/sun/star/frame/XController.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/text/XPageCursor.hpp>
#include <com/sun/star/text/XText.hpp>
#include <com/sun/star/text/XTextCursor.hpp>
#include <com/sun/star/text/XTextViewCursor.hpp>
#include <com/sun/star/text/XTextViewCursorSupplier.hpp>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace com::sun::star;
using namespace com::sun::star::uno;

namespace office::detail {

namespace {

// Below this much free space a failed write is taken for a full disk.
constexpr qint64 lowSpaceBytes = 1 << 20;

bool isFolderCause(int err)
{
    return err == ENOSPC || err == EDQUOT || err == EROFS || err == EACCES || err == EPERM ||
           err == ENOENT || err == ENOTDIR;
}

[[noreturn]] void throwFolderFailure(const QString& dir, int err)
{
    throw morvanta::Error(morvanta::errc::OutputFolderFailed,
                          morvanta::folderFailureText(dir, err));
}

// Why the office failed to write into `dir`, when the folder is to blame: the
// office names an I/O failure ("Error Area:Io", "Class:Space"), or it hung or
// ended while writing, and the folder is full, read-only or gone. 0 otherwise.
int folderCauseOfStoreFailure(const QString& dir, const morvanta::Error& failure)
{
    const QString& detail = failure.description();
    const int now = morvanta::folderWriteProblem(dir, lowSpaceBytes);
    if (now != 0 && (detail.contains(QStringLiteral("Error Area:Io")) ||
                     failure.number() == morvanta::errc::OfficeNoAnswer ||
                     failure.number() == morvanta::errc::OfficeGone))
        return now;
    if (detail.contains(QStringLiteral("Error Area:Io")) &&
        detail.contains(QStringLiteral("Class:Space")))
        return ENOSPC;
    return 0;
}

} // namespace

UnoDocument::UnoDocument(std::shared_ptr<Connection> connection,
                         Reference<lang::XComponent> component, QString path, QString filterName)
    : connection_(std::move(connection)), component_(std::move(component)), path_(std::move(path)),
      filterName_(std::move(filterName)), pageSetup_(*this)
{
}

UnoDocument::~UnoDocument()
{
    try {
        Close();
    } catch (...) {
    }
}

Connection& UnoDocument::connection()
{
    if (!component_.is())
        throw morvanta::Error(morvanta::errc::OfficeFailure,
                              QStringLiteral("文档“%1”已经关闭。").arg(path_));
    return *connection_;
}

// The document's interfaces are asked for once and kept: every query is a
// round trip to the office.
Reference<text::XTextDocument> UnoDocument::textDocument()
{
    if (!textDocument_.is())
        textDocument_.set(component_, UNO_QUERY_THROW);
    return textDocument_;
}

const Reference<util::XSearchable>& UnoDocument::searchable()
{
    if (!searchable_.is())
        searchable_.set(component_, UNO_QUERY_THROW);
    return searchable_;
}

std::unique_ptr<word::Range> UnoDocument::Range(int start, int end)
{
    if (start < 0 || end < start)
        throw morvanta::Error(morvanta::errc::InvalidValue,
                              QStringLiteral("文本范围 %1 到 %2 无效。").arg(start).arg(end));
    return connection().call(
        [&] {
            const Reference<text::XTextCursor> cursor =
                textDocument()->getText()->createTextCursor();
            cursor->gotoStart(false);
            // Moves are 16-bit in the office's API.
            for (int left = start; left > 0; left -= 32767)
                cursor->goRight(static_cast<sal_Int16>(std::min(left, 32767)), false);
            for (int left = end - start; left > 0; left -= 32767)
                cursor->goRight(static_cast<sal_Int16>(std::min(left, 32767)), true);
            // A cursor is a range: no need to ask the office for one.
            return std::make_unique<UnoRange>(*this, Reference<text::XTextRange>(cursor.get()));
        },
        describeAs(morvanta::errc::OfficeFailure,
                   QStringLiteral("无法在“%1”中取得文本范围").arg(path_)));
}

void UnoDocument::SaveAs(const QString& fileName)
{
    std::vector<beans::PropertyValue> props = {property("Overwrite", Any(true))};
    if (!filterName_.isEmpty())
        props.push_back(property("FilterName", Any(toOUString(filterName_))));
    storeStaged(fileName, props);
}

void UnoDocument::ExportAsFixedFormat(const QString& outputFileName, int format, bool scratch)
{
    if (format != word::wdExportFormatPDF)
        throw morvanta::Error(morvanta::errc::InvalidValue,
                              QStringLiteral("不支持导出格式 %1。").arg(format));
    // Every page as laid out, in its own size; no bookmarks or notes, which
    // a print does not show either.
    const std::vector<beans::PropertyValue> filterData = {
        property("ExportBookmarks", Any(false)),
        property("ExportNotes", Any(false)),
        property("IsSkipEmptyPages", Any(false)),
    };
    const std::vector<beans::PropertyValue> props = {
        property("Overwrite", Any(true)),
        property("FilterName", Any(toOUString(QStringLiteral("writer_pdf_Export")))),
        property("FilterData", Any(Sequence<beans::PropertyValue>(
                                   filterData.data(), static_cast<sal_Int32>(filterData.size())))),
    };
    if (!scratch) {
        storeStaged(outputFileName, props);
        return;
    }
    const QString dir = checkedTargetFolder(outputFileName);
    try {
        storeAt(outputFileName, outputFileName, props);
    } catch (const morvanta::Error& failure) {
        if (const int cause = folderCauseOfStoreFailure(dir, failure))
            throwFolderFailure(dir, cause);
        throw;
    }
}

int UnoDocument::ComputeStatistics(int statistic)
{
    if (statistic != word::wdStatisticPages)
        throw morvanta::Error(morvanta::errc::InvalidValue,
                              QStringLiteral("不支持统计项 %1。").arg(statistic));
    Connection& c = connection();
    return c.call(
        [&] {
            // The view cursor's last page is the page count of the layout
            // the office prints and exports.
            const Reference<frame::XModel> model(component_, UNO_QUERY_THROW);
            const Reference<text::XTextViewCursorSupplier> views(model->getCurrentController(),
                                                                 UNO_QUERY_THROW);
            const Reference<text::XPageCursor> pages(views->getViewCursor(), UNO_QUERY_THROW);
            pages->jumpToLastPage();
            return int(pages->getPage());
        },
        describeAs(morvanta::errc::OfficeFailure, QStringLiteral("无法取得“%1”的页数").arg(path_)));
}

namespace {

// `text` as an ICU regular expression that matches it literally.
QString literalPattern(const QString& text)
{
    static const QString special = QStringLiteral("\\^$.|?*+()[]{}");
    QString pattern;
    for (const QChar c : text) {
        if (special.contains(c))
            pattern += u'\\';
        pattern += c;
    }
    return pattern;
}

} // namespace

QString UnoDocument::FirstFound(const QStringList& texts)
{
    QStringList alternatives;
    for (const QString& text : texts) {
        if (!text.isEmpty())
            alternatives << literalPattern(text);
    }
    if (alternatives.isEmpty())
        return {};
    return connection().call(
        [&] {
            // One pattern of alternatives: a single search, where a search
            // per text costs a round trip to the office each.
            const Reference<text::XTextRange> hit(
                searchable()->findFirst(
                    searchDescriptor(*this, alternatives.join(u'|'),
                                     SearchFlag::CaseSensitive | SearchFlag::Pattern)),
                UNO_QUERY);
            return hit.is() ? toQString(hit->getString()) : QString();
        },
        describeAs(morvanta::errc::OfficeFailure, QStringLiteral("无法在“%1”中查找").arg(path_)));
}

QString UnoDocument::checkedTargetFolder(const QString& fileName)
{
    const QFileInfo target(fileName);
    const QString dir = target.absolutePath();
    if (!QFileInfo(dir).isDir())
        throw morvanta::Error(
            morvanta::errc::PathNotFound,
            QStringLiteral("无法保存“%1”：文件夹“%2”不存在。").arg(fileName, dir));
    if (target.isDir())
        throw morvanta::Error(morvanta::errc::PermissionDenied,
                              QStringLiteral("无法保存“%1”：该位置是一个文件夹。").arg(fileName));
    if (!QFileInfo(dir).isWritable())
        throw morvanta::Error(
            morvanta::errc::PermissionDenied,
            QStringLiteral("无法保存“%1”：没有写入文件夹“%2”的权限。").arg(fileName, dir));
    return dir;
}

void UnoDocument::storeAt(const QString& path, const QString& fileName,
                          const std::vector<beans::PropertyValue>& props)
{
    connection().call(
        [&] {
            const Reference<frame::XStorable> storable(component_, UNO_QUERY_THROW);
            storable->storeToURL(
                toOUString(fileUrl(path)),
                Sequence<beans::PropertyValue>(props.data(), static_cast<sal_Int32>(props.size())));
        },
        describeAs(morvanta::errc::WriteFailed, QStringLiteral("无法写入文件“%1”").arg(fileName)));
}

void UnoDocument::storeStaged(const QString& fileName,
                              const std::vector<beans::PropertyValue>& props)
{
    Connection& c = connection();
    const QString dir = checkedTargetFolder(fileName);

    // Written into a hidden staging folder beside the target, then renamed
    // over it: the name shows either the old file or the complete new one.
    // The office puts its own scratch file beside what it writes, so the
    // staging folder also keeps that out of the operator's folder, and it is
    // removed with the office should the program be killed during a save.
    // Made new and private under an unguessable name for every save, so
    // nothing planted there is written into or removed, and removed without
    // following links. It is listed before it exists: a kill right after
    // the mkdir leaves nothing behind.
    QString staging;
    for (int attempt = 0;; ++attempt) {
        staging = dir + QStringLiteral("/.~morvanta-%1-%2")
                            .arg(::getpid())
                            .arg(QRandomGenerator::global()->generate64(), 16, 16, QChar(u'0'));
        c.addLeftover(staging);
        if (::mkdir(QFile::encodeName(staging).constData(), 0700) == 0)
            break;
        const int err = errno;
        c.removeLeftover(staging);
        if (isFolderCause(err))
            throwFolderFailure(dir, err);
        if (err != EEXIST || attempt == 8)
            throw morvanta::Error(
                morvanta::errc::PermissionDenied,
                QStringLiteral("无法保存“%1”：无法在文件夹“%2”中建立临时文件夹（%3）。")
                    .arg(fileName, dir, morvanta::systemCause(err)));
    }
    const QString temp = staging + QStringLiteral("/document.tmp");
    const auto discard = [&] {
        if (morvanta::removeTree(staging))
            c.removeLeftover(staging);
    };
    try {
        storeAt(temp, fileName, props);
    } catch (const morvanta::Error& failure) {
        discard();
        if (const int cause = folderCauseOfStoreFailure(dir, failure))
            throwFolderFailure(dir, cause);
        throw;
    } catch (...) {
        discard();
        throw;
    }
    // On disk before it gets its name: a power cut must not leave an empty
    // document under the final name.
    if (QString reason; !filesync::syncToDisk(temp, &reason)) {
        discard();
        if (const int cause = morvanta::folderWriteProblem(dir, lowSpaceBytes))
            throwFolderFailure(dir, cause);
        throw morvanta::Error(
            morvanta::errc::WriteFailed,
            QStringLiteral("无法保存“%1”：文件未能完整写入磁盘（%2）。").arg(fileName, reason));
    }
    if (::rename(QFile::encodeName(temp).constData(), QFile::encodeName(fileName).constData()) !=
        0) {
        const int err = errno;
        discard();
        if (err == ENOSPC || err == EDQUOT || err == EROFS ||
            ((err == ENOENT || err == ENOTDIR) && !QFileInfo(dir).isDir()))
            throwFolderFailure(dir, err);
        const int number = err == ENAMETOOLONG ? morvanta::errc::BadFileName
                           : (err == EACCES || err == EPERM || err == EISDIR)
                               ? morvanta::errc::PermissionDenied
                               : morvanta::errc::WriteFailed;
        throw morvanta::Error(
            number, QStringLiteral("无法保存“%1”：%2").arg(fileName, morvanta::systemCause(err)));
    }
    discard();
}

void UnoDocument::Close()
{
    if (!component_.is())
        return;
    const Reference<lang::XComponent> doc = component_;
    component_.clear();
    textDocument_.clear();
    searchable_.clear();
    closeComponent(*connection_, doc, path_);
}

} // namespace office::detail
