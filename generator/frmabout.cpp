#include "generator/frmabout.h"

#include "generator/windowstyle.h"
#include "ui_frmabout.h"

frmAbout::frmAbout(QWidget* owner)
    // Owned by the main window so the desktop keeps it off the taskbar; a fixed
    // dialog border with a close box only.
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      ui(std::make_unique<Ui::frmAbout>())
{
    windowstyle::loadIcons();
    ui->setupUi(this);
    setWindowTitle(windowstyle::applicationTitle());
    setFont(windowstyle::songti(9));
    setFixedSize(size());
    setModal(false);
    setSizeGripEnabled(false);

    ui->lblDescription->setFont(windowstyle::songti(14.25));
    windowstyle::setTextColor(ui->lblDescription, windowstyle::textBlue());
}

frmAbout::~frmAbout() = default;

void frmAbout::showEvent(QShowEvent* event)
{
    // Loaded for one run only: centred whenever it opens.
    windowstyle::centreOnScreen(this);
    QDialog::showEvent(event);
}

void frmAbout::setProgress(int done, int total)
{
    ui->progress->setRange(0, total);
    ui->progress->setValue(done);
}

QString frmAbout::progressText() const
{
    return ui->progress->text();
}
