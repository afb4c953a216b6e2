#pragma once

#include "generator/certificaterecord.h"

#include <cstdint>
#include <functional>

class RunView;
namespace office {
class Engine;
namespace sheet {
class Worksheet;
}
} // namespace office

// The batch run behind the generate button: reads every row of the data file
// and calls the two fills, original first. Failures outside the fills, and
// those a fill lets escape, end the run and are thrown on to the caller
// (morvanta::Error, or what the fill threw) once the run's office work has
// ended and its workbook is closed, off the calling thread as every office
// call of the run.
//
// The fills run off the calling thread, as many at once as the engine has
// office processes, and the calling thread keeps its windows drawn meanwhile.
// What the operator sees is what a run of one fill after the other shows: the
// fills' messages one at a time in row order, original before duplicate; the
// progress in completed rows; `record` holding the row whose messages are
// being shown, and the last row after the run.
//
// A fill that lets morvanta::errc::OutputFolderFailed escape stops the run
// instead: its description is the one message, and no further fill starts.
struct GenerationCallbacks
{
    // Each fill gets a copy of its row's values of its own and shows its
    // messages through `messages`; MatchCase is passed by reference, false.
    using Fill = std::function<std::int16_t(const CertificateRecord& record, RunView& messages,
                                            bool& MatchCase)>;
    Fill WordReplace_zhengben;
    Fill WordReplace_fuben;
};

// How a run that threw nothing ended. After the fills the run list in the
// output folder names the documents they made (printing::writeRunList).
enum class GenerationEnd
{
    NoDataFile, // no data file: said so, nothing was opened
    NoData,     // no data row: said so, the data file stays
    Completed,  // every row went through both fills, every document was made, and
                // the data file was deleted
    Incomplete, // every row went through both fills, but a fill made nothing (it
                // returned less than 0); the last message says how many
                // certificates are missing, and the data file stays
    Stopped,    // the output folder could not take a document (full, read-only or
                // gone): said so in one message, the remaining fills were not run,
                // and the data file stays
};

GenerationEnd runGeneration(office::Engine& engine, RunView& view, CertificateRecord& record,
                            const GenerationCallbacks& fills);

// Counts the data rows of a worksheet: from row 2 to the first row whose
// first cell shows no text (a cell holding only spaces is data), reading
// column 1 a block at a time. A cell whose value is empty is a candidate end,
// and its displayed text decides. A cell with a value that its format shows
// as nothing is only found when its row is read; the run ends the data there.
// Data down to the sheet's last row ends with the sheet.
class DataRowCounter
{
public:
    static constexpr int firstRow = 2; // row 1 holds the column headings
    static constexpr int block = 2048; // rows of column 1 read at once

    explicit DataRowCounter(office::sheet::Worksheet& sheet) : sheet_(sheet) {}
    // Reads the next block; true once the end is found.
    bool step();
    // The data rows found so far; all of them once step() returned true.
    int rows() const { return next_ - firstRow; }

private:
    bool finish(int end);

    office::sheet::Worksheet& sheet_;
    int next_ = firstRow; // the first row not known to be data
};
