#pragma once

// Helpers for tests that make their own documents and spreadsheets: a
// temporary HOME, RTF text for documents and flat ODF text for spreadsheets,
// turned into real Word 97 / Excel 97 files by the office.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace testfiles {

// Points HOME at a fresh temporary folder for the life of the test program.
QString useTemporaryHome();

// RTF escaping of any text (CJK and characters outside the BMP included).
QString rtfText(const QString& text);

// A page in twips (1440 = 72 pt = 2.54 cm); A4 portrait with 2.54 cm margins by default.
struct PageTwips
{
    int top = 1440;
    int bottom = 1440;
    int left = 1440;
    int right = 1440;
    int width = 11906;
    int height = 16838;
};

// RTF pieces: a paragraph, and a table row of cells `cellTwips` wide each.
QString rtfParagraph(const QString& text);
QString rtfTableRow(const QStringList& cells, int cellTwips = 3000);

// A minimal RTF document around body text made of the pieces above: 宋体 at
// `points`, on the given page.
QString rtfDocument(const QString& body, int points, const PageTwips& page);

// Writes `content` to `path` (UTF-8 for text; RTF is ASCII after escaping).
void writeText(const QString& path, const QString& content);
void writeBytes(const QString& path, const QByteArray& content);
QByteArray readBytes(const QString& path); // empty when unreadable

// Makes a real Word 97 .doc at `path` holding the paragraphs.
void makeWordDocument(const QString& path, const QStringList& paragraphs, int points = 12,
                      int marginTwips = 1440);
// The same from RTF body text, on any page.
void makeWordDocumentFromRtf(const QString& path, const QString& body, int points,
                             const PageTwips& page);

// A flat ODF spreadsheet row: each cell either text or a typed value.
struct Cell
{
    QString text;      // shown text for string cells
    QString valueType; // "" (string), "float", "date", "percentage", "currency"
    QString value;     // office:value / office:date-value
    QString style;     // a data style name defined by the document, or ""
    static Cell str(const QString& t) { return {t, {}, {}, {}}; }
};

// A row of text cells (an empty text is an empty cell).
QList<Cell> textRow(const QStringList& texts);

// Makes a real Excel 97 .xls at `path` with one sheet named `sheetName`.
// Predefined styles: "date_ymd" (YYYY-MM-DD), "date_cn" (YYYY年M月D日),
// "num2" (#,##0.00), "pct" (0.00%), "date_sys" (the locale's short date).
void makeWorkbook(const QString& path, const QList<QList<Cell>>& rows,
                  const QString& sheetName = QStringLiteral("Sheet1"));

// The leading bytes of a file, to tell formats apart.
QByteArray leadingBytes(const QString& path, int count = 8);
// True when the file starts like a Word 97 / Excel 97 file (an OLE compound file).
bool isOleFile(const QString& path);

// Every file below `folder` (hidden ones too), relative to it, sorted.
QStringList filesBelow(const QString& folder);

} // namespace testfiles
