#pragma once

// Kills an office whose call outlives its deadline. Calls on several threads
// (on different offices, or beside each other on one) each have a deadline of
// their own: arm() takes a free slot and returns its ticket. Arming is a few
// atomic stores: the watchdog looks at the deadlines a few times a second
// instead of being woken for every call.

#include <sys/types.h>

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

namespace office::detail {

class Watchdog
{
public:
    // Nanoseconds of a steady clock; tests pass their own.
    using Clock = std::function<std::int64_t()>;

    explicit Watchdog(Clock clock = {});
    ~Watchdog();
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

    int arm(pid_t target, std::chrono::milliseconds deadline);
    // Returns whether the deadline passed (and the office was killed) since arm().
    bool disarm(int ticket);

private:
    // How often the deadlines are looked at, and the gap between two looks
    // beyond which this program is taken to have been stopped.
    static constexpr std::chrono::milliseconds tick{50};
    static constexpr std::chrono::milliseconds stall{1000};

    struct Slot
    {
        std::atomic<bool> taken{false};
        std::atomic<std::int64_t> armedNs{0};
        std::atomic<std::int64_t> deadlineNs{0}; // 0 when disarmed
        std::atomic<pid_t> target{0};
        std::atomic<bool> fired{false};
    };
    void run();
    // Moves the deadlines of the calls armed before `armedBefore` by `missedNs`.
    void postpone(std::int64_t missedNs, std::int64_t armedBefore);

    Clock clock_;
    std::array<Slot, 64> slots_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stop_ = false;
    std::thread thread_;
};

} // namespace office::detail
