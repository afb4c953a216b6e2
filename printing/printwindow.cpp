#include "printing/printwindow.h"

#include "common/asynctask.h"
#include "common/centring.h"
#include "common/error.h"
#include "common/look.h"
#include "common/messagebox.h"
#include "common/unhandledfailure.h"
#include "printing/printchoices.h"
#include "printing/printfailure.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QIcon>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QThread>
#include <QTimer>
#include <QUrl>

namespace printing {

using look::songti;
using paths::TemplateKind;

using unhandled::Failures;

namespace {

QString stateName(JobState state)
{
    switch (state) {
    case JobState::Pending:
        return QStringLiteral("排队等候");
    case JobState::Held:
        return QStringLiteral("暂停");
    case JobState::Processing:
        return QStringLiteral("正在打印");
    case JobState::Stopped:
        return QStringLiteral("已停止");
    case JobState::Canceled:
        return QStringLiteral("已取消");
    case JobState::Aborted:
        return QStringLiteral("已中止");
    case JobState::Completed:
        return QStringLiteral("已完成");
    }
    return {};
}

// The closing message shows at most this many of a run's messages.
constexpr int kShownMessages = 25;

} // namespace

// Carries the core's reports from the worker thread to the window: queued
// calls on the window's thread, and a blocking one for the question about
// documents held back.
class WindowObserver : public PrintObserver
{
public:
    explicit WindowObserver(PrintWindow* window) : window_(window) {}

