#pragma once

// Certificate files for the generation and window tests: the operator's
// folders, the two templates with the nine placeholders, data rows, and
// saved documents read back through the office.

#include "testfiles.h"

#include "common/paths.h"
#include "generator/certificaterecord.h"

#include <memory>

namespace office::word {
class Application;
class Document;
} // namespace office::word

namespace testfiles {

// Creates the operator's folders under the current HOME.
void makeMorvantaFolders();
// Empties the output folder, so that a case sees only what it generated.
void emptyOutputFolder();

// The body text size of each template, which fields keep unless shrunk.
float templateFontSize(paths::TemplateKind kind);

// Writes a template of `kind` with `rtfBody` as its text (the certificate
// layout when empty): the original an A3 landscape page, the duplicate A4 landscape.
void makeTemplate(paths::TemplateKind kind, const QString& rtfBody = {});
void makeTemplates(); // the folders and both templates, with the certificate layout
// A template of `kind` with one line of text on the given page.
void makeTemplatePage(paths::TemplateKind kind, const PageTwips& page);

// Runs a margin save (2 cm into the original, 1 cm into the duplicate) in a
// child that is killed between the two renames; true once it died there.
bool killMarginSaveBetweenRenames();

// The nine values of a record in column order, and back.
QStringList recordTexts(const CertificateRecord& r);
CertificateRecord recordOf(const QStringList& texts);

// A plausible row of the data file for `number`; the name holds the number.
QStringList dataRow(const QString& number);

// Writes the data file: the headings, then one row per entry of text cells.
void makeDataFile(const QList<QStringList>& rows);
void makeDataFile(const QList<QList<Cell>>& rows);

// What the operator is told after a complete run.
QString completionMessage();

// A value of exactly `length` UTF-16 code units, repeating `phrase`.
QString textOfLength(const QString& phrase, int length);

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
    // The font size of every occurrence of `text`; the occurrences are
    // blanked out in the open copy as they are read.
    QList<float> sizesOf(const QString& text);

private:
    std::unique_ptr<office::word::Application> app_;
    office::word::Document* document_ = nullptr;
};

} // namespace testfiles
