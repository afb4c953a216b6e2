#pragma once

// The small wait windows that stand while the word processor works:
// frmAbout2 while the margins are read, frmAbout3 while they are saved.

#include <QDialog>

namespace margins {

class WaitWindow : public QDialog
{
    Q_OBJECT
public:
    // The reading window (frmAbout2) and the saving window (frmAbout3).
    static WaitWindow* createReading(QWidget* owner);
    static WaitWindow* createSaving(QWidget* owner);

    // Shows the window centred and returns once it is on the screen and
    // painted: the word processor gets busy right after this.
    void showNow();

private:
    WaitWindow(const QString& name, const QString& labelName, const QString& text, QWidget* owner);
};

// The 32 x 32 picture of the wait windows: a page with its margins marked.
QPixmap marginPageIcon();

} // namespace margins
