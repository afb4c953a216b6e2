#pragma once

// How the main window hands work to the desktop: programs started without
// waiting for them, and addresses given to the desktop's URL handler. The
// window only talks to this interface, so tests can record what it asks for.

#include <QString>
#include <QStringList>
#include <QUrl>

class Launcher
{
public:
    virtual ~Launcher() = default;
    // Starts the program detached; false when it could not be started.
    virtual bool startDetached(const QString& program, const QStringList& arguments) = 0;
    // Opens the address with the desktop's default handler (browser, mail program).
    virtual bool openUrl(const QUrl& url) = 0;
};

// The real desktop: QProcess::startDetached and QDesktopServices::openUrl.
class DesktopLauncher final : public Launcher
{
public:
    bool startDetached(const QString& program, const QStringList& arguments) override;
    bool openUrl(const QUrl& url) override;
};
