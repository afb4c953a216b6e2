#pragma once

// Helpers for tests that make their own documents and spreadsheets: a
// temporary HOME, RTF text for documents and flat ODF text for spreadsheets,
// turned into real Word 97 / Excel 97 files by the office.

#include <QString>
#include <QStringList>

#include <memory>

class QTemporaryDir;

namespace testfiles {

// Points HOME at a fresh temporary folder for the life of the test program.
QString useTemporaryHome();

// RTF escaping of any text (CJK and characters outside the BMP included).
QString rtfText(const QString& text);

// A minimal RTF document: one paragraph per entry, 宋体 at `points`, page
// margins in twips (1440 = 72 pt = 2.54 cm).
QString rtfDocument(const QStringList& paragraphs, int points = 12, int marginTwips = 1440);

// Writes `content` to `path` (UTF-8 for text; RTF is ASCII after escaping).
void writeText(const QString& path, const QString& content);

// Makes a real Word 97 .doc at `path` holding the paragraphs.
void makeWordDocument(const QString& path, const QStringList& paragraphs, int points = 12,
                      int marginTwips = 1440);

// A flat ODF spreadsheet row: each cell either text or a typed value.
struct Cell
{
    QString text;      // shown text for string cells
    QString valueType; // "" (string), "float", "date", "percentage", "currency"
    QString value;     // office:value / office:date-value
    QString style;     // a data style name defined by the document, or ""
    static Cell str(const QString& t) { return {t, {}, {}, {}}; }
};

// Makes a real Excel 97 .xls at `path` with one sheet named `sheetName`.
// Predefined styles: "date_ymd" (YYYY-MM-DD), "date_cn" (YYYY年M月D日),
// "num2" (#,##0.00), "pct" (0.00%), "date_sys" (the locale's short date).
void makeWorkbook(const QString& path, const QList<QList<Cell>>& rows,
                  const QString& sheetName = QStringLiteral("Sheet1"));

// The leading bytes of a file, to tell formats apart.
QByteArray leadingBytes(const QString& path, int count = 8);

} // namespace testfiles
