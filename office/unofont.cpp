#include "office/unofont.h"

#include "office/unodocument.h"
#include "office/unorange.h"

#include <com/sun/star/beans/XMultiPropertySet.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>

using namespace com::sun::star;
using namespace com::sun::star::uno;
using rtl::OUString;

namespace office::detail {

namespace {

bool containsCjk(const QString& text)
{
    for (const QChar c : text) {
        const auto u = c.unicode();
        if ((u >= 0x2E80 && u <= 0x9FFF) || (u >= 0xF900 && u <= 0xFAFF) ||
            (u >= 0xFF00 && u <= 0xFFEF) || c.isSurrogate())
            return true;
    }
    return false;
}

} // namespace

float UnoFont::Size()
{
    Connection& c = range_.document().connection();
    return c.call(
        [&] {
            const Reference<beans::XPropertySet> props(range_.range, UNO_QUERY_THROW);
            const bool asian = containsCjk(toQString(range_.range->getString()));
            const Any v =
                props->getPropertyValue(asian ? u"CharHeightAsian"_ustr : u"CharHeight"_ustr);
            float size = 0;
            // Mixed sizes read as "undefined", as the automation model does.
            return (v >>= size) ? size : 9999999.0f;
        },
        describeAs(morvanta::errc::OfficeFailure, QStringLiteral("无法读取字号")));
}

void UnoFont::SetSize(float points)
{
    if (!(points >= 1.0f && points <= 1638.0f))
        throw morvanta::Error(
            morvanta::errc::InvalidValue,
            QStringLiteral("字号 %1 磅超出允许范围（1 到 1638 磅）。").arg(points));
    Connection& c = range_.document().connection();
    c.call(
        [&] {
            // Western, Asian and complex-script text each have their own size.
            const Reference<beans::XMultiPropertySet> props(range_.range, UNO_QUERY_THROW);
            const OUString names[] = {u"CharHeight"_ustr, u"CharHeightAsian"_ustr,
                                      u"CharHeightComplex"_ustr};
            const Any values[] = {Any(points), Any(points), Any(points)};
            props->setPropertyValues(Sequence<OUString>(names, 3), Sequence<Any>(values, 3));
        },
        describeAs(morvanta::errc::OfficeFailure, QStringLiteral("无法设置字号")));
}

} // namespace office::detail
