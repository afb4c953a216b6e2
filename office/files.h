#pragma once

#include <QString>

namespace office {

// True only for an ordinary file (links followed). A folder, FIFO, socket or
// device at the path counts as missing; the test never opens the path, so it
// cannot block.
bool isOrdinaryFile(const QString& path);

} // namespace office
