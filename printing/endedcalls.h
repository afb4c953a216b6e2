#pragma once

// What a print call that was killed leaves in CUPS: the jobs it made, held
// for a document that never comes (the scheduler aborts them only after its
// MultipleOperationTimeout). Each call lists its jobs in its private folder;
// the next start of a print program cancels those still waiting, before the
// folder itself is removed with what else ended programs left.

#include <QString>

namespace printing {

// Cancels the jobs, still waiting for their document, that the print calls
// of ended programs listed in their private folders in `tempFolder` (this
// user's only). Never fails: a scheduler out of reach is left alone.
void cancelJobsOfEndedCalls(const QString& tempFolder);

} // namespace printing
