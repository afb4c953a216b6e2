#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class frmAbout;
}

// The wait form of a generation run: an icon, one blue line of text and the
// rows done so far as "n / N". It has no behaviour of its own; the main
// window shows it, advances it and unloads it.
class frmAbout : public QDialog
{
    Q_OBJECT
public:
    explicit frmAbout(QWidget* owner = nullptr);
    ~frmAbout() override;

    void setProgress(int done, int total);
    QString progressText() const;

protected:
    void showEvent(QShowEvent* event) override;

private:
    std::unique_ptr<Ui::frmAbout> ui;
};
