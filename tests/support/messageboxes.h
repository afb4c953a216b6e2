#pragma once

// Answers every modal message box as an operator would (one press of OK) and
// keeps what each one showed, with the state of the windows at that moment
// as reported by `situation`.

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include <functional>

class MessageBoxAnswerer
{
public:
    struct Seen
    {
        QString text;
        bool okOnly; // the one button is OK
        QString situation;
    };
    QList<Seen> seen;

    explicit MessageBoxAnswerer(std::function<QString()> situation = {})
        : situation_(std::move(situation))
    {
        QObject::connect(&timer_, &QTimer::timeout, [this] { answer(); });
        timer_.start(20);
    }

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
        seen.append({box->text(), box->buttons().size() == 1 && box->button(QMessageBox::Ok),
                     situation_ ? situation_() : QString()});
        if (QAbstractButton* ok = box->button(QMessageBox::Ok))
            ok->click();
        else
            box->reject();
    }

    std::function<QString()> situation_;
    QTimer timer_;
};
