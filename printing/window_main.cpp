// MorvantaPrint: the print window "证书打印". File or certificate-number
// arguments (as the desktop's "open with" passes the selected documents)
// tick those documents instead of the latest run.

#include "common/environment.h"
#include "common/look.h"
#include "common/staleleftovers.h"
#include "office/engine.h"
#include "printing/endedcalls.h"
#include "printing/officeexporter.h"
#include "printing/printwindow.h"

#include <QApplication>

#include <QDir>

#include <csignal>

int main(int argc, char* argv[])
{
    // A scheduler that goes away mid-job must fail the call, not end the program.
    environment::settle();
    std::signal(SIGPIPE, SIG_IGN);
    QApplication app(argc, argv);
    // What a killed program of ours left: a print call's waiting jobs, then
    // its folder and the rest.
    printing::cancelJobsOfEndedCalls(QDir::tempPath());
    staleleftovers::clearAtStart();
    // The settings file (~/.config/Morvanta/MorvantaPrint.conf) and the
    // title of the message boxes.
    QApplication::setOrganizationName(QStringLiteral("Morvanta"));
    QApplication::setApplicationName(QStringLiteral("MorvantaPrint"));
    QApplication::setApplicationDisplayName(QStringLiteral("证书打印"));
    look::installSongtiSubstitutes();

    printing::OfficeExporter exporter(office::defaultEngine());
    int status = 0;
    {
        printing::PrintWindow window(exporter);
        window.load(app.arguments().mid(1));
        window.show();
        status = QApplication::exec();
    }
    // The office processes end with the program, before the windows' statics go.
    office::shutdownDefaultEngine();
    return status;
}
