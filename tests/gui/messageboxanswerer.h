#pragma once

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <functional>

// Answers every modal message box as an operator would (one press of OK) and
// keeps what each one showed, together with the state of the windows at that
// moment as reported by `situation`.
class MessageBoxAnswerer : public QObject
{
public:
    struct Seen
    {
        QString text;
        QString title;
        QMessageBox::Icon icon;
        int buttonCount;
        bool okOnly;
        QString situation;
    };

    explicit MessageBoxAnswerer(std::function<QString()> situation = {})
        : situation_(std::move(situation))
    {
        connect(&timer_, &QTimer::timeout, this, &MessageBoxAnswerer::answer);
        timer_.start(20);
    }

    QList<Seen> seen;

    QStringList texts() const
    {
        QStringList result;
        for (const Seen& s : seen)
            result << s.text;
        return result;
    }

private:
    void answer()
    {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible())
            return;
        const auto buttons = box->buttons();
        seen.append({box->text(), box->windowTitle(), box->icon(), int(buttons.size()),
                     box->standardButtons() == QMessageBox::Ok,
                     situation_ ? situation_() : QString()});
        if (QAbstractButton* ok = box->button(QMessageBox::Ok))
            ok->click();
        else
            box->reject();
    }

    std::function<QString()> situation_;
    QTimer timer_;
};
