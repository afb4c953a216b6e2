#pragma once

// Reading and writing the page margins of the two certificate templates
// through the word processor. Every read and every write runs its own
// word-processor session; the original is always handled first and the two
// templates are never open at the same time.

#include "margins/marginentries.h"

#include <QString>

#include <functional>

namespace margins {

// The four margins of one template in centimetres.
struct TemplateMargins
{
    float top = 0;
    float bottom = 0;
    float left = 0;
    float right = 0;
};

// A template's margins together with its page size.
struct TemplatePage
{
    TemplateMargins margins;
    PageSize page;
};

// Thrown by WriteTemplateMargins when an entry cannot be written, or a
// template may not be written by this user; nothing has been changed then.
class EntryRefused : public std::exception
{
public:
    explicit EntryRefused(QString message) : message_(std::move(message)) {}
    const QString& message() const noexcept { return message_; }
    const char* what() const noexcept override { return "margin entry refused"; }

private:
    QString message_;
};

// A margin in the "0.00" form: the value's shortest decimal form rounded half
// up to two decimals, a point as the decimal separator, at least one digit
// before it.
QString marginText(float centimetres);

// True only when both template files exist as ordinary files.
bool TemplatesPresent();

TemplateMargins ReadTemplateMargins(TemplateKind kind);

// The margins and the page size of a template, from one session.
TemplatePage ReadTemplatePage(TemplateKind kind);

// Moments of a save at which tests may interfere: a template's copy has
// been opened in the word processor, or completely written (both before
// either template is replaced); the original has been replaced and the
// duplicate not yet (reported for the original).
enum class SaveStage
{
    CopyOpened,
    CopyWritten,
    Replaced
};
using SaveStageHook = std::function<void(TemplateKind, SaveStage)>;

// Writes both templates' margins (entries in centimetres as text). Each
// template is copied to a hidden file beside it, the copy gets the new
// margins and is saved, and only when both copies are written does each
// replace its template by a rename; the two renames are one switch that a
// program killed between them leaves for the next use to complete. An entry
// that equals marginText() of the margin in the file is no edit: that margin
// keeps its exact value. A failure at any point leaves both templates as they
// were. Throws EntryRefused for an entry that is no number, margins that
// leave no room for text or a template this user may not write (checked
// before anything is written), morvanta::Error when the word processor or the file
// system fails.
void WriteTemplateMargins(const MarginEntries& original, const MarginEntries& duplicate,
                          const SaveStageHook& reached = {});

} // namespace margins
