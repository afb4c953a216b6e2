#pragma once

#include <QString>

#include <cstdint>

// The downloaded data file comes from a system the office does not control.
// Before the office opens it, this refuses what the office must not read:
//  - a zip package (.xlsx, .ods, also behind leading bytes) whose members
//    declare more unpacked data than any certificate list holds, that has
//    too many members, or whose directory is damaged, overlapping or runs
//    past the file;
//  - XML (a flat spreadsheet, or any member of a package) whose prolog
//    declares entities, elements or an internal subset, points at an outside
//    document type definition other than the public HTML ones, or declares
//    an encoding that hides its markup from this check.
// A binary Excel 97 file, an HTML table, plain text and anything else are
// left to the office. Only bounded parts of the file are read, never more
// than its size, and a path that is no ordinary file is never read.
// Throws morvanta::Error (the data file's path in the message); returns when
// the file may be opened.
void checkDataFile(const QString& path);

namespace datafilecheck {
// Far beyond any certificate list: a hundred thousand rows of the longest
// values take a few hundred megabytes unpacked.
inline constexpr std::uint64_t maxUnpackedBytes = 512ull << 20;
inline constexpr int maxMembers = 10000;
} // namespace datafilecheck
