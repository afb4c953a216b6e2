#pragma once

// The word-processor object model that the programs use: a small subset of the
// classic automation model (Application, Documents, Document, Range, Find,
// Replacement, Font, PageSetup) with the same meaning. Implemented on
// LibreOffice Writer by unoengine; tests may substitute their own engine.
// Every failing call throws morvanta::Error.

#include <QString>

#include <memory>
#include <optional>

namespace office::word {

inline constexpr int wdFindStop = 0;
inline constexpr int wdFindContinue = 1;

// Document.ExportAsFixedFormat: the format written.
inline constexpr int wdExportFormatPDF = 17;

// Document.ComputeStatistics: what is counted.
inline constexpr int wdStatisticPages = 2;

class Font
{
public:
    virtual ~Font() = default;
    virtual float Size() = 0;
    // Sets the Western, Asian and complex-script size alike.
    virtual void SetSize(float points) = 0;
};

struct Replacement
{
    QString Text;
};

// The named arguments of Find.Execute that the programs pass. An argument
// that is given also becomes the Find's property, as in the automation model.
struct ExecuteArgs
{
    std::optional<QString> FindText;
    std::optional<bool> MatchCase;
    std::optional<int> Wrap;
    std::optional<QString> ReplaceWith;
    bool Replace = false; // true: replace the occurrence found (one only)
};

// The Find of a Range. Options are plain properties; Execute searches the
// document's main text (tables included) literally, starting at the range.
class Find
{
public:
    virtual ~Find() = default;

    QString Text;
    struct Replacement Replacement;
    bool Forward = true;
    int Wrap = wdFindStop;
    bool Format = false;
    bool MatchCase = false;
    bool MatchWholeWord = false;
    bool MatchByte = false;
    bool MatchAllWordForms = false;
    bool MatchSoundsLike = false;
    bool MatchWildcards = false;
    bool MatchFuzzy = false;

    // Clears formatting criteria; the text and option properties stay.
    virtual void ClearFormatting() = 0;
    // Searches with the current properties; moves the range onto what it finds.
    virtual bool Execute() = 0;
    // Search and, with Replace, replace one occurrence; the range then covers
    // the inserted text, so a further call continues from there.
    virtual bool Execute(const ExecuteArgs& args) = 0;
};

class Range
{
public:
    virtual ~Range() = default;
    virtual void Select() = 0;
    virtual class Find& Find() = 0;
    virtual class Font& Font() = 0;
    virtual QString Text() = 0;
};

// Margins in points with the word processor's meaning: from the page edge to
// the body text, also when the page has a header or footer. Setting one
// applies to the whole document.
class PageSetup
{
public:
    virtual ~PageSetup() = default;
    virtual float TopMargin() = 0;
    virtual float BottomMargin() = 0;
    virtual float LeftMargin() = 0;
    virtual float RightMargin() = 0;
    virtual void SetTopMargin(float points) = 0;
    virtual void SetBottomMargin(float points) = 0;
    virtual void SetLeftMargin(float points) = 0;
    virtual void SetRightMargin(float points) = 0;
    // Page size in points, to judge whether margins leave room for text.
    virtual float PageWidth() = 0;
    virtual float PageHeight() = 0;
};

class Document
{
public:
    virtual ~Document() = default;
    // A range of the main text, by character positions.
    virtual std::unique_ptr<class Range> Range(int start, int end) = 0;
    virtual class PageSetup& PageSetup() = 0;
    // Writes the document in the format it was opened in, replacing an
    // existing file; the file appears under its name only once complete.
    virtual void SaveAs(const QString& fileName) = 0;
    // Writes a copy of the document as laid out, in `format` (PDF), every
    // page in its own size, replacing an existing file; the file appears
    // under its name only once complete. The document itself is unchanged.
    // `scratch`: a file in a private folder of the caller's, thrown away
    // after use, is written straight to its name and not flushed to disk.
    virtual void ExportAsFixedFormat(const QString& outputFileName, int format = wdExportFormatPDF,
                                     bool scratch = false) = 0;
    // A statistic of the document as the word processor lays it out now:
    // wdStatisticPages, its number of pages.
    virtual int ComputeStatistics(int statistic) = 0;
    // The first of `texts`, in the order of the document, that its text
    // holds as written (case and all), in its main text, tables, frames,
    // headers or footers; empty when none is there. One search for all.
    virtual QString FirstFound(const QStringList& texts) = 0;
    // Closes without saving. Further calls on the document fail.
    virtual void Close() = 0;
};

class Documents
{
public:
    virtual ~Documents() = default;
    // A read-only open never changes or locks the file.
    virtual Document& Open(const QString& fileName, bool readOnly = false) = 0;
};

// One "new word-processor instance": an isolated session that opens one
// document and closes it. Quit closes what this session opened, and only that.
class Application
{
public:
    virtual ~Application() = default;
    virtual void SetVisible(bool visible) = 0;
    virtual bool Visible() = 0;
    virtual class Documents& Documents() = 0;
    virtual Document& ActiveDocument() = 0;
    virtual float PointsToCentimeters(float points) = 0;
    virtual float CentimetersToPoints(float centimeters) = 0;
    virtual void Quit() = 0;
};

} // namespace office::word
