#pragma once

// Shared pieces of the generation tests: a private HOME, a view that records
// what the operator would see, and real .doc/.xls files made from text.

#include "common/paths.h"
#include "generator/certificaterecord.h"
#include "generator/runview.h"
#include "office/engine.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <memory>

namespace office::word {
class Application;
class Document;
} // namespace office::word

// Every test program runs in a fresh temporary HOME, set before anything
// reads a path, so the operator's ~/Morvanta is never touched. The office
// is ended before the program's static objects go.
#define MORVANTA_TEST_MAIN(TestClass)                                                              \
    int main(int argc, char* argv[])                                                               \
    {                                                                                              \
        QTemporaryDir home;                                                                        \
        if (!home.isValid())                                                                       \
            return 99;                                                                             \
        qputenv("HOME", home.path().toUtf8());                                                     \
        QCoreApplication app(argc, argv);                                                          \
        TestClass test;                                                                            \
        const int status = QTest::qExec(&test, argc, argv);                                        \
        office::shutdownDefaultEngine();                                                           \
        return status;                                                                             \
    }

// Records the run as the operator would see it, one line per effect:
// "hide", "show", "wait", "unload", "progress 1/3", "message <text>".
class RecordingView : public RunView
{
public:
    QStringList log;
    QStringList messages;
    std::function<void(const QString& effect)> onEffect; // runs after each effect is logged

    void hideMainWindow() override { record(QStringLiteral("hide")); }
    void showMainWindow() override { record(QStringLiteral("show")); }
    void showWaitForm() override { record(QStringLiteral("wait")); }
    void unloadWaitForm() override { record(QStringLiteral("unload")); }
    void setProgress(int done, int total) override
    {
        record(QStringLiteral("progress %1/%2").arg(done).arg(total));
    }
    void showMessage(const QString& text) override
    {
        messages << text;
        record(QStringLiteral("message ") + text);
    }

private:
    void record(const QString& effect)
    {
        log << effect;
        if (onEffect)
            onEffect(effect);
    }
};

// Creates the operator's folders under the current HOME.
void makeMorvantaFolders();

void writeFile(const QString& path, const QByteArray& content);
QByteArray readFile(const QString& path);

// Every file below `folder`, relative to it, sorted.
QStringList filesBelow(const QString& folder);

// --- word-processor documents ---------------------------------------------

// A paragraph and a table of label/value rows in flat-ODF text markup.
QString paragraphXml(const QString& text);
QString tableXml(const QList<QStringList>& rows);

// The nine placeholders laid out as on a certificate: a title, a table of
// fields and the number and validity period below it.
QString certificateBodyXml();

struct PageLayout
{
    double widthCm;
    double heightCm;
    double marginCm;
    double fontPt; // the body text's size, which fields keep unless shrunk
};
inline constexpr PageLayout originalLayout{42.0, 29.7, 3.0, 20.0};  // A3 landscape
inline constexpr PageLayout duplicateLayout{29.7, 21.0, 2.0, 14.0}; // A4 landscape

// Writes a real Word 97 document with `bodyXml` as its text.
void makeWordDocument(const QString& docPath, const QString& bodyXml, const PageLayout& layout);

// Writes both templates of the operator's folder from the certificate layout.
void makeDefaultTemplates();

// --- spreadsheets ----------------------------------------------------------

// One cell of a flat-ODF spreadsheet row.
QString textCell(const QString& text); // leading/trailing spaces kept
QString emptyCell();
QString dateCell(const QString& isoDate);     // shown as 2030年5月31日
QString amountCell(double value);             // shown as 1,234,567.50
QString percentCell(double value);            // shown as 12.5%
QString rowOfTexts(const QStringList& texts); // a row of text cells

// Writes a real Excel 97 workbook with one worksheet of these rows (row 1 first).
void makeWorkbook(const QString& xlsPath, const QStringList& rowsXml,
                  const QString& sheetName = QStringLiteral("Sheet1"));

// The column headings row of a data file.
QString headingRow();

// The nine values of a record in column order.
QStringList recordTexts(const CertificateRecord& r);
CertificateRecord recordOf(const QStringList& texts);

// --- reading back a saved document -------------------------------------------

// A saved document opened read-only through the office, to look at what the
// fill wrote. Nothing is saved back.
class SavedDocument
{
public:
    explicit SavedDocument(const QString& path);
    ~SavedDocument();
    SavedDocument(const SavedDocument&) = delete;
    SavedDocument& operator=(const SavedDocument&) = delete;

    bool contains(const QString& text);
    // The font size of every occurrence of `text`, in document order as
    // found; the occurrences are blanked out in the open copy as they are read.
    QList<float> sizesOf(const QString& text);

private:
    std::unique_ptr<office::word::Application> app_;
    office::word::Document* document_ = nullptr;
};

// A value of exactly `length` UTF-16 code units, repeating `phrase`.
QString textOfLength(const QString& phrase, int length);
