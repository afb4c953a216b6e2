#include "office/unocall.h"

#include "office/enginedetail.h"

#include <QDir>
#include <QFileInfo>
#include <QUrl>

#include <com/sun/star/bridge/UnoUrlResolver.hpp>
#include <com/sun/star/connection/NoConnectException.hpp>
#include <com/sun/star/frame/Desktop.hpp>
#include <cppuhelper/bootstrap.hxx>
#include <rtl/bootstrap.hxx>

#include <mutex>

using namespace com::sun::star;
using com::sun::star::uno::Reference;
using rtl::OUString;

namespace office::detail {

QString toQString(const OUString& s)
{
    return QString(reinterpret_cast<const QChar*>(s.getStr()), s.getLength());
}

OUString toOUString(const QString& s)
{
    return OUString(reinterpret_cast<const sal_Unicode*>(s.utf16()), s.size());
}

QString fileUrl(const QString& path)
{
    return QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()).toString(QUrl::FullyEncoded);
}

// --- Connection -------------------------------------------------------------

namespace {

Reference<uno::XComponentContext> localContext(const QString& programDir)
{
    static std::mutex mutex;
    static Reference<uno::XComponentContext> context;
    std::lock_guard lock(mutex);
    if (!context.is()) {
        rtl::Bootstrap::set(u"URE_BOOTSTRAP"_ustr,
                            toOUString(QStringLiteral("vnd.sun.star.pathname:") + programDir +
                                       QStringLiteral("/fundamentalrc")));
        try {
            context = cppu::defaultBootstrap_InitialComponentContext();
        } catch (const uno::Exception& e) {
            throw morvanta::Error(morvanta::errc::OfficeNotInstalled,
                                  QStringLiteral("无法初始化 LibreOffice 的组件环境（%1）：%2")
                                      .arg(programDir, toQString(e.Message)));
        }
    }
    return context;
}

QString seconds(std::chrono::milliseconds ms)
{
    return QString::number(static_cast<double>(ms.count()) / 1000.0, 'g', 3);
}

} // namespace

Connection::Connection(const EngineOptions& options, Watchdog& watchdog, int cpu)
    : options_(options), watchdog_(watchdog),
      process_(options.programDir, cpu, options.officeMemoryLimit)
{
    process_.start();
    try {
        connect();
    } catch (...) {
        process_.kill();
        throw;
    }
}

Connection::~Connection()
{
    // Dropping references to a dead office is quick; the process goes first.
    kill();
    try {
        desktop_.clear();
        context_.clear();
    } catch (...) {
    }
}

