#pragma once

// A word processor in memory, for what the real office cannot reach in
// reasonable time: the counter overflow (32768 replacements) and calls that
// fail while a session is being closed.

#include "common/error.h"
#include "office/engine.h"

#include <QString>
#include <QStringList>

#include <memory>

struct FakeWordState
{
    QString templateText; // what Documents.Open loads
    QString documentText; // the open document's text
    QStringList calls;    // "Open", "SaveAs", "Close", "Quit" ... in order, not the searches
    QString failOn;       // a call that throws
    int failNumber = morvanta::errc::WriteFailed;
    int closeAndQuitFailure = 0; // non-zero: Close and Quit fail with this number
    QStringList savedFiles;
};

class FakeWordEngine : public office::Engine
{
public:
    FakeWordState state;
    std::unique_ptr<office::word::Application> createWordApplication() override;
    std::unique_ptr<office::sheet::Application> createSpreadsheetApplication() override;
};
