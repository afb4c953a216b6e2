#include "office/unopagesetup.h"

#include "office/unodocument.h"
#include "office/unoproperty.h"

#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/container/XNameAccess.hpp>
#include <com/sun/star/style/XStyle.hpp>
#include <com/sun/star/style/XStyleFamiliesSupplier.hpp>
#include <com/sun/star/text/XText.hpp>
#include <com/sun/star/text/XTextCursor.hpp>
#include <com/sun/star/text/XTextDocument.hpp>

#include <algorithm>
#include <cmath>

using namespace com::sun::star;
using namespace com::sun::star::uno;
using rtl::OUString;

namespace office::detail {

namespace {

// Word keeps sizes in points; Writer in 1/100 mm.
sal_Int32 toHundredthMm(float points)
{
    return static_cast<sal_Int32>(std::lround(static_cast<double>(points) * 2540.0 / 72.0));
}

// Writer rounds lengths to 1/100 mm, Word files keep twips (1/20 pt): read
// back on the twip grid so that a value written to a .doc reads as written.
float toPoints(sal_Int32 hundredthMm)
{
    return static_cast<float>(std::round(static_cast<double>(hundredthMm) * 1440.0 / 2540.0) /
                              20.0);
}

} // namespace

Reference<beans::XPropertySet> UnoPageSetup::firstPageStyle()
{
    const Reference<text::XTextDocument> doc = document_.textDocument();
    const Reference<text::XTextCursor> cursor = doc->getText()->createTextCursor();
    cursor->gotoStart(false);
    OUString styleName;
    Reference<beans::XPropertySet>(cursor, UNO_QUERY_THROW)
        ->getPropertyValue(u"PageStyleName"_ustr) >>= styleName;
    const Reference<style::XStyleFamiliesSupplier> families(doc, UNO_QUERY_THROW);
    const Reference<container::XNameAccess> pageStyles(
        families->getStyleFamilies()->getByName(u"PageStyles"_ustr), UNO_QUERY_THROW);
    return Reference<beans::XPropertySet>(pageStyles->getByName(styleName), UNO_QUERY_THROW);
}

float UnoPageSetup::margin(Side side)
{
    return document_.connection().call(
        [&] {
            const Reference<beans::XPropertySet> style = firstPageStyle();
            auto get = [&](const OUString& name) { return intProperty(style, name); };
            auto on = [&](const OUString& name) { return boolProperty(style, name); };
            // Writer measures to the header or footer; the body starts below it.
            switch (side) {
            case Side::Top:
                return toPoints(get(u"TopMargin"_ustr) +
                                (on(u"HeaderIsOn"_ustr) ? get(u"HeaderHeight"_ustr) : 0));
            case Side::Bottom:
                return toPoints(get(u"BottomMargin"_ustr) +
                                (on(u"FooterIsOn"_ustr) ? get(u"FooterHeight"_ustr) : 0));
            case Side::Left:
                return toPoints(get(u"LeftMargin"_ustr));
            case Side::Right:
                return toPoints(get(u"RightMargin"_ustr));
            }
            return 0.0f;
        },
        describeAs(morvanta::errc::OfficeFailure,
                   QStringLiteral("无法读取“%1”的页边距").arg(document_.path())));
}

void UnoPageSetup::setMargin(Side side, float points)
{
    if (!std::isfinite(points) || points < 0.0f)
        throw morvanta::Error(morvanta::errc::InvalidValue,
                              QStringLiteral("页边距 %1 磅无效。").arg(points));
    const sal_Int32 value = toHundredthMm(points);
    document_.connection().call(
        [&] {
            const Reference<style::XStyleFamiliesSupplier> families(document_.textDocument(),
                                                                    UNO_QUERY_THROW);
            const Reference<container::XIndexAccess> pageStyles(
                families->getStyleFamilies()->getByName(u"PageStyles"_ustr), UNO_QUERY_THROW);
            // Every page style in use, so that the margin holds for the whole document.
            for (sal_Int32 i = 0; i < pageStyles->getCount(); ++i) {
                const Reference<style::XStyle> st(pageStyles->getByIndex(i), UNO_QUERY_THROW);
                if (!st->isInUse())
                    continue;
                const Reference<beans::XPropertySet> style(st, UNO_QUERY_THROW);
                auto get = [&](const OUString& name) { return intProperty(style, name); };
                auto on = [&](const OUString& name) { return boolProperty(style, name); };
                auto setEdge = [&](const OUString& marginName, const OUString& isOn,
                                   const OUString& height) {
                    if (!on(isOn)) {
                        style->setPropertyValue(marginName, Any(value));
                        return;
                    }
                    // Keep the header's distance from the edge and give the
                    // rest to the header area, or pull the header closer to
                    // the edge when the margin is smaller than the header.
                    const sal_Int32 edge = get(marginName);
                    // Word files keep no header area under about 1 mm.
                    const sal_Int32 minHeight = 150;
                    if (value - edge >= minHeight) {
                        style->setPropertyValue(height, Any(value - edge));
                    } else {
                        const sal_Int32 h = std::min(minHeight, value);
                        style->setPropertyValue(height, Any(h));
                        style->setPropertyValue(marginName, Any(value - h));
                    }
                };
                switch (side) {
                case Side::Top:
                    setEdge(u"TopMargin"_ustr, u"HeaderIsOn"_ustr, u"HeaderHeight"_ustr);
                    break;
                case Side::Bottom:
                    setEdge(u"BottomMargin"_ustr, u"FooterIsOn"_ustr, u"FooterHeight"_ustr);
                    break;
                case Side::Left:
                    style->setPropertyValue(u"LeftMargin"_ustr, Any(value));
                    break;
                case Side::Right:
                    style->setPropertyValue(u"RightMargin"_ustr, Any(value));
                    break;
                }
            }
        },
        describeAs(morvanta::errc::InvalidValue,
                   QStringLiteral("无法为“%1”设置页边距").arg(document_.path())));
}

float UnoPageSetup::TopMargin()
{
    return margin(Side::Top);
}
float UnoPageSetup::BottomMargin()
{
    return margin(Side::Bottom);
}
float UnoPageSetup::LeftMargin()
{
    return margin(Side::Left);
}
float UnoPageSetup::RightMargin()
{
    return margin(Side::Right);
}
void UnoPageSetup::SetTopMargin(float points)
{
    setMargin(Side::Top, points);
}
void UnoPageSetup::SetBottomMargin(float points)
{
    setMargin(Side::Bottom, points);
}
void UnoPageSetup::SetLeftMargin(float points)
{
    setMargin(Side::Left, points);
}
void UnoPageSetup::SetRightMargin(float points)
{
    setMargin(Side::Right, points);
}

float UnoPageSetup::PageWidth()
{
    return document_.connection().call(
        [&] { return toPoints(intProperty(firstPageStyle(), u"Width"_ustr)); },
        describeAs(morvanta::errc::OfficeFailure,
                   QStringLiteral("无法读取“%1”的页面大小").arg(document_.path())));
}

float UnoPageSetup::PageHeight()
{
    return document_.connection().call(
        [&] { return toPoints(intProperty(firstPageStyle(), u"Height"_ustr)); },
        describeAs(morvanta::errc::OfficeFailure,
                   QStringLiteral("无法读取“%1”的页面大小").arg(document_.path())));
}

} // namespace office::detail
