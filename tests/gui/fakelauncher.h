#pragma once

#include "generator/launcher.h"

#include <QList>
#include <QPair>

// Records what the window hands to the desktop instead of starting anything.
class FakeLauncher final : public Launcher
{
public:
    QList<QPair<QString, QStringList>> started;
    QList<QUrl> opened;
    bool startSucceeds = true;

    bool startDetached(const QString& program, const QStringList& arguments) override
    {
        started.append({program, arguments});
        return startSucceeds;
    }
    bool openUrl(const QUrl& url) override
    {
        opened.append(url);
        return true;
    }
};
