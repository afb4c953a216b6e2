#pragma once

// Printing a selection of certificate documents, writing the review PDF of a
// selection, and the calibration print of a template. GUI-free: a window
// drives the same calls from a worker thread, sees progress and messages
// through the observer and cancels through it.
//
// Every document is exported to PDF, checked (one page, no placeholder left)
// and the PDFs of one kind are joined, in row order, into the one document of
// that kind's job: what is printed is exactly what the review PDF shows, the
// pages of a kind leave the printer together, and the job carries one media
// for all of them.

#include "cupsqueue.h"
#include "documentexporter.h"
#include "runlist.h"

#include <QList>
#include <QString>

namespace printing {

struct Destination
{
    QString printer;
    QString tray; // empty: the queue's default
    int copies = 1;
};

struct PrintSettings
{
    Destination original;
    Destination duplicate;
    bool force = false; // print documents that fail the check too
};

class PrintObserver
{
public:
    virtual ~PrintObserver() = default;
    virtual void message(const QString& text) = 0;
    virtual void exported(int /*done*/, int /*total*/) {}
    // A job made by the scheduler, before its document is sent.
    virtual void accepted(const QString& /*printer*/, int /*job*/) {}
    virtual void sent(int /*done*/, int /*total*/) {}
    virtual void jobChanged(const QString& /*printer*/, int /*job*/, const JobStatus& /*status*/) {}
    // A document's check once it is exported: its pages and the first
    // placeholder left in it (empty when none).
    virtual void checked(const DocumentRef& /*document*/, int /*pages*/,
                         const QString& /*placeholderLeft*/)
    {
    }
    // Asked before a kind's job is sent, when documents of that kind failed
    // the check (and printing is not forced): true prints them too, in their
    // place; false leaves them out.
    virtual bool printHeldBack(const QList<DocumentRef>& /*documents*/) { return false; }
    // Asked before each document and while jobs are followed.
    virtual bool cancelRequested() const { return false; }
};

enum class Outcome
{
    Completed = 0,      // every job completed (or the PDF was written)
    NothingToPrint = 1, // no document selected, or every one held back
    Failed = 2,
    HeldBack = 3, // jobs completed, but documents failing the check were left out
    Cancelled = 4
};

// The documents in row order; each kind goes to its own destination.
Outcome printDocuments(const QList<DocumentRef>& documents, const PrintSettings& settings,
                       DocumentExporter& exporter, PrintObserver& observer,
                       const QString& outputDir = paths::outputDir());

// All originals in row order, then all duplicates, into the PDF `target`.
Outcome writeReviewPdf(const QList<DocumentRef>& documents, const QString& target,
                       DocumentExporter& exporter, PrintObserver& observer,
                       const QString& outputDir = paths::outputDir());

// The template of `kind` itself, placeholders and all, to `destination`.
Outcome printTemplate(paths::TemplateKind kind, const Destination& destination,
                      DocumentExporter& exporter, PrintObserver& observer);

} // namespace printing
