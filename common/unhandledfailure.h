#pragma once

// A failure that escapes a handler of a window is shown once, as
// "number:description", and then ends the program: every running event loop
// returns kExitCode, so main returns normally and everything it owns (the
// office processes included) is shut down by the destructors.
//
// morvanta::Error shows as its message(), "number:description"; any other
// failure shows under the office failure's number.

#include "common/error.h"

#include <QString>

#include <exception>
#include <utility>

namespace unhandled {

inline constexpr int kExitCode = 1;

// "number:description" for a failure that is not one of the program's own
// (`failure` null when it is not even a std::exception): running out of
// memory or of threads in words, anything else as an internal failure.
QString otherFailureText(int number, const std::exception* failure);

// Shows the text in a message box, then asks every running event loop to
// end with kExitCode. No window closing meanwhile (the box itself is often
// the last) ends the program in the ordinary way instead.
void endProgram(const QString& text);

struct Failures
{
    // The text for the failure being handled; only inside a catch block.
    static QString currentText()
    {
        try {
            throw;
        } catch (const morvanta::Error& failure) {
            return failure.message();
        } catch (const std::exception& failure) {
            return otherFailureText(morvanta::errc::OfficeFailure, &failure);
        } catch (...) {
            return otherFailureText(morvanta::errc::OfficeFailure, nullptr);
        }
    }

    // Runs one handler; whatever escapes it is shown and ends the program.
    template <class Handler> static void runHandler(Handler&& handler)
    {
        try {
            std::forward<Handler>(handler)();
        } catch (...) {
            endProgram(currentText());
        }
    }
};

} // namespace unhandled
