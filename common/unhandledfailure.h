#pragma once

// A failure that escapes a handler of a window is shown once, as
// "number:description", and then ends the program: every running event loop
// returns kExitCode, so main returns normally and everything it owns (the
// office processes included) is shut down by the destructors.
//
// A program names its own failure type, whose message() is already
// "number:description", and the number under which it shows any other
// failure; everything else is the same for every program.

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

template <class OwnFailure, int otherNumber> struct Failures
{
    // The text for the failure being handled; only inside a catch block.
    static QString currentText()
    {
        try {
            throw;
        } catch (const OwnFailure& failure) {
            return failure.message();
        } catch (const std::exception& failure) {
            return otherFailureText(otherNumber, &failure);
        } catch (...) {
            return otherFailureText(otherNumber, nullptr);
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
