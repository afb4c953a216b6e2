// The settings window on real templates through the real office: start-up
// loading, clearing, confirming, refusals and failures.

#include "margins/form2.h"
#include "messagerecorder.h"
#include "office/error.h"
#include "templatemaker.h"
#include "testhome.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTest>

using namespace margins;

namespace {

QString originalPath()
{
    return paths::templateFile(TemplateKind::Original);
}
QString duplicatePath()
{
    return paths::templateFile(TemplateKind::Duplicate);
}

} // namespace

class MarginProgramTest : public QObject
{
    Q_OBJECT

private:
    QByteArray originalBefore_;
    QByteArray duplicateBefore_;

    static QLineEdit* box(Form2& form, int number)
    {
        return form.findChild<QLineEdit*>(QStringLiteral("Text%1").arg(number));
    }
    static QPushButton* button(Form2& form, const char* name)
    {
        return form.findChild<QPushButton*>(QString::fromLatin1(name));
    }
    static QStringList boxTexts(Form2& form)
    {
        QStringList texts;
        for (int number = 1; number <= 8; ++number)
            texts << box(form, number)->text();
        return texts;
    }
    static void typeInto(Form2& form, const QStringList& entries)
    {
        for (int number = 1; number <= 8; ++number) {
            QLineEdit* entry = box(form, number);
            entry->clear();
            QTest::keyClicks(entry, entries[number - 1]);
        }
    }
    void verifyTemplatesUnchanged()
    {
        QCOMPARE(fileBytes(originalPath()), originalBefore_);
        QCOMPARE(fileBytes(duplicatePath()), duplicateBefore_);
        QCOMPARE(templatesFolderEntries(), QStringList({"副本.doc", "正本.doc"}));
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

    // The original on a page 15 cm wide, the duplicate with a top margin
    // (5.08 cm) above its boxes' limit.
    void init()
    {
        makeTemplate(TemplateKind::Original, {1440, 720, 2268, 567, 8504, 16838});
        makeTemplate(TemplateKind::Duplicate, {2880, 1134, 1417, 1417});
        originalBefore_ = fileBytes(originalPath());
        duplicateBefore_ = fileBytes(duplicatePath());
    }

    void startupShowsTheMargins()
    {
        MessageRecorder recorder;
        Form2 form;
        start(form);
        QCOMPARE(boxTexts(form),
                 QStringList({"2.54", "1.27", "4.00", "1.00", "", "2.00", "2.50", "2.50"}));
        QVERIFY(button(form, "ok")->isEnabled());
        QVERIFY(button(form, "reset")->isEnabled());
        QVERIFY(recorder.messages().isEmpty());

        // The emptied box has to be filled before anything is saved.
        QTest::mouseClick(button(form, "ok"), Qt::LeftButton);
        QCOMPARE(recorder.texts(), QStringList{QStringLiteral("请填写全部参数后确定！")});
        QVERIFY(form.isVisible());
        verifyTemplatesUnchanged();
    }

    void resetThenOk()
    {
        MessageRecorder recorder;
        Form2 form;
        start(form);
        QTest::mouseClick(button(form, "reset"), Qt::LeftButton);
        QCOMPARE(boxTexts(form), QStringList(8, QString()));
        QVERIFY(button(form, "ok")->isEnabled());
        QTest::mouseClick(button(form, "ok"), Qt::LeftButton);
        QCOMPARE(recorder.texts(), QStringList{QStringLiteral("请填写全部参数后确定！")});
        QVERIFY(form.isVisible());
        verifyTemplatesUnchanged();
    }

    void confirmedSaveEndsAndTheNextStartShowsIt()
    {
        {
            MessageRecorder recorder;
            Form2 form;
            start(form);
            typeInto(form, {"2.5", "1.234", "2.", ".5", "0", "1", "4.999", "3"});
            QTest::mouseClick(button(form, "ok"), Qt::LeftButton);
            QCOMPARE(recorder.texts(), QStringList{QStringLiteral("参数保存成功！")});
            QVERIFY(!form.isVisible());
            QVERIFY(!form.findChild<QWidget*>(QStringLiteral("frmAbout3")));
            QCOMPARE(form.exitCode(), 0);
        }
        MessageRecorder recorder;
        Form2 next;
        start(next);
        QCOMPARE(boxTexts(next),
                 QStringList({"2.50", "1.23", "2.00", "0.50", "0.00", "1.00", "5.00", "3.00"}));
        QVERIFY(recorder.messages().isEmpty());
        QVERIFY(fileBytes(originalPath()).startsWith("\xD0\xCF\x11\xE0"));
        QVERIFY(fileBytes(duplicatePath()).startsWith("\xD0\xCF\x11\xE0"));
    }

    void refusedEntriesWriteNothing_data()
    {
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<QString>("message");
        QTest::newRow("two points")
            << QStringList{"2", "1.2.3", "2", "2", "1", "1", "1", "1"}
            << QStringLiteral("正本下边距“1.2.3”不是有效的数字，请重新填写！");
        // 10 + 4.5 cm of a 15 cm wide page leave less than 1 cm of text.
        QTest::newRow("no room across the original")
            << QStringList{"2", "2", "10", "4.5", "1", "1", "1", "1"}
            << QStringLiteral("正本左、右边距之和（14.50厘米）太大：正本页面宽15.00厘米，"
                              "正文至少要留1.00厘米，请重新填写！");
    }
    void refusedEntriesWriteNothing()
    {
        QFETCH(QStringList, entries);
        QFETCH(QString, message);
        MessageRecorder recorder;
        Form2 form;
        start(form);
        typeInto(form, entries);
        QTest::mouseClick(button(form, "ok"), Qt::LeftButton);
        QCOMPARE(recorder.texts(), QStringList{message});
        QVERIFY(form.isVisible());
        QCOMPARE(boxTexts(form), entries);
        verifyTemplatesUnchanged();
    }

    // A template replaced by one with a narrower page after start-up: the
    // save refuses on the page it finds, and the window comes back.
    void pageChangedSinceStartUp()
    {
        MessageRecorder recorder;
        Form2 form;
        start(form);
        makeTemplate(TemplateKind::Duplicate, {1134, 1134, 1134, 1134, 4535, 16838});
        duplicateBefore_ = fileBytes(duplicatePath());
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
        QFile damaged(duplicatePath());
        QVERIFY(damaged.open(QIODevice::WriteOnly | QIODevice::Truncate));
        damaged.write(QByteArray("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1") + QByteArray(2048, '\0'));
        damaged.close();
        Form2 form;
        QVERIFY_THROWS_EXCEPTION(office::Error, form.Form_Load());
        QVERIFY(!form.findChild<QWidget*>(QStringLiteral("frmAbout2")));
    }

    // A failure while saving is reported as "number:description" and ends
    // the program; the original's new copy is not put in place.
    void failureWhileSavingEndsTheProgram()
    {
        MessageRecorder recorder;
        Form2 form;
        start(form);
        typeInto(form, {"2", "2", "2", "2", "1", "1", "1", "1"});
        QVERIFY(QFile::remove(duplicatePath()));
        QTest::mouseClick(button(form, "ok"), Qt::LeftButton);
        QCOMPARE(recorder.messages().size(), 1);
        QVERIFY2(recorder.texts().first().startsWith(QStringLiteral("53:")),
                 qPrintable(recorder.texts().first()));
        QVERIFY(!form.isVisible());
        QCOMPARE(form.exitCode(), 1);
        QCOMPARE(fileBytes(originalPath()), originalBefore_);
        QCOMPARE(templatesFolderEntries(), QStringList({"正本.doc"}));
    }
};

MARGINS_TEST_MAIN(MarginProgramTest)
#include "tst_marginprogram.moc"
