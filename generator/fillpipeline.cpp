#include "generator/fillpipeline.h"

#include "common/paths.h"
#include "generator/runview.h"

#include <algorithm>
#include <stdexcept>

namespace {

// What a fill shows, kept for the caller to show in order; a fill only ever
// shows messages.
class CollectedMessages : public RunView
{
public:
    QStringList texts;

    void hideMainWindow() override {}
    void showMainWindow() override {}
    void showWaitForm() override {}
    void unloadWaitForm() override {}
    void setProgress(int, int) override {}
    void showMessage(const QString& text) override { texts << text; }
};

} // namespace

FillPipeline::FillPipeline(int rows, int lanes, ReadRow read, std::array<Fill, 2> fills)
    : lookAhead_(2 * std::max(lanes, 1)), readAhead_(2 * lookAhead_), read_(std::move(read)),
      fills_(std::move(fills)), jobs_(static_cast<std::size_t>(2 * std::max(rows, 0))),
      rows_(static_cast<std::size_t>(std::max(rows, 0)))
{
    const int count = std::clamp(lanes, 1, std::max(static_cast<int>(jobs_.size()), 1));
    try {
        if (!jobs_.empty())
            reader_ = std::thread([this] { readRows(); });
        for (int i = 0; i < count; ++i)
            lanes_.emplace_back([this] { lane(); });
    } catch (...) {
        stop(); // the threads already started end before the members go
        throw;
    }
}

FillPipeline::~FillPipeline()
{
    stop();
}

// The reader may read `row`: its original lies within the read-ahead, or the
// row will never be filled and the reader can end.
bool FillPipeline::rowWanted(int row) const
{
    return jobs_[static_cast<std::size_t>(2 * row)].state == State::Skipped ||
           2 * row < taken_ + lookAhead_ + readAhead_;
}

// A fill before `job`, not ended yet, writes the same document (numbers
// compared as their file names are, in one normalisation form). Every fill
// before `job` has its row read, since rows are read in order, and every one
// before the caller's next outcome has ended.
bool FillPipeline::waitsForSameDocument(int job) const
{
    const auto document = [this](int j) {
        return paths::documentFileName(rows_[static_cast<std::size_t>(j / 2)].zhengshuhao,
                                       paths::TemplateKind::Original);
    };
    const QString mine = document(job);
    for (int other = job - 2; other >= taken_; other -= 2) {
        const State state = jobs_[static_cast<std::size_t>(other)].state;
        if (state != State::Done && state != State::Skipped && document(other) == mine)
            return true;
    }
    return false;
}

// The first fill in order that a free lane may start now: its row is read, it
// lies within the look-ahead, and no earlier fill of its document is unfinished.
std::optional<int> FillPipeline::startableJob() const
{
    const int end = std::min(taken_ + lookAhead_, static_cast<int>(jobs_.size()));
    for (int job = taken_; job < end; ++job)
        if (jobs_[static_cast<std::size_t>(job)].state == State::Ready &&
            !waitsForSameDocument(job))
            return job;
    return std::nullopt;
}

// Every fill is running, ended or skipped: a lane has nothing more to do.
bool FillPipeline::nothingLeftToStart() const
{
    return std::none_of(jobs_.begin() + taken_, jobs_.end(), [](const Job& job) {
        return job.state == State::WaitingForRow || job.state == State::Ready;
    });
}

bool FillPipeline::outcomeDecided(int job) const
{
    const State state = jobs_[static_cast<std::size_t>(job)].state;
    return state == State::Done || state == State::Skipped;
}

// No fill from `job` on starts any more; the running ones end as usual.
void FillPipeline::skipFrom(int job)
{
    for (auto it = jobs_.begin() + std::min(job, static_cast<int>(jobs_.size())); it != jobs_.end();
         ++it)
        if (it->state == State::WaitingForRow || it->state == State::Ready)
            it->state = State::Skipped;
    changed_.notify_all();
}

// Reads the rows in order, a little ahead of the lanes, so that a fill never
// waits for its row while the office that holds the workbook is busy with
// another fill. A row that cannot be read ends the rows there: its original's
// outcome is the failure, and every row before it is filled as usual.
void FillPipeline::readRows()
{
    const int rows = static_cast<int>(rows_.size());
    for (int row = 0; row < rows; ++row) {
        Job& original = jobs_[static_cast<std::size_t>(2 * row)];
        Job& duplicate = jobs_[static_cast<std::size_t>(2 * row + 1)];
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [&] { return rowWanted(row); });
            if (original.state == State::Skipped)
                return;
        }
        CertificateRecord record;
        std::exception_ptr failure;
        try {
            record = read_(row);
        } catch (...) {
            failure = std::current_exception();
        }
        std::lock_guard lock(mutex_);
        if (original.state == State::Skipped) // stopped while it was read
            return;
        if (failure) {
            original.state = State::Done;
            original.outcome = Outcome{std::nullopt, {}, failure};
            skipFrom(2 * row + 1);
            return;
        }
        rows_[static_cast<std::size_t>(row)] = std::move(record);
        original.state = State::Ready;
        if (duplicate.state == State::WaitingForRow)
            duplicate.state = State::Ready;
        changed_.notify_all();
    }
}

void FillPipeline::lane()
{
    for (;;) {
        int job = 0;
        CertificateRecord record;
        {
            std::unique_lock lock(mutex_);
            std::optional<int> startable;
            changed_.wait(lock, [&] {
                startable = startableJob();
                return startable || nothingLeftToStart();
            });
            if (!startable)
                return;
            job = *startable;
            jobs_[static_cast<std::size_t>(job)].state = State::Running;
            record = rows_[static_cast<std::size_t>(job / 2)];
        }

        Outcome outcome{record, {}, nullptr};
        CollectedMessages messages;
        try {
            bool matchCase = false;
            outcome.result = fills_[static_cast<std::size_t>(job % 2)](record, messages, matchCase);
        } catch (...) {
            outcome.failure = std::current_exception();
        }
        outcome.messages = std::move(messages.texts);

        std::lock_guard lock(mutex_);
        if (outcome.failure)
            skipFrom(job + 1); // a sequential run would end here
        Job& ended = jobs_[static_cast<std::size_t>(job)];
        ended.state = State::Done;
        ended.outcome = std::move(outcome);
        changed_.notify_all();
    }
}

FillPipeline::Outcome FillPipeline::next()
{
    std::unique_lock lock(mutex_);
    const int job = taken_;
    if (job >= static_cast<int>(jobs_.size()))
        throw std::logic_error("FillPipeline: no fill left");
    changed_.wait(lock, [&] { return outcomeDecided(job); });
    Job& decided = jobs_[static_cast<std::size_t>(job)];
    if (decided.state == State::Skipped)
        throw std::logic_error("FillPipeline: a fill that was not run was asked for");
    Outcome outcome = std::move(*decided.outcome);
    decided.outcome.reset();
    ++taken_;
    changed_.notify_all();
    return outcome;
}

void FillPipeline::stop()
{
    {
        std::lock_guard lock(mutex_);
        skipFrom(taken_);
    }
    for (std::thread& t : lanes_)
        if (t.joinable())
            t.join();
    if (reader_.joinable())
        reader_.join();
}
