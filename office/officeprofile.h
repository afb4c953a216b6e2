#pragma once

// The private profile of an office: its settings, its fonts and the version
// it states, written into the office's private folder before it starts.

#include <QString>

namespace office::detail {

// The URL of the profile inside the office's private folder.
QString profileUrlOf(const QString& tempDir);

// Writes a new profile into the private folder for the office installed in
// `programDir`.
void writeProfile(const QString& tempDir, const QString& programDir);

// Writes the office's font configuration into the private folder and returns
// its path; empty when there is no system configuration to build on or it
// could not be written (the office then sees the system's).
QString writeFontConfig(const QString& tempDir);

} // namespace office::detail
