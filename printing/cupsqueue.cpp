#include "cupsqueue.h"

#include "common/systemcause.h"
#include "printfailure.h"

#include <QDir>
#include <QFile>

#include <cups/cups.h>

#include <cmath>
#include <memory>

namespace printing {

namespace {

QString cupsReason()
{
    return QString::fromUtf8(cupsLastErrorString());
}

QString serverName()
{
    return QString::fromUtf8(cupsServer());
}

// Whether a failed call failed for want of a scheduler: the library reports
// a vanished scheduler inconsistently, so the connection is made anew.
bool unreachable(http_t* http)
{
    const ipp_status_t status = cupsLastError();
    return status == IPP_STATUS_ERROR_SERVICE_UNAVAILABLE ||
           httpReconnect2(http, 5000, nullptr) != 0;
}

// The cause of a failed call, in words for the operator where it is the scheduler's absence.
QString cause(http_t* http)
{
    const QString reason = cupsReason();
    if (unreachable(http))
        return QStringLiteral("打印服务已无法连接（%1）").arg(reason);
    return reason;
}

struct DestDeleter
{
    void operator()(cups_dest_t* dest) const { cupsFreeDests(1, dest); }
};
struct InfoDeleter
{
    void operator()(cups_dinfo_t* info) const { cupsFreeDestInfo(info); }
};
struct IppDeleter
{
    void operator()(ipp_t* ipp) const { ippDelete(ipp); }
};
using DestPtr = std::unique_ptr<cups_dest_t, DestDeleter>;
using InfoPtr = std::unique_ptr<cups_dinfo_t, InfoDeleter>;
using IppPtr = std::unique_ptr<ipp_t, IppDeleter>;

QString notReachable()
{
    return QStringLiteral("无法连接打印服务（CUPS，%1）：%2。请确认打印服务已启动。")
        .arg(serverName(), cupsReason());
}

Printer describe(http_t* http, cups_dest_t* dest)
{
    Printer printer;
    printer.name = QString::fromUtf8(dest->name);
    printer.isDefault = dest->is_default != 0;
    printer.description =
        QString::fromUtf8(cupsGetOption("printer-info", dest->num_options, dest->options));
    const InfoPtr info(cupsCopyDestInfo(http, dest));
    if (!info)
        return printer;
    if (ipp_attribute_t* trays = cupsFindDestSupported(http, dest, info.get(), CUPS_MEDIA_SOURCE)) {
        for (int i = 0; i < ippGetCount(trays); ++i) {
            const char* keyword = ippGetString(trays, i, nullptr);
            if (!keyword)
                continue;
            const char* label =
                cupsLocalizeDestValue(http, dest, info.get(), CUPS_MEDIA_SOURCE, keyword);
            printer.trays << Tray{QString::fromUtf8(keyword),
                                  QString::fromUtf8(label ? label : keyword)};
        }
    }
    if (ipp_attribute_t* tray = cupsFindDestDefault(http, dest, info.get(), CUPS_MEDIA_SOURCE))
        printer.defaultTray = QString::fromUtf8(ippGetString(tray, 0, nullptr));
    return printer;
}

JobState jobState(int state)
{
    switch (state) {
    case IPP_JSTATE_HELD:
        return JobState::Held;
    case IPP_JSTATE_PROCESSING:
        return JobState::Processing;
    case IPP_JSTATE_STOPPED:
        return JobState::Stopped;
    case IPP_JSTATE_CANCELED:
        return JobState::Canceled;
    case IPP_JSTATE_ABORTED:
        return JobState::Aborted;
    case IPP_JSTATE_COMPLETED:
        return JobState::Completed;
    default:
        return JobState::Pending;
    }
}

QString text(ipp_t* response, const char* name)
{
    ipp_attribute_t* attribute = ippFindAttribute(response, name, IPP_TAG_ZERO);
    const char* value = attribute ? ippGetString(attribute, 0, nullptr) : nullptr;
    return value ? QString::fromUtf8(value) : QString();
}

} // namespace

QString jobLabel(const QString& printer, int job)
{
    return QStringLiteral("打印任务 %1-%2（打印机“%1”）").arg(printer).arg(job);
}

QString mediaKeyword(const PageSize& size)
{
    // PWG sizes are in hundredths of a millimetre, portrait.
    const int narrow = int(std::lround(std::min(size.width, size.height) * 2540.0 / 72.0));
    const int wide = int(std::lround(std::max(size.width, size.height) * 2540.0 / 72.0));
    if (const pwg_media_t* media = pwgMediaForSize(narrow, wide); media && media->pwg)
        return QString::fromUtf8(media->pwg);
    return QStringLiteral("custom_%1x%2mm").arg(narrow / 100.0).arg(wide / 100.0);
}

Cups::Cups()
{
    http_ = httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1, 5000,
                         nullptr);
    if (!http_)
        throw PrintFailure(QStringLiteral("无法连接打印服务（CUPS，%1）。请确认打印服务已启动。")
                               .arg(serverName()));
}

