#include "office/files.h"

#include <QFile>

#include <sys/stat.h>

namespace office {

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

} // namespace office
