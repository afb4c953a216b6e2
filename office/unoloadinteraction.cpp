#include "office/unoloadinteraction.h"

#include <com/sun/star/document/FilterOptionsRequest.hpp>
#include <com/sun/star/document/LockedDocumentRequest.hpp>
#include <com/sun/star/document/XInteractionFilterOptions.hpp>
#include <com/sun/star/task/ErrorCodeRequest.hpp>
#include <com/sun/star/task/PasswordRequest.hpp>
#include <com/sun/star/task/XInteractionAbort.hpp>
#include <com/sun/star/task/XInteractionApprove.hpp>

using namespace com::sun::star;
using com::sun::star::uno::Reference;
using com::sun::star::uno::UNO_QUERY;

namespace office::detail {

namespace {

// An error code with this bit set is a warning: loading may go on.
constexpr sal_uInt32 kWarningBit = 0x80000000U;

} // namespace

void LoadInteraction::handle(const Reference<task::XInteractionRequest>& request)
{
    const uno::Any what = request->getRequest();
    Reference<task::XInteractionAbort> abort;
    Reference<task::XInteractionApprove> approve;
    Reference<document::XInteractionFilterOptions> filterOptions;
    for (const Reference<task::XInteractionContinuation>& c : request->getContinuations()) {
        if (!abort.is())
            abort.set(c, UNO_QUERY);
        if (!approve.is())
            approve.set(c, UNO_QUERY);
        if (!filterOptions.is())
            filterOptions.set(c, UNO_QUERY);
    }

    task::PasswordRequest password;
    task::ErrorCodeRequest errorCode;
    document::LockedDocumentRequest locked;
    document::FilterOptionsRequest options;
    if (what >>= password) { // also every document password request
        passwordAsked_ = true;
        if (abort.is())
            abort->select();
    } else if (what >>= errorCode) {
        // Warnings let the load go on; errors end it.
        const bool warning = (static_cast<sal_uInt32>(errorCode.ErrCode) & kWarningBit) != 0;
        if (approve.is() && warning)
            approve->select();
        else if (abort.is())
            abort->select();
    } else if (what >>= locked) {
        if (approve.is())
            approve->select();
        else if (abort.is())
            abort->select();
    } else if (what >>= options) {
        if (filterOptions.is()) // the filter's own defaults
            filterOptions->select();
    } else if (abort.is()) {
        abort->select();
    }
}

} // namespace office::detail