void Connection::connect()
{
    const Reference<uno::XComponentContext> local = localContext(options_.programDir);
    Reference<bridge::XUnoUrlResolver> resolver;
    try {
        resolver = bridge::UnoUrlResolver::create(local);
    } catch (const uno::Exception& e) {
        throw morvanta::Error(
            morvanta::errc::OfficeNotInstalled,
            QStringLiteral("LibreOffice 的组件不完整，无法连接：%1").arg(toQString(e.Message)));
    }
    const auto pipeUrl = [this] {
        return toOUString(QStringLiteral("uno:pipe,name=") + process_.pipeName() +
                          QStringLiteral(";urp;StarOffice.ComponentContext"));
    };
    OUString url = pipeUrl();
    const auto start = std::chrono::steady_clock::now();
    const auto deadline = start + options_.startDeadline;
    int restarts = 0;
    bool diedOnce = false;
    while (true) {
        if (!process_.isRunning()) {
            // A fresh profile makes the office exit once with 81 to be restarted.
            if (process_.exitCode() == 81 && restarts++ < 3) {
                process_.restart();
                continue;
            }
            if (std::chrono::steady_clock::now() >= deadline) // ended by the deadline
                throw morvanta::Error(morvanta::errc::OfficeNotInstalled,
                                      QStringLiteral("LibreOffice 未能在 %1 秒内启动完成。")
                                          .arg(seconds(options_.startDeadline)));
            // Any other end during start-up (killed, crashed) gets one new
            // office on a new profile before the start is given up.
            if (!diedOnce) {
                diedOnce = true;
                process_.kill();
                process_.start();
                url = pipeUrl();
                continue;
            }
            const QString how = process_.endDescription();
            throw morvanta::Error(morvanta::errc::OfficeNotInstalled,
                                  process_.exitSignal() != 0
                                      ? QStringLiteral("办公组件在启动过程中被结束（%1），"
                                                       "再次启动后又被结束，无法使用办公组件。")
                                            .arg(how)
                                      : QStringLiteral("LibreOffice 启动后立即退出（%1），"
                                                       "再次启动后仍然如此，无法使用办公组件。")
                                            .arg(how));
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            throw morvanta::Error(morvanta::errc::OfficeNotInstalled,
                                  QStringLiteral("LibreOffice 未能在 %1 秒内启动完成。")
                                      .arg(seconds(options_.startDeadline)));
        const int ticket = watchdog_.arm(process_.pid(), left);
        try {
            const Reference<uno::XInterface> remote = resolver->resolve(url);
            context_.set(remote, uno::UNO_QUERY_THROW);
            desktop_ = frame::Desktop::create(context_);
            watchdog_.disarm(ticket);
            break;
        } catch (const connection::NoConnectException&) {
            watchdog_.disarm(ticket);
            process_.recordSocketFiles(); // a kill during start-up leaves none behind
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
        } catch (const uno::Exception& e) {
            const bool timedOut = watchdog_.disarm(ticket);
            if (timedOut)
                throw morvanta::Error(morvanta::errc::OfficeNotInstalled,
                                      QStringLiteral("LibreOffice 未能在 %1 秒内启动完成。")
                                          .arg(seconds(options_.startDeadline)));
            // The office may be ending under the call; then the loop's start
            // handles it.
            if (!process_.waitForEnd(500))
                throw morvanta::Error(
                    morvanta::errc::OfficeNotInstalled,
                    QStringLiteral("无法连接到 LibreOffice：%1").arg(toQString(e.Message)));
        }
    }
    process_.recordSocketFiles();
}

void Connection::abandon()
{
    kill();
    new (&desktop_) Reference<frame::XDesktop2>();
    new (&context_) Reference<uno::XComponentContext>();
}

bool Connection::isAlive()
{
    return desktop_.is() && processRunning();
}

bool Connection::processRunning()
{
    std::lock_guard lock(processMutex_);
    return process_.isRunning();
}

pid_t Connection::pid()
{
    std::lock_guard lock(processMutex_);
    return process_.pid();
}

void Connection::kill()
{
    std::lock_guard lock(processMutex_);
    process_.kill();
}

void Connection::addLeftover(const QString& path)
{
    std::lock_guard lock(processMutex_);
    process_.addLeftover(path);
}

void Connection::removeLeftover(const QString& path)
{
    std::lock_guard lock(processMutex_);
    process_.removeLeftover(path);
}

morvanta::Error Connection::failure(const uno::Exception& e, bool timedOut, bool disposed,
                                    const Description& describe)
{
    const QString detail = toQString(e.Message);
    const QString engineDetail = withPlainPaths(detail).isEmpty()
                                     ? QString()
                                     : QStringLiteral("（%1）").arg(withPlainPaths(detail));
    // What the call was doing, naming its file; the office's own refusal text
    // would blame the file for what the office did.
    const QString what = describe.operation() + QStringLiteral("：");
    if (timedOut) {
        kill();
        return morvanta::Error(morvanta::errc::OfficeNoAnswer,
                               what +
                                   QStringLiteral("办公组件在 %1 秒内没有响应，已将其结束。")
                                       .arg(seconds(options_.callDeadline)) +
                                   engineDetail);
    }
    // A bridge that broke is usually an office that is ending: give it a
    // moment to be reaped, so that its end is reported as such.
    const bool bridgeGone =
        disposed || detail.contains(QStringLiteral("bridge"), Qt::CaseInsensitive);
    QString how;
    bool ended = false;
    {
        std::lock_guard lock(processMutex_);
        ended = bridgeGone ? process_.waitForEnd(500) : !process_.isRunning();
        if (ended) {
            how = process_.endDescription();
            process_.kill();
        }
    }
    if (ended) {
        return morvanta::Error(
            morvanta::errc::OfficeGone,
            what + QStringLiteral("办公组件在处理过程中意外结束（%1）。").arg(how) + engineDetail);
    }
    if (bridgeGone) {
        kill(); // the bridge is gone: this office is of no further use
        return morvanta::Error(morvanta::errc::OfficeGone,
                               what + QStringLiteral("与办公组件的连接已断开。") + engineDetail);
    }
    return describe(e);
}

morvanta::Error Description::operator()(const uno::Exception& e) const
{
    const QString detail = toQString(e.Message);
    QString text = operation_;
    if (!cause_.isEmpty())
        text += QStringLiteral("：") + cause_;
    else if (!ioCauseOf(detail).isEmpty())
        text += QStringLiteral("：");
    return morvanta::Error(number_, text + engineDetail(detail));
}

} // namespace office::detail
