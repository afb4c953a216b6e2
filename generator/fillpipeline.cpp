#include "generator/fillpipeline.h"

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
    : jobs_(2 * std::max(rows, 0)), window_(2 * std::max(lanes, 1)), read_(std::move(read)),
      fills_(std::move(fills)), outcomes_(static_cast<std::size_t>(jobs_))
{
    rows_.reserve(static_cast<std::size_t>(std::max(rows, 0)));
    const int count = std::clamp(lanes, 1, std::max(jobs_, 1));
    runningLanes_ = count;
    for (int i = 0; i < count; ++i)
        lanes_.emplace_back([this] { lane(); });
}

FillPipeline::~FillPipeline()
{
    stop();
}

void FillPipeline::lane()
{
    for (;;) {
        int job = 0;
        CertificateRecord record;
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [this] {
                return halted_ || claimed_ >= jobs_ || claimed_ < taken_ + window_;
            });
            if (halted_ || claimed_ >= jobs_) {
                --runningLanes_;
                changed_.notify_all();
                return;
            }
            job = claimed_++;
            const auto row = static_cast<std::size_t>(job / 2);
            if (job % 2 == 0) {
                // Rows are read under the lock, so strictly one after the other.
                try {
                    rows_.push_back(read_(static_cast<int>(row)));
                } catch (...) {
                    outcomes_[static_cast<std::size_t>(job)] =
                        Outcome{std::nullopt, {}, std::current_exception()};
                    halted_ = true;
                    --runningLanes_;
                    changed_.notify_all();
                    return;
                }
            }
            record = rows_[row];
        }

        Outcome outcome{record, {}, nullptr};
        CollectedMessages messages;
        try {
            bool matchCase = false;
            fills_[static_cast<std::size_t>(job % 2)](record, messages, matchCase);
        } catch (...) {
            outcome.failure = std::current_exception();
        }
        outcome.messages = std::move(messages.texts);

        std::lock_guard lock(mutex_);
        if (outcome.failure)
            halted_ = true; // a sequential run would end here
        outcomes_[static_cast<std::size_t>(job)] = std::move(outcome);
        changed_.notify_all();
    }
}

FillPipeline::Outcome FillPipeline::next()
{
    std::unique_lock lock(mutex_);
    if (taken_ >= jobs_)
        throw std::logic_error("FillPipeline: no fill left");
    const auto index = static_cast<std::size_t>(taken_);
    changed_.wait(lock, [&] { return outcomes_[index].has_value() || runningLanes_ == 0; });
    if (!outcomes_[index])
        throw std::logic_error("FillPipeline: the fill after a failure was asked for");
    Outcome outcome = std::move(*outcomes_[index]);
    outcomes_[index].reset();
    ++taken_;
    changed_.notify_all();
    return outcome;
}

void FillPipeline::stop()
{
    {
        std::lock_guard lock(mutex_);
        halted_ = true;
        changed_.notify_all();
    }
    for (std::thread& t : lanes_)
        if (t.joinable())
            t.join();
}
