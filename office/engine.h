#pragma once

// The boundary to the office engine. Programs create word-processor and
// spreadsheet applications through an Engine; the default one drives a
// private headless LibreOffice over UNO.

#include "office/spreadsheet.h"
#include "office/word.h"

#include <QList>
#include <QString>

#include <chrono>
#include <memory>

namespace office {

class Engine
{
public:
    virtual ~Engine() = default;
    // A new, isolated word-processor session.
    virtual std::unique_ptr<word::Application> createWordApplication() = 0;
    // A spreadsheet application on the same office.
    virtual std::unique_ptr<sheet::Application> createSpreadsheetApplication() = 0;
    // How many word-processor sessions can work at the same time, each on an
    // office process of its own. Sessions may be created from any thread.
    virtual int parallelSessions() { return 1; }
};

struct EngineOptions
{
    // Past this a call is taken as hung: the office is killed, the call fails.
    std::chrono::milliseconds callDeadline{std::chrono::seconds(120)};
    // Starting and connecting to the office.
    std::chrono::milliseconds startDeadline{std::chrono::seconds(90)};
    // Replace the office process after this many documents, between sessions,
    // to bound its memory over long batches.
    int documentsPerProcess = 500;
    // Office processes that sessions are spread over; never more than the
    // machine's cores, at least one.
    int processes = 2;
    // The most data, in bytes, each office process may hold; 0: a quarter of
    // the machine's memory, at least 2 GiB. A file that needs more is refused.
    qint64 officeMemoryLimit = 0;
    // The office installation's program folder; empty: the one found at build time.
    QString programDir;
};

// The process-wide LibreOffice engine. The office starts on first use and
// ends with the program, whichever way the program ends.
Engine& defaultEngine();

// Sets the options of the default engine; takes effect at the next office start.
void setDefaultEngineOptions(const EngineOptions& options);

// The process id of the first running office, or 0; for tests and diagnostics.
long defaultEngineOfficePid();
// The process ids of every running office; for tests and diagnostics.
QList<long> defaultEngineOfficePids();
// The process id of the office a word-processor session has its document on,
// or 0 (no document open, or not a session of the default engine).
long officePidOf(word::Application& session);

// Ends the default engine's offices now (they restart on next use).
void shutdownDefaultEngine();

// Converts a document or spreadsheet into another format with the default
// engine, by the office's filter name ("MS Word 97", "MS Excel 97",
// "Rich Text Format", "MS Word 2007 XML", "Calc MS Excel 2007 XML", ...).
// For the tools and tests that make files; the programs never need it. A
// `password`, when given, locks the new file against opening.
void convertFile(const QString& source, const QString& target, const QString& filterName,
                 const QString& password = {});

} // namespace office
