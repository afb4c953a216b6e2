#pragma once

// Real office files for the run tests, written as text and converted by the
// office itself: the two templates from RTF, the data file from flat ODF.

#include <QString>
#include <QStringList>

#include <vector>

// Writes 正本.doc and 副本.doc with the nine placeholders into the templates folder.
void makeTemplates();

// Writes the data file: row 1 headings, then one row per entry (an empty
// entry is an empty row).
void makeDataFile(const std::vector<QStringList>& rows);

// True when the file starts like a Word 97 document (an OLE compound file).
bool isWord97File(const QString& path);
