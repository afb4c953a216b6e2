#include "printrun.h"

#include "exportbatch.h"
#include "printfailure.h"

#include "common/error.h"
#include "common/templateswitch.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <fcntl.h>
#include <unistd.h>

#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace printing {

namespace {

using paths::TemplateKind;

constexpr TemplateKind kinds[] = {TemplateKind::Original, TemplateKind::Duplicate};

struct SentJob
{
    QString printer;
    int id = 0;
    JobStatus status;
    bool done = false;
};

QString stateText(JobState state)
{
    switch (state) {
    case JobState::Completed:
        return QStringLiteral("已完成");
    case JobState::Canceled:
        return QStringLiteral("已被取消");
    case JobState::Aborted:
        return QStringLiteral("已中止");
    case JobState::Stopped:
        return QStringLiteral("已停止");
    default:
        return QStringLiteral("未完成");
    }
}

// Follows the jobs until each is completed, stopped, cancelled or aborted;
// true when all completed.
bool follow(Cups& cups, QList<SentJob>& jobs, PrintObserver& observer, bool& cancelled)
{
    bool allCompleted = true;
    for (;;) {
        bool waiting = false;
        for (SentJob& job : jobs) {
            if (job.done)
                continue;
            if (observer.cancelRequested()) {
                cancelled = true;
                cups.cancel(job.printer, job.id);
                observer.message(QStringLiteral("已取消%1。").arg(jobLabel(job.printer, job.id)));
                job.done = true;
                allCompleted = false;
                continue;
            }
            JobStatus status;
            try {
                status = cups.status(job.printer, job.id);
            } catch (const PrintFailure& failure) {
                observer.message(failure.message());
                job.done = true;
                allCompleted = false;
                continue;
            }
            if (status.state != job.status.state || status.message != job.status.message)
                observer.jobChanged(job.printer, job.id, status);
            job.status = status;
            if (!status.finished() && status.state != JobState::Stopped) {
                waiting = true;
                continue;
            }
            job.done = true;
            QString text =
                QStringLiteral("%1%2").arg(jobLabel(job.printer, job.id), stateText(status.state));
            if (status.state != JobState::Completed) {
                allCompleted = false;
                if (!status.message.isEmpty())
                    text += QStringLiteral("：") + status.message;
            }
            observer.message(text + QStringLiteral("。"));
        }
        if (!waiting)
            return allCompleted;
        QThread::msleep(100);
    }
}

// The printers of the kinds to print, checked before anything is sent.
bool checkDestinations(Cups& cups, const QList<std::pair<TemplateKind, Destination>>& wanted,
                       PrintObserver& observer)
{
    try {
        for (const auto& [kind, destination] : wanted) {
            if (destination.printer.isEmpty())
                throw PrintFailure(QStringLiteral("没有选择%1的打印机。").arg(kindName(kind)));
            const Printer printer = cups.printer(destination.printer);
            cups.checkTray(printer, destination.tray);
        }
        return true;
    } catch (const PrintFailure& failure) {
        observer.message(failure.message() + QStringLiteral("未发送任何打印任务。"));
        return false;
    }
}

// The exports of one kind joined, in their order, into the one document of
// that kind's job.
QString joinKind(Batch& batch, const QList<Exported>& exports, TemplateKind kind)
{
    QStringList pdfs;
    for (const Exported& e : exports)
        pdfs << e.pdf;
    const QString joined = batch.file(QStringLiteral("job-%1.pdf").arg(int(kind)));
    joinPdfs(pdfs, joined);
    return joined;
}

QString jobTitle(TemplateKind kind)
{
    return QStringLiteral("证书%1").arg(kindName(kind));
}

// Gives a kind's made job its document. A job the scheduler gave up waiting
// for (aborted after its MultipleOperationTimeout, while a long run was being
// exported or the operator was asked about held-back documents) is made again;
// one that somebody cancelled in the queue stays cancelled.
void sendKind(Cups& cups, Batch& batch, SentJob& job, const JobRequest& request)
{
    const JobStatus status = cups.status(job.printer, job.id);
    if (status.state == JobState::Canceled)
        throw PrintFailure(
            QStringLiteral("%1在送出证书之前已被取消。").arg(jobLabel(job.printer, job.id)));
    if (status.finished()) {
        job.id = cups.create(request);
        batch.noteJob(job.printer, job.id);
    }
    cups.send(job.printer, job.id, request.pdf, request.title);
}

} // namespace

