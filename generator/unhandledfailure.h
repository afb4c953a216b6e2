#pragma once

// A failure that escapes a handler of a window is shown once, as
// "number:description", and then ends the program: the event loop returns
// unhandledFailureExitCode, so main returns normally and everything it owns
// (the office process included) is shut down by the destructors.

#include "office/error.h"

#include <QString>

#include <exception>
#include <utility>

inline constexpr int unhandledFailureExitCode = 1;

// The text shown for a failure that is not an office::Error.
QString unhandledFailureText(const std::exception& failure);

// Shows the failure and asks the event loop to end the program.
void endAfterUnhandledFailure(const QString& text);

// Runs one handler; what escapes it ends the program.
template <typename Handler> void runHandler(Handler&& handler)
{
    try {
        std::forward<Handler>(handler)();
    } catch (const office::Error& failure) {
        endAfterUnhandledFailure(failure.message());
    } catch (const std::exception& failure) {
        endAfterUnhandledFailure(unhandledFailureText(failure));
    }
}
