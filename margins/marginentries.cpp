#include "margins/marginentries.h"

#include "common/shownvalue.h"

#include "office/units.h"

#include <cmath>
#include <limits>

namespace margins {

std::optional<double> decimalValue(const QString& text)
{
    int digits = 0;
    int points = 0;
    for (const QChar c : text) {
        if (c >= u'0' && c <= u'9')
            ++digits;
        else if (c == u'.')
            ++points;
        else
            return std::nullopt;
    }
    if (digits == 0 || points > 1)
        return std::nullopt;
    bool ok = false;
    // toDouble takes "2." and ".5"; the loop above already ruled out what
    // else it would take (blanks, signs, exponents, "inf").
    const double value = text.toDouble(&ok);
    // Digits beyond what a double holds are still a number, and far above
    // any limit.
    if (!ok || !std::isfinite(value))
        return std::numeric_limits<double>::infinity();
    return value;
}

std::optional<float> marginCentimetres(const QString& entry)
{
    const std::optional<double> value = decimalValue(entry);
    if (!value)
        return std::nullopt;
    const auto centimetres = static_cast<float>(*value);
    if (!std::isfinite(centimetres))
        return std::nullopt;
    return centimetres;
}

QString entryName(TemplateKind kind, int side)
{
    static const char16_t* const sides[] = {u"上", u"下", u"左", u"右"};
    return paths::kindName(kind) + QString::fromUtf16(sides[side]) + QStringLiteral("边距");
}

namespace {

QString centimetresText(double centimetres)
{
    return QString::number(centimetres, 'f', 2);
}

} // namespace

QString numberRefusal(TemplateKind kind, const MarginEntries& entries)
{
    for (int side = 0; side < 4; ++side) {
        if (!marginCentimetres(entries[side])) {
            return QStringLiteral("%1“%2”不是有效的数字，请重新填写！")
                .arg(entryName(kind, side), shownValue(entries[side]));
        }
    }
    return QString();
}

QString refusalOf(TemplateKind kind, const MarginEntries& entries, const PageSize& page)
{
    if (QString refusal = numberRefusal(kind, entries); !refusal.isEmpty())
        return refusal;
    std::array<double, 4> cm{};
    for (int side = 0; side < 4; ++side)
        cm[side] = *marginCentimetres(entries[side]);
    const double pageWidth = office::pointsToCentimeters(page.width);
    const double pageHeight = office::pointsToCentimeters(page.height);
    const QString kindName = paths::kindName(kind);
    if (cm[0] + cm[1] > pageHeight - kMinimumTextCentimetres) {
        return QStringLiteral("%1上、下边距之和（%2厘米）太大：%1页面高%3厘米，"
                              "正文至少要留%4厘米，请重新填写！")
            .arg(kindName, centimetresText(cm[0] + cm[1]), centimetresText(pageHeight),
                 centimetresText(kMinimumTextCentimetres));
    }
    if (cm[2] + cm[3] > pageWidth - kMinimumTextCentimetres) {
        return QStringLiteral("%1左、右边距之和（%2厘米）太大：%1页面宽%3厘米，"
                              "正文至少要留%4厘米，请重新填写！")
            .arg(kindName, centimetresText(cm[2] + cm[3]), centimetresText(pageWidth),
                 centimetresText(kMinimumTextCentimetres));
    }
    return QString();
}

} // namespace margins
