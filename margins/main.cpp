// Tolberin: shows and edits the page margins of the two certificate templates.

#include "common/environment.h"
#include "common/messagebox.h"
#include "margins/form2.h"
#include "margins/messages.h"
#include "office/engine.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    environment::settle();
    QApplication app(argc, argv);
    // Also the title of its message boxes.
    QApplication::setApplicationName(QStringLiteral("Tolberin"));
    // The templates are read and written one after the other: a second
    // office would only cost start-up time.
    office::EngineOptions options;
    options.processes = 1;
    office::setDefaultEngineOptions(options);

    int exitCode = 0;
    {
        margins::form2 window;
        bool loaded = false;
        try {
            window.Form_Load();
            loaded = true;
        } catch (...) {
            // Before the event loop: shown here, as a handler's failure would be.
            showMessageBox(margins::Failures::currentText());
            exitCode = unhandled::kExitCode;
        }
        if (loaded) {
            window.show();
            // A failure in a handler ends the loop with unhandled::kExitCode.
            exitCode = QApplication::exec();
        }
    }
    // The office process ends with the program.
    office::shutdownDefaultEngine();
    return exitCode;
}
