#pragma once

// The console front end of printing, apart from main so tests can run it
// with an exporter of their own:
//   --list
//   --printer P [--tray T] [--duplicate-printer P2] [--duplicate-tray T2]
//       [--copies N] [--force] [CERTIFICATE-NUMBER ...]
//   --pdf FILE [CERTIFICATE-NUMBER ...]
//   --template 正本|副本 (with the printer options of that kind)
// Without certificate numbers the documents of the latest generation run are
// taken. Exit status: 0 when every job completed (or the PDF was written),
// 1 when there was nothing to print, 2 on a failure, 3 when documents were
// held back by the check.

#include "documentexporter.h"

#include <QStringList>

#include <functional>

namespace printing {

struct ConsoleOutput
{
    std::function<void(const QString&)> out; // progress and messages, one line each
    std::function<void(const QString&)> err; // usage errors
};

int runPrintConsole(const QStringList& arguments, DocumentExporter& exporter,
                    const ConsoleOutput& output);

} // namespace printing
