#pragma once

// The answers to the office's questions while it loads a file for us: none
// of them reaches a person. A question for a password is refused and
// remembered, so that a locked file can be named as such; every other one is
// answered as the office answers them for a hidden load of its own.

#include "office/unocall.h"

#include <com/sun/star/task/XInteractionHandler.hpp>
#include <cppuhelper/implbase1.hxx>

#include <atomic>

namespace office::detail {

class LoadInteraction : public cppu::WeakImplHelper1<css::task::XInteractionHandler>
{
public:
    void SAL_CALL
    handle(const css::uno::Reference<css::task::XInteractionRequest>& request) override;

    // Whether the file asked for a password to be opened.
    bool passwordAsked() const { return passwordAsked_; }

private:
    std::atomic<bool> passwordAsked_{false};
};

} // namespace office::detail
