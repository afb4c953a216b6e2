#include "common/environment.h"
#include "common/staleleftovers.h"
#include "generator/application.h"
#include "generator/form1.h"
#include "generator/launcher.h"
#include "office/engine.h"

#include <QApplication>

// The program is its main window: it starts by showing form1 and ends when
// form1 is closed, or after an unhandled failure has been shown.
int main(int argc, char* argv[])
{
    environment::settle();
    QApplication app(argc, argv);
    prepareGeneratorApplication(app);
    staleleftovers::clearAtStart(); // what a killed program of ours left

    DesktopLauncher launcher;
    form1 window(office::defaultEngine(), launcher);
    window.show();
    const int exitCode = QApplication::exec();
    // The office process ends with the program, before the windows go.
    office::shutdownDefaultEngine();
    return exitCode;
}
