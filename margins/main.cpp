// Tolberin: shows and edits the page margins of the two certificate templates.

#include "margins/form2.h"
#include "margins/messages.h"
#include "office/engine.h"
#include "office/error.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tolberin"));
    // The templates are read and written one after the other: a second
    // office would only cost start-up time.
    office::EngineOptions options;
    options.processes = 1;
    office::setDefaultEngineOptions(options);

    int exitCode = 0;
    {
        margins::form2 window;
        try {
            window.Form_Load();
            window.show();
            exitCode = QApplication::exec();
            if (window.exitCode() != 0)
                exitCode = window.exitCode();
        } catch (const office::Error& error) {
            margins::showFailure(error);
            exitCode = 1;
        }
    }
    // The office process ends with the program.
    office::shutdownDefaultEngine();
    return exitCode;
}
