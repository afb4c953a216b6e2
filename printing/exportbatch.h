#pragma once

// The exports of one print or review call: each document exported to PDF
// by the exporter and checked (its pages, a placeholder left), in the
// planned order. Where the exporter can run several exports at once, they
// run ahead of the checks on threads of their own.

#include "documentexporter.h"
#include "pdffiles.h"
#include "printrun.h"

#include <QList>
#include <QString>
#include <QTemporaryDir>

#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace printing {

// "证书“…”（正本）", or "正本模板" for the template itself.
QString documentLabel(const DocumentRef& document);

// The private folder of one call's PDFs, removed with everything in it.
class Workspace
{
public:
    Workspace();
    QString file(const QString& name) const { return dir_.filePath(name); }
    // Lists a job made for this call, so that the next start can cancel it
    // should the program be killed before the job gets its document.
    void noteJob(const QString& printer, int job) const;

private:
    QTemporaryDir dir_;
};

struct Exported
{
    DocumentRef document;
    QString pdf;
    PageSize size;
    bool fits = true; // passed the check
};

// A document to export, in the order its export is taken.
struct Planned
{
    QString source;
    DocumentRef document;
};

// One call's state: the exports, what was held back or failed. Where the
// exporter can run several exports at once, they run ahead of the checks on
// threads of their own and are taken in the planned order, so messages and
// jobs keep the row order; otherwise each is made when it is taken.
class Batch
{
public:
    Batch(DocumentExporter& exporter, PrintObserver& observer, QList<Planned> plan);

    ~Batch();

    Batch(const Batch&) = delete;
    Batch& operator=(const Batch&) = delete;

    // Takes the next planned export and checks it; empty when it failed. One
    // that fails the check is only returned with `keepFailed`, marked as not
    // fitting.
    std::optional<Exported> next(bool force, bool keepFailed = false);

    QString file(const QString& name) const { return workspace_.file(name); }
    void noteJob(const QString& printer, int job) const { workspace_.noteJob(printer, job); }

    QList<DocumentRef> heldBack;
    bool failed = false;

private:
    struct Slot
    {
        bool done = false;
        ExportResult result;
        std::optional<QString> failure;
    };

    QString pdfFile(size_t index) const
    {
        return workspace_.file(QStringLiteral("%1.pdf").arg(index + 1));
    }

    Slot exportOne(size_t index);

    void work();

    ExportResult awaitExport(size_t index);

    DocumentExporter& exporter_;
    PrintObserver& observer_;
    Workspace workspace_;
    const QList<Planned> plan_;
    size_t taken_ = 0;

    std::mutex mutex_;
    std::condition_variable ready_;
    std::vector<Slot> slots_;
    size_t started_ = 0;
    bool stop_ = false;
    std::vector<std::thread> workers_; // last: joined before the rest goes
};

} // namespace printing