Outcome printDocuments(const QList<DocumentRef>& documents, const PrintSettings& settings,
                       DocumentExporter& exporter, PrintObserver& observer,
                       const QString& outputDir)
{
    if (documents.isEmpty()) {
        observer.message(QStringLiteral("没有要打印的证书。"));
        return Outcome::NothingToPrint;
    }
    QList<std::pair<TemplateKind, Destination>> wanted;
    for (const TemplateKind kind : kinds) {
        if (std::any_of(documents.begin(), documents.end(),
                        [kind](const DocumentRef& d) { return d.kind == kind; }))
            wanted.append(
                {kind, kind == TemplateKind::Original ? settings.original : settings.duplicate});
    }
    QList<QString> sources;
    try {
        for (const DocumentRef& document : documents)
            sources << resolveDocument(document, outputDir);
    } catch (const PrintFailure& failure) {
        observer.message(failure.message() + QStringLiteral("未发送任何打印任务。"));
        return Outcome::Failed;
    }

    try {
        Cups cups;
        if (!checkDestinations(cups, wanted, observer))
            return Outcome::Failed;
        QList<Planned> plan;
        for (const auto& [kind, destination] : wanted) {
            for (qsizetype i = 0; i < documents.size(); ++i) {
                if (documents[i].kind == kind)
                    plan << Planned{sources[i], documents[i]};
            }
        }
        Batch batch(exporter, observer, plan);
        QList<SentJob> jobs;    // given their documents, followed to the end
        QList<SentJob> waiting; // made, their documents still being exported
        const auto dropWaiting = [&](bool say) {
            for (const SentJob& job : std::as_const(waiting)) {
                cups.cancel(job.printer, job.id);
                if (say)
                    observer.message(
                        QStringLiteral("已取消%1。").arg(jobLabel(job.printer, job.id)));
            }
            waiting.clear();
        };
        int sent = 0;
        bool cancelled = false;
        bool failed = false;
        try {
            for (const auto& [kind, destination] : wanted) {
                // The kind's job is made as soon as its first document is
                // exported (its page is the job's media): the scheduler lists
                // it while the rest are exported, and it is given all of them
                // at once, as its one document, at the end.
                JobRequest request{
                    destination.printer, destination.tray, destination.copies, {}, {},
                    jobTitle(kind)};
                std::optional<SentJob> job;
                DocumentRef first;
                QList<Exported> exports;
                for (qsizetype i = 0; i < documents.size() && !cancelled; ++i) {
                    if (documents[i].kind != kind)
                        continue;
                    if (observer.cancelRequested()) {
                        cancelled = true;
                        break;
                    }
                    auto e = batch.next(settings.force, true);
                    if (!e)
                        continue;
                    exports << *e;
                    if (job)
                        continue;
                    request.media = e->size;
                    first = e->document;
                    job = SentJob{destination.printer, cups.create(request), {}, false};
                    batch.noteJob(job->printer, job->id);
                    waiting << *job;
                    observer.accepted(job->printer, job->id);
                }
                if (cancelled)
                    break;
                const auto notWaiting = [&] {
                    waiting.removeIf([&](const SentJob& w) { return w.id == job->id; });
                };
                // Documents that failed the check wait for the observer's
                // word; those it keeps out are held back.
                QList<DocumentRef> held;
                for (const Exported& e : exports) {
                    if (!e.fits)
                        held << e.document;
                }
                if (!held.isEmpty() && !observer.printHeldBack(held)) {
                    batch.heldBack << held;
                    exports.removeIf([](const Exported& e) { return !e.fits; });
                }
                // One job carries one media: a page of another size stays out.
                for (qsizetype k = 0; k < exports.size();) {
                    if (exports[k].size.sameAs(request.media)) {
                        ++k;
                        continue;
                    }
                    observer.message(
                        QStringLiteral("%1的纸张大小与%2不同，未打印。")
                            .arg(documentLabel(exports[k].document), documentLabel(first)));
                    failed = true;
                    exports.removeAt(k);
                }
                if (exports.isEmpty() || observer.cancelRequested()) {
                    // Nothing of this kind to print: its empty job goes.
                    cancelled = observer.cancelRequested();
                    if (job && !cancelled) {
                        cups.cancel(job->printer, job->id);
                        notWaiting();
                    }
                    if (cancelled)
                        break;
                    continue;
                }
                try {
                    request.pdf = joinKind(batch, exports, kind);
                } catch (const PrintFailure& failure) {
                    observer.message(failure.message());
                    failed = true;
                    continue; // its job goes with the others still waiting, below
                }
                notWaiting();
                try {
                    sendKind(cups, batch, *job, request);
                } catch (const PrintFailure& failure) {
                    observer.message(failure.message());
                    failed = true;
                    continue;
                }
                jobs << *job;
                sent += int(exports.size());
                observer.sent(sent, int(documents.size()));
            }
        } catch (const PrintFailure&) {
            dropWaiting(false);
            throw;
        }
        // A job still waiting here gets no document: the run was cancelled,
        // or its kind's documents could not be joined.
        dropWaiting(cancelled);
        const bool completed = follow(cups, jobs, observer, cancelled);
        if (cancelled)
            return Outcome::Cancelled;
        if (failed || batch.failed || !completed)
            return Outcome::Failed;
        return batch.heldBack.isEmpty() ? Outcome::Completed : Outcome::HeldBack;
    } catch (const PrintFailure& failure) {
        observer.message(failure.message());
        return Outcome::Failed;
    }
}

