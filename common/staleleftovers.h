#pragma once

// What a killed program leaves beside the operator's files: the hidden
// working copies of a margin save in the templates folder, the staging
// folders of unfinished saves (".~morvanta-<pid>-<random>") and, in the
// temporary folder, the private folders of print calls with the exported
// certificates ("morvanta-print-<pid>-<random>"). All carry the id of the
// program that made them; they are cleared once that program is gone, and
// never while it runs.

#include <QString>
#include <QStringList>

namespace staleleftovers {

// True when the program with this id has ended: there is no such process, or
// the id now belongs to a process that is none of our programs. This program
// itself, and a process that cannot be looked at, count as running.
bool ownerGone(qint64 pid);

// The program id in a staging folder's name, or 0 when the name is none.
qint64 stagingOwner(const QString& name);

// Removes the staging folders in `folder` whose program is gone, without
// following links.
void removeStaleStagingFolders(const QString& folder);

// The program id in a print call's private folder name, or 0 when the name
// is none.
qint64 printFolderOwner(const QString& name);

// The print calls' private folders in `folder` (the temporary folder) that
// are this user's and whose program is gone.
QStringList stalePrintFolders(const QString& folder);

// Removes those folders, without following links.
void removeStalePrintFolders(const QString& folder);

// At the start of any of our programs: completes a template switch a killed
// program left pending, then removes the stale working copies and staging
// folders in the templates folder and the output folder. Never fails: what
// cannot be removed now is tried again at the next start.
void clearAtStart();

} // namespace staleleftovers
