#pragma once

#include <QString>

namespace morvanta {

// True only for an ordinary file (links followed). A folder, FIFO, socket or
// device at the path counts as missing; the test never opens the path, so it
// cannot block.
bool isOrdinaryFile(const QString& path);

// Removes the file, link, socket or folder tree at the path without following
// links: a link is removed itself, never what it points to, also inside the
// tree. True when nothing is left at the path (also when there was nothing).
bool removeTree(const QString& path);

// Where MORVANTA_LEFTOVER_JOURNAL names a file, appends the path to it
// (NUL-separated): every path that must not outlive the program is listed
// there, so that a test run can check afterwards that none of them is left.
void journalLeftover(const QString& path);

} // namespace morvanta
