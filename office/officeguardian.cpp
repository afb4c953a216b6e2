#include "office/officeguardian.h"

#include "common/files.h"

#include <QFile>

#include <array>
#include <atomic>
#include <csignal>
#include <fcntl.h>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace office::detail {

namespace {

// The offices of this program, for the signal handlers: a fixed table, since
// a handler may neither lock nor allocate.
std::array<std::atomic<pid_t>, 32> g_officePids{};

// Started before the office's folder exists, it reads the office's pid (one
// line per start; 0 once the office is reaped, so that a reused pid is never
// killed) until EOF on its stdin (the program has ended or let go of this
// office), then kills the last office, waits until it can no longer make
// anything (gone or a zombie, at most five seconds), and removes what it
// leaves: the paths listed in <folder>/leftovers (socket files, staging
// folders; NUL-separated, since a path may hold a newline) and the folder.
// rm does not follow a link given to it nor any inside a tree.
const char kGuardianScript[] =
    "while read -r p; do o=$p; done; "
    "case \"$o\" in ''|0|*[!0-9]*) ;; *) kill -9 \"$o\" 2>/dev/null; i=0; "
    "while [ $i -lt 50 ] && read -r s 2>/dev/null < \"/proc/$o/stat\"; do "
    "s=${s##*) }; [ \"${s%% *}\" = Z ] && break; sleep 0.1; i=$((i+1)); done ;; esac; "
    "if [ -f \"$1/leftovers\" ]; then xargs -0 -r rm -rf -- < \"$1/leftovers\"; fi; "
    "rm -rf -- \"$1\"";

} // namespace

void rememberOffice(pid_t pid)
{
    for (std::atomic<pid_t>& slot : g_officePids) {
        pid_t empty = 0;
        if (slot.compare_exchange_strong(empty, pid))
            return;
    }
}

void forgetOffice(pid_t pid)
{
    for (std::atomic<pid_t>& slot : g_officePids) {
        pid_t expected = pid;
        if (slot.compare_exchange_strong(expected, 0))
            return;
    }
}

void killOfficesFromSignalHandler()
{
    for (const std::atomic<pid_t>& slot : g_officePids) {
        const pid_t pid = slot.load();
        if (pid > 0)
            ::kill(pid, SIGKILL);
    }
}

void OfficeGuardian::setFolder(const QString& folder)
{
    folder_ = folder;
}

void OfficeGuardian::start()
{
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0)
        return;
    const std::string dir = folder_.toStdString();
    const int devNull = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    const pid_t child = ::fork();
    if (child == 0) {
        ::setpgid(0, 0); // outlives a terminal's Ctrl+C long enough to clean up
        ::dup2(fds[0], 0);
        ::dup2(devNull, 1);
        ::dup2(devNull, 2);
        ::close_range(3, ~0U, 0);
        ::execl("/bin/sh", "sh", "-c", kGuardianScript, "sh", dir.c_str(),
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(devNull);
    ::close(fds[0]);
    if (child > 0)
        ::setpgid(child, child); // also here: a group kill right after the fork misses it
    if (child < 0) {
        ::close(fds[1]);
        return;
    }
    pid_ = child;
    lifelineFd_ = fds[1];
}

void OfficeGuardian::watch(pid_t office)
{
    if (lifelineFd_ < 0)
        return;
    const std::string line = std::to_string(office) + '\n';
    // A socket, not a pipe: a guardian gone must not end us with SIGPIPE.
    [[maybe_unused]] const auto sent = ::send(lifelineFd_, line.data(), line.size(), MSG_NOSIGNAL);
}

void OfficeGuardian::stop()
{
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
        pid_ = 0;
    }
    if (lifelineFd_ >= 0) {
        ::close(lifelineFd_);
        lifelineFd_ = -1;
    }
}

void OfficeGuardian::addLeftover(const QString& path)
{
    if (folder_.isEmpty() || leftovers_.contains(path))
        return;
    leftovers_ << path;
    writeLeftovers();
    journal(path);
}

void OfficeGuardian::removeLeftover(const QString& path)
{
    if (leftovers_.removeAll(path) > 0)
        writeLeftovers();
}

void OfficeGuardian::removeLeftovers()
{
    for (const QString& path : std::as_const(leftovers_))
        morvanta::removeTree(path);
    leftovers_.clear();
    folder_.clear();
}

void OfficeGuardian::journal(const QString& path)
{
    morvanta::journalLeftover(path);
}

void OfficeGuardian::writeLeftovers()
{
    // Replaced whole by a rename, so the guardian never reads half a list.
    QByteArray text;
    for (const QString& path : std::as_const(leftovers_))
        text += QFile::encodeName(path) + '\0';
    const QString list = folder_ + QStringLiteral("/leftovers");
    QFile next(list + QStringLiteral(".new"));
    if (next.open(QIODevice::WriteOnly | QIODevice::Truncate) && next.write(text) == text.size()) {
        next.close();
        ::rename(QFile::encodeName(next.fileName()).constData(),
                 QFile::encodeName(list).constData());
    }
}

} // namespace office::detail
