// The settings window of the margin program: frame, keyboard order, wait
// windows, the input filter of the eight boxes (on plain strings and through
// typing, pasting and the program's own changes), and the window on real
// templates through the real office: loading, clearing, confirming, refusals
// and failures.

#include "certificates.h"
#include "messageboxes.h"
#include "testmain.h"

#include "margins/form2.h"
#include "margins/marginfilter.h"
#include "margins/templatemargins.h"
#include "margins/waitwindow.h"
#include "office/error.h"

#include <QClipboard>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

#include <algorithm>

using namespace margins;
using namespace testfiles;

namespace {

QString originalPath()
{
    return paths::templateFile(TemplateKind::Original);
}
QString duplicatePath()
{
    return paths::templateFile(TemplateKind::Duplicate);
}

QLineEdit* box(Form2& form, int number)
{
    return form.findChild<QLineEdit*>(QStringLiteral("Text%1").arg(number));
}
QPushButton* button(Form2& form, const char* name)
{
    return form.findChild<QPushButton*>(QString::fromLatin1(name));
}
QStringList boxTexts(Form2& form)
{
    QStringList texts;
    for (int number = 1; number <= 8; ++number)
        texts << box(form, number)->text();
    return texts;
}
void typeInto(Form2& form, const QStringList& entries)
{
    for (int number = 1; number <= 8; ++number) {
        box(form, number)->clear();
        QTest::keyClicks(box(form, number), entries[number - 1]);
    }
}

} // namespace

class MarginWindowTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<Form2> form_; // the filter cases' window
    QByteArray originalBefore_;
    QByteArray duplicateBefore_;

    QLineEdit* filterBox(int number)
    {
        if (!form_) {
            form_ = std::make_unique<Form2>();
            form_->show();
            (void)QTest::qWaitForWindowExposed(form_.get());
        }
        return ::box(*form_, number);
    }

    // The original on a page 15 cm wide, the duplicate with a top margin
    // (5.08 cm) above its boxes' limit.
    void makeTemplates()
    {
        makeTemplatePage(TemplateKind::Original, {1440, 720, 2268, 567, 8504, 16838});
        makeTemplatePage(TemplateKind::Duplicate, {2880, 1134, 1417, 1417});
        originalBefore_ = readBytes(originalPath());
        duplicateBefore_ = readBytes(duplicatePath());
    }
    void verifyTemplatesUnchanged()
    {
        QCOMPARE(readBytes(originalPath()), originalBefore_);
        QCOMPARE(readBytes(duplicatePath()), duplicateBefore_);
        QCOMPARE(filesBelow(paths::templatesDir()), QStringList({"副本.doc", "正本.doc"}));
    }
    // Loads a fresh window as the program does before showing it.
    static void start(Form2& form)
    {
        form.Form_Load();
        QVERIFY(!form.findChild<QWidget*>(QStringLiteral("frmAbout2")));
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
    }

