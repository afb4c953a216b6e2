// The settings window of the margin program: the
// input filter of the eight boxes (on plain strings and through
// typing, pasting and the program's own changes), and the window on real
// templates through the real office: loading, clearing, confirming, refusals
// and failures.

#include "certificates.h"
#include "messageboxes.h"
#include "testmain.h"

#include "common/error.h"
#include "margins/form2.h"
#include "margins/templatemargins.h"

#include <QClipboard>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <stdexcept>
#include <unistd.h>

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

QLineEdit* box(form2& form, int number)
{
    return form.findChild<QLineEdit*>(QStringLiteral("Text%1").arg(number));
}
QPushButton* button(form2& form, const char* name)
{
    return form.findChild<QPushButton*>(QString::fromLatin1(name));
}
QStringList boxTexts(form2& form)
{
    QStringList texts;
    for (int number = 1; number <= 8; ++number)
        texts << box(form, number)->text();
    return texts;
}
void typeInto(form2& form, const QStringList& entries)
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
    std::unique_ptr<form2> form_; // the filter cases' window
    TemplatesSnapshot before_;

    QLineEdit* filterBox(int number)
    {
        if (!form_) {
            form_ = std::make_unique<form2>();
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
        before_ = TemplatesSnapshot();
    }
    // Loads a fresh window as the program does before showing it.
    static void start(form2& form)
    {
        form.Form_Load();
        QVERIFY(!form.findChild<QWidget*>(QStringLiteral("frmAbout2")));
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
    }

private slots:
    void cleanup()
    {
        form_.reset();
        QDir(paths::root()).removeRecursively();
    }

    // Typing runs the filter after every key, pasting once on the whole text;
    // the limit is 10 in boxes 1 to 4 and 5 in boxes 5 to 8.
    void filter_data()
    {
        QTest::addColumn<bool>("paste");
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char* name, bool paste, int number, const char* input,
                            const char* expected) {
            QTest::newRow(name) << paste << number << QString::fromUtf8(input)
                                << QString::fromUtf8(expected);
        };
        row("typed letter after number", false, 1, "2.54a", "2.54");
        row("typed just above 10", false, 1, "10.5", "");
        row("typed at the limit of 5", false, 6, "5.00", "5.00");
        row("typed just above 5", false, 8, "5.01", "");
        row("typed on after emptying", false, 5, "7.5", ".5");
        row("typed blank first", false, 1, " 2", "2");
        row("letter in middle", true, 1, "2a.54", "2");
        row("minus", true, 1, "-1.27", "");
        row("number and unit", true, 1, "1.5厘米", "1.5");
        row("leading blank", true, 5, " 2.5", "");
        row("lone point", true, 5, ".", ".");
        row("two points", true, 5, "1.2.3", "1.2.3");
        static const QByteArray huge = "1" + QByteArray(400, '0'); // past what a double holds
        row("too many digits for a number", true, 1, huge.constData(), "");
    }
    void filter()
    {
        QFETCH(bool, paste);
        QFETCH(int, number);
        QFETCH(QString, input);
        QFETCH(QString, expected);
        QLineEdit* entry = filterBox(number);
        entry->setFocus();
        QGuiApplication::clipboard()->setText(input);
        if (paste)
            QTest::keySequence(entry, QKeySequence::Paste);
        else
            QTest::keyClicks(entry, input);
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
    }

    // Start-up with a template missing: one message, nothing loaded, only
    // closing is left.
    void missingTemplate_data()
    {
        QTest::addColumn<TemplateKind>("missing");
        QTest::newRow("duplicate missing") << TemplateKind::Duplicate;
        QTest::newRow("original is a folder") << TemplateKind::Original;
    }
    void missingTemplate()
    {
        QFETCH(TemplateKind, missing);
        // The other is no document: with one template missing the word
        // processor is not started at all.
        makeMorvantaFolders();
        writeBytes(paths::templateFile(TemplateKind::Original), "not read");
        writeBytes(paths::templateFile(TemplateKind::Duplicate), "not read");
        QFile::remove(paths::templateFile(missing));
        if (missing == TemplateKind::Original)
            QDir().mkpath(paths::templateFile(missing));
        QVERIFY(!TemplatesPresent());

        MessageBoxAnswerer recorder;
        form2 form;
        form.Form_Load();
        QCOMPARE(recorder.seen.size(), 1);
        QCOMPARE(recorder.seen.first().text,
                 QStringLiteral("注意：未找到模板文件或模板文件已损坏，请重新安装Morvanta程序！"));
        QVERIFY(!form.findChild<QWidget*>(QStringLiteral("frmAbout2")));

        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QCOMPARE(boxTexts(form), QStringList(8, QString()));
        QVERIFY(!button(form, "ok")->isEnabled());
        QVERIFY(!button(form, "reset")->isEnabled());
        QTest::mouseClick(button(form, "Command1"), Qt::LeftButton);
        QVERIFY(!form.isVisible());
        QCOMPARE(recorder.seen.size(), 1);
    }

    // Start-up shows the margins (one above its box's limit left empty), an
    // empty box refuses the save, and a confirmed save ends the program and
    // shows at the next start.
    void confirmedSaveEndsAndTheNextStartShowsIt()
    {
        makeTemplates();
        {
            MessageBoxAnswerer recorder;
            form2 form;
            start(form);
            QCOMPARE(boxTexts(form),
                     QStringList({"2.54", "1.27", "4.00", "1.00", "", "2.00", "2.50", "2.50"}));
            QTest::mouseClick(button(form, "ok"), Qt::LeftButton);
            QCOMPARE(recorder.texts(), QStringList{QStringLiteral("请填写全部参数后确定！")});
            QVERIFY(form.isVisible());
            before_.verifyUnchanged();

            typeInto(form, {"2.5", "1.234", "2.", ".5", "0", "1", "4.999", "3"});
            QTest::mouseClick(button(form, "ok"), Qt::LeftButton);
            QCOMPARE(recorder.texts().last(), QStringLiteral("参数保存成功！"));
            QVERIFY(!form.isVisible());
            QVERIFY(!form.findChild<QWidget*>(QStringLiteral("frmAbout3")));
        }
        MessageBoxAnswerer recorder;
        form2 next;
        start(next);
        QCOMPARE(boxTexts(next),
                 QStringList({"2.50", "1.23", "2.00", "0.50", "0.00", "1.00", "5.00", "3.00"}));
        QVERIFY(recorder.seen.isEmpty());
        QVERIFY(isOleFile(originalPath()) && isOleFile(duplicatePath()));
    }

    // A template this user may not write (0444): the start shows its margins,
    // and a save says which template cannot be written before anything is
    // written, then the window is back for editing. Access rights do not bind
    // root: the suite runs this case as an unprivileged user
    // (tests/margins/unprivileged_run.sh).
    void readOnlyTemplateIsShownButNotSaved()
    {
        if (::geteuid() == 0)
            QSKIP("access rights do not bind root; run as an unprivileged user");
        makeTemplates();
        QVERIFY(QFile::setPermissions(duplicatePath(), QFileDevice::ReadOwner |
                                                           QFileDevice::ReadGroup |
                                                           QFileDevice::ReadOther));
        before_ = TemplatesSnapshot();
        MessageBoxAnswerer recorder;
        form2 form;
        start(form);
        QCOMPARE(boxTexts(form),
                 QStringList({"2.54", "1.27", "4.00", "1.00", "", "2.00", "2.50", "2.50"}));
        QVERIFY(recorder.seen.isEmpty());
        typeInto(form, {"2", "2", "2", "2", "1", "1", "1", "1"});
        QTest::mouseClick(button(form, "ok"), Qt::LeftButton);
        QCOMPARE(recorder.texts(),
                 QStringList{QStringLiteral("模板“%1”是只读文件，无法保存页边距。")
                                 .arg(QDir::toNativeSeparators(duplicatePath()))});
        QVERIFY(form.isVisible());
        before_.verifyUnchanged();
        QCOMPARE(QFileInfo(duplicatePath()).permissions() & 0x7777,
                 QFileDevice::ReadOwner | QFileDevice::ReadUser | QFileDevice::ReadGroup |
                     QFileDevice::ReadOther);
        QCOMPARE(filesBelow(paths::templatesDir()), QStringList({"副本.doc", "正本.doc"}));
    }

    // A template replaced by one with a narrower page after start-up: the
    // save refuses on the page it finds, and the window comes back.
    void pageChangedSinceStartUp()
    {
        makeTemplates();
        MessageBoxAnswerer recorder;
        form2 form;
        start(form);
        makeTemplatePage(TemplateKind::Duplicate, {1134, 1134, 1134, 1134, 4535, 16838});
        before_.duplicate = readBytes(duplicatePath());
        const QStringList entries = {"2", "2", "2", "2", "1", "1", "4", "3.5"};
        typeInto(form, entries);
        QTest::mouseClick(button(form, "ok"), Qt::LeftButton);
        QCOMPARE(recorder.texts(), QStringList{QStringLiteral(
                                       "副本左、右边距之和（7.50厘米）太大：副本页面宽8.00厘米，"
                                       "正文至少要留1.00厘米，请重新填写！")});
        QVERIFY(form.isVisible());
        QVERIFY(!form.findChild<QWidget*>(QStringLiteral("frmAbout3")));
        QCOMPARE(boxTexts(form), entries);
        before_.verifyUnchanged();
    }

    // A template the word processor cannot open fails the start-up; the
    // program reports the failure and ends (in main).
    void damagedTemplateFailsTheStartUp()
    {
        makeTemplates();
        writeBytes(duplicatePath(),
                   QByteArray::fromHex("D0CF11E0A1B11AE1") + QByteArray(2048, '\0'));
        form2 form;
        QVERIFY_THROWS_EXCEPTION(morvanta::Error, form.Form_Load());
        QVERIFY(!form.findChild<QWidget*>(QStringLiteral("frmAbout2")));
    }

    // A failure while saving, of the word processor or of any other kind, is
    // shown once as "number:description" and ends the program; no new copy
    // is put in place.
    void failureWhileSavingEndsTheProgram_data()
    {
        QTest::addColumn<bool>("officeFailure");
        QTest::newRow("duplicate gone") << true;
        QTest::newRow("not an office failure") << false;
    }
    void failureWhileSavingEndsTheProgram()
    {
        QFETCH(bool, officeFailure);
        makeTemplates();
        MessageBoxAnswerer recorder;
        form2 form;
        start(form);
        typeInto(form, {"2", "2", "2", "2", "1", "1", "1", "1"});
        if (officeFailure) {
            QVERIFY(QFile::remove(duplicatePath()));
        } else {
            form.setSaveStageHook([](TemplateKind kind, SaveStage stage) {
                if (kind == TemplateKind::Duplicate && stage == SaveStage::CopyOpened)
                    throw std::runtime_error("boom");
            });
        }
        // Pressed inside the event loop, which the failure must end.
        QTimer::singleShot(0, &form,
                           [&form] { QTest::mouseClick(button(form, "ok"), Qt::LeftButton); });
        QTimer watchdog;
        connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(99); });
        watchdog.start(60000);
        QCOMPARE(QApplication::exec(), 1);

        QCOMPARE(recorder.seen.size(), 1);
        const QString expected = officeFailure ? QStringLiteral("53:")
                                               : QStringLiteral("-2147467259:程序内部错误：boom");
        QVERIFY2(recorder.texts().first().startsWith(expected),
                 qPrintable(recorder.texts().first()));
        QVERIFY(!form.isVisible());
        QVERIFY(!form.findChild<QWidget*>(QStringLiteral("frmAbout3")));
        QCOMPARE(readBytes(originalPath()), before_.original);
        if (officeFailure)
            QCOMPARE(filesBelow(paths::templatesDir()), QStringList({"正本.doc"}));
        else
            before_.verifyUnchanged();
    }
};

MORVANTA_WIDGET_TEST_MAIN(MarginWindowTest)
#include "tst_marginwindow.moc"
