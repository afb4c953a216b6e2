// morvanta-print: printing certificate documents without a desktop; see
// printconsole.h for the options and exit status.

#include "common/environment.h"
#include "common/staleleftovers.h"
#include "office/engine.h"
#include "printing/endedcalls.h"
#include "printing/officeexporter.h"
#include "printing/printconsole.h"

#include <QCoreApplication>

#include <QDir>

#include <csignal>
#include <cstdio>

namespace {

void write(std::FILE* stream, const QString& line)
{
    const QByteArray utf8 = (line + u'\n').toUtf8();
    std::fwrite(utf8.constData(), 1, static_cast<size_t>(utf8.size()), stream);
    std::fflush(stream);
}

} // namespace

int main(int argc, char* argv[])
{
    environment::settle();
    // A scheduler that goes away mid-job must fail the call, not end the program.
    std::signal(SIGPIPE, SIG_IGN);
    QCoreApplication app(argc, argv);
    // What a killed program of ours left: a print call's waiting jobs, then
    // its folder and the rest.
    printing::cancelJobsOfEndedCalls(QDir::tempPath());
    staleleftovers::clearAtStart();
    printing::OfficeExporter exporter(office::defaultEngine());
    const printing::ConsoleOutput output{[](const QString& line) { write(stdout, line); },
                                         [](const QString& line) { write(stderr, line); }};
    const int status = printing::runPrintConsole(app.arguments(), exporter, output);
    office::shutdownDefaultEngine();
    return status;
}
