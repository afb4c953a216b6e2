#pragma once

// The filter every margin box runs on each change of its text: only the
// characters "1234567890." pass, and a value above the box's limit empties
// the box. Kept free of widgets so that it can be checked on plain strings.

#include <QString>

namespace margins {

// Limits in centimetres: the original's four boxes, then the duplicate's.
inline constexpr double kOriginalLimit = 10.0;
inline constexpr double kDuplicateLimit = 5.0;

// The limit of box 1..8 (Text1..Text8).
double boxLimit(int box);

// Position of the first character that is not one of "1234567890.", or -1.
// Characters are compared code for code: full-width digits, signs and blanks
// are rejected.
qsizetype firstRejectedCharacter(const QString& text);

// True when the text reads as a decimal number above the limit. A text with
// no numeric value (empty, a lone ".", "1.2.3") never exceeds: a value typed
// with a leading point has to pass through a lone ".".
bool exceedsLimit(const QString& text, double limit);

// What one filter step does with the text of a box. Taking characters off
// the end one at a time until no rejected one is left ends with the part
// before the first rejected character; the step cuts there at once, since a
// long pasted text would otherwise cost one change (and one re-layout of the
// box) per character.
struct FilterStep
{
    enum class Action
    {
        Keep,
        CutAtRejected,
        Empty
    };
    Action action = Action::Keep;
    QString text; // the box's text after the step
};
FilterStep filterStep(const QString& text, double limit);

} // namespace margins
