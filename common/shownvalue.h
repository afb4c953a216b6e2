#pragma once

#include <QString>

// A value as a message shows it: control characters spelled out as U+XXXX and
// at most `maxChars` characters, so that a long or strange value (a 5,000
// character cell, escape sequences) can neither swamp a message box nor
// reach a terminal raw.
inline QString shownValue(const QString& value, int maxChars = 40)
{
    QString shown;
    for (const QChar c : value) {
        if (shown.size() >= maxChars) {
            shown += QStringLiteral("…（共 %1 字）").arg(value.size());
            break;
        }
        const char16_t u = c.unicode();
        if (u < 0x20 || (u >= 0x7F && u < 0xA0) || c.category() == QChar::Other_Format)
            shown += QStringLiteral("U+%1").arg(u, 4, 16, QChar(u'0')).toUpper();
        else
            shown += c;
    }
    return shown;
}
