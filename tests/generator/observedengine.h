#pragma once

// The default engine of the generation tests, watched: how many word sessions
// are open at once, whether the window thread closes the workbook, and an
// office killed under a chosen fill.

#include "office/engine.h"
#include "office/spreadsheet.h"
#include "office/word.h"

#include <QCoreApplication>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <memory>
#include <mutex>

namespace observed {

// The certificate number of the row a fill on this thread works on, set by
// the test's fills, so that the office can be killed under a chosen document.
inline thread_local QString fillingNumber;

// A spreadsheet application noting whether the window thread closed it.
class ObservedSheet : public office::sheet::Application
{
public:
    ObservedSheet(std::unique_ptr<office::sheet::Application> inner, std::atomic<bool>& closed)
        : inner_(std::move(inner)), closedOnWindowThread_(closed)
    {
    }
    ~ObservedSheet() override { noteClosing(); }
    office::sheet::Workbook& GetObject(const QString& path) override
    {
        return inner_->GetObject(path);
    }
    void Quit() override
    {
        noteClosing();
        inner_->Quit();
    }

private:
    void noteClosing()
    {
        if (QThread::currentThread() == QCoreApplication::instance()->thread())
            closedOnWindowThread_ = true;
    }

    std::unique_ptr<office::sheet::Application> inner_;
    std::atomic<bool>& closedOnWindowThread_;
};

// The default engine, noting how many word sessions were open at once and
// whether the window thread closed the workbook, and killing the office of a
// chosen fill right after it opened its template.
class ObservedEngine : public office::Engine
{
public:
    QString killFor; // "<number> <template path>": the fill whose office dies
    std::mutex mutex;
    int openSessions = 0;
    int mostAtOnce = 0;
    std::atomic<bool> closedOnWindowThread = false;

    std::unique_ptr<office::word::Application> createWordApplication() override;
    std::unique_ptr<office::sheet::Application> createSpreadsheetApplication() override
    {
        return std::make_unique<ObservedSheet>(
            office::defaultEngine().createSpreadsheetApplication(), closedOnWindowThread);
    }
    int parallelSessions() override { return office::defaultEngine().parallelSessions(); }
};

class ObservedWord : public office::word::Application, public office::word::Documents
{
public:
    ObservedWord(std::unique_ptr<office::word::Application> inner, ObservedEngine& engine)
        : inner_(std::move(inner)), engine_(engine)
    {
        std::lock_guard lock(engine_.mutex);
        engine_.mostAtOnce = std::max(engine_.mostAtOnce, ++engine_.openSessions);
    }
    ~ObservedWord() override
    {
        std::lock_guard lock(engine_.mutex);
        --engine_.openSessions;
    }
    void SetVisible(bool visible) override { inner_->SetVisible(visible); }
    bool Visible() override { return inner_->Visible(); }
    office::word::Documents& Documents() override { return *this; }
    office::word::Document& Open(const QString& fileName, bool readOnly) override
    {
        office::word::Document& document = inner_->Documents().Open(fileName, readOnly);
        if (engine_.killFor == fillingNumber + u' ' + fileName)
            ::kill(static_cast<pid_t>(office::officePidOf(*inner_)), SIGKILL);
        return document;
    }
    office::word::Document& ActiveDocument() override { return inner_->ActiveDocument(); }
    float PointsToCentimeters(float p) override { return inner_->PointsToCentimeters(p); }
    float CentimetersToPoints(float c) override { return inner_->CentimetersToPoints(c); }
    void Quit() override { inner_->Quit(); }

private:
    std::unique_ptr<office::word::Application> inner_;
    ObservedEngine& engine_;
};

inline std::unique_ptr<office::word::Application> ObservedEngine::createWordApplication()
{
    return std::make_unique<ObservedWord>(office::defaultEngine().createWordApplication(), *this);
}

} // namespace observed
