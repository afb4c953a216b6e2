#pragma once

// Replacing the two templates together. The margin editor writes both new
// templates as hidden copies, then puts them in place by two renames; a
// program that dies between the two would leave a new original beside an
// old duplicate. So the renames are first written down in a small journal in
// the templates folder, made durable, and carried out; the journal goes once
// they are done. Whoever finds a journal completes it before using the
// templates: both programs call finishInterrupted() first, which costs one
// lookup when nothing is pending. A lock file keeps two programs from
// carrying out the same switch at once.

#include <QString>

#include <functional>

namespace templateswitch {

// The files of one switch, all hidden working copies in the templates
// folder: the prepared new original and duplicate, and a copy of the current
// original that goes back should the duplicate fail to take its place.
struct Files
{
    QString originalCopy;
    QString duplicateCopy;
    QString originalBackup;
};

// Puts both copies in place of their templates. The files belong to the
// switch from the call on: afterwards they are in place or removed, unless a
// failure leaves the switch pending, when they stay for its completion.
// Should the duplicate's rename fail, the old original returns and the
// failure is thrown. `betweenRenames` runs once the original is replaced and
// before the duplicate is (a test may stop the save there). Throws
// morvanta::Error when the folder refuses the switch.
void replaceBoth(const Files& files, const std::function<void()>& betweenRenames = {});

// Completes a switch that a program left half done, so that the templates
// are both new again. Returns at once when none is pending. Throws
// morvanta::Error when the switch cannot be completed.
void finishInterrupted();

// Completes a pending switch (throwing as finishInterrupted() does: the
// copies it names are still needed), then removes from the templates folder
// the working copies whose program is gone or that name none, and, when the
// switch lock is free, the temporary files of a journal that a killed program
// was writing. The copies of a running program are left alone; the lock file
// is too: the next switch takes a stale one over.
void clearStaleCopies();

} // namespace templateswitch
