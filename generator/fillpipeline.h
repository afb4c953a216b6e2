#pragma once

#include "generator/certificaterecord.h"

#include <QStringList>

#include <array>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <limits>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

class RunView;

// The fills of a batch on several threads at once: two per row, original
// first, each taken by the next free lane in that order, so the two fills of a
// row and, as lanes come free, those of the next rows run side by side. The
// outcomes are handed back one at a time in the same order, which lets the
// caller show exactly what a run of one fill after the other would show.
// Fills that write the same document (rows with the same certificate number,
// same kind) run one after the other in row order, so the later row's
// document is the one that stays.
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
    };

    // `fills` are the original's and the duplicate's; each gets a fresh MatchCase of false.
    FillPipeline(int rows, int lanes, ReadRow read, std::array<Fill, 2> fills);
    ~FillPipeline(); // stop()
    FillPipeline(const FillPipeline&) = delete;
    FillPipeline& operator=(const FillPipeline&) = delete;

    // The outcome of the next fill in order; blocks until that fill has ended.
    // After an outcome with a failure nothing further is started.
    Outcome next();
    // Starts no further fills and waits for the running ones to end.
    void stop();

private:
    void readRows();
    void lane();
    bool earlierFillWritesSameDocument(int job, const CertificateRecord& record) const;

    const int jobs_;   // two per row
    const int window_; // how far the lanes may run ahead of the caller
    ReadRow read_;
    std::array<Fill, 2> fills_;

    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<CertificateRecord> rows_; // the first rowsRead_ are read
    int rowsRead_ = 0;
    int readable_ = 0; // rows before the first that could not be read
    std::vector<std::optional<Outcome>> outcomes_;
    int claimed_ = 0;
    std::vector<int> unfinished_; // claimed jobs that have not ended yet
    int taken_ = 0;
    bool halted_ = false; // no further claims: stopped, or a failure escaped
    int firstFailed_ = std::numeric_limits<int>::max(); // earliest job whose failure escaped
    int runningLanes_ = 0;
    std::vector<std::thread> lanes_;
    std::thread reader_;
};
