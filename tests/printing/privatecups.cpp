#include "privatecups.h"

#include <QDir>
#include <QFile>
#include <QTest>
#include <QThread>

#include <cups/cups.h>

#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>

namespace {

// A driver whose output is PDF: the scheduler's PDF filter (which applies
// scaling, media and rotation) feeds the device directly.
const char ppd[] = R"ppd(*PPD-Adobe: "4.3"
*FormatVersion: "4.3"
*FileVersion: "1.0"
*LanguageVersion: English
*LanguageEncoding: ISOLatin1
*PCFileName: "TESTPDF.PPD"
*Manufacturer: "Test"
*Product: "(Test PDF)"
*ModelName: "Test PDF"
*ShortNickName: "Test PDF"
*NickName: "Test PDF file printer"
*PSVersion: "(3010.000) 0"
*LanguageLevel: "3"
*ColorDevice: True
*DefaultColorSpace: RGB
*FileSystem: False
*Throughput: "1"
*LandscapeOrientation: Plus90
*TTRasterizer: Type42
*cupsFilter2: "application/vnd.cups-pdf application/pdf 0 -"
*HWMargins: 0 0 0 0
*OpenUI *PageSize/Media Size: PickOne
*OrderDependency: 10 AnySetup *PageSize
*DefaultPageSize: A4
*PageSize A4/A4: "<</PageSize[595 842]>>setpagedevice"
*PageSize A3/A3: "<</PageSize[842 1191]>>setpagedevice"
*CloseUI: *PageSize
*OpenUI *PageRegion: PickOne
*OrderDependency: 10 AnySetup *PageRegion
*DefaultPageRegion: A4
*PageRegion A4/A4: "<</PageSize[595 842]>>setpagedevice"
*PageRegion A3/A3: "<</PageSize[842 1191]>>setpagedevice"
*CloseUI: *PageRegion
*DefaultImageableArea: A4
*ImageableArea A4/A4: "0 0 595 842"
*ImageableArea A3/A3: "0 0 842 1191"
*DefaultPaperDimension: A4
*PaperDimension A4/A4: "595 842"
*PaperDimension A3/A3: "842 1191"
*OpenUI *InputSlot/Media Source: PickOne
*OrderDependency: 20 AnySetup *InputSlot
*DefaultInputSlot: Upper
*InputSlot Upper/Upper Tray: ""
*InputSlot Lower/Lower Tray: ""
*InputSlot Manual/Manual Feed: ""
*CloseUI: *InputSlot
)ppd";

void writeFile(const QString& path, const QByteArray& text)
{
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(path));
    file.write(text);
}

} // namespace

