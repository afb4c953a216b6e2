#pragma once

#include "office/engine.h"
#include "office/unocall.h"

#include <memory>

namespace office::detail {

// The engine on one private LibreOffice process, replaced when it died or
// after documentsPerProcess documents (between two sessions).
class UnoEngine : public Engine
{
public:
    explicit UnoEngine(EngineOptions options);
    ~UnoEngine() override;

    std::unique_ptr<word::Application> createWordApplication() override;
    std::unique_ptr<sheet::Application> createSpreadsheetApplication() override;

    void setOptions(const EngineOptions& options) { options_ = options; }
    // The live connection, starting an office when there is none.
    std::shared_ptr<Connection> connection();
    long officePid();
    void shutdown();
    // At program exit: ends the office without touching the UNO runtime.
    void abandon();

    // Word sessions: the process is only replaced while none is open.
    void sessionStarted() { ++openSessions_; }
    void sessionEnded() { --openSessions_; }

private:
    EngineOptions options_;
    Watchdog watchdog_;
    std::shared_ptr<Connection> connection_;
    int openSessions_ = 0;
};

UnoEngine& unoEngine();

} // namespace office::detail
