#include "office/unoengine.h"

#include "office/unocomponent.h"
#include "office/unosheet.h"
#include "office/unowordapplication.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/frame/XStorable.hpp>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <exception>
#include <system_error>
#include <thread>

#include <sched.h>
#include <unistd.h>

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

// The offices of a pool keep to a processor each, when each can have one of
// those this program may run on: an office hands every call between threads
// of its own, which is cheap on one processor and costly across two, above
// all on a virtual machine. On the 2-core reference machine the pool's 200
// rows went from 13 s to about 10 s with the offices and their callers kept
// apart this way.
int processorFor(int index, int poolSize)
{
    // The program's processors, before any session kept a thread to one.
    static const cpu_set_t allowed = [] {
        cpu_set_t set;
        CPU_ZERO(&set);
        if (::sched_getaffinity(::getpid(), sizeof set, &set) != 0)
            CPU_ZERO(&set);
        return set;
    }();
    if (poolSize < 2 || CPU_COUNT(&allowed) < poolSize)
        return -1;
    for (int cpu = 0, seen = 0; cpu < CPU_SETSIZE; ++cpu)
        if (CPU_ISSET(cpu, &allowed) && seen++ == index)
            return cpu;
    return -1;
}

// A session's calls are made on the processor of its office, too: the
// calling thread and the office then hand each call over on one processor.
// The thread gets its former processors back when its last session ends.
thread_local int t_sessionsOnThread = 0;
thread_local cpu_set_t t_formerProcessors;
thread_local bool t_pinned = false;

void keepCallerOn(int cpu)
{
    if (t_sessionsOnThread++ > 0 || cpu < 0)
        return;
    cpu_set_t only;
    CPU_ZERO(&only);
    CPU_SET(cpu, &only);
    t_pinned = ::sched_getaffinity(0, sizeof t_formerProcessors, &t_formerProcessors) == 0 &&
               ::sched_setaffinity(0, sizeof only, &only) == 0;
}

void releaseCaller()
{
    if (t_sessionsOnThread == 0 || --t_sessionsOnThread > 0)
        return;
    if (t_pinned)
        ::sched_setaffinity(0, sizeof t_formerProcessors, &t_formerProcessors);
    t_pinned = false;
}

} // namespace

UnoEngine::UnoEngine(EngineOptions options) : options_(withDefaults(std::move(options)))
{
    processorFor(0, 1); // learns the program's processors while no thread is kept to one
    processes_.resize(static_cast<std::size_t>(poolSize()));
}

UnoEngine::~UnoEngine()
{
    shutdown();
}

int UnoEngine::poolSize() const
{
    const int cores = std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
    return std::clamp(options_.processes, 1, cores);
}

void UnoEngine::setOptions(const EngineOptions& options)
{
    std::lock_guard lock(mutex_);
    options_ = withDefaults(options);
    resizeWhenIdle();
}

void UnoEngine::resizeWhenIdle()
{
    for (const Process& p : processes_)
        if (p.connection || p.sessions > 0)
            return;
    processes_.resize(static_cast<std::size_t>(poolSize()));
}

int UnoEngine::parallelSessions()
{
    std::lock_guard lock(mutex_);
    return static_cast<int>(processes_.size());
}

std::shared_ptr<Connection> UnoEngine::connection(int index)
{
    {
        std::lock_guard lock(mutex_);
        const std::shared_ptr<Connection>& c =
            processes_.at(static_cast<std::size_t>(index)).connection;
        if (c && c->isAlive())
            return c;
    }
    std::lock_guard starting(startMutex_);
    std::vector<int> toStart;
    std::shared_ptr<Connection> dead;
    EngineOptions options;
    int poolSize = 1;
    {
        std::lock_guard lock(mutex_);
        const bool cold = std::none_of(processes_.begin(), processes_.end(),
                                       [](const Process& p) { return p.connection != nullptr; });
        if (cold)
            resizeWhenIdle();
        Process& wanted = processes_.at(static_cast<std::size_t>(index));
        if (wanted.connection && wanted.connection->isAlive())
            return wanted.connection; // another thread started it meanwhile
        dead = std::move(wanted.connection);
        toStart.push_back(index);
        // A first start brings up the whole pool: the offices start side by side.
        for (int i = 0; cold && i < static_cast<int>(processes_.size()); ++i)
            if (i != index)
                toStart.push_back(i);
        options = options_;
        poolSize = static_cast<int>(processes_.size());
    }
    if (dead)
        dead->kill();
    installSignalHandlers();

    std::vector<std::shared_ptr<Connection>> started(toStart.size());
    std::vector<std::exception_ptr> failures(toStart.size());
    const auto start = [&](std::size_t k) {
        try {
            started[k] = std::make_shared<Connection>(options, watchdog_,
                                                      processorFor(toStart[k], poolSize));
        } catch (...) {
            failures[k] = std::current_exception();
        }
    };
    std::vector<std::thread> others;
    for (std::size_t k = 1; k < toStart.size(); ++k) {
        try {
            others.emplace_back(start, k);
        } catch (const std::system_error&) {
            start(k); // no thread to be had: this one starts before the others
        }
    }
    start(0);
    for (std::thread& t : others)
        t.join();

    {
        std::lock_guard lock(mutex_);
        for (std::size_t k = 0; k < toStart.size(); ++k)
            processes_[static_cast<std::size_t>(toStart[k])].connection = started[k];
    }
    // Only the office asked for counts; another one that failed is tried
    // again when it is needed.
    if (failures[0])
        std::rethrow_exception(failures[0]);
    return started[0];
}

