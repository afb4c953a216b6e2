#include "margins/marginfilter.h"

#include "margins/marginentries.h"

namespace margins {

double boxLimit(int box)
{
    return box <= 4 ? kOriginalLimit : kDuplicateLimit;
}

qsizetype firstRejectedCharacter(const QString& text)
{
    static const QString accepted = QStringLiteral("1234567890.");
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (!accepted.contains(text.at(i)))
            return i;
    }
    return -1;
}

bool exceedsLimit(const QString& text, double limit)
{
    const std::optional<double> value = decimalValue(text);
    return value && *value > limit;
}

FilterStep filterStep(const QString& text, double limit)
{
    if (const qsizetype rejected = firstRejectedCharacter(text); rejected >= 0)
        return {FilterStep::Action::CutAtRejected, text.left(rejected)};
    if (exceedsLimit(text, limit))
        return {FilterStep::Action::Empty, QString()};
    return {FilterStep::Action::Keep, text};
}

} // namespace margins
