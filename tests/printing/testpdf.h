#pragma once

// PDFs for the printing tests, made without the office: pages of a given size
// with one line of text, and what poppler reads back from a PDF.

#include "printing/documentexporter.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

namespace testpdf {

struct Page
{
    double width = 0;
    double height = 0;
    QString text; // ASCII, set in Helvetica 24 pt at (100, height - 150)
};

void writePdf(const QString& path, const QList<Page>& pages);

struct Word
{
    QString text;
    double xMin = 0, yMin = 0, xMax = 0, yMax = 0;
};
struct ReadPage
{
    double width = 0;
    double height = 0;
    QList<Word> words;
};

// pdftotext -bbox of the file, page by page.
QList<ReadPage> readPdf(const QString& path);

// Whether `got` on the printed sheet is where `want` is on the document's
// page, within 0.5 pt: the same box, or the same box on the page turned a
// quarter either way (a landscape page printed on a sheet fed portrait).
bool samePlace(const ReadPage& page, const Word& want, const ReadPage& sheet, const Word& got);

constexpr double a3Long = 1190.55, a3Short = 841.89, a4Long = 841.89, a4Short = 595.28;

// The test documents are small text files standing for word-processor
// documents: "size=A3L|A4P", "pages=N", "text=…", "placeholder=…" lines.
void writeDocument(const QString& path, const QString& size, const QString& text, int pages = 1,
                   const QString& placeholder = {});

// Renders such a document as the office's export would: every page in the
// document's size with its text. `afterExport` runs after each export.
class DocumentRenderer : public printing::DocumentExporter
{
public:
    printing::ExportResult exportPdf(const QString& documentPath, const QString& pdfPath) override;
    std::function<void(int exports)> afterExport;
    int exports = 0;
};

// A stand-in generation run in `outputDir` for the print tests: the number of
// row `row` (CERT-0001, ...), its original (A3 landscape, `originalPages`
// pages, `placeholder` left in it) and duplicate (A4 portrait), and rows
// 1 to `rows` written with the run list naming them in row order.
QString certificate(int row);
void writeRow(const QString& outputDir, int row, int originalPages = 1,
              const QString& placeholder = {});
void writeRun(const QString& outputDir, int rows);

// What a console run printed, and its exit status.
struct ConsoleRun
{
    int status = -1;
    QStringList lines;
    bool has(const QString& text) const;
    QString all() const { return lines.join(u'\n'); }
};

} // namespace testpdf
