#pragma once

// Centring a top-level window with its frame (title bar and borders) on its
// screen. The window manager adds the frame only when it maps the window, so
// its size is unknown the first time: the window is placed with the frame
// last seen (none at first) and placed again as soon as its own frame is
// known. Without a window manager there is no frame and nothing more happens.
// (A window that is framed shows no change of its own position, so the frame
// is looked for rather than waited for.)

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QMargins>
#include <QScreen>
#include <QStyle>
#include <QThread>
#include <QTimer>
#include <QWidget>

namespace centring {

// The frame of the last window that the window manager framed.
inline QMargins& lastFrame()
{
    static QMargins frame;
    return frame;
}

inline QMargins frameOf(const QWidget* window)
{
    const QRect outer = window->frameGeometry();
    const QRect inner = window->geometry();
    return {inner.left() - outer.left(), inner.top() - outer.top(), outer.right() - inner.right(),
            outer.bottom() - inner.bottom()};
}

// Moves the window so that its size grown by `frame` is centred; move()
// places the frame's top-left corner.
inline void place(QWidget* window, const QMargins& frame)
{
    const QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    window->move(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter,
                                     window->size().grownBy(frame), screen->availableGeometry())
                     .topLeft());
}

// Looks for the window's frame a few times a second until the window
// manager has put it there (no event tells), then centres the window again;
// gives up after a few seconds.
class FrameWatch : public QObject
{
public:
    static inline const QString kName = QStringLiteral("centring-frame-watch");

    explicit FrameWatch(QWidget* window) : QObject(window), window_(window)
    {
        setObjectName(kName);
        auto* timer = new QTimer(this);
        connect(timer, &QTimer::timeout, this, [this] { look(); });
        timer->start(20);
        QTimer::singleShot(5000, this, [this] { deleteLater(); });
    }

private:
    void look()
    {
        if (!window_->isVisible())
            return;
        const QMargins frame = frameOf(window_);
        if (frame.isNull())
            return;
        lastFrame() = frame;
        place(window_, frame);
        setObjectName(QString());
        deleteLater();
    }

    QWidget* window_;
};

inline void centreOnScreen(QWidget* window)
{
    if (window->isVisible() && !frameOf(window).isNull()) {
        place(window, frameOf(window));
        return;
    }
    place(window, lastFrame());
    if (!window->findChild<QObject*>(FrameWatch::kName, Qt::FindDirectChildrenOnly))
        new FrameWatch(window);
}

// For a window just shown by a program that is about to block its event
// loop (a wait window during start-up): gives the window manager a moment to
// frame it and centres it with its frame. Only where windows get frames.
inline void awaitFrame(QWidget* window, int limitMs = 300)
{
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return;
    QElapsedTimer clock;
    clock.start();
    while (frameOf(window).isNull() && clock.elapsed() < limitMs) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        QThread::msleep(5);
    }
    if (!frameOf(window).isNull())
        centreOnScreen(window);
}

} // namespace centring
