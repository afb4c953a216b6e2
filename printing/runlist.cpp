#include "runlist.h"

#include "common/systemcause.h"
#include "printfailure.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace printing {

namespace {

const QString listName = QStringLiteral(".morvanta-run");
const QByteArray listHeader = "morvanta-run 1";

// A certificate number that can be part of a file name in one folder.
bool usableCertificate(const QString& certificate)
{
    if (certificate.isEmpty() || certificate == u"." || certificate == u"..")
        return false;
    for (const QChar c : certificate) {
        if (c == u'/' || c == u'\\' || c.unicode() < 0x20 || c.unicode() == 0x7f)
            return false;
    }
    return true;
}

QString documentLabel(const DocumentRef& document)
{
    return QStringLiteral("证书“%1”（%2）").arg(document.certificate, kindName(document.kind));
}

} // namespace

QString DocumentRef::fileName() const
{
    return documentFileName(certificate, kind);
}

std::optional<DocumentRef> parseDocumentFileName(const QString& fileName)
{
    for (const auto kind : {paths::TemplateKind::Original, paths::TemplateKind::Duplicate}) {
        const QString suffix = documentFileName(QString(), kind);
        if (fileName.endsWith(suffix)) {
            const QString certificate = fileName.chopped(suffix.size());
            if (!usableCertificate(certificate))
                return std::nullopt;
            return DocumentRef{certificate, kind};
        }
    }
    return std::nullopt;
}

QString runListPath(const QString& outputDir)
{
    return outputDir + listName;
}

void writeRunList(const QList<DocumentRef>& documents, const QString& outputDir)
{
    QByteArray text = listHeader + '\n';
    for (const DocumentRef& document : documents) {
        if (!usableCertificate(document.certificate))
            throw PrintFailure(QStringLiteral("%1不能作为文件名，无法记入本次生成的清单。")
                                   .arg(documentLabel(document)));
        text += document.fileName().toUtf8() + '\n';
    }
    QSaveFile file(runListPath(outputDir));
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit())
        throw PrintFailure(QStringLiteral("无法写入本次生成的清单“%1”：%2")
                               .arg(QDir::toNativeSeparators(runListPath(outputDir)),
                                    morvanta::fileErrorCause(file.errorString())));
}

RunList readRunList(const QString& outputDir)
{
    RunList list;
    QFile file(runListPath(outputDir));
    if (!file.exists())
        return list;
    if (!file.open(QIODevice::ReadOnly)) {
        list.problems << QStringLiteral("无法读取最近一次生成的清单“%1”：%2")
                             .arg(QDir::toNativeSeparators(file.fileName()),
                                  morvanta::fileErrorCause(file.errorString()));
        return list;
    }
    const QList<QByteArray> lines = file.readAll().split('\n');
    if (lines.value(0) != listHeader) {
        list.problems << QStringLiteral("最近一次生成的清单“%1”不是本程序写的，已忽略。")
                             .arg(QDir::toNativeSeparators(file.fileName()));
        return list;
    }
    for (qsizetype i = 1; i < lines.size(); ++i) {
        if (lines[i].isEmpty())
            continue;
        const QString name = QString::fromUtf8(lines[i]);
        if (const auto document = parseDocumentFileName(name))
            list.documents << *document;
        else
            list.problems
                << QStringLiteral("清单中的“%1”不是正副本目录中的证书文件，已跳过。").arg(name);
    }
    return list;
}

QString resolveDocument(const DocumentRef& document, const QString& outputDir)
{
    if (!usableCertificate(document.certificate))
        throw PrintFailure(
            QStringLiteral("%1不是正副本目录中的文件名。").arg(documentLabel(document)));
    const QString folder = QFileInfo(outputDir).canonicalFilePath();
    const QFileInfo info(QDir(outputDir).filePath(document.fileName()));
    if (!info.exists() || folder.isEmpty())
        throw PrintFailure(
            QStringLiteral("找不到%1：“%2”不存在。")
                .arg(documentLabel(document), QDir::toNativeSeparators(info.filePath())));
    const QString target = info.canonicalFilePath();
    if (!target.startsWith(folder + u'/'))
        throw PrintFailure(QStringLiteral("%1指向正副本目录以外的“%2”，不予打印。")
                               .arg(documentLabel(document), QDir::toNativeSeparators(target)));
    if (!QFileInfo(target).isFile())
        throw PrintFailure(QStringLiteral("%1不是普通文件。").arg(documentLabel(document)));
    return target;
}

RunList documentsOfCertificates(const QStringList& certificates, const QString& outputDir)
{
    RunList list;
    for (const QString& certificate : certificates) {
        if (!usableCertificate(certificate)) {
            list.problems
                << QStringLiteral("证书号“%1”不能作为文件名，不在正副本目录中。").arg(certificate);
            continue;
        }
        bool found = false;
        for (const auto kind : {paths::TemplateKind::Original, paths::TemplateKind::Duplicate}) {
            const DocumentRef document{certificate, kind};
            const QFileInfo info(QDir(outputDir).filePath(document.fileName()));
            if (info.exists() || info.isSymLink()) {
                list.documents << document;
                found = true;
            }
        }
        if (!found)
            list.problems << QStringLiteral("正副本目录中没有证书“%1”的文档。").arg(certificate);
    }
    return list;
}

} // namespace printing
