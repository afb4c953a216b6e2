#include "exportbatch.h"

#include "printfailure.h"

#include "common/files.h"
#include "common/systemcause.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

namespace printing {

QString documentLabel(const DocumentRef& document)
{
    if (document.certificate.isEmpty()) // the template itself
        return QStringLiteral("%1模板").arg(kindName(document.kind));
    return QStringLiteral("证书“%1”（%2）").arg(document.certificate, kindName(document.kind));
}

// Named with the program's id, so that the next start of one of our programs
// can remove it should this one be killed (common/staleleftovers.h).
Workspace::Workspace()
    : dir_(QDir::tempPath() +
           QStringLiteral("/morvanta-print-%1-XXXXXX").arg(QCoreApplication::applicationPid()))
{
    if (!dir_.isValid())
        throw PrintFailure(QStringLiteral("无法建立临时目录：%1")
                               .arg(morvanta::fileErrorCause(dir_.errorString())));
    morvanta::journalLeftover(dir_.path());
}

void Workspace::noteJob(const QString& printer, int job) const
{
    QFile jobs(file(QStringLiteral("jobs")));
    if (jobs.open(QIODevice::WriteOnly | QIODevice::Append))
        jobs.write(QStringLiteral("%1\t%2\n").arg(printer).arg(job).toUtf8());
}

Batch::Batch(DocumentExporter& exporter, PrintObserver& observer, QList<Planned> plan)
    : exporter_(exporter), observer_(observer), plan_(std::move(plan)), slots_(size_t(plan_.size()))
{
    const int parallel = std::min<int>(exporter_.parallelExports(), int(plan_.size()));
    for (int i = 0; parallel > 1 && i < parallel; ++i)
        workers_.emplace_back([this] { work(); });
}

Batch::~Batch()
{
    {
        const std::lock_guard lock(mutex_);
        stop_ = true;
    }
    for (std::thread& worker : workers_)
        worker.join();
}

std::optional<Exported> Batch::next(bool force, bool keepFailed)
{
    const size_t index = taken_++;
    const DocumentRef& document = plan_.at(qsizetype(index)).document;
    Exported result{document, pdfFile(index), {}};
    try {
        const ExportResult exported = awaitExport(index);
        const QList<PageSize> pages = pdfPageSizes(result.pdf);
        if (pages.isEmpty())
            throw PrintFailure(
                QStringLiteral("%1导出的 PDF 没有页面。").arg(documentLabel(document)));
        result.size = pages.first();
        observer_.exported(int(taken_), int(plan_.size()));
        observer_.checked(document, int(std::max<qsizetype>(exported.pages, pages.size())),
                          exported.placeholderLeft);
        bool fits = true;
        if (std::max<qsizetype>(exported.pages, pages.size()) > 1) {
            observer_.message(QStringLiteral("%1有 %2 页，打印前请检查。")
                                  .arg(documentLabel(document))
                                  .arg(std::max<qsizetype>(exported.pages, pages.size())));
            fits = false;
        }
        // A template shows its placeholders by nature (the calibration print).
        if (!exported.placeholderLeft.isEmpty() && !document.certificate.isEmpty()) {
            observer_.message(QStringLiteral("%1中仍有“%2”，打印前请检查。")
                                  .arg(documentLabel(document), exported.placeholderLeft));
            fits = false;
        }
        if (!fits && !force) {
            if (keepFailed) {
                result.fits = false;
                return result;
            }
            heldBack << document;
            return std::nullopt;
        }
        return result;
    } catch (const PrintFailure& failure) {
        observer_.exported(int(taken_), int(plan_.size()));
        observer_.message(failure.message());
        failed = true;
        return std::nullopt;
    }
}

Batch::Slot Batch::exportOne(size_t index)
{
    Slot slot;
    try {
        slot.result = exporter_.exportPdf(plan_.at(qsizetype(index)).source, pdfFile(index));
    } catch (const PrintFailure& failure) {
        slot.failure = failure.message();
    } catch (const std::exception& e) {
        slot.failure = QStringLiteral("%1无法导出：%2")
                           .arg(documentLabel(plan_.at(qsizetype(index)).document),
                                QString::fromUtf8(e.what()));
    }
    slot.done = true;
    return slot;
}

void Batch::work()
{
    for (;;) {
        size_t index;
        {
            const std::lock_guard lock(mutex_);
            if (stop_ || started_ >= slots_.size())
                return;
            index = started_++;
        }
        Slot slot = exportOne(index);
        {
            const std::lock_guard lock(mutex_);
            slots_[index] = std::move(slot);
        }
        ready_.notify_all();
    }
}

ExportResult Batch::awaitExport(size_t index)
{
    Slot slot;
    if (workers_.empty()) {
        slot = exportOne(index);
    } else {
        std::unique_lock lock(mutex_);
        ready_.wait(lock, [&] { return slots_[index].done; });
        slot = std::move(slots_[index]);
    }
    if (slot.failure)
        throw PrintFailure(*slot.failure);
    return slot.result;
}

} // namespace printing
