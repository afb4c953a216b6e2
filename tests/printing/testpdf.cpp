#include "testpdf.h"

#include "printing/printfailure.h"
#include "printing/runlist.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>
#include <algorithm>
#include <array>
#include <cmath>

namespace testpdf {

void writePdf(const QString& path, const QList<Page>& pages)
{
    QList<QByteArray> objects{"<< /Type /Catalog /Pages 2 0 R >>",
                              {},
                              "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>"};
    QByteArray kids;
    for (const Page& page : pages) {
        const QByteArray content = QStringLiteral("BT /F1 24 Tf 100 %1 Td (%2) Tj ET")
                                       .arg(page.height - 150, 0, 'f', 2)
                                       .arg(page.text)
                                       .toLatin1();
        objects << "<< /Length " + QByteArray::number(content.size()) + " >>\nstream\n" + content +
                       "\nendstream";
        const QByteArray contentRef = QByteArray::number(objects.size()) + " 0 R";
        objects << "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 " +
                       QByteArray::number(page.width, 'f', 2) + ' ' +
                       QByteArray::number(page.height, 'f', 2) +
                       "] /Resources << /Font << /F1 3 0 R >> >> /Contents " + contentRef + " >>";
        kids += QByteArray::number(objects.size()) + " 0 R ";
    }
    objects[1] =
        "<< /Type /Pages /Count " + QByteArray::number(pages.size()) + " /Kids [" + kids + "] >>";
    QByteArray data = "%PDF-1.4\n";
    QList<qsizetype> offsets;
    for (qsizetype i = 0; i < objects.size(); ++i) {
        offsets << data.size();
        data += QByteArray::number(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    const qsizetype xref = data.size();
    data += "xref\n0 " + QByteArray::number(objects.size() + 1) + "\n0000000000 65535 f \n";
    for (const qsizetype offset : offsets)
        data += QByteArray::number(offset).rightJustified(10, '0') + " 00000 n \n";
    data += "trailer\n<< /Size " + QByteArray::number(objects.size() + 1) +
            " /Root 1 0 R >>\nstartxref\n" + QByteArray::number(xref) + "\n%%EOF\n";
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(data);
}

QList<ReadPage> readPdf(const QString& path)
{
    QProcess tool;
    tool.start(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), path, QStringLiteral("-")});
    tool.waitForFinished(30000);
    const QString html = QString::fromUtf8(tool.readAllStandardOutput());
    static const QRegularExpression tag(QStringLiteral(
        R"re(<page width="([\d.]+)" height="([\d.]+)">|<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" yMax="([\d.]+)">([^<]*)</word>)re"));
    QList<ReadPage> pages;
    for (const QRegularExpressionMatch& m : tag.globalMatch(html)) {
        if (!m.captured(1).isEmpty())
            pages << ReadPage{m.captured(1).toDouble(), m.captured(2).toDouble(), {}};
        else if (!pages.isEmpty())
            pages.last().words << Word{m.captured(7), m.captured(3).toDouble(),
                                       m.captured(4).toDouble(), m.captured(5).toDouble(),
                                       m.captured(6).toDouble()};
    }
    return pages;
}

void writeDocument(const QString& path, const QString& size, const QString& text, int pages,
                   const QString& placeholder)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QStringLiteral("size=%1\npages=%2\ntext=%3\nplaceholder=%4\n")
                   .arg(size)
                   .arg(pages)
                   .arg(text, placeholder)
                   .toUtf8());
}

printing::ExportResult DocumentRenderer::exportPdf(const QString& documentPath,
                                                   const QString& pdfPath)
{
    QFile file(documentPath);
    if (!file.open(QIODevice::ReadOnly))
        throw printing::PrintFailure(QStringLiteral("无法打开“%1”").arg(documentPath));
    QMap<QString, QString> fields;
    for (const QString& line : QString::fromUtf8(file.readAll()).split(u'\n'))
        fields.insert(line.section(u'=', 0, 0), line.section(u'=', 1));
    const bool a3 = fields.value(QStringLiteral("size")) == u"A3L";
    const int count = fields.value(QStringLiteral("pages")).toInt();
    QList<Page> pages;
    for (int i = 0; i < count; ++i)
        pages << Page{a3 ? a3Long : a4Short, a3 ? a3Short : a4Long,
                      fields.value(QStringLiteral("text"))};
    writePdf(pdfPath, pages);
    ++exports;
    if (afterExport)
        afterExport(exports);
    return {count, fields.value(QStringLiteral("placeholder"))};
}

// Whether `got` on the printed page is where `want` is on the document's
// page: the same box, or the same box on the page turned a quarter either
// way (a landscape page printed on a sheet fed portrait).
bool samePlace(const testpdf::ReadPage& page, const testpdf::Word& want,
               const testpdf::ReadPage& sheet, const testpdf::Word& got)
{
    auto near = [](std::array<double, 4> a, std::array<double, 4> b) {
        for (int i = 0; i < 4; ++i) {
            if (std::abs(a[i] - b[i]) > 0.5)
                return false;
        }
        return true;
    };
    const std::array<double, 4> printed{got.xMin, got.yMin, got.xMax, got.yMax};
    if (std::abs(page.width - sheet.width) < 1 && std::abs(page.height - sheet.height) < 1)
        return near(printed, {want.xMin, want.yMin, want.xMax, want.yMax});
    if (std::abs(page.width - sheet.height) > 1 || std::abs(page.height - sheet.width) > 1)
        return false;
    return near(printed, {want.yMin, page.width - want.xMax, want.yMax, page.width - want.xMin}) ||
           near(printed, {page.height - want.yMax, want.xMin, page.height - want.yMin, want.xMax});
}

QString certificate(int row)
{
    return QStringLiteral("CERT-%1").arg(row, 4, 10, QLatin1Char('0'));
}

void writeRow(const QString& outputDir, int row, int originalPages, const QString& placeholder)
{
    using paths::TemplateKind;
    writeDocument(outputDir + printing::documentFileName(certificate(row), TemplateKind::Original),
                  QStringLiteral("A3L"), certificate(row), originalPages, placeholder);
    writeDocument(outputDir + printing::documentFileName(certificate(row), TemplateKind::Duplicate),
                  QStringLiteral("A4P"), certificate(row));
}

void writeRun(const QString& outputDir, int rows)
{
    QList<printing::DocumentRef> run;
    for (int row = 1; row <= rows; ++row) {
        writeRow(outputDir, row);
        run << printing::DocumentRef{certificate(row), paths::TemplateKind::Original}
            << printing::DocumentRef{certificate(row), paths::TemplateKind::Duplicate};
    }
    printing::writeRunList(run, outputDir);
}

bool ConsoleRun::has(const QString& text) const
{
    return std::any_of(lines.begin(), lines.end(),
                       [&](const QString& l) { return l.contains(text); });
}

} // namespace testpdf