Outcome writeReviewPdf(const QList<DocumentRef>& documents, const QString& target,
                       DocumentExporter& exporter, PrintObserver& observer,
                       const QString& outputDir)
{
    if (documents.isEmpty()) {
        observer.message(QStringLiteral("没有要导出的证书。"));
        return Outcome::NothingToPrint;
    }
    try {
        QList<Planned> plan;
        for (const TemplateKind kind : kinds) {
            for (const DocumentRef& document : documents) {
                if (document.kind == kind)
                    plan << Planned{resolveDocument(document, outputDir), document};
            }
        }
        Batch batch(exporter, observer, plan);
        QStringList pdfs;
        for (qsizetype i = 0; i < plan.size(); ++i) {
            if (observer.cancelRequested())
                return Outcome::Cancelled;
            if (auto e = batch.next(true))
                pdfs << e->pdf;
        }
        if (batch.failed) {
            observer.message(QStringLiteral("未写入“%1”。").arg(QDir::toNativeSeparators(target)));
            return Outcome::Failed;
        }
        joinPdfs(pdfs, target);
        observer.message(QStringLiteral("已写入“%1”（%2 份证书）。")
                             .arg(QDir::toNativeSeparators(target))
                             .arg(pdfs.size()));
        return Outcome::Completed;
    } catch (const PrintFailure& failure) {
        observer.message(failure.message());
        return Outcome::Failed;
    }
}

Outcome printTemplate(TemplateKind kind, const Destination& destination, DocumentExporter& exporter,
                      PrintObserver& observer)
{
    try {
        Cups cups;
        if (!checkDestinations(cups, {{kind, destination}}, observer))
            return Outcome::Failed;
        // A template switch that a killed margin save left half done is
        // completed first, as before every other use of the templates.
        try {
            templateswitch::finishInterrupted();
        } catch (const morvanta::Error& e) {
            throw PrintFailure(e.description());
        }
        const QString source = paths::templateFile(kind);
        if (!QFileInfo(source).isFile())
            throw PrintFailure(
                QStringLiteral("找不到模板“%1”。").arg(QDir::toNativeSeparators(source)));
        Batch batch(exporter, observer, {Planned{source, DocumentRef{QString(), kind}}});
        auto e = batch.next(true);
        if (!e)
            return Outcome::Failed;
        QList<SentJob> jobs;
        try {
            const JobRequest request{
                destination.printer,         destination.tray,
                destination.copies,          e->size,
                joinKind(batch, {*e}, kind), QStringLiteral("%1模板").arg(kindName(kind))};
            jobs << SentJob{destination.printer, cups.submit(request), {}, false};
            observer.accepted(destination.printer, jobs.first().id);
        } catch (const PrintFailure& failure) {
            observer.message(failure.message());
            return Outcome::Failed;
        }
        observer.sent(1, 1);
        bool cancelled = false;
        const bool completed = follow(cups, jobs, observer, cancelled);
        return cancelled ? Outcome::Cancelled : completed ? Outcome::Completed : Outcome::Failed;
    } catch (const PrintFailure& failure) {
        observer.message(failure.message());
        return Outcome::Failed;
    }
}

} // namespace printing
