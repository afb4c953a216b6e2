#pragma once

// The print system, through the CUPS client library: queues and their trays,
// sending a PDF as a job, following and cancelling jobs. One connection to
// the scheduler that CUPS_SERVER or the client configuration names.

#include "pdffiles.h"

#include <QList>
#include <QString>

typedef struct _http_s http_t;

namespace printing {

struct Tray
{
    QString keyword; // what CUPS takes as media-source
    QString label;   // how the queue names it
};

struct Printer
{
    QString name;
    QString description;
    bool isDefault = false;
    QList<Tray> trays;
    QString defaultTray;
};

enum class JobState
{
    Pending,
    Held,
    Processing,
    Stopped,
    Canceled,
    Aborted,
    Completed
};

struct JobStatus
{
    JobState state = JobState::Pending;
    QString message;               // the scheduler's or the printer's own words, if any
    bool awaitingDocument = false; // made, its document not sent yet

    bool finished() const { return state >= JobState::Canceled; }
};

struct JobRequest
{
    QString printer;
    QString tray; // empty: the queue's default
    int copies = 1;
    PageSize media;
    QString pdf;
    QString title;
};

// "打印机“p”的打印任务 p-7".
QString jobLabel(const QString& printer, int job);

// The PWG media name of a page size ("iso_a3_297x420mm"), whichever way it lies.
QString mediaKeyword(const PageSize& size);

class Cups
{
public:
    Cups(); // throws PrintFailure when the scheduler cannot be reached
    ~Cups();
    Cups(const Cups&) = delete;
    Cups& operator=(const Cups&) = delete;

    QList<Printer> printers();

    // Throws PrintFailure when the queue does not exist or has no such tray.
    Printer printer(const QString& name);
    void checkTray(const Printer& printer, const QString& tray) const;

    // Makes the job, without its document, and returns its number: the
    // scheduler lists it at once and holds it until the document comes (for
    // its MultipleOperationTimeout, 15 minutes by default; then it aborts
    // it). The request's PDF is not read. Throws PrintFailure.
    int create(const JobRequest& request);

    // Sends the PDF as the job's one and last document; throws PrintFailure
    // naming the job, which is then cancelled.
    void send(const QString& printer, int job, const QString& pdf, const QString& title);

    // Both of the above.
    int submit(const JobRequest& request);

    // Throws PrintFailure naming the job when the scheduler does not answer.
    JobStatus status(const QString& printer, int job);
    bool cancel(const QString& printer, int job);

private:
    http_t* http_ = nullptr;
};

} // namespace printing
