#pragma once

#include "generator/certificaterecord.h"

#include <cstdint>
#include <functional>

class RunView;
namespace office {
class Engine;
}

// The batch run behind the generate button: reads every row of the data file
// into the record and calls the two fills, original first. Failures outside
// the fills are not caught here; they reach the caller as office::Error.
struct GenerationCallbacks
{
    // Called for each row after the record is filled; both take MatchCase by reference.
    std::function<std::int16_t(bool&)> WordReplace_zhengben;
    std::function<std::int16_t(bool&)> WordReplace_fuben;
};

void runGeneration(office::Engine& engine, RunView& view, CertificateRecord& record,
                   const GenerationCallbacks& fills);
