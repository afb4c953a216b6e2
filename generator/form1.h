#pragma once

#include "generator/certificaterecord.h"
#include "generator/runview.h"

#include <QWidget>

#include <memory>

namespace Ui {
class form1;
}
namespace office {
class Engine;
}
class Launcher;
class frmAbout;

// The generator's main window. It carries the record of the row being
// processed (the nine CertificateRecord fields are public members of the
// window), which a generation run keeps up to date while its fills work on
// copies of the rows, and it is what the operator sees of the run.
class form1 : public QWidget, public RunView, public CertificateRecord
{
    Q_OBJECT
public:
    form1(office::Engine& engine, Launcher& launcher, QWidget* parent = nullptr);
    ~form1() override;

    // RunView: the window side of a generation run.
    void hideMainWindow() override;
    void showMainWindow() override;
    void showWaitForm() override;
    void unloadWaitForm() override;
    void setProgress(int done, int total) override;
    void showMessage(const QString& text) override;

    // The wait form while a run has it loaded, otherwise null.
    frmAbout* waitForm() const { return wait_.get(); }

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void print_Click();
    void open_Click();
    void setup_Click();
    void close_Click();
    void Label2_Click();
    void Label3_Click();

    void applyFontsAndColours();

    std::unique_ptr<Ui::form1> ui;
    office::Engine& engine_;
    Launcher& launcher_;
    std::unique_ptr<frmAbout> wait_;
    bool placed_ = false;
};
