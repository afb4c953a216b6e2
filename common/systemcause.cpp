#include "common/systemcause.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstring>

#ifndef Q_OS_WIN
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#endif

namespace morvanta {

QString systemCause(int err)
{
    switch (err) {
    case ENOSPC:
#ifdef EDQUOT
    case EDQUOT:
#endif
        return QStringLiteral("磁盘空间不足");
    case EACCES:
    case EPERM:
        return QStringLiteral("没有权限");
    case ENOENT:
    case ENOTDIR:
        return QStringLiteral("文件或文件夹不存在");
    case EROFS:
        return QStringLiteral("文件系统为只读");
    case EMFILE:
    case ENFILE:
        return QStringLiteral("打开的文件过多");
    case EIO:
        return QStringLiteral("读写磁盘时出错");
    case EBUSY:
    case ETXTBSY:
        return QStringLiteral("文件正在被使用");
    case EEXIST:
        return QStringLiteral("已有同名的文件或文件夹");
    case EISDIR:
        return QStringLiteral("该位置是一个文件夹");
    case ENAMETOOLONG:
        return QStringLiteral("文件名过长");
    case EFBIG:
        return QStringLiteral("文件过大");
    case ELOOP:
        return QStringLiteral("路径中的链接过多");
    case ENOMEM:
        return QStringLiteral("内存不足");
    case EXDEV:
        return QStringLiteral("不能跨文件系统移动文件");
    case 0:
        return QStringLiteral("原因不明");
    default:
        return QStringLiteral("系统错误（%1）").arg(QString::fromLocal8Bit(std::strerror(err)));
    }
}

QString lastSystemCause()
{
    return systemCause(errno);
}

QString fileErrorCause(const QString& qtErrorText)
{
    static constexpr int known[] = {ENOSPC,       EACCES, EPERM, ENOENT, ENOTDIR, EROFS,
                                    EMFILE,       ENFILE, EIO,   EBUSY,  EEXIST,  EISDIR,
                                    ENAMETOOLONG, EFBIG,  ELOOP, ENOMEM, EXDEV};
    for (const int err : known) {
        if (qtErrorText.contains(QString::fromLocal8Bit(std::strerror(err))))
            return systemCause(err);
    }
    // QSaveFile's own words, before it asks the system.
    if (qtErrorText.contains(QLatin1String("Filename refers to a directory")))
        return systemCause(EISDIR);
    return QStringLiteral("原因不明（%1）").arg(qtErrorText);
}

int folderWriteProblem(const QString& dir, qint64 neededBytes)
{
#ifdef Q_OS_WIN
    Q_UNUSED(neededBytes);
    return QDir(dir).exists() ? 0 : ENOENT;
#else
    const QByteArray path = QFile::encodeName(dir);
    struct stat info
    {
    };
    if (::stat(path.constData(), &info) != 0)
        return errno == ENOTDIR ? ENOENT : errno;
    if (!S_ISDIR(info.st_mode))
        return ENOENT;
    struct statvfs fs
    {
    };
    if (::statvfs(path.constData(), &fs) != 0)
        return errno;
    if (fs.f_flag & ST_RDONLY)
        return EROFS;
    if (::access(path.constData(), W_OK | X_OK) != 0)
        return errno;
    // Root may use the blocks kept back for it; nobody gets more.
    const unsigned long long blocks = ::geteuid() == 0 ? fs.f_bfree : fs.f_bavail;
    const unsigned long long freeBytes = blocks * fs.f_frsize;
    // A file and its staging folder take two entries where entries are counted.
    const bool noEntries = fs.f_files != 0 && fs.f_favail < 2;
    if (noEntries || freeBytes < static_cast<unsigned long long>(std::max<qint64>(neededBytes, 0)))
        return ENOSPC;
    return 0;
#endif
}

QString folderFailureText(const QString& dir, int err)
{
    const QString shown = QDir::toNativeSeparators(QDir::cleanPath(dir));
    switch (err) {
    case ENOSPC:
#ifdef EDQUOT
    case EDQUOT:
#endif
        return QStringLiteral("保存失败：“%1”所在磁盘空间不足。").arg(shown);
    case EROFS:
        return QStringLiteral("保存失败：“%1”所在的文件系统为只读。").arg(shown);
    case EACCES:
    case EPERM:
        return QStringLiteral("保存失败：没有写入“%1”的权限。").arg(shown);
    case ENOENT:
    case ENOTDIR:
        return QStringLiteral("保存失败：文件夹“%1”不存在。").arg(shown);
    default:
        return QStringLiteral("保存失败：无法写入“%1”：%2。").arg(shown, systemCause(err));
    }
}

} // namespace morvanta
