#pragma once

// A run view that records the run as the operator would see it, one line per
// effect: "hide", "show", "wait", "unload", "progress 1/3", "message <text>".

#include "generator/runview.h"

#include <QStringList>

class RecordingView : public RunView
{
public:
    QStringList log;
    QStringList messages;

    void hideMainWindow() override { log << QStringLiteral("hide"); }
    void showMainWindow() override { log << QStringLiteral("show"); }
    void showWaitForm() override { log << QStringLiteral("wait"); }
    void unloadWaitForm() override { log << QStringLiteral("unload"); }
    void setProgress(int done, int total) override
    {
        log << QStringLiteral("progress %1/%2").arg(done).arg(total);
    }
    void showMessage(const QString& text) override
    {
        messages << text;
        log << QStringLiteral("message ") + text;
    }
};
