#include "margins/form2.h"

#include "common/asynctask.h"
#include "common/centring.h"
#include "common/look.h"
#include "common/messagebox.h"
#include "common/staleleftovers.h"
#include "margins/marginfilter.h"
#include "margins/messages.h"
#include "margins/waitwindow.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <memory>

namespace margins {

namespace {

using look::songti;
using look::twipsRect;

// The tops of the four rows (top, bottom, left, right) for labels and boxes.
constexpr int kLabelTops[] = {2040, 3000, 3960, 4920};
constexpr int kBoxTops[] = {1920, 2880, 3840, 4800};

QLabel* addLabel(QWidget* form, const char* name, const QString& text, const QRect& place,
                 const QFont& font, bool blue)
{
    auto* label = new QLabel(text, form);
    label->setObjectName(QString::fromLatin1(name));
    label->setGeometry(place);
    label->setFont(font);
    if (blue)
        look::setTextColor(label, look::textBlue());
    return label;
}

QPushButton* addButton(QWidget* form, const char* name, const QString& text, int left)
{
    auto* button = new QPushButton(text, form);
    button->setObjectName(QString::fromLatin1(name));
    button->setGeometry(twipsRect(left, 5760, 1335, 495));
    button->setAutoDefault(false);
    return button;
}

// A wait window that is closed and gone however the work behind it ends.
struct WaitWindowCloser
{
    void operator()(WaitWindow* window) const
    {
        window->close();
        delete window;
    }
};
using ShownWaitWindow = std::unique_ptr<WaitWindow, WaitWindowCloser>;

ShownWaitWindow showWaitWindow(WaitWindow* window)
{
    ShownWaitWindow shown(window);
    shown->showNow();
    return shown;
}

} // namespace

form2::form2(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("form2"));
    setWindowTitle(QStringLiteral("Tolberin"));
    setFont(songti(9));
    setFixedSize(look::twipsSize(8820, 6810));
    createControls();
}

void form2::createControls()
{
    addLabel(this, "Label11", QStringLiteral("请填写以下参数以便设置打印文档页边距"),
             twipsRect(360, 480, 8295, 495), songti(21.75, true), true);
    addLabel(this, "Label1", QStringLiteral("填写正本页边距"), twipsRect(1440, 1440, 1815, 255),
             songti(12, true), true);
    addLabel(this, "Label3", QStringLiteral("填写副本页边距"), twipsRect(5520, 1440, 1935, 255),
             songti(12, true), true);

    const QString sides[] = {QStringLiteral("上："), QStringLiteral("下："), QStringLiteral("左："),
                             QStringLiteral("右：")};
    const char* const originalSideLabels[] = {"Label2", "Label4", "Label5", "Label6"};
    const char* const duplicateSideLabels[] = {"Label7", "Label8", "Label9", "Label10"};
    const char* const originalUnitLabels[] = {"Label12", "Label13", "Label14", "Label15"};
    const char* const duplicateUnitLabels[] = {"Label16", "Label17", "Label18", "Label19"};
    const QFont labelFont = songti(10.5);
    for (int row = 0; row < 4; ++row) {
        const int top = kLabelTops[row];
        addLabel(this, originalSideLabels[row], sides[row], twipsRect(1080, top, 495, 255),
                 labelFont, false);
        addLabel(this, originalUnitLabels[row], QStringLiteral("厘米"),
                 twipsRect(3120, top, 495, 255), labelFont, false);
        addLabel(this, duplicateSideLabels[row], sides[row], twipsRect(5160, top, 495, 255),
                 labelFont, false);
        addLabel(this, duplicateUnitLabels[row], QStringLiteral("厘米"),
                 twipsRect(7200, top, 495, 255), labelFont, false);
    }

    for (int number = 1; number <= 8; ++number) {
        const int row = (number - 1) % 4;
        const int left = number <= 4 ? 1560 : 5640;
        auto* box = new QLineEdit(this);
        box->setObjectName(QStringLiteral("Text%1").arg(number));
        box->setGeometry(twipsRect(left, kBoxTops[row], 1455, 375));
        boxes_[number - 1] = box;
    }
    // textChanged, not textEdited: the filter runs on the program's own
    // changes as well as on typing and pasting.
    void (form2::*const handlers[])() = {
        &form2::Text1_Change, &form2::Text2_Change, &form2::Text3_Change, &form2::Text4_Change,
        &form2::Text5_Change, &form2::Text6_Change, &form2::Text7_Change, &form2::Text8_Change};
    for (int i = 0; i < 8; ++i)
        connect(boxes_[i], &QLineEdit::textChanged, this, handlers[i]);

    ok_ = addButton(this, "ok", QStringLiteral("确  定"), 1920);
    reset_ = addButton(this, "reset", QStringLiteral("重  填"), 3720);
    Command1_ = addButton(this, "Command1", QStringLiteral("关  闭"), 5520);
    connect(ok_, &QPushButton::clicked, this, &form2::ok_Click);
    connect(reset_, &QPushButton::clicked, this, &form2::reset_Click);
    connect(Command1_, &QPushButton::clicked, this, &form2::Command1_Click);

    QWidget* order[] = {boxes_[0], boxes_[1], boxes_[2], boxes_[3], boxes_[4], boxes_[5],
                        boxes_[6], boxes_[7], ok_,       reset_,    Command1_};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i)
        setTabOrder(order[i], order[i + 1]);
    boxes_[0]->setFocus();
}

