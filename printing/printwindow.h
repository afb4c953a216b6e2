#pragma once

// The print window MorvantaPrint ("证书打印"): the certificates of the output
// folder with a tick for each document, a printer, tray and copies for the
// originals and for the duplicates, and the buttons to print, write the
// review PDF, print a template and close. The print core runs on a worker
// thread; the window stays drawn and answers the cancel button meanwhile.

#include "printing/certificatelist.h"
#include "printing/printrun.h"

#include <QWidget>

#include <atomic>
#include <functional>

class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QTableView;
class QThread;

namespace printing {

class PrintWindow : public QWidget
{
    Q_OBJECT
public:
    explicit PrintWindow(DocumentExporter& exporter, QWidget* parent = nullptr);
    ~PrintWindow() override;

    // Before the window is first shown: lists the printers (off this thread)
    // and the certificates, and ticks the documents named in `arguments`
    // (files in the output folder or certificate numbers), or the latest run
    // when there are none. What cannot be ticked is said once the window shows.
    void load(const QStringList& arguments = {});

    CertificateList& certificates() { return list_; }
    bool running() const { return worker_ != nullptr; }

    // For tests: where the review PDF goes instead of asking in a save
    // dialog, and what opens it instead of the desktop's viewer.
    void setPdfTargetAsker(std::function<QString()> ask) { askPdfTarget_ = std::move(ask); }
    void setUrlOpener(std::function<void(const QUrl&)> open) { openUrl_ = std::move(open); }

public slots:
    void print_Click();
    void pdf_Click();
    void template_Click(paths::TemplateKind kind);
    void cancel_Click();
    void close_Click();
    void latest_Click();
    void all_Click();
    void none_Click();

signals:
    // After the closing message of a print, PDF or template run.
    void runFinished(printing::Outcome outcome);

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    friend class WindowObserver;
    struct KindControls
    {
        QComboBox* printer = nullptr;
        QComboBox* tray = nullptr;
        QSpinBox* copies = nullptr;
    };

    void createControls();
    void createDestination(paths::TemplateKind kind, int top);
    void fillTrays(paths::TemplateKind kind, const QString& tray);
    Destination destination(paths::TemplateKind kind) const;
    void keepChoices() const;
    void updateCount();
    void setRunning(bool running);
    // Runs `work` on a worker thread; the closing message follows its end.
    void start(const QString& what, std::function<Outcome(PrintObserver&)> work);
    void finish(Outcome outcome);
    bool confirmHeldBack(const QList<DocumentRef>& documents);
    KindControls& controls(paths::TemplateKind kind);

    DocumentExporter& exporter_;
    CertificateList list_;
    CertificateFilter filter_;
    QList<Printer> printers_;
    QStringList notices_;  // said once the window shows
    QStringList messages_; // of the current run
    QString runName_;

    QLineEdit* find_ = nullptr;
    QTableView* table_ = nullptr;
    QLabel* count_ = nullptr;
    KindControls original_;
    KindControls duplicate_;
    QProgressBar* progress_ = nullptr;
    QLabel* state_ = nullptr;
    QList<QWidget*> idleOnly_; // usable only while nothing runs
    QPushButton* print_ = nullptr;
    QPushButton* pdf_ = nullptr;
    QPushButton* template_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QPushButton* close_ = nullptr;

    QThread* worker_ = nullptr;
    std::atomic<bool> cancelRequested_{false};
    bool closeAfterRun_ = false;
    bool centred_ = false;
    std::function<QString()> askPdfTarget_;
    std::function<void(const QUrl&)> openUrl_;
};

} // namespace printing
