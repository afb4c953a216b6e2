#pragma once

#include "generator/runview.h"

#include <cstdio>

// The generation run on a terminal: every message and the progress are
// printed instead of shown in windows; nothing waits for the operator.
class ConsoleView : public RunView
{
public:
    explicit ConsoleView(std::FILE* out) : out_(out) {}

    void hideMainWindow() override {}
    void showMainWindow() override {}
    void showWaitForm() override {}
    void unloadWaitForm() override {}
    void setProgress(int done, int total) override;
    void showMessage(const QString& text) override;

private:
    void print(const QString& line);

    std::FILE* out_;
};
