#include "generator/frmabout.h"

#include "common/centring.h"
#include "common/look.h"
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
    setFont(look::songti(9));
    setFixedSize(size());
    setModal(false);
    setSizeGripEnabled(false);

    ui->lblDescription->setFont(look::songti(14.25));
    look::setTextColor(ui->lblDescription, look::textBlue());
}

frmAbout::~frmAbout() = default;

void frmAbout::showEvent(QShowEvent* event)
{
    // Loaded for one run only: centred whenever it opens.
    centring::centreOnScreen(this);
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
