#include "office/unoengine.h"

#include "office/unosheet.h"
#include "office/unoword.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/frame/XStorable.hpp>

#include <csignal>
#include <cstdlib>

using namespace com::sun::star;
using com::sun::star::uno::Any;
using com::sun::star::uno::Reference;
using com::sun::star::uno::UNO_QUERY_THROW;

namespace office::detail {

namespace {

EngineOptions withDefaults(EngineOptions options)
{
    if (options.programDir.isEmpty())
        options.programDir = QStringLiteral(MORVANTA_OFFICE_PROGRAM_DIR);
    return options;
}

// Interrupting or terminating the program takes its office along; the
// office's guardian then removes the temporary folder.
void onTerminatingSignal(int sig)
{
    killOfficesFromSignalHandler();
    ::signal(sig, SIG_DFL);
    ::raise(sig);
}

void installSignalHandlers()
{
    static bool installed = false;
    if (installed)
        return;
    installed = true;
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
        struct sigaction current
        {
        };
        ::sigaction(sig, nullptr, &current);
        if (current.sa_handler != SIG_DFL) // leave a program's own handling alone
            continue;
        struct sigaction action
        {
        };
        action.sa_handler = onTerminatingSignal;
        sigemptyset(&action.sa_mask);
        ::sigaction(sig, &action, nullptr);
    }
}

} // namespace

UnoEngine::UnoEngine(EngineOptions options) : options_(withDefaults(std::move(options))) {}

UnoEngine::~UnoEngine()
{
    shutdown();
}

std::shared_ptr<Connection> UnoEngine::connection()
{
    if (connection_ && !connection_->isAlive()) {
        connection_->kill();
        connection_.reset();
    }
    if (!connection_) {
        installSignalHandlers();
        connection_ = std::make_shared<Connection>(withDefaults(options_), watchdog_);
    }
    return connection_;
}

std::unique_ptr<word::Application> UnoEngine::createWordApplication()
{
    // Between two sessions, an office that has served many documents is
    // replaced: LibreOffice's memory grows over long batches.
    if (openSessions_ == 0 && connection_ &&
        connection_->documentsOpened >= options_.documentsPerProcess)
        shutdown();
    return std::make_unique<UnoWordApplication>(*this);
}

std::unique_ptr<sheet::Application> UnoEngine::createSpreadsheetApplication()
{
    return std::make_unique<UnoSheetApplication>(*this);
}

long UnoEngine::officePid()
{
    return connection_ && connection_->isAlive() ? connection_->pid() : 0;
}

void UnoEngine::shutdown()
{
    if (connection_) {
        connection_->kill();
        connection_.reset();
    }
}

void UnoEngine::abandon()
{
    if (connection_) {
        connection_->abandon();
        connection_.reset();
    }
}

UnoEngine& unoEngine()
{
    // Never destroyed: at exit the office is ended before the UNO runtime's
    // own statics go, which releasing proxies later would trip over.
    static UnoEngine* engine = [] {
        auto* e = new UnoEngine(EngineOptions{});
        // The office ends with the application object, while the UNO
        // runtime is whole; a program without one ends it at exit.
        if (QCoreApplication::instance())
            qAddPostRoutine([] { unoEngine().shutdown(); });
        std::atexit([] { unoEngine().abandon(); });
        return e;
    }();
    return *engine;
}

} // namespace office::detail

namespace office {

Engine& defaultEngine()
{
    return detail::unoEngine();
}

void setDefaultEngineOptions(const EngineOptions& options)
{
    detail::unoEngine().setOptions(options);
}

long defaultEngineOfficePid()
{
    return detail::unoEngine().officePid();
}

void shutdownDefaultEngine()
{
    detail::unoEngine().shutdown();
}

void convertFile(const QString& source, const QString& target, const QString& filterName)
{
    using namespace detail;
    std::shared_ptr<Connection> c = unoEngine().connection();
    const bool spreadsheet = filterName.contains(QStringLiteral("Calc")) ||
                             filterName.contains(QStringLiteral("Excel")) ||
                             filterName.contains(QStringLiteral("calc"));
    const Reference<lang::XComponent> doc = loadComponent(*c, source, true, spreadsheet);
    try {
        c->call(
            [&] {
                beans::PropertyValue filter;
                filter.Name = u"FilterName"_ustr;
                filter.Value <<= toOUString(filterName);
                beans::PropertyValue overwrite;
                overwrite.Name = u"Overwrite"_ustr;
                overwrite.Value <<= true;
                const beans::PropertyValue args[] = {filter, overwrite};
                Reference<frame::XStorable>(doc, UNO_QUERY_THROW)
                    ->storeToURL(toOUString(fileUrl(target)),
                                 uno::Sequence<beans::PropertyValue>(args, 2));
            },
            describeAs(errc::WriteFailed,
                       QStringLiteral("无法把“%1”转换为“%2”").arg(source, target)));
    } catch (...) {
        closeComponent(*c, doc, source);
        throw;
    }
    closeComponent(*c, doc, source);
}

} // namespace office
