#pragma once

// Showing a window that must be on the screen before the program gets busy.

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <chrono>

namespace windows {

// Shows `window` and returns once the window system has mapped it and its
// contents are painted, or after `limit` (a window manager that never maps
// it must not hold the program up). Handles no user input meanwhile. A
// plain show() only asks for the window: under a window manager the window
// appears, and gets its first paint, some round trips later.
inline void showPainted(QWidget* window, std::chrono::milliseconds limit = std::chrono::seconds(3))
{
    window->show();
    window->raise();
    const QWindow* handle = window->windowHandle();
    if (handle && !handle->isExposed()) {
        QEventLoop loop;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
            if (handle->isExposed())
                loop.quit();
        });
        poll.start(5);
        QTimer::singleShot(limit, &loop, &QEventLoop::quit);
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    // Painted and sent to the window system now, not at the next event.
    window->repaint();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

} // namespace windows
