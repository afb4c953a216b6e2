#pragma once

// A word processor in memory that records every call made on it, for the
// tests that check the fill's exact conversation with the office (and the
// counter overflow, which takes 32768 replacements).

#include "office/engine.h"
#include "office/error.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

struct FakeWordState
{
    QString templateText; // what Documents.Open loads
    QString documentText; // the open document's text
    QStringList calls;    // one line per call, in order
    QString failOn;       // a call (as logged, up to '(') that throws
    int failNumber = office::errc::WriteFailed;
    int closeAndQuitFailure = 0; // non-zero: Close and Quit fail with this number
    int applicationsCreated = 0;
    QStringList savedFiles;
    bool logReplacements = true; // off for the overflow run
};

class FakeWordEngine : public office::Engine
{
public:
    FakeWordState state;
    std::unique_ptr<office::word::Application> createWordApplication() override;
    std::unique_ptr<office::sheet::Application> createSpreadsheetApplication() override;
};