Cups::~Cups()
{
    httpClose(http_);
}

QList<Printer> Cups::printers()
{
    cups_dest_t* dests = nullptr;
    const int count = cupsGetDests2(http_, &dests);
    if (count == 0 && cupsLastError() > IPP_STATUS_OK_EVENTS_COMPLETE &&
        (cupsLastError() != IPP_STATUS_ERROR_NOT_FOUND || unreachable(http_)))
        throw PrintFailure(notReachable());
    QList<Printer> printers;
    for (int i = 0; i < count; ++i) {
        if (!dests[i].instance)
            printers << describe(http_, &dests[i]);
    }
    cupsFreeDests(count, dests);
    return printers;
}

Printer Cups::printer(const QString& name)
{
    const DestPtr dest(cupsGetNamedDest(http_, name.toUtf8().constData(), nullptr));
    if (!dest) {
        if (unreachable(http_))
            throw PrintFailure(notReachable());
        throw PrintFailure(QStringLiteral("没有名为“%1”的打印机。").arg(name));
    }
    return describe(http_, dest.get());
}

void Cups::checkTray(const Printer& printer, const QString& tray) const
{
    if (tray.isEmpty())
        return;
    QStringList choices;
    for (const Tray& t : printer.trays) {
        if (t.keyword == tray || t.label == tray)
            return;
        choices << t.keyword;
    }
    throw PrintFailure(
        choices.isEmpty()
            ? QStringLiteral("打印机“%1”没有可选的纸盒，不能选择纸盒“%2”。").arg(printer.name, tray)
            : QStringLiteral("打印机“%1”没有纸盒“%2”（可选：%3）。")
                  .arg(printer.name, tray, choices.join(QStringLiteral("、"))));
}

int Cups::create(const JobRequest& request)
{
    const QByteArray name = request.printer.toUtf8();
    const DestPtr dest(cupsGetNamedDest(http_, name.constData(), nullptr));
    if (!dest)
        throw PrintFailure(unreachable(http_)
                               ? notReachable()
                               : QStringLiteral("没有名为“%1”的打印机。").arg(request.printer));
    const InfoPtr info(cupsCopyDestInfo(http_, dest.get()));
    if (!info)
        throw PrintFailure(
            QStringLiteral("无法读取打印机“%1”的设置：%2").arg(request.printer, cupsReason()));

    // A label names the tray to the operator; CUPS takes its keyword.
    QString tray = request.tray;
    for (const Tray& t : describe(http_, dest.get()).trays) {
        if (t.label == tray)
            tray = t.keyword;
    }

    cups_option_t* options = nullptr;
    int count = 0;
    count = cupsAddOption("print-scaling", "none", count, &options);
    count = cupsAddOption(CUPS_MEDIA, mediaKeyword(request.media).toUtf8().constData(), count,
                          &options);
    if (!tray.isEmpty())
        count = cupsAddOption(CUPS_MEDIA_SOURCE, tray.toUtf8().constData(), count, &options);
    count = cupsAddIntegerOption(CUPS_COPIES, std::max(1, request.copies), count, &options);
    // Copies come as whole sets, each in row order.
    count = cupsAddOption("multiple-document-handling", "separate-documents-collated-copies", count,
                          &options);

    int job = 0;
    const QByteArray title = request.title.toUtf8();
    const ipp_status_t created =
        cupsCreateDestJob(http_, dest.get(), info.get(), &job, title.constData(), count, options);
    cupsFreeOptions(count, options);
    if (created > IPP_STATUS_OK_EVENTS_COMPLETE || job <= 0)
        throw PrintFailure(
            QStringLiteral("打印机“%1”不接受打印任务：%2").arg(request.printer, cause(http_)));
    return job;
}

