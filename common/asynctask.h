#pragma once

// Runs long work (office calls) off the user-interface thread while that
// thread keeps its windows drawn.

#include <QCoreApplication>
#include <QEventLoop>
#include <QMetaObject>
#include <QSemaphore>
#include <QThread>
#include <QThreadPool>

#include <exception>
#include <memory>
#include <optional>
#include <type_traits>
#include <utility>

namespace AsyncTask {

namespace detail {

// The helper's own workers rather than Qt's global pool: that pool has only
// as many threads as the machine has cores and may be busy with others'
// work, while a task here must start at once, also when a handler run
// during one wait starts another. Idle workers stay for the next task
// instead of expiring. Never deleted, so that no thread is joined during
// static destruction.
inline QThreadPool& workers()
{
    static QThreadPool* const pool = [] {
        auto* threads = new QThreadPool;
        threads->setExpiryTimeout(-1);
        threads->setMaxThreadCount(64);
        return threads;
    }();
    return *pool;
}

} // namespace detail

// Runs `task` on a worker thread and waits for it in a nested event loop
// that delivers paint, timer, posted and window-manager events but no user
// input (key, mouse, window close), so windows stay drawn and nothing the
// operator does can start a second run meanwhile; input that arrives is
// delivered after the wait. Returns the task's result; an exception the
// task throws is rethrown here as it was thrown. Off the application's
// thread, or without an application, the task simply runs here.
//
// Whatever the task touches must not be touched by the events handled in
// the wait (timers, posted calls): they run at the same time.
template <class F>
auto runAndWaitForFuture(F&& task) -> std::remove_cvref_t<std::invoke_result_t<F&>>
{
    using R = std::remove_cvref_t<std::invoke_result_t<F&>>;
    const QCoreApplication* app = QCoreApplication::instance();
    if (!app || QThread::currentThread() != app->thread())
        return task();

    std::exception_ptr failure;
    std::optional<std::conditional_t<std::is_void_v<R>, bool, R>> result;
    QEventLoop loop;
    // Shared: the worker still holds it while its release() returns.
    const auto ended = std::make_shared<QSemaphore>();
    detail::workers().start([&, ended] {
        try {
            if constexpr (std::is_void_v<R>) {
                task();
                result.emplace(true);
            } else {
                result.emplace(task());
            }
        } catch (...) {
            failure = std::current_exception();
        }
        // Posted: a quit that arrives before exec() starts must still end it.
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
        ended->release();
    });
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    // The loop also ends early when the application quits; the task still
    // has to end before its captures go.
    ended->acquire();

    if (failure)
        std::rethrow_exception(failure);
    if constexpr (!std::is_void_v<R>)
        return std::move(*result);
}

} // namespace AsyncTask