void form2::showEvent(QShowEvent* event)
{
    if (!centred_) {
        centring::centreOnScreen(this);
        centred_ = true;
    }
    QWidget::showEvent(event);
}

void form2::Form_Load()
{
    const ShownWaitWindow frmAbout2 = showWaitWindow(WaitWindow::createReading(this));
    staleleftovers::clearAtStart(); // what a killed program of ours left
    if (!TemplatesPresent()) {
        showMessageBox(kMissingTemplateMessage);
        ok_->setEnabled(false);
        reset_->setEnabled(false);
        return;
    }
    // The reads run off this thread so that the reading window stays drawn.
    // Each put runs the box's filter, so a loaded value above the box's
    // limit, or a negative one, leaves that box empty.
    const TemplatePage original =
        AsyncTask::runAndWaitForFuture([] { return ReadTemplatePage(TemplateKind::Original); });
    box(1)->setText(marginText(original.margins.top));
    box(2)->setText(marginText(original.margins.bottom));
    box(3)->setText(marginText(original.margins.left));
    box(4)->setText(marginText(original.margins.right));
    originalPage_ = original.page;

    const TemplatePage duplicate =
        AsyncTask::runAndWaitForFuture([] { return ReadTemplatePage(TemplateKind::Duplicate); });
    box(5)->setText(marginText(duplicate.margins.top));
    box(6)->setText(marginText(duplicate.margins.bottom));
    box(7)->setText(marginText(duplicate.margins.left));
    box(8)->setText(marginText(duplicate.margins.right));
    duplicatePage_ = duplicate.page;
}

MarginEntries form2::entriesOf(TemplateKind kind) const
{
    const int first = kind == TemplateKind::Original ? 1 : 5;
    return {box(first)->text(), box(first + 1)->text(), box(first + 2)->text(),
            box(first + 3)->text()};
}

QString form2::refusal() const
{
    const MarginEntries original = entriesOf(TemplateKind::Original);
    const MarginEntries duplicate = entriesOf(TemplateKind::Duplicate);
    // The numbers of all eight boxes first, then the fit on each page.
    for (const QString& refused : {numberRefusal(TemplateKind::Original, original),
                                   numberRefusal(TemplateKind::Duplicate, duplicate)}) {
        if (!refused.isEmpty())
            return refused;
    }
    if (originalPage_) {
        if (QString refused = refusalOf(TemplateKind::Original, original, *originalPage_);
            !refused.isEmpty())
            return refused;
    }
    if (duplicatePage_)
        return refusalOf(TemplateKind::Duplicate, duplicate, *duplicatePage_);
    return QString();
}

void form2::ok_Click()
{
    Failures::runHandler([this] { save(); });
}

void form2::save()
{
    for (QLineEdit* entry : boxes_) {
        if (entry->text().isEmpty()) {
            showMessageBox(kFillAllMessage, this);
            return;
        }
    }
    if (const QString refused = refusal(); !refused.isEmpty()) {
        showMessageBox(refused, this);
        return;
    }

    hide();
    try {
        // Closed before any message, whichever way the save ends.
        const ShownWaitWindow frmAbout3 = showWaitWindow(WaitWindow::createSaving(this));
        const MarginEntries original = entriesOf(TemplateKind::Original);
        const MarginEntries duplicate = entriesOf(TemplateKind::Duplicate);
        // Off this thread, so that the saving window stays drawn; the word
        // processor is also quit there when the save fails.
        AsyncTask::runAndWaitForFuture(
            [&] { WriteTemplateMargins(original, duplicate, saveStageHook_); });
    } catch (const EntryRefused& refused) {
        // Nothing was written: back to editing.
        show();
        showMessageBox(refused.message(), this);
        return;
    }
    showMessageBox(kSavedMessage);
    close();
}

void form2::reset_Click()
{
    Failures::runHandler([this] {
        for (QLineEdit* entry : boxes_)
            entry->setText(QString());
    });
}

void form2::Command1_Click()
{
    Failures::runHandler([this] { close(); });
}

void form2::filterBox(int number)
{
    Failures::runHandler([this, number] { filter(number); });
}

void form2::filter(int number)
{
    QLineEdit* entry = box(number);
    const FilterStep step = filterStep(entry->text(), boxLimit(number));
    switch (step.action) {
    case FilterStep::Action::Keep:
        return;
    case FilterStep::Action::CutAtRejected:
        // Setting the text runs this filter again on the shorter text, which
        // may then be above the limit.
        entry->setText(step.text);
        entry->setCursorPosition(static_cast<int>(entry->text().size()));
        return;
    case FilterStep::Action::Empty:
        entry->setText(QString());
        return;
    }
}

} // namespace margins
