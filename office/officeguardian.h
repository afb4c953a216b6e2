#pragma once

// What cleans up after the offices of a program that is killed: a shell
// started beside each office that, once the program is gone, kills the
// office and removes what it leaves; and the table of the program's offices
// that the signal handlers kill.

#include <QString>
#include <QStringList>

#include <sys/types.h>

namespace office::detail {

class OfficeGuardian
{
public:
    OfficeGuardian() = default;
    ~OfficeGuardian() { stop(); }
    OfficeGuardian(const OfficeGuardian&) = delete;
    OfficeGuardian& operator=(const OfficeGuardian&) = delete;

    // The office's private folder: the guardian removes it last and keeps the
    // list of leftovers in it. Until it is set, leftovers are not listed.
    void setFolder(const QString& folder);
    // Starts the guardian of the folder, which need not exist yet: the
    // guardian is started first, so that no moment of the folder's life is
    // unguarded. Should the system refuse, the office runs unguarded.
    void start();
    // The office the guardian is to kill: the one it was told of last; 0 once
    // that office is reaped (its pid may then be another process's).
    void watch(pid_t office);
    // Ends the guardian without letting it do anything.
    void stop();

    // A path to remove when the office ends, however the program ends.
    void addLeftover(const QString& path);
    // A path that is gone already and must no longer be removed.
    void removeLeftover(const QString& path);
    // Removes every listed path now and forgets them and the folder.
    void removeLeftovers();

    // Where MORVANTA_LEFTOVER_JOURNAL names a file, appends a path that must
    // not outlive the program to it.
    static void journal(const QString& path);

private:
    void writeLeftovers();

    QString folder_;
    pid_t pid_ = 0;
    int lifelineFd_ = -1; // write end; its closing tells the guardian we are gone
    QStringList leftovers_;
};

// The table of the program's offices that the signal handlers kill.
void rememberOffice(pid_t pid);
void forgetOffice(pid_t pid);
// Kills every office this program started; async-signal-safe, for signal handlers.
void killOfficesFromSignalHandler();

} // namespace office::detail
