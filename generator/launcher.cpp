#include "generator/launcher.h"

#include <QDesktopServices>
#include <QProcess>

bool DesktopLauncher::startDetached(const QString& program, const QStringList& arguments)
{
    return QProcess::startDetached(program, arguments);
}

bool DesktopLauncher::openUrl(const QUrl& url)
{
    return QDesktopServices::openUrl(url);
}