void Cups::send(const QString& printer, int job, const QString& pdfPath, const QString& title)
{
    QString failure;
    const DestPtr dest(cupsGetNamedDest(http_, printer.toUtf8().constData(), nullptr));
    const InfoPtr info(dest ? cupsCopyDestInfo(http_, dest.get()) : nullptr);
    QFile pdf(pdfPath);
    if (!dest || !info) {
        failure = cause(http_);
    } else if (!pdf.open(QIODevice::ReadOnly)) {
        failure = QStringLiteral("无法读取“%1”：%2")
                      .arg(QDir::toNativeSeparators(pdfPath),
                           morvanta::fileErrorCause(pdf.errorString()));
    } else if (cupsStartDestDocument(http_, dest.get(), info.get(), job, title.toUtf8().constData(),
                                     CUPS_FORMAT_PDF, 0, nullptr, 1) != HTTP_STATUS_CONTINUE) {
        failure = cause(http_);
    } else {
        QByteArray chunk;
        while (failure.isEmpty() && !(chunk = pdf.read(64 * 1024)).isEmpty()) {
            if (cupsWriteRequestData(http_, chunk.constData(), size_t(chunk.size())) !=
                HTTP_STATUS_CONTINUE)
                failure = cause(http_);
        }
        if (failure.isEmpty() && pdf.error() != QFile::NoError)
            failure = morvanta::fileErrorCause(pdf.errorString());
        if (cupsFinishDestDocument(http_, dest.get(), info.get()) > IPP_STATUS_OK_EVENTS_COMPLETE &&
            failure.isEmpty())
            failure = cause(http_);
    }
    if (!failure.isEmpty()) {
        cancel(printer, job);
        throw PrintFailure(QStringLiteral("%1未能发送：%2").arg(jobLabel(printer, job), failure));
    }
}

int Cups::submit(const JobRequest& request)
{
    const int job = create(request);
    send(request.printer, job, request.pdf, request.title);
    return job;
}

JobStatus Cups::status(const QString& printer, int job)
{
    char uri[HTTP_MAX_URI];
    httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", ippPort(),
                     "/printers/%s", printer.toUtf8().constData());
    ipp_t* request = ippNewRequest(IPP_OP_GET_JOB_ATTRIBUTES);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri);
    ippAddInteger(request, IPP_TAG_OPERATION, IPP_TAG_INTEGER, "job-id", job);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr,
                 cupsUser());
    static const char* const wanted[] = {"job-state", "job-state-message",
                                         "job-printer-state-message", "job-state-reasons"};
    ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", 4, nullptr,
                  wanted);
    const IppPtr response(cupsDoRequest(http_, request, "/"));
    if (!response || cupsLastError() > IPP_STATUS_OK_EVENTS_COMPLETE)
        throw PrintFailure(
            QStringLiteral("无法获知%1的状态：%2").arg(jobLabel(printer, job), cause(http_)));
    JobStatus status;
    ipp_attribute_t* state = ippFindAttribute(response.get(), "job-state", IPP_TAG_ENUM);
    status.state = jobState(state ? ippGetInteger(state, 0) : IPP_JSTATE_PENDING);
    if (ipp_attribute_t* reasons =
            ippFindAttribute(response.get(), "job-state-reasons", IPP_TAG_KEYWORD)) {
        for (int i = 0; i < ippGetCount(reasons); ++i)
            status.awaitingDocument =
                status.awaitingDocument ||
                qstrcmp(ippGetString(reasons, i, nullptr), "job-incoming") == 0;
    }
    status.message = text(response.get(), "job-printer-state-message");
    if (status.message.isEmpty())
        status.message = text(response.get(), "job-state-message");
    return status;
}

bool Cups::cancel(const QString& printer, int job)
{
    return cupsCancelJob2(http_, printer.toUtf8().constData(), job, 0) <=
           IPP_STATUS_OK_EVENTS_COMPLETE;
}

} // namespace printing
