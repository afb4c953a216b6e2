#pragma once

// The connection to one office process and the guard that every call into it
// goes through: a deadline (past it the office is killed) and the translation
// of UNO exceptions into morvanta::Error.

#include "common/error.h"
#include "office/engine.h"
#include "office/officeprocess.h"
#include "office/watchdog.h"

#include <com/sun/star/frame/XDesktop2.hpp>
#include <com/sun/star/lang/DisposedException.hpp>
#include <com/sun/star/uno/Exception.hpp>
#include <com/sun/star/uno/XComponentContext.hpp>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

namespace office::detail {

namespace css = com::sun::star;

// UTF-16 literals as office strings.
inline rtl::OUString operator""_ustr(const char16_t* s, std::size_t n)
{
    return rtl::OUString(reinterpret_cast<const sal_Unicode*>(s), static_cast<sal_Int32>(n));
}

// What a call into the office does, for its failure message: the operation
// naming its file ("无法打开“…”") and, optionally, the cause to give when the
// office answered with a refusal ("它不是办公组件能够读取的文档。"). A call
// that fails because the office hung or died names the operation with that
// cause instead.
class Description
{
public:
    Description(int number, QString operation, QString cause = {})
        : number_(number), operation_(std::move(operation)), cause_(std::move(cause))
    {
    }
    const QString& operation() const { return operation_; }
    // The failure when the office refused the call: "<operation>：<cause>（<detail>）".
    morvanta::Error operator()(const css::uno::Exception& e) const;

private:
    int number_;
    QString operation_;
    QString cause_;
};

QString toQString(const rtl::OUString& s);
rtl::OUString toOUString(const QString& s);
QString fileUrl(const QString& path);

class Connection
{
public:
    // `cpu`: the processor the office keeps to, or -1 for any.
    Connection(const EngineOptions& options, Watchdog& watchdog, int cpu = -1);
    ~Connection();

    // These may be called from several threads at once: a fill and the data
    // workbook can share an office.
    bool isAlive();
    pid_t pid();
    // The most data the office may hold, in bytes.
    qint64 memoryLimit() const { return process_.memoryLimit(); }
    const css::uno::Reference<css::frame::XDesktop2>& desktop() const { return desktop_; }
    const css::uno::Reference<css::uno::XComponentContext>& context() const { return context_; }
    void kill();
    void addLeftover(const QString& path);
    void removeLeftover(const QString& path);
    // At program exit: ends the office and leaves the proxies unreleased,
    // since the UNO runtime may already be torn down.
    void abandon();

    std::atomic<int> documentsOpened{0};

    // Runs one call into the office under the deadline. A UNO exception
    // becomes morvanta::Error: "did not answer" when the deadline passed, "ended"
    // when the office died, otherwise whatever `describe` makes of it.
    template <class F> decltype(auto) call(F&& f, const Description& describe);

private:
    morvanta::Error failure(const css::uno::Exception& e, bool timedOut, bool disposed,
                            const Description& describe);
    void connect();

    bool processRunning();

    EngineOptions options_;
    Watchdog& watchdog_;
    std::mutex processMutex_; // guards process_ once the connection is shared
    OfficeProcess process_;
    css::uno::Reference<css::uno::XComponentContext> context_;
    css::uno::Reference<css::frame::XDesktop2> desktop_;
};

template <class F> decltype(auto) Connection::call(F&& f, const Description& describe)
{
    struct Disarm
    {
        Watchdog& watchdog;
        int ticket;
        bool done = false;
        ~Disarm()
        {
            if (!done)
                watchdog.disarm(ticket);
        }
    };
    Disarm guard{watchdog_, watchdog_.arm(pid(), options_.callDeadline)};
    try {
        return f();
    } catch (const css::lang::DisposedException& e) {
        guard.done = true;
        const bool timedOut = watchdog_.disarm(guard.ticket);
        throw failure(e, timedOut, true, describe);
    } catch (const css::uno::Exception& e) {
        guard.done = true;
        const bool timedOut = watchdog_.disarm(guard.ticket);
        throw failure(e, timedOut, false, describe);
    }
}

// A call's description: the operation with its file, and the cause of a refusal.
inline Description describeAs(int number, QString operation, QString cause = {})
{
    return Description(number, std::move(operation), std::move(cause));
}

} // namespace office::detail
