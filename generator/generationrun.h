#pragma once

#include "generator/certificaterecord.h"

#include <cstdint>
#include <functional>

class RunView;
namespace office {
class Engine;
}

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
struct GenerationCallbacks
{
    // Each fill gets a copy of its row's values of its own and shows its
    // messages through `messages`; MatchCase is passed by reference, false.
    using Fill = std::function<std::int16_t(const CertificateRecord& record, RunView& messages,
                                            bool& MatchCase)>;
    Fill WordReplace_zhengben;
    Fill WordReplace_fuben;
};

// How a run that threw nothing ended.
enum class GenerationEnd
{
    NoDataFile, // no data file: said so, nothing was opened
    NoData,     // no data row: said so, the data file stays
    Completed,  // every row went through both fills, and the data file was deleted
};

GenerationEnd runGeneration(office::Engine& engine, RunView& view, CertificateRecord& record,
                            const GenerationCallbacks& fills);
