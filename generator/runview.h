#pragma once

#include <QString>

// What the operator sees of a generation run. The main window implements it
// with real windows and message boxes; the console front end prints; tests
// record.
class RunView
{
public:
    virtual ~RunView() = default;
    virtual void hideMainWindow() = 0;
    virtual void showMainWindow() = 0;
    // Shows the wait form (loading it first if needed); showing it again changes nothing.
    virtual void showWaitForm() = 0;
    virtual void unloadWaitForm() = 0;
    // Rows finished so far out of all rows of this run.
    virtual void setProgress(int done, int total) = 0;
    // A modal message with an OK button only; returns once confirmed.
    virtual void showMessage(const QString& text) = 0;
};
