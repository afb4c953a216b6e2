#include "generator/application.h"

#include "common/look.h"
#include "generator/windowstyle.h"

#include <QApplication>
#include <QIcon>

void prepareGeneratorApplication(QApplication& app)
{
    QApplication::setApplicationName(windowstyle::applicationTitle());
    QApplication::setApplicationDisplayName(windowstyle::applicationTitle());
    windowstyle::loadIcons();
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/morvanta.png")));
    QApplication::setQuitOnLastWindowClosed(false);
    look::installSongtiSubstitutes();
    app.setFont(look::songti(9));
}
