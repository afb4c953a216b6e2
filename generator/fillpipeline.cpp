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
    rows_.resize(static_cast<std::size_t>(std::max(rows, 0)));
    readable_ = std::max(rows, 0);
    const int count = std::clamp(lanes, 1, std::max(jobs_, 1));
    runningLanes_ = count;
    try {
        if (jobs_ > 0)
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

// Reads the rows in order, a little ahead of the lanes, so that a fill never
// waits for its row while the office that holds the workbook is busy with
// another fill. A row that cannot be read ends the rows there: its original's
// outcome is the failure, and every row before it is filled as usual.
void FillPipeline::readRows()
{
    const int rows = jobs_ / 2;
    for (int row = 0; row < rows; ++row) {
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [&] { return halted_ || row < claimed_ / 2 + window_; });
            if (halted_)
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
        if (failure) {
            readable_ = row;
            outcomes_[static_cast<std::size_t>(2 * row)] = Outcome{std::nullopt, {}, failure};
            changed_.notify_all();
            return;
        }
        rows_[static_cast<std::size_t>(row)] = std::move(record);
        ++rowsRead_;
        changed_.notify_all();
    }
}

// With the lock held, for a job whose row is read: whether a claimed fill
// before it, not ended yet, writes the same document. Every such fill's row is
// read too, since rows are read in order.
bool FillPipeline::earlierFillWritesSameDocument(int job, const CertificateRecord& record) const
{
    return std::any_of(unfinished_.begin(), unfinished_.end(), [&](int other) {
        return other < job && other % 2 == job % 2 &&
               rows_[static_cast<std::size_t>(other / 2)].zhengshuhao == record.zhengshuhao;
    });
}

void FillPipeline::lane()
{
    const auto leave = [this] {
        --runningLanes_;
        changed_.notify_all();
    };
    const auto ended = [this](int job) {
        std::erase(unfinished_, job);
        changed_.notify_all();
    };
    for (;;) {
        int job = 0;
        CertificateRecord record;
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [this] {
                return halted_ || claimed_ >= 2 * readable_ || claimed_ < taken_ + window_;
            });
            if (halted_ || claimed_ >= 2 * readable_)
                return leave();
            job = claimed_++;
            unfinished_.push_back(job);
            const int row = job / 2;
            changed_.notify_all(); // the reader may read further
            changed_.wait(lock, [&] { return rowsRead_ > row || row >= readable_ || halted_; });
            if (rowsRead_ <= row) { // unreadable, or stopped before it was read
                ended(job);
                return leave();
            }
            record = rows_[static_cast<std::size_t>(row)];
            // Not cut short by a stop: the fills it waits for end by themselves,
            // and the caller may still want this one's outcome.
            changed_.wait(lock, [&] { return !earlierFillWritesSameDocument(job, record); });
            if (firstFailed_ < job) { // a sequential run would not get here
                ended(job);
                continue;
            }
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
        if (outcome.failure) {
            halted_ = true; // a sequential run would end here
            firstFailed_ = std::min(firstFailed_, job);
        }
        outcomes_[static_cast<std::size_t>(job)] = std::move(outcome);
        ended(job);
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
    if (reader_.joinable())
        reader_.join();
}
