#include "office/unorange.h"

#include "office/unodocument.h"

#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/view/XSelectionSupplier.hpp>

using namespace com::sun::star;
using namespace com::sun::star::uno;

namespace office::detail {

UnoRange::UnoRange(UnoDocument& document, Reference<text::XTextRange> r)
    : range(std::move(r)), document_(document), find_(*this), font_(*this)
{
}

void UnoRange::Select()
{
    document_.connection().call(
        [&] {
            const Reference<frame::XModel> model(document_.textDocument(), UNO_QUERY_THROW);
            const Reference<view::XSelectionSupplier> selection(model->getCurrentController(),
                                                                UNO_QUERY);
            if (selection.is())
                selection->select(Any(range));
        },
        describeAs(morvanta::errc::OfficeFailure,
                   QStringLiteral("无法在“%1”中选定文本").arg(document_.path())));
}

QString UnoRange::Text()
{
    return document_.connection().call(
        [&] { return toQString(range->getString()); },
        describeAs(morvanta::errc::OfficeFailure,
                   QStringLiteral("无法读取“%1”中的文本").arg(document_.path())));
}

} // namespace office::detail
