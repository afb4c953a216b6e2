#pragma once

// The private LibreOffice process of a running program: started headless with
// a profile of its own in a temporary folder and a pipe name unique to this
// process, and never outliving the program. This file knows nothing of UNO.

#include "office/officeguardian.h"

#include <QString>
#include <QStringList>

#include <sys/types.h>

namespace office::detail {

class OfficeProcess
{
public:
    // `cpu`: the processor the office keeps to, or -1 for any. `memoryLimit`:
    // the bytes of data the office may hold; 0 for the default share of the
    // machine's memory (defaultMemoryLimit()).
    explicit OfficeProcess(QString programDir, int cpu = -1, qint64 memoryLimit = 0);
    ~OfficeProcess();
    OfficeProcess(const OfficeProcess&) = delete;
    OfficeProcess& operator=(const OfficeProcess&) = delete;

    // Starts soffice.bin. Throws morvanta::Error when it cannot be started.
    void start();
    // Starts it again on the same profile (after the first-start exit 81).
    void restart();

    // Reaps the process if it ended; returns whether it is still running.
    bool isRunning();
    // Waits up to `limit` for the process to end; returns whether it has.
    bool waitForEnd(int limitMs);
    // The exit code once it has ended (-1 when killed or still running).
    int exitCode() const { return exitCode_; }
    // The signal that ended it (0 when it exited or is still running).
    int exitSignal() const { return exitSignal_; }
    // How it ended, for messages: "退出码 81" or "被信号 9（SIGKILL）结束".
    QString endDescription() const;

    // Ends the process at once and removes the temporary folder.
    void kill();

    pid_t pid() const { return pid_; }
    qint64 memoryLimit() const { return memoryLimit_; }
    const QString& pipeName() const { return pipeName_; }

    // Remembers the socket files the office has made so far, which its
    // guardian removes should the program be killed.
    void recordSocketFiles();
    // A path to remove when this office ends, however the program ends.
    void addLeftover(const QString& path);
    // A path that is gone already and must no longer be removed.
    void removeLeftover(const QString& path);

private:
    void makeGuardedTempDir();
    void launch();
    void removeTempDir();

    QString programDir_;
    int cpu_ = -1;
    qint64 memoryLimit_ = 0;
    QString tempDir_;
    QString fontConfig_; // the office's font configuration, when written
    QString pipeName_;
    pid_t pid_ = 0;
    int exitCode_ = -1;
    int exitSignal_ = 0;
    OfficeGuardian guardian_;
};

// What one office may hold when nothing else is said: a quarter of the
// machine's memory, at least 2 GiB.
qint64 defaultMemoryLimit();
// The most memory the process has had resident (its high-water mark), in
// bytes; 0 when unknown.
qint64 peakResidentOf(pid_t pid);

// The socket file of the office's single-instance check for a profile URL.
QString instanceSocketFile(const QString& profileUrl);
// The socket files under which the process listens.
QStringList socketFilesOf(pid_t pid);

} // namespace office::detail