private slots:
    void initTestCase()
    {
        office::EngineOptions options;
        options.callDeadline = std::chrono::seconds(30);
        office::setDefaultEngineOptions(options);
    }

    void cleanup()
    {
        form_.reset();
        QDir(paths::root()).removeRecursively();
    }

    void filteredText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("limit");
        QTest::addColumn<QString>("expected");
        QTest::newRow("letter in middle") << "2a.54" << 10.0 << "2";
        QTest::newRow("minus") << "-1.27" << 10.0 << "";
        QTest::newRow("comma") << "2,5" << 10.0 << "2";
        QTest::newRow("full-width digit") << QStringLiteral("1２") << 10.0 << "1";
        QTest::newRow("above limit before letter") << "12x" << 10.0 << "";
        QTest::newRow("lone point") << "." << 5.0 << ".";
        QTest::newRow("trailing point above") << "6." << 5.0 << "";
        QTest::newRow("two points") << "1.2.3" << 5.0 << "1.2.3";
    }
    void filteredText()
    {
        QFETCH(QString, text);
        QFETCH(double, limit);
        QFETCH(QString, expected);
        QCOMPARE(margins::filteredText(text, limit), expected);
    }

    // Typing character by character runs the filter after every key.
    void typing_data()
    {
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QString>("expected");
        QTest::newRow("letter after number") << 1 << "2.54a"
                                             << "2.54";
        QTest::newRow("original at limit, decimals") << 3 << "10.00"
                                                     << "10.00";
        QTest::newRow("original, 10.5") << 1 << "10.5"
                                        << "";
        QTest::newRow("duplicate at limit, decimals") << 6 << "5.00"
                                                      << "5.00";
        QTest::newRow("duplicate 5.01") << 8 << "5.01"
                                        << "";
        QTest::newRow("duplicate emptied, typing goes on") << 5 << "7.5"
                                                           << ".5";
        QTest::newRow("leading point") << 8 << ".5"
                                       << ".5";
        QTest::newRow("blank first") << 1 << " 2"
                                     << "2";
    }
    void typing()
    {
        QFETCH(int, number);
        QFETCH(QString, keys);
        QFETCH(QString, expected);
        QLineEdit* entry = filterBox(number);
        entry->setFocus();
        QTest::keyClicks(entry, keys);
        QCOMPARE(entry->text(), expected);
        QCOMPARE(entry->cursorPosition(), expected.size());
    }

    void typingInTheMiddleLosesTheRest()
    {
        QLineEdit* entry = filterBox(1);
        entry->setText(QStringLiteral("2.54"));
        entry->setFocus();
        entry->setCursorPosition(1);
        QTest::keyClicks(entry, QStringLiteral("a"));
        QCOMPARE(entry->text(), QStringLiteral("2"));
        QCOMPARE(entry->cursorPosition(), 1);
        // The box goes on working normally afterwards.
        QTest::keyClicks(entry, QStringLiteral(".5"));
        QCOMPARE(entry->text(), QStringLiteral("2.5"));
    }

    void pasting_data()
    {
        QTest::addColumn<QString>("clipboard");
        QTest::addColumn<QString>("expected");
        QTest::newRow("number and unit") << QStringLiteral("1.5厘米") << "1.5";
        QTest::newRow("leading blank") << " 2.5"
                                       << "";
        QTest::newRow("above the limit") << "5.5"
                                         << "";
    }
    void pasting()
    {
        QFETCH(QString, clipboard);
        QFETCH(QString, expected);
        QLineEdit* entry = filterBox(6);
        entry->setFocus();
        QGuiApplication::clipboard()->setText(clipboard);
        QTest::keySequence(entry, QKeySequence::Paste);
        QCOMPARE(entry->text(), expected);
        QCOMPARE(entry->cursorPosition(), expected.size());
    }

    // A long pasted text with a blank at its start is cut back one character
    // at a time; the box must come out of it empty, without running out of
    // stack or time.
    void pastingALongText()
    {
        QLineEdit* entry = filterBox(2);
        entry->setFocus();
        QGuiApplication::clipboard()->setText(QStringLiteral(" ") + QString(20000, u'1'));
        QTest::keySequence(entry, QKeySequence::Paste);
        QCOMPARE(entry->text(), QString());
    }

    // Loading puts the "0.00" form into the boxes through the same filter.
    void programmaticChanges()
    {
        filterBox(1)->setText(marginText(-1.27f)); // a margin that reads as negative
        QCOMPARE(filterBox(1)->text(), QString());
        filterBox(5)->setText(marginText(5.08f)); // above the duplicate's limit
        QCOMPARE(filterBox(5)->text(), QString());
        filterBox(2)->setText(marginText(5.08f)); // the original takes it
        QCOMPARE(filterBox(2)->text(), QStringLiteral("5.08"));
        filterBox(6)->setText(marginText(5.0f));
        QCOMPARE(filterBox(6)->text(), QStringLiteral("5.00"));
    }

    void windowFrame()
    {
        Form2 form;
        QCOMPARE(form.windowTitle(), QStringLiteral("Tolberin"));
        QCOMPARE(form.size(), QSize(588, 454));
        QCOMPARE(form.minimumSize(), form.maximumSize());
        QVERIFY(!(form.windowFlags() & Qt::WindowMinimizeButtonHint));
        QVERIFY(!(form.windowFlags() & Qt::WindowMaximizeButtonHint));
        QVERIFY(form.windowFlags() & Qt::WindowCloseButtonHint);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        const QRect screen = form.screen()->availableGeometry();
        QVERIFY(qAbs(form.frameGeometry().center().x() - screen.center().x()) <= 1);
        QVERIFY(qAbs(form.frameGeometry().center().y() - screen.center().y()) <= 1);
    }

    void keyboardOrderAndFirstFocus()
    {
        Form2 form;
        form.show();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        QCOMPARE(QApplication::focusWidget(), box(form, 1));
        QStringList order;
        for (int i = 0; i < 11; ++i) {
            order << QApplication::focusWidget()->objectName();
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        }
        QCOMPARE(order, QStringList({"Text1", "Text2", "Text3", "Text4", "Text5", "Text6", "Text7",
                                     "Text8", "ok", "reset", "Command1"}));
        QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("Text1"));
    }

    void waitWindows()
    {
        Form2 form;
        const std::pair<WaitWindow*, QString> windows[] = {
            {WaitWindow::createReading(&form), QStringLiteral("程序正在读取模板页边距请稍候")},
            {WaitWindow::createSaving(&form), QStringLiteral("页边距保存中，请稍候")}};
        for (const auto& [created, text] : windows) {
            std::unique_ptr<WaitWindow> window(created);
            QCOMPARE(window->windowTitle(), QStringLiteral("Tolberin"));
            QCOMPARE(window->size(), QSize(298, 119));
            QCOMPARE(window->parentWidget(), &form); // owned: no taskbar entry
            QVERIFY(window->findChild<QLabel*>(QStringLiteral("picIcon")));
            const auto labels = window->findChildren<QLabel*>();
            QVERIFY(std::any_of(labels.begin(), labels.end(),
                                [&](QLabel* label) { return label->text() == text; }));
            window->showNow();
            QVERIFY(window->isVisible());
            QVERIFY(!window->isModal());
        }
    }

    // Start-up with a template missing: one message, nothing loaded, only
    // closing is left; the eight boxes can still be typed into.
    void missingTemplate_data()
    {
        QTest::addColumn<bool>("original");
        QTest::addColumn<bool>("duplicate");
        QTest::addColumn<bool>("originalIsFolder");
        QTest::newRow("duplicate missing") << true << false << false;
        QTest::newRow("original is a folder") << false << true << true;
    }
    void missingTemplate()
    {
        QFETCH(bool, original);
        QFETCH(bool, duplicate);
        QFETCH(bool, originalIsFolder);
        // Placeholders are never opened: with one template missing the word
        // processor is not started at all.
        makeMorvantaFolders();
        if (original)
            writeBytes(paths::templateFile(TemplateKind::Original), "not read");
        if (duplicate)
            writeBytes(paths::templateFile(TemplateKind::Duplicate), "not read");
        if (originalIsFolder)
            QDir().mkpath(paths::templateFile(TemplateKind::Original));
        QVERIFY(!TemplatesPresent());

        MessageBoxAnswerer recorder;
        Form2 form;
        form.Form_Load();
        QCOMPARE(recorder.seen.size(), 1);
        const MessageBoxAnswerer::Seen& message = recorder.seen.first();
        QCOMPARE(message.text,
                 QStringLiteral("注意：未找到模板文件或模板文件已损坏，请重新安装Morvanta程序！"));
        QCOMPARE(message.title, QStringLiteral("Tolberin"));
        QCOMPARE(message.icon, QMessageBox::NoIcon);
        QVERIFY(message.okOnly);
        QVERIFY(message.modal);
        QVERIFY(!form.findChild<QWidget*>(QStringLiteral("frmAbout2")));

        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        for (int number = 1; number <= 8; ++number)
            QCOMPARE(box(form, number)->text(), QString());
        QVERIFY(!button(form, "ok")->isEnabled());
        QVERIFY(!button(form, "reset")->isEnabled());
        QTest::keyClicks(box(form, 1), QStringLiteral("2.5"));
        QCOMPARE(box(form, 1)->text(), QStringLiteral("2.5"));

        QTest::mouseClick(button(form, "Command1"), Qt::LeftButton);
        QVERIFY(!form.isVisible());
        QCOMPARE(form.exitCode(), 0);
        QCOMPARE(recorder.seen.size(), 1);
    }

    void startupShowsTheMargins()
    {
        makeTemplates();
        MessageBoxAnswerer recorder;
        Form2 form;
        start(form);
        QCOMPARE(boxTexts(form),
                 QStringList({"2.54", "1.27", "4.00", "1.00", "", "2.00", "2.50", "2.50"}));
        QVERIFY(button(form, "ok")->isEnabled());
        QVERIFY(button(form, "reset")->isEnabled());
        QVERIFY(recorder.seen.isEmpty());

        // The emptied box has to be filled before anything is saved.
        QTest::mouseClick(button(form, "ok"), Qt::LeftButton);
        QCOMPARE(recorder.texts(), QStringList{QStringLiteral("请填写全部参数后确定！")});

        // Cleared, the boxes stay empty and are not saved either.
        QTest::mouseClick(button(form, "reset"), Qt::LeftButton);
        QCOMPARE(boxTexts(form), QStringList(8, QString()));
        QVERIFY(button(form, "ok")->isEnabled());
        QTest::mouseClick(button(form, "ok"), Qt::LeftButton);
        QCOMPARE(recorder.texts().size(), 2);
        QVERIFY(form.isVisible());
        verifyTemplatesUnchanged();
    }

    void confirmedSaveEndsAndTheNextStartShowsIt()
    {
        makeTemplates();
        {
            MessageBoxAnswerer recorder;
            Form2 form;
            start(form);
            typeInto(form, {"2.5", "1.234", "2.", ".5", "0", "1", "4.999", "3"});
            QTest::mouseClick(button(form, "ok"), Qt::LeftButton);
            QCOMPARE(recorder.texts(), QStringList{QStringLiteral("参数保存成功！")});
            QVERIFY(!form.isVisible());
            QVERIFY(!form.findChild<QWidget*>(QStringLiteral("frmAbout3")));
            QCOMPARE(form.exitCode(), 0);
        }
        MessageBoxAnswerer recorder;
        Form2 next;
        start(next);
        QCOMPARE(boxTexts(next),
                 QStringList({"2.50", "1.23", "2.00", "0.50", "0.00", "1.00", "5.00", "3.00"}));
        QVERIFY(recorder.seen.isEmpty());
        QVERIFY(isOleFile(originalPath()) && isOleFile(duplicatePath()));
    }

    // 10 + 4.5 cm of a 15 cm wide page leave less than 1 cm of text.
    void refusedEntriesWriteNothing()
    {
        makeTemplates();
        const QStringList entries{"2", "2", "10", "4.5", "1", "1", "1", "1"};
        MessageBoxAnswerer recorder;
        Form2 form;
        start(form);
        typeInto(form, entries);
        QTest::mouseClick(button(form, "ok"), Qt::LeftButton);
        QCOMPARE(recorder.texts(), QStringList{QStringLiteral(
                                       "正本左、右边距之和（14.50厘米）太大：正本页面宽15.00厘米，"
                                       "正文至少要留1.00厘米，请重新填写！")});
        QVERIFY(form.isVisible());
        QCOMPARE(boxTexts(form), entries);
        verifyTemplatesUnchanged();
    }

    // A template replaced by one with a narrower page after start-up: the
    // save refuses on the page it finds, and the window comes back.
    void pageChangedSinceStartUp()
    {
        makeTemplates();
        MessageBoxAnswerer recorder;
        Form2 form;
        start(form);
        makeTemplatePage(TemplateKind::Duplicate, {1134, 1134, 1134, 1134, 4535, 16838});
        duplicateBefore_ = readBytes(duplicatePath());
        const QStringList entries = {"2", "2", "2", "2", "1", "1", "4", "3.5"};
        typeInto(form, entries);
        QTest::mouseClick(button(form, "ok"), Qt::LeftButton);
        QCOMPARE(recorder.texts(), QStringList{QStringLiteral(
                                       "副本左、右边距之和（7.50厘米）太大：副本页面宽8.00厘米，"
                                       "正文至少要留1.00厘米，请重新填写！")});
        QVERIFY(form.isVisible());
        QVERIFY(!form.findChild<QWidget*>(QStringLiteral("frmAbout3")));
        QCOMPARE(form.exitCode(), 0);
        QCOMPARE(boxTexts(form), entries);
        verifyTemplatesUnchanged();
    }

    // A template the word processor cannot open fails the start-up; the
    // program reports the failure and ends (in main).
    void damagedTemplateFailsTheStartUp()
    {
        makeTemplates();
        writeBytes(duplicatePath(),
                   QByteArray::fromHex("D0CF11E0A1B11AE1") + QByteArray(2048, '\0'));
        Form2 form;
        QVERIFY_THROWS_EXCEPTION(office::Error, form.Form_Load());
        QVERIFY(!form.findChild<QWidget*>(QStringLiteral("frmAbout2")));
    }

    // A failure while saving is reported as "number:description" and ends
    // the program; the original's new copy is not put in place.
    void failureWhileSavingEndsTheProgram()
    {
        makeTemplates();
        MessageBoxAnswerer recorder;
        Form2 form;
        start(form);
        typeInto(form, {"2", "2", "2", "2", "1", "1", "1", "1"});
        QVERIFY(QFile::remove(duplicatePath()));
        QTest::mouseClick(button(form, "ok"), Qt::LeftButton);
        QCOMPARE(recorder.seen.size(), 1);
        QVERIFY2(recorder.texts().first().startsWith(QStringLiteral("53:")),
                 qPrintable(recorder.texts().first()));
        QVERIFY(!form.isVisible());
        QCOMPARE(form.exitCode(), 1);
        QCOMPARE(readBytes(originalPath()), originalBefore_);
        QCOMPARE(filesBelow(paths::templatesDir()), QStringList({"正本.doc"}));
    }
};

MORVANTA_WIDGET_TEST_MAIN(MarginWindowTest)
#include "tst_marginwindow.moc"
