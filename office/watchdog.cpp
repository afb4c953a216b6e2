#include "office/watchdog.h"

#include <csignal>

namespace office::detail {

namespace {

std::int64_t steadyNowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::int64_t ns(std::chrono::milliseconds ms)
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(ms).count();
}

} // namespace

Watchdog::Watchdog(Clock clock)
    : clock_(clock ? std::move(clock) : Clock(steadyNowNs)), thread_([this] { run(); })
{
}

Watchdog::~Watchdog()
{
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

int Watchdog::arm(pid_t target, std::chrono::milliseconds deadline)
{
    // More calls at once than slots cannot happen (a handful of threads use
    // the office); should they, a call waits for a slot rather than go unguarded.
    for (;;) {
        for (std::size_t i = 0; i < slots_.size(); ++i) {
            Slot& slot = slots_[i];
            if (slot.taken.exchange(true))
                continue;
            const std::int64_t now = clock_();
            slot.fired.store(false);
            slot.target.store(target);
            slot.armedNs.store(now);
            slot.deadlineNs.store(now + ns(deadline));
            return static_cast<int>(i);
        }
        std::this_thread::yield();
    }
}

bool Watchdog::disarm(int ticket)
{
    Slot& slot = slots_[static_cast<std::size_t>(ticket)];
    // A deadline already taken back to 0 was taken by the watchdog, which may
    // be killing this call's office right now: the slot is only given up once
    // it has, so that the kill can never hit the office of the next call that
    // takes the slot.
    const bool fired = slot.deadlineNs.exchange(0) == 0;
    while (fired && !slot.fired.load())
        std::this_thread::yield();
    slot.taken.store(false);
    return fired;
}

void Watchdog::postpone(std::int64_t missedNs, std::int64_t armedBefore)
{
    for (Slot& slot : slots_) {
        std::int64_t deadline = slot.deadlineNs.load();
        // Only calls that were waiting when the gap began; a call armed as
        // the program ran again (late in the gap) keeps its own deadline.
        if (deadline != 0 && slot.armedNs.load() < armedBefore)
            slot.deadlineNs.compare_exchange_strong(deadline, deadline + missedNs);
    }
}

void Watchdog::run()
{
    std::unique_lock lock(mutex_);
    std::int64_t last = clock_();
    while (!wake_.wait_for(lock, tick, [this] { return stop_; })) {
        const std::int64_t now = clock_();
        // A gap far beyond the tick means this program was not running: it
        // was stopped (SIGSTOP, a debugger) or starved of the processor. The
        // offices went on meanwhile and have most likely answered; that time
        // is not counted against the calls' deadlines, else healthy offices
        // would be killed the moment the program runs again.
        if (now - last > ns(stall))
            postpone(now - last - ns(tick), last + (now - last) / 2);
        last = now;
        for (Slot& slot : slots_) {
            std::int64_t deadline = slot.deadlineNs.load();
            if (deadline == 0 || now <= deadline)
                continue;
            // Read before the deadline is taken: a successful exchange below
            // proves it still belongs to the call that set that deadline.
            const pid_t target = slot.target.load();
            if (slot.deadlineNs.compare_exchange_strong(deadline, 0)) {
                // The call is hung: killing the office makes the blocked call
                // return with an exception on the caller's thread.
                if (target > 0)
                    ::kill(target, SIGKILL);
                slot.fired.store(true);
            }
        }
    }
}

} // namespace office::detail
