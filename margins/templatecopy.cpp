#include "margins/templatecopy.h"

#include "common/filesync.h"
#include "common/workingcopy.h"

#include "common/error.h"
#include "common/files.h"
#include "common/systemcause.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

namespace margins {

namespace {

[[noreturn]] void fail(int number, const QString& what, const QString& path, const QString& detail)
{
    throw morvanta::Error(
        number, QStringLiteral("%1“%2”：%3").arg(what, QDir::toNativeSeparators(path), detail));
}

} // namespace

TemplateCopy::TemplateCopy(const QString& templatePath)
{
    if (!morvanta::isOrdinaryFile(templatePath)) {
        fail(morvanta::errc::FileNotFound, QStringLiteral("找不到模板文件"), templatePath,
             QStringLiteral("文件不存在或不是普通文件"));
    }
    QFile source(templatePath);
    if (!source.open(QIODevice::ReadOnly)) {
        fail(morvanta::errc::PermissionDenied, QStringLiteral("无法读取模板文件"), templatePath,
             morvanta::lastSystemCause());
    }
    const QByteArray content = source.readAll();
    if (source.error() != QFileDevice::NoError) {
        fail(morvanta::errc::PermissionDenied, QStringLiteral("无法读取模板文件"), templatePath,
             morvanta::lastSystemCause());
    }

    QTemporaryFile copy(workingcopy::nameTemplate(templatePath));
    copy.setAutoRemove(false);
    if (!copy.open()) {
        fail(morvanta::errc::PermissionDenied, QStringLiteral("无法在模板文件夹中建立临时文件"),
             QFileInfo(templatePath).absolutePath(), morvanta::lastSystemCause());
    }
    copyPath_ = copy.fileName();
    const bool written = copy.write(content) == content.size() && copy.flush();
    const QString writeError = morvanta::lastSystemCause();
    copy.close();
    if (!written) {
        QFile::remove(copyPath_);
        fail(morvanta::errc::WriteFailed, QStringLiteral("无法写入临时文件"), copyPath_,
             writeError);
    }
    permissions_ = static_cast<int>(source.permissions().toInt());
}

TemplateCopy::~TemplateCopy()
{
    if (!released_)
        QFile::remove(copyPath_);
}

void TemplateCopy::prepare()
{
    // The word processor may have saved the copy as a new file; the replaced
    // template keeps the access rights the old one had.
    QFile::setPermissions(copyPath_, QFileDevice::Permissions::fromInt(permissions_));
    // On disk before the rename publishes it: a power cut must not leave a
    // template cut short under the template's name.
    if (QString reason; !filesync::syncToDisk(copyPath_, &reason))
        fail(morvanta::errc::WriteFailed, QStringLiteral("无法写入临时文件"), copyPath_, reason);
}

} // namespace margins
