#pragma once

#include "office/engine.h"
#include "office/unocall.h"

#include <memory>
#include <mutex>
#include <vector>

namespace office::detail {

// The engine on a small pool of private LibreOffice processes. Each word
// session claims a process of its own for its life; the data workbook lives
// on the first one, beside whatever session is there. A process is replaced
// when it died, or after documentsPerProcess documents while no session is on it.
class UnoEngine : public Engine
{
public:
    explicit UnoEngine(EngineOptions options);
    ~UnoEngine() override;

    std::unique_ptr<word::Application> createWordApplication() override;
    std::unique_ptr<sheet::Application> createSpreadsheetApplication() override;
    int parallelSessions() override;

    // Takes effect at the next start of the offices.
    void setOptions(const EngineOptions& options);
    // The live connection of process `index`, starting offices where there
    // are none. A first start brings up every process of the pool at once.
    std::shared_ptr<Connection> connection(int index);
    QList<long> officePids();
    void shutdown();
    // At program exit: ends the offices without touching the UNO runtime.
    void abandon();

    // Word sessions: a new one gets a process that no session is on (a
    // running one first) and renews it when it is due.
    int sessionStarted();
    void sessionEnded(int index);

private:
    struct Process
    {
        std::shared_ptr<Connection> connection;
        int sessions = 0;
    };
    int poolSize() const;
    void resizeWhenIdle(); // to the options' pool size, when nothing runs

    EngineOptions options_;
    Watchdog watchdog_;
    std::mutex mutex_;      // the table below; never held across a start
    std::mutex startMutex_; // one start (of one or several offices) at a time
    std::vector<Process> processes_;
};

UnoEngine& unoEngine();

} // namespace office::detail
