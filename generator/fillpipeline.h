#pragma once

#include "generator/certificaterecord.h"

#include <QStringList>

#include <array>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

class RunView;

// The fills of a batch on several threads at once: two per row, original
// first, each started by the next free lane in that order, so the two fills of
// a row and, as lanes come free, those of the next rows run side by side. The
// outcomes are handed back one at a time in the same order, which lets the
// caller show exactly what a run of one fill after the other would show.
// Fills that write the same document (rows with the same certificate number,
// same kind) run one after the other in row order, so the later row's
// document is the one that stays.
//
// Every fill is one entry of a table, with its state; the threads wait on
// named conditions of that table, all under one lock. The lanes run at most
// `lookAhead` fills past the outcome the caller takes next, and the rows are
// read while their original lies within `lookAhead + readAhead` fills of it,
// both counted in fills.
class FillPipeline
{
public:
    // Reads row `index` (0-based) of the batch; called in row order, one call at a time.
    using ReadRow = std::function<CertificateRecord(int index)>;
    // One fill: its own copy of the row's values; its messages go to `messages`.
    using Fill = std::function<std::int16_t(const CertificateRecord& record, RunView& messages,
                                            bool& matchCase)>;

    struct Outcome
    {
        std::optional<CertificateRecord> record; // empty when the row could not be read
        QStringList messages;                    // what the fill showed, in order
        std::exception_ptr failure; // reading the row failed, or the fill let a failure escape
        std::int16_t result = 0;    // what the fill returned, when it returned
    };

    // `fills` are the original's and the duplicate's; each gets a fresh MatchCase of false.
    // A thread that cannot be created ends the ones already started and is thrown.
    FillPipeline(int rows, int lanes, ReadRow read, std::array<Fill, 2> fills);
    ~FillPipeline(); // stop()
    FillPipeline(const FillPipeline&) = delete;
    FillPipeline& operator=(const FillPipeline&) = delete;

    // The outcome of the next fill in order; blocks until that fill has ended.
    // After an outcome with a failure nothing further is started: asking for
    // a fill that will not run (after a failure or a stop) throws std::logic_error.
    Outcome next();
    // Starts no further fill and waits for the running ones to end.
    void stop();

private:
    enum class State
    {
        WaitingForRow, // its row is not read yet
        Ready,         // its row is read; it starts once a lane is free and nothing holds it back
        Running,
        Done,    // its outcome waits for the caller, or was taken
        Skipped, // will not run: stopped, after a failure, or past an unreadable row
    };
    struct Job
    {
        State state = State::WaitingForRow;
        std::optional<Outcome> outcome;
    };

    void readRows();
    void lane();

    // The conditions, each with the lock held.
    bool rowWanted(int row) const;
    std::optional<int> startableJob() const;
    bool nothingLeftToStart() const;
    bool outcomeDecided(int job) const;
    bool waitsForSameDocument(int job) const;

    // State changes, with the lock held.
    void skipFrom(int job);

    const int lookAhead_; // fills the lanes may run past the caller's next outcome
    const int readAhead_; // fills past the look-ahead whose rows are read already
    ReadRow read_;
    std::array<Fill, 2> fills_;

    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Job> jobs_;               // two per row, original first
    std::vector<CertificateRecord> rows_; // read for every job past WaitingForRow
    int taken_ = 0;                       // outcomes handed to the caller
    std::vector<std::thread> lanes_;
    std::thread reader_;
};
