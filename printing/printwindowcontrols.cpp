// The controls of the print window, laid out in twips as fixed-size forms
// are: the list with its filter and tick buttons, a printer, tray and copies
// for each kind, the progress and the buttons.

#include "common/look.h"
#include "printing/printwindow.h"

#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTableView>

namespace printing {

using look::songti;
using look::twipsRect;
using paths::TemplateKind;

namespace {

QLabel* addLabel(QWidget* form, const QString& text, const QRect& place, const QFont& font,
                 bool blue = false)
{
    auto* label = new QLabel(text, form);
    label->setGeometry(place);
    label->setFont(font);
    if (blue)
        look::setTextColor(label, look::textBlue());
    return label;
}

QPushButton* addButton(QWidget* form, const char* name, const QString& text, const QRect& place)
{
    auto* button = new QPushButton(text, form);
    button->setObjectName(QString::fromLatin1(name));
    button->setGeometry(place);
    button->setAutoDefault(false);
    return button;
}

} // namespace

void PrintWindow::createControls()
{
    addLabel(this, QStringLiteral("请选择要打印的证书"), twipsRect(360, 240, 8280, 420),
             songti(15, true), true);
    addLabel(this, QStringLiteral("查找证书号："), twipsRect(360, 855, 1300, 330), songti(10.5));
    find_ = new QLineEdit(this);
    find_->setObjectName(QStringLiteral("find"));
    find_->setGeometry(twipsRect(1650, 810, 3000, 360));
    connect(find_, &QLineEdit::textChanged, this,
            [this](const QString& text) { filter_.setText(text); });
    auto* latest =
        addButton(this, "latest", QStringLiteral("最近一次生成"), twipsRect(4800, 795, 1440, 390));
    auto* all = addButton(this, "all", QStringLiteral("全选"), twipsRect(6330, 795, 1110, 390));
    auto* none = addButton(this, "none", QStringLiteral("全不选"), twipsRect(7530, 795, 1110, 390));
    connect(latest, &QPushButton::clicked, this, &PrintWindow::latest_Click);
    connect(all, &QPushButton::clicked, this, &PrintWindow::all_Click);
    connect(none, &QPushButton::clicked, this, &PrintWindow::none_Click);

    table_ = new QTableView(this);
    table_->setObjectName(QStringLiteral("list"));
    table_->setGeometry(twipsRect(360, 1320, 8280, 3750));
    table_->setModel(&filter_);
    table_->setSelectionMode(QAbstractItemView::NoSelection);
    table_->verticalHeader()->hide();
    table_->verticalHeader()->setDefaultSectionSize(22);
    table_->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table_->setColumnWidth(CertificateList::Number, 250);
    table_->setColumnWidth(CertificateList::Original, 140);
    table_->horizontalHeader()->setStretchLastSection(true);
    count_ = addLabel(this, QString(), twipsRect(360, 5130, 8280, 300), songti(9));
    count_->setObjectName(QStringLiteral("count"));
    connect(&list_, &CertificateList::ticksChanged, this, &PrintWindow::updateCount);

    createDestination(TemplateKind::Original, 5580);
    createDestination(TemplateKind::Duplicate, 6060);

    progress_ = new QProgressBar(this);
    progress_->setObjectName(QStringLiteral("progress"));
    progress_->setGeometry(twipsRect(360, 6630, 3000, 330));
    progress_->setFormat(QStringLiteral("%v / %m"));
    progress_->setRange(0, 1);
    progress_->setValue(0);
    state_ = addLabel(this, QString(), twipsRect(3480, 6630, 5160, 330), songti(9), true);
    state_->setObjectName(QStringLiteral("state"));

    const int top = 7290, height = 480;
    print_ = addButton(this, "print", QStringLiteral("打印"), twipsRect(360, top, 1500, height));
    pdf_ = addButton(this, "pdf", QStringLiteral("导出PDF…"), twipsRect(2055, top, 1500, height));
    template_ =
        addButton(this, "template", QStringLiteral("打印模板"), twipsRect(3750, top, 1500, height));
    cancel_ = addButton(this, "cancel", QStringLiteral("取消"), twipsRect(5445, top, 1500, height));
    close_ = addButton(this, "close", QStringLiteral("关闭"), twipsRect(7140, top, 1500, height));
    auto* kinds = new QMenu(template_);
    for (const TemplateKind kind : {TemplateKind::Original, TemplateKind::Duplicate}) {
        kinds->addAction(QStringLiteral("%1模板").arg(kindName(kind)), this,
                         [this, kind] { template_Click(kind); });
    }
    template_->setMenu(kinds);
    connect(print_, &QPushButton::clicked, this, &PrintWindow::print_Click);
    connect(pdf_, &QPushButton::clicked, this, &PrintWindow::pdf_Click);
    connect(cancel_, &QPushButton::clicked, this, &PrintWindow::cancel_Click);
    connect(close_, &QPushButton::clicked, this, &PrintWindow::close_Click);
    cancel_->setEnabled(false);
    idleOnly_ << find_ << latest << all << none << original_.printer << original_.tray
              << original_.copies << duplicate_.printer << duplicate_.tray << duplicate_.copies
              << print_ << pdf_ << template_;
}

void PrintWindow::createDestination(TemplateKind kind, int top)
{
    KindControls& c = controls(kind);
    const QString name =
        kind == TemplateKind::Original ? QStringLiteral("original") : QStringLiteral("duplicate");
    addLabel(this, kindName(kind) + u'：', twipsRect(360, top + 45, 900, 300), songti(10.5, true),
             true);
    addLabel(this, QStringLiteral("打印机"), twipsRect(1200, top + 45, 700, 300), songti(9));
    c.printer = new QComboBox(this);
    c.printer->setObjectName(name + QStringLiteral("Printer"));
    c.printer->setGeometry(twipsRect(1860, top, 3000, 360));
    addLabel(this, QStringLiteral("纸盒"), twipsRect(5010, top + 45, 500, 300), songti(9));
    c.tray = new QComboBox(this);
    c.tray->setObjectName(name + QStringLiteral("Tray"));
    c.tray->setGeometry(twipsRect(5490, top, 1800, 360));
    addLabel(this, QStringLiteral("份数"), twipsRect(7440, top + 45, 500, 300), songti(9));
    c.copies = new QSpinBox(this);
    c.copies->setObjectName(name + QStringLiteral("Copies"));
    c.copies->setGeometry(twipsRect(7920, top, 720, 360));
    c.copies->setRange(1, 999);
    connect(c.printer, &QComboBox::currentIndexChanged, this,
            [this, kind] { fillTrays(kind, QString()); });
}

PrintWindow::KindControls& PrintWindow::controls(TemplateKind kind)
{
    return kind == TemplateKind::Original ? original_ : duplicate_;
}

void PrintWindow::fillTrays(TemplateKind kind, const QString& tray)
{
    KindControls& c = controls(kind);
    c.tray->clear();
    const int index = c.printer->currentIndex();
    if (index < 0 || index >= printers_.size())
        return;
    const Printer& printer = printers_[index];
    if (printer.trays.isEmpty())
        c.tray->addItem(QStringLiteral("（默认）"), QString());
    for (const Tray& t : printer.trays)
        c.tray->addItem(t.label.isEmpty() ? t.keyword : t.label, t.keyword);
    const int wanted = c.tray->findData(tray.isEmpty() ? printer.defaultTray : tray);
    c.tray->setCurrentIndex(std::max(wanted, 0));
}

Destination PrintWindow::destination(TemplateKind kind) const
{
    const KindControls& c = kind == TemplateKind::Original ? original_ : duplicate_;
    return {c.printer->currentData().toString(), c.tray->currentData().toString(),
            c.copies->value()};
}

} // namespace printing
