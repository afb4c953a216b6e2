#include "common/files.h"

#include <QFile>

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace morvanta {

bool isOrdinaryFile(const QString& path)
{
    if (path.isEmpty())
        return false;
    struct stat st
    {
    };
    // stat follows links and never opens the path, so a FIFO cannot block us.
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 && S_ISREG(st.st_mode);
}

namespace {

// Empties the folder open at `folderFd` (taken over and closed). Every entry
// is first unlinked as it is; only what refuses as a folder is opened, with
// O_NOFOLLOW, so a link swapped in meanwhile is never entered.
bool removeEntries(int folderFd)
{
    DIR* folder = ::fdopendir(folderFd);
    if (!folder) {
        ::close(folderFd);
        return false;
    }
    bool ok = true;
    while (const dirent* entry = ::readdir(folder)) {
        const char* name = entry->d_name;
        if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
            continue;
        const int fd = ::dirfd(folder);
        if (::unlinkat(fd, name, 0) == 0 || errno == ENOENT)
            continue;
        const int sub = ::openat(fd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (sub < 0 || !removeEntries(sub) || ::unlinkat(fd, name, AT_REMOVEDIR) != 0)
            ok = false;
    }
    ::closedir(folder);
    return ok;
}

} // namespace

bool removeTree(const QString& path)
{
    if (path.isEmpty())
        return true;
    const QByteArray name = QFile::encodeName(path);
    if (::unlink(name.constData()) == 0 || errno == ENOENT)
        return true;
    const int fd = ::open(name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool emptied = removeEntries(fd);
    return (::rmdir(name.constData()) == 0 || errno == ENOENT) && emptied;
}

void journalLeftover(const QString& path)
{
    static const QByteArray file = qgetenv("MORVANTA_LEFTOVER_JOURNAL");
    if (file.isEmpty())
        return;
    const int fd = ::open(file.constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    const QByteArray entry = QFile::encodeName(path) + '\0';
    [[maybe_unused]] const auto written = ::write(fd, entry.constData(), size_t(entry.size()));
    ::close(fd);
}

} // namespace morvanta
