#pragma once

// Answers the message boxes a test provokes: every box that comes up is
// recorded and closed with its OK button.

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QStringList>
#include <QTimer>

struct RecordedMessage
{
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    int buttonCount = 0;
    bool modal = false;
};

class MessageRecorder
{
public:
    MessageRecorder()
    {
        timer_.setInterval(20);
        QObject::connect(&timer_, &QTimer::timeout, [this] { answer(); });
        timer_.start();
    }

    const QList<RecordedMessage>& messages() const { return messages_; }
    QStringList texts() const
    {
        QStringList result;
        for (const RecordedMessage& message : messages_)
            result << message.text;
        return result;
    }
    void clear() { messages_.clear(); }

private:
    void answer()
    {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible())
            return;
        messages_.append({box->windowTitle(), box->text(), box->icon(),
                          static_cast<int>(box->buttons().size()), box->isModal()});
        box->button(QMessageBox::Ok)->click();
    }

    QTimer timer_;
    QList<RecordedMessage> messages_;
};
