#pragma once

#include <QString>

namespace filesync {

// Makes the bytes of a file, or the entries of a folder, durable: what was
// written there, or renamed into or out of the folder, survives a power cut
// once this returns true. Returns false when that cannot be promised, with
// the system's reason in words (systemCause) in `reason` when given. A
// folder that the system offers no way to flush (it cannot be opened for
// reading, or its file system does not flush folders) counts as flushed, as
// nothing more can be done for it.
bool syncToDisk(const QString& path, QString* reason = nullptr);

} // namespace filesync