int UnoEngine::sessionStarted()
{
    std::shared_ptr<Connection> due;
    int chosen = 0;
    int pool = 1;
    {
        std::lock_guard lock(mutex_);
        // A free running office, else a free one to start, else the least busy.
        const auto rank = [](Process& p) {
            if (p.sessions > 0)
                return 2 + p.sessions;
            return p.connection && p.connection->isAlive() ? 0 : 1;
        };
        for (int i = 1; i < static_cast<int>(processes_.size()); ++i)
            if (rank(processes_[static_cast<std::size_t>(i)]) <
                rank(processes_[static_cast<std::size_t>(chosen)]))
                chosen = i;
        Process& p = processes_[static_cast<std::size_t>(chosen)];
        // An office that has served many documents is replaced between two
        // sessions: LibreOffice's memory grows over long batches.
        if (p.sessions == 0 && p.connection &&
            p.connection->documentsOpened >= options_.documentsPerProcess)
            due = std::move(p.connection);
        ++p.sessions;
        pool = static_cast<int>(processes_.size());
    }
    if (due)
        due->kill();
    keepCallerOn(processorFor(chosen, pool));
    return chosen;
}

void UnoEngine::sessionEnded(int index)
{
    releaseCaller();
    std::lock_guard lock(mutex_);
    --processes_.at(static_cast<std::size_t>(index)).sessions;
}

std::unique_ptr<word::Application> UnoEngine::createWordApplication()
{
    return std::make_unique<UnoWordApplication>(*this);
}

std::unique_ptr<sheet::Application> UnoEngine::createSpreadsheetApplication()
{
    return std::make_unique<UnoSheetApplication>(*this);
}

QList<long> UnoEngine::officePids()
{
    std::lock_guard lock(mutex_);
    QList<long> pids;
    for (const Process& p : processes_)
        if (p.connection && p.connection->isAlive())
            pids << p.connection->pid();
    return pids;
}

void UnoEngine::shutdown()
{
    std::vector<std::shared_ptr<Connection>> running;
    {
        std::lock_guard lock(mutex_);
        for (Process& p : processes_)
            if (p.connection)
                running.push_back(std::move(p.connection));
        resizeWhenIdle();
    }
    for (const std::shared_ptr<Connection>& c : running)
        c->kill();
}

void UnoEngine::abandon()
{
    std::lock_guard lock(mutex_);
    for (Process& p : processes_) {
        if (p.connection) {
            p.connection->abandon();
            p.connection.reset();
        }
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
    return detail::unoEngine().officePids().value(0);
}

QList<long> defaultEngineOfficePids()
{
    return detail::unoEngine().officePids();
}

long officePidOf(word::Application& session)
{
    auto* uno = dynamic_cast<detail::UnoWordApplication*>(&session);
    return uno ? uno->officePid() : 0;
}

void shutdownDefaultEngine()
{
    detail::unoEngine().shutdown();
}

void convertFile(const QString& source, const QString& target, const QString& filterName,
                 const QString& password)
{
    using namespace detail;
    std::shared_ptr<Connection> c = unoEngine().connection(0);
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
                beans::PropertyValue lock;
                lock.Name = u"Password"_ustr;
                lock.Value <<= toOUString(password);
                const beans::PropertyValue args[] = {filter, overwrite, lock};
                Reference<frame::XStorable>(doc, UNO_QUERY_THROW)
                    ->storeToURL(
                        toOUString(fileUrl(target)),
                        uno::Sequence<beans::PropertyValue>(args, password.isEmpty() ? 2 : 3));
            },
            describeAs(morvanta::errc::WriteFailed,
                       QStringLiteral("无法把“%1”转换为“%2”").arg(source, target)));
    } catch (...) {
        closeComponent(*c, doc, source);
        throw;
    }
    closeComponent(*c, doc, source);
}

} // namespace office
