#include "pdffiles.h"

#include "common/systemcause.h"
#include "printfailure.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFPageObjectHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include <cmath>
#include <cstdio>
#include <memory>
#include <unistd.h>
#include <vector>

namespace printing {

namespace {

std::unique_ptr<QPDF> openPdf(const QString& path)
{
    auto pdf = std::make_unique<QPDF>();
    pdf->setSuppressWarnings(true);
    try {
        pdf->processFile(QFile::encodeName(path).constData());
    } catch (const std::exception& e) {
        throw PrintFailure(
            QStringLiteral("无法读取 PDF 文件“%1”：%2")
                .arg(QDir::toNativeSeparators(path), QString::fromLocal8Bit(e.what())));
    }
    return pdf;
}

PageSize shownSize(QPDFPageObjectHelper& page)
{
    const QPDFObjectHandle::Rectangle box = page.getCropBox().getArrayAsRectangle();
    PageSize size{std::abs(box.urx - box.llx), std::abs(box.ury - box.lly)};
    QPDFObjectHandle rotate = page.getAttribute("/Rotate", false);
    if (rotate.isInteger() && (rotate.getIntValue() % 180 + 180) % 180 == 90)
        std::swap(size.width, size.height);
    return size;
}

} // namespace

bool PageSize::sameAs(const PageSize& other) const
{
    return std::abs(width - other.width) < 1.0 && std::abs(height - other.height) < 1.0;
}

QList<PageSize> pdfPageSizes(const QString& path)
{
    const auto pdf = openPdf(path);
    QList<PageSize> sizes;
    try {
        for (QPDFPageObjectHelper& page : QPDFPageDocumentHelper(*pdf).getAllPages())
            sizes << shownSize(page);
    } catch (const std::exception& e) {
        throw PrintFailure(
            QStringLiteral("无法读取 PDF 文件“%1”的页面：%2")
                .arg(QDir::toNativeSeparators(path), QString::fromLocal8Bit(e.what())));
    }
    return sizes;
}

void joinPdfs(const QStringList& inputs, const QString& target)
{
    std::vector<std::unique_ptr<QPDF>> sources; // pages stay owned by their files until written
    QPDF joined;
    joined.emptyPDF();
    QPDFPageDocumentHelper pages(joined);
    for (const QString& input : inputs) {
        sources.push_back(openPdf(input));
        try {
            for (QPDFPageObjectHelper& page : QPDFPageDocumentHelper(*sources.back()).getAllPages())
                pages.addPage(page, false);
        } catch (const std::exception& e) {
            throw PrintFailure(
                QStringLiteral("无法合并 PDF 文件“%1”：%2")
                    .arg(QDir::toNativeSeparators(input), QString::fromLocal8Bit(e.what())));
        }
    }

    QSaveFile file(target);
    if (!file.open(QIODevice::WriteOnly))
        throw PrintFailure(QStringLiteral("无法写入“%1”：%2")
                               .arg(QDir::toNativeSeparators(target),
                                    morvanta::fileErrorCause(file.errorString())));
    const int fd = ::dup(file.handle());
    FILE* stream = fd < 0 ? nullptr : ::fdopen(fd, "wb");
    if (!stream) {
        if (fd >= 0)
            ::close(fd);
        file.cancelWriting();
        throw PrintFailure(QStringLiteral("无法写入“%1”。").arg(QDir::toNativeSeparators(target)));
    }
    try {
        QPDFWriter writer(joined, QFile::encodeName(target).constData(), stream, true);
        writer.setStaticID(false);
        writer.write();
    } catch (const std::exception& e) {
        file.cancelWriting();
        throw PrintFailure(
            QStringLiteral("无法写入“%1”：%2")
                .arg(QDir::toNativeSeparators(target), QString::fromLocal8Bit(e.what())));
    }
    if (!file.commit())
        throw PrintFailure(QStringLiteral("无法写入“%1”：%2")
                               .arg(QDir::toNativeSeparators(target),
                                    morvanta::fileErrorCause(file.errorString())));
}

} // namespace printing
