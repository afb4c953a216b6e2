#pragma once

// Tolberin's settings window: the four margins of each template in eight
// boxes, a filter on every box, and the buttons to save, clear and close.

#include "margins/marginentries.h"

#include <QWidget>

#include <array>
#include <optional>

class QLineEdit;
class QPushButton;

namespace office {
class Error;
}

namespace margins {

class form2 : public QWidget
{
    Q_OBJECT
public:
    explicit form2(QWidget* parent = nullptr);

    // Start-up, before the window is first shown: reads both templates'
    // margins into the boxes. A failure of the word processor is thrown as
    // office::Error; the program then reports it and ends.
    void Form_Load();

    // 0 after a normal end, non-zero after a failure that ended the program.
    int exitCode() const { return exitCode_; }

public slots:
    void ok_Click();
    void reset_Click();
    void Command1_Click();

    void Text1_Change() { filterBox(1); }
    void Text2_Change() { filterBox(2); }
    void Text3_Change() { filterBox(3); }
    void Text4_Change() { filterBox(4); }
    void Text5_Change() { filterBox(5); }
    void Text6_Change() { filterBox(6); }
    void Text7_Change() { filterBox(7); }
    void Text8_Change() { filterBox(8); }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void createControls();
    QLineEdit* box(int number) const { return boxes_[number - 1]; }
    MarginEntries entriesOf(TemplateKind kind) const;
    // The message that refuses the eight entries, or empty.
    QString refusal() const;
    void filterBox(int number);
    void endWithFailure(const office::Error& error);

    std::array<QLineEdit*, 8> boxes_{};
    QPushButton* ok_ = nullptr;
    QPushButton* reset_ = nullptr;
    QPushButton* Command1_ = nullptr;
    // The templates' page sizes as read at start-up.
    std::optional<PageSize> originalPage_;
    std::optional<PageSize> duplicatePage_;
    bool centred_ = false;
    int exitCode_ = 0;
};

} // namespace margins
