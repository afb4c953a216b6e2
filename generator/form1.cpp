#include "generator/form1.h"

#include "common/centring.h"
#include "common/error.h"
#include "common/files.h"
#include "common/look.h"
#include "common/messagebox.h"
#include "common/paths.h"
#include "common/showpainted.h"
#include "common/unhandledfailure.h"
#include "generator/certificatefill.h"
#include "generator/contact.h"
#include "generator/frmabout.h"
#include "generator/generationrun.h"
#include "generator/launcher.h"
#include "generator/windowstyle.h"
#include "ui_form1.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>

namespace {

// The wait form is the only sign of life while the run blocks this thread:
// paint it and answer the desktop, but take no input (the main window is
// hidden, so a second run cannot start).
void keepWindowsAlive()
{
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

} // namespace

form1::form1(office::Engine& engine, Launcher& launcher, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      ui(std::make_unique<Ui::form1>()), engine_(engine), launcher_(launcher)
{
    windowstyle::loadIcons();
    ui->setupUi(this);
    setWindowTitle(windowstyle::applicationTitle());
    setWindowIcon(QIcon(QStringLiteral(":/icons/morvanta.png")));
    setFixedSize(size());

    ui->Label1->setText(contact::copyrightLine());
    ui->Label2->setText(contact::webAddress());
    ui->Label3->setText(contact::mailAddress());
    applyFontsAndColours();

    connect(ui->print, &QPushButton::clicked, this, &form1::print_Click);
    connect(ui->open, &QPushButton::clicked, this, &form1::open_Click);
    connect(ui->setup, &QPushButton::clicked, this, &form1::setup_Click);
    connect(ui->close, &QPushButton::clicked, this, &form1::close_Click);
    connect(ui->Label2, &ClickLabel::clicked, this, &form1::Label2_Click);
    connect(ui->Label3, &ClickLabel::clicked, this, &form1::Label3_Click);

    ui->setup->setFocus();
}

form1::~form1() = default;

void form1::applyFontsAndColours()
{
    using look::songti;
    setFont(songti(9));
    ui->Label11->setFont(songti(21.75, true));
    ui->setup->setFont(songti(12));
    ui->print->setFont(songti(12));
    ui->Label2->setFont(songti(9, false, true));
    ui->Label3->setFont(songti(9, false, true));

    QLabel* const web = ui->Label2;
    QLabel* const mail = ui->Label3;
    for (QLabel* label : {ui->Label11, web, mail})
        look::setTextColor(label, look::textBlue());
    for (QLabel* label : {ui->Label11, ui->Label1, web, mail}) {
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        label->setTextFormat(Qt::PlainText);
        look::fitTextToWidth(label);
    }
}

void form1::hideMainWindow()
{
    hide();
}

void form1::showMainWindow()
{
    show();
    raise();
    activateWindow();
}

void form1::showWaitForm()
{
    if (!wait_)
        wait_ = std::make_unique<frmAbout>(this);
    // On the screen before the office gets busy: it is the only sign of life.
    if (!wait_->isVisible())
        windows::showPainted(wait_.get());
    keepWindowsAlive();
}

void form1::unloadWaitForm()
{
    wait_.reset();
}

void form1::setProgress(int done, int total)
{
    if (wait_)
        wait_->setProgress(done, total);
    keepWindowsAlive();
}

void form1::showMessage(const QString& text)
{
    showMessageBox(text);
}

void form1::showEvent(QShowEvent* event)
{
    // Centred when it first opens; a run hides and shows it where it was.
    if (!placed_) {
        centring::centreOnScreen(this);
        placed_ = true;
    }
    QWidget::showEvent(event);
}

void form1::closeEvent(QCloseEvent* event)
{
    // The close box and the quit button end the program alike; the program
    // lives exactly as long as this window.
    QWidget::closeEvent(event);
    if (event->isAccepted())
        QCoreApplication::quit();
}

void form1::print_Click()
{
    unhandled::Failures::runHandler([this] {
        // The run's fills work on copies of the rows, beside each other; the
        // record of this window follows the run row by row.
        const GenerationCallbacks fills{
            [this](const CertificateRecord& record, RunView& messages, bool& MatchCase) {
                return fillCertificate(engine_, messages, record, paths::TemplateKind::Original,
                                       MatchCase);
            },
            [this](const CertificateRecord& record, RunView& messages, bool& MatchCase) {
                return fillCertificate(engine_, messages, record, paths::TemplateKind::Duplicate,
                                       MatchCase);
            },
        };
        try {
            runGeneration(engine_, *this, *this, fills);
        } catch (...) {
            // The failure that ends the program is shown alone.
            unloadWaitForm();
            throw;
        }
    });
}

void form1::open_Click()
{
    unhandled::Failures::runHandler([this] {
        // A new file-manager window on every press, also when one is open; a
        // missing folder is for the file manager to report.
        const QString folder = QDir::toNativeSeparators(QDir(paths::outputDir()).absolutePath());
#ifdef Q_OS_WIN
        launcher_.startDetached(QStringLiteral("explorer"), {QStringLiteral("/n,"), folder});
#else
        launcher_.startDetached(QStringLiteral("xdg-open"), {folder});
#endif
    });
}

void form1::setup_Click()
{
    unhandled::Failures::runHandler([this] {
        const QString program = paths::marginProgram();
        const QString shown = QDir::toNativeSeparators(program);
        if (!morvanta::isOrdinaryFile(program))
            throw morvanta::Error(morvanta::errc::FileNotFound,
                                  QStringLiteral("未找到页边距设置程序“%1”。").arg(shown));
        if (!launcher_.startDetached(program, {}))
            throw morvanta::Error(
                morvanta::errc::PermissionDenied,
                QStringLiteral("页边距设置程序“%1”无法启动，请检查该文件是否可执行。").arg(shown));
    });
}

void form1::close_Click()
{
    unhandled::Failures::runHandler([this] { close(); });
}

void form1::Label2_Click()
{
    unhandled::Failures::runHandler(
        [this] { launcher_.openUrl(QUrl::fromUserInput(contact::webAddress())); });
}

void form1::Label3_Click()
{
    unhandled::Failures::runHandler(
        [this] { launcher_.openUrl(QUrl(QStringLiteral("mailto:") + contact::mailAddress())); });
}
