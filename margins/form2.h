#pragma once

// Tolberin's settings window: the four margins of each template in eight
// boxes, a filter on every box, and the buttons to save, clear and close.

#include "margins/marginentries.h"
#include "margins/templatemargins.h"

#include <QWidget>

#include <array>
#include <optional>

class QLineEdit;
class QPushButton;

namespace margins {

class form2 : public QWidget
{
    Q_OBJECT
public:
    explicit form2(QWidget* parent = nullptr);

    // Start-up, before the window is first shown: reads both templates'
    // margins into the boxes. A failure is thrown (morvanta::Error from the
    // word processor); the program then reports it and ends.
    void Form_Load();

    // For tests: called at the moments of a save (see WriteTemplateMargins).
    void setSaveStageHook(SaveStageHook hook) { saveStageHook_ = std::move(hook); }

public slots:
    // A failure that escapes a handler is shown as "number:description" and
    // ends the program.
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
    void save();
    void filterBox(int number);
    void filter(int number);

    std::array<QLineEdit*, 8> boxes_{};
    QPushButton* ok_ = nullptr;
    QPushButton* reset_ = nullptr;
    QPushButton* Command1_ = nullptr;
    // The templates' page sizes as read at start-up.
    std::optional<PageSize> originalPage_;
    std::optional<PageSize> duplicatePage_;
    bool centred_ = false;
    SaveStageHook saveStageHook_;
};

} // namespace margins