    void message(const QString& text) override
    {
        post([w = window_, text] {
            w->messages_ << text;
            w->state_->setText(text);
        });
    }
    void exported(int done, int total) override
    {
        post([w = window_, done, total] {
            w->progress_->setRange(0, total);
            w->progress_->setValue(done);
            w->state_->setText(QStringLiteral("正在导出 %1 / %2").arg(done).arg(total));
        });
    }
    void sent(int done, int total) override
    {
        post([w = window_, done, total] {
            w->state_->setText(QStringLiteral("已发送 %1 / %2").arg(done).arg(total));
        });
    }
    void jobChanged(const QString& printer, int job, const JobStatus& status) override
    {
        post([w = window_, printer, job, status] {
            QString text =
                QStringLiteral("%1：%2").arg(jobLabel(printer, job), stateName(status.state));
            if (!status.message.isEmpty())
                text += QStringLiteral("（%1）").arg(status.message);
            w->state_->setText(text);
        });
    }
    void checked(const DocumentRef& document, int pages, const QString& placeholder) override
    {
        post([w = window_, document, pages, placeholder] {
            w->list_.setCheck(document, pages, placeholder);
        });
    }
    bool printHeldBack(const QList<DocumentRef>& documents) override
    {
        bool answer = false;
        QMetaObject::invokeMethod(
            window_, [&] { answer = window_->confirmHeldBack(documents); },
            Qt::BlockingQueuedConnection);
        return answer;
    }
    bool cancelRequested() const override { return window_->cancelRequested_.load(); }

private:
    template <class F> void post(F&& call)
    {
        QMetaObject::invokeMethod(window_, std::forward<F>(call), Qt::QueuedConnection);
    }
    PrintWindow* window_;
};

PrintWindow::PrintWindow(DocumentExporter& exporter, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      exporter_(exporter)
{
    setObjectName(QStringLiteral("MorvantaPrint"));
    setWindowTitle(QStringLiteral("证书打印"));
    setWindowIcon(QIcon::fromTheme(QStringLiteral("morvanta-print")));
    setFont(songti(9));
    setFixedSize(look::twipsSize(9000, 8190));
    filter_.setSourceModel(&list_);
    createControls();
    askPdfTarget_ = [this] {
        QString target = QFileDialog::getSaveFileName(
            this, QStringLiteral("导出PDF"), QDir::home().filePath(QStringLiteral("证书.pdf")),
            QStringLiteral("PDF 文件 (*.pdf)"));
        if (!target.isEmpty() && !target.endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive))
            target += QStringLiteral(".pdf");
        return target;
    };
    openUrl_ = [](const QUrl& url) { QDesktopServices::openUrl(url); };
}

PrintWindow::~PrintWindow()
{
    if (worker_) { // the program is ending under a run: stop it first
        cancelRequested_ = true;
        // The worker may be waiting for this thread (a question, a report).
        while (!worker_->wait(50))
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        delete worker_;
    }
}

void PrintWindow::load(const QStringList& arguments)
{
    try {
        printers_ = defaultFirst(AsyncTask::runAndWaitForFuture([] { return Cups().printers(); }));
    } catch (const PrintFailure& failure) {
        notices_ << failure.message();
    }
    if (printers_.isEmpty() && notices_.isEmpty())
        notices_ << QStringLiteral("没有打印机。请由管理员添加证书打印机。");
    for (const TemplateKind kind : {TemplateKind::Original, TemplateKind::Duplicate}) {
        KindControls& c = controls(kind);
        const Destination kept = restoredChoice(printers_, keptChoice(kind));
        const QSignalBlocker block(c.printer);
        c.printer->clear();
        for (const Printer& printer : printers_)
            c.printer->addItem(
                printer.description.isEmpty()
                    ? printer.name
                    : QStringLiteral("%1（%2）").arg(printer.name, printer.description),
                printer.name);
        c.printer->setCurrentIndex(c.printer->findData(kept.printer));
        fillTrays(kind, kept.tray);
        c.copies->setValue(kept.copies);
    }

    notices_ << list_.load();
    if (arguments.isEmpty())
        list_.tickLatestRun();
    else
        notices_ << list_.tickArguments(arguments);
    if (list_.lines().isEmpty())
        notices_ << QStringLiteral("“%1”中没有证书文档。")
                        .arg(QDir::toNativeSeparators(list_.outputDir()));
    setRunning(false);
}

void PrintWindow::showEvent(QShowEvent* event)
{
    if (!centred_) {
        centring::centreOnScreen(this);
        centred_ = true;
        if (!notices_.isEmpty()) {
            QTimer::singleShot(0, this, [this] {
                const QString text = notices_.join(u'\n');
                notices_.clear();
                showMessageBox(text, this);
            });
        }
    }
    QWidget::showEvent(event);
}

void PrintWindow::updateCount()
{
    int originals = 0;
    for (const CertificateList::Line& line : list_.lines())
        originals += int(line.ticked[0]);
    const int total = list_.tickedCount();
    if (!worker_) {
        progress_->setRange(0, std::max(total, 1));
        progress_->setValue(0);
    }
    count_->setText(QStringLiteral("已选 %1 份：正本 %2 份，副本 %3 份")
                        .arg(total)
                        .arg(originals)
                        .arg(total - originals));
}

void PrintWindow::latest_Click()
{
    list_.tickLatestRun();
}

void PrintWindow::all_Click()
{
    list_.tickAll(filter_.shownRows());
}

void PrintWindow::none_Click()
{
    list_.tickNone(filter_.shownRows());
}

void PrintWindow::keepChoices() const
{
    for (const TemplateKind kind : {TemplateKind::Original, TemplateKind::Duplicate}) {
        if (!destination(kind).printer.isEmpty())
            keepChoice(kind, destination(kind));
    }
}

void PrintWindow::print_Click()
{
    Failures::runHandler([this] {
        const QList<DocumentRef> documents = list_.tickedDocuments();
        if (documents.isEmpty()) {
            showMessageBox(QStringLiteral("请先勾选要打印的证书。"), this);
            return;
        }
        keepChoices();
        PrintSettings settings{destination(TemplateKind::Original),
                               destination(TemplateKind::Duplicate), false};
        const QString folder = list_.outputDir();
        start(QStringLiteral("打印"), [this, documents, settings, folder](PrintObserver& o) {
            return printDocuments(documents, settings, exporter_, o, folder);
        });
    });
}

void PrintWindow::pdf_Click()
{
    Failures::runHandler([this] {
        const QList<DocumentRef> documents = list_.tickedDocuments();
        if (documents.isEmpty()) {
            showMessageBox(QStringLiteral("请先勾选要导出的证书。"), this);
            return;
        }
        const QString target = askPdfTarget_();
        if (target.isEmpty())
            return;
        const QString folder = list_.outputDir();
        start(QStringLiteral("导出PDF"), [this, documents, target, folder](PrintObserver& o) {
            const Outcome outcome = writeReviewPdf(documents, target, exporter_, o, folder);
            if (outcome == Outcome::Completed)
                QMetaObject::invokeMethod(
                    this, [this, target] { openUrl_(QUrl::fromLocalFile(target)); });
            return outcome;
        });
    });
}

void PrintWindow::template_Click(TemplateKind kind)
{
    Failures::runHandler([this, kind] {
        keepChoices();
        const Destination to = destination(kind);
        start(QStringLiteral("打印%1模板").arg(kindName(kind)),
              [this, kind, to](PrintObserver& o) { return printTemplate(kind, to, exporter_, o); });
    });
}

void PrintWindow::start(const QString& what, std::function<Outcome(PrintObserver&)> work)
{
    runName_ = what;
    messages_.clear();
    cancelRequested_ = false;
    list_.clearChecks();
    progress_->setRange(0, std::max(1, list_.tickedCount()));
    progress_->setValue(0);
    state_->setText(QStringLiteral("正在%1……").arg(what));
    setRunning(true);
    auto outcome = std::make_shared<Outcome>(Outcome::Failed);
    worker_ = QThread::create([this, work = std::move(work), outcome] {
        WindowObserver observer(this);
        try {
            *outcome = work(observer);
        } catch (const PrintFailure& failure) {
            observer.message(failure.message());
        } catch (const std::exception& failure) {
            observer.message(unhandled::otherFailureText(morvanta::errc::OfficeFailure, &failure));
        }
    });
    connect(worker_, &QThread::finished, this, [this, outcome] { finish(*outcome); });
    worker_->start();
}

void PrintWindow::finish(Outcome outcome)
{
    worker_->wait();
    delete worker_;
    worker_ = nullptr;
    setRunning(false);
    QStringList lines = messages_.mid(0, kShownMessages);
    if (messages_.size() > kShownMessages)
        lines << QStringLiteral("……另有 %1 条消息").arg(messages_.size() - kShownMessages);
    switch (outcome) {
    case Outcome::Completed:
        lines.prepend(QStringLiteral("%1完成。").arg(runName_));
        break;
    case Outcome::HeldBack:
        lines.prepend(QStringLiteral("%1完成，但有证书未通过检查，未打印。").arg(runName_));
        break;
    case Outcome::Cancelled:
        lines.prepend(QStringLiteral("已取消%1。").arg(runName_));
        break;
    case Outcome::NothingToPrint:
        break;
    case Outcome::Failed:
        lines.prepend(QStringLiteral("%1未能完成。").arg(runName_));
        break;
    }
    state_->setText(lines.value(0));
    showMessageBox(lines.join(u'\n'), this);
    emit runFinished(outcome);
    if (closeAfterRun_)
        close();
}

void PrintWindow::setRunning(bool running)
{
    for (QWidget* widget : std::as_const(idleOnly_))
        widget->setEnabled(!running &&
                           !(printers_.isEmpty() && (widget == print_ || widget == template_)));
    cancel_->setEnabled(running);
    list_.setLocked(running);
}

bool PrintWindow::confirmHeldBack(const QList<DocumentRef>& documents)
{
    if (cancelRequested_)
        return false;
    QMessageBox box(QMessageBox::NoIcon, QGuiApplication::applicationDisplayName(),
                    heldBackQuestion(documents, list_), QMessageBox::Ok | QMessageBox::Cancel,
                    this);
    box.setObjectName(QStringLiteral("heldBack"));
    box.setTextFormat(Qt::PlainText);
    for (const auto& [which, text] : {std::pair{QMessageBox::Ok, QStringLiteral("确定")},
                                      std::pair{QMessageBox::Cancel, QStringLiteral("取消")}}) {
        box.button(which)->setText(text);
        box.button(which)->setIcon(QIcon()); // some styles draw one
    }
    box.setDefaultButton(QMessageBox::Cancel);
    return box.exec() == QMessageBox::Ok;
}

void PrintWindow::cancel_Click()
{
    if (!worker_)
        return;
    cancelRequested_ = true;
    cancel_->setEnabled(false);
    state_->setText(QStringLiteral("正在取消……"));
}

void PrintWindow::close_Click()
{
    close();
}

void PrintWindow::closeEvent(QCloseEvent* event)
{
    if (worker_) { // the run stops first; the window closes after its message
        closeAfterRun_ = true;
        cancel_Click();
        event->ignore();
        return;
    }
    keepChoices();
    event->accept();
}

} // namespace printing