PrivateCups::PrivateCups(const QString& folder, const QStringList& queues,
                         const QByteArray& settings)
    : folder_(folder)
{
    QDir(folder_).removeRecursively();
    for (const char* sub : {"conf/ppd", "spool/tmp", "cache", "state", "log", "out"})
        QDir().mkpath(folder_ + u'/' + QLatin1String(sub));
    socket_ = folder_ + QStringLiteral("/sock");
    const QByteArray f = QFile::encodeName(folder_);
    writeFile(
        folder_ + QStringLiteral("/conf/cupsd.conf"),
        "Listen " + f +
            "/sock\nLogLevel info\nBrowsing No\nWebInterface No\nDefaultAuthType None\n"
            "PreserveJobHistory Yes\nPreserveJobFiles No\n"
            "<Policy default>\n<Limit All>\nOrder allow,deny\nAllow all\n</Limit>\n</Policy>\n"
            "<Location />\nOrder allow,deny\nAllow all\n</Location>\n" +
            settings);
    // As root the filters run as lp, as the machine's own scheduler would;
    // otherwise everything runs as the test's user.
    QByteArray files = "ServerRoot " + f + "/conf\nRequestRoot " + f + "/spool\nTempDir " + f +
                       "/spool/tmp\nCacheDir " + f + "/cache\nStateDir " + f +
                       "/state\nAccessLog " + f + "/log/access_log\nErrorLog " + f +
                       "/log/error_log\nPageLog " + f +
                       "/log/page_log\nFileDevice Yes\nSandboxing Relaxed\n";
    if (::geteuid() == 0)
        files += "User lp\nGroup lp\nSystemGroup root\n";
    writeFile(folder_ + QStringLiteral("/conf/cups-files.conf"), files);
    writeFile(folder_ + QStringLiteral("/test.ppd"), ppd);

    cupsd_.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
    cupsd_.setProcessChannelMode(QProcess::ForwardedChannels);
    cupsd_.start(QStringLiteral("/usr/sbin/cupsd"),
                 {QStringLiteral("-f"), QStringLiteral("-c"),
                  folder_ + QStringLiteral("/conf/cupsd.conf"), QStringLiteral("-s"),
                  folder_ + QStringLiteral("/conf/cups-files.conf")});
    QVERIFY2(cupsd_.waitForStarted(), "cupsd does not start");
    qputenv("CUPS_SERVER", QFile::encodeName(socket_));
    cupsSetServer(nullptr); // the client library reads the variable again
    for (int i = 0; i < 100; ++i) {
        if (http_t* http = httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC,
                                        HTTP_ENCRYPTION_NEVER, 1, 1000, nullptr)) {
            httpClose(http);
            break;
        }
        QThread::msleep(100);
    }
    for (const QString& queue : queues)
        lpadmin({QStringLiteral("-p"), queue, QStringLiteral("-E"), QStringLiteral("-v"),
                 QStringLiteral("file://") + output(queue), QStringLiteral("-P"),
                 folder_ + QStringLiteral("/test.ppd")});
    if (!queues.isEmpty())
        lpadmin({QStringLiteral("-d"), queues.first()});
}

PrivateCups::~PrivateCups()
{
    stop();
    qunsetenv("CUPS_SERVER");
    cupsSetServer(nullptr);
    QDir(folder_).removeRecursively();
}

void PrivateCups::stop()
{
    if (cupsd_.state() == QProcess::NotRunning)
        return;
    cupsd_.terminate();
    if (!cupsd_.waitForFinished(10000)) {
        cupsd_.kill();
        cupsd_.waitForFinished();
    }
}

QString PrivateCups::output(const QString& queue) const
{
    return folder_ + QStringLiteral("/out/") + queue + QStringLiteral(".pdf");
}

void PrivateCups::lpadmin(const QStringList& arguments)
{
    QProcess tool;
    tool.setProcessChannelMode(QProcess::MergedChannels);
    tool.start(QStringLiteral("lpadmin"), arguments);
    QVERIFY(tool.waitForFinished(30000));
    QVERIFY2(tool.exitCode() == 0, tool.readAll().constData());
}

QList<int> PrivateCups::jobs()
{
    cups_job_t* list = nullptr;
    const int count = cupsGetJobs2(CUPS_HTTP_DEFAULT, &list, nullptr, 0, CUPS_WHICHJOBS_ALL);
    QList<int> ids;
    for (int i = 0; i < count; ++i)
        ids << list[i].id;
    cupsFreeJobs(count, list);
    std::sort(ids.begin(), ids.end());
    return ids;
}

QString PrivateCups::jobAttribute(int job, const char* name)
{
    ipp_t* request = ippNewRequest(IPP_OP_GET_JOB_ATTRIBUTES);
    const QByteArray uri = "ipp://localhost/jobs/" + QByteArray::number(job);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "job-uri", nullptr, uri.constData());
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", nullptr,
                 "all");
    ipp_t* response = cupsDoRequest(CUPS_HTTP_DEFAULT, request, "/");
    QString value;
    if (ipp_attribute_t* attribute =
            response ? ippFindAttribute(response, name, IPP_TAG_ZERO) : nullptr) {
        char text[1024];
        ippAttributeString(attribute, text, sizeof text);
        value = QString::fromUtf8(text);
    }
    ippDelete(response);
    return value;
}
