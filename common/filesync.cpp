#include "common/filesync.h"

#include "common/systemcause.h"

#include <QFile>
#include <QFileInfo>

#ifndef Q_OS_WIN
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace filesync {

bool syncToDisk(const QString& path, QString* reason)
{
#ifdef Q_OS_WIN
    // The renames that publish a file are written through.
    Q_UNUSED(path);
    Q_UNUSED(reason);
    return true;
#else
    const auto failed = [&](int err) {
        if (reason)
            *reason = morvanta::systemCause(err);
        return false;
    };
    // Non-blocking, so that a FIFO put in the file's place cannot hold us.
    int fd = -1;
    do
        fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        const int err = errno;
        if (err == EACCES && QFileInfo(path).isDir())
            return true;
        return failed(err);
    }
    // fsync rather than fdatasync: a change of access rights is to last too.
    const bool synced = ::fsync(fd) == 0;
    const int err = errno;
    ::close(fd);
    if (synced)
        return true;
    if ((err == EINVAL || err == EBADF) && QFileInfo(path).isDir())
        return true;
    return failed(err);
#endif
}

} // namespace filesync
