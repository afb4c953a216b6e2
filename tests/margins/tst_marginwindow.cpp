// The settings window and the wait windows without the word processor:
// frame, keyboard order, wait windows, start-up with a missing template.

#include "common/paths.h"
#include "margins/form2.h"
#include "margins/templatemargins.h"
#include "margins/waitwindow.h"
#include "messagerecorder.h"
#include "testhome.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <algorithm>

using namespace margins;

namespace {

void writeFile(const QString& path, const QByteArray& content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
}

} // namespace

class MarginWindowTest : public QObject
{
    Q_OBJECT

private:
    template <typename W> W* child(Form2& form, const QString& name)
    {
        return form.findChild<W*>(name);
    }

private slots:
    void cleanup() { QDir(paths::root()).removeRecursively(); }

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
        QCOMPARE(QApplication::focusWidget(), child<QWidget>(form, "Text1"));
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
        if (original)
            writeFile(paths::templateFile(TemplateKind::Original), "not read");
        if (duplicate)
            writeFile(paths::templateFile(TemplateKind::Duplicate), "not read");
        if (originalIsFolder)
            QDir().mkpath(paths::templateFile(TemplateKind::Original));
        QVERIFY(!TemplatesPresent());

        MessageRecorder recorder;
        Form2 form;
        form.Form_Load();
        QCOMPARE(recorder.messages().size(), 1);
        const RecordedMessage& message = recorder.messages().first();
        QCOMPARE(message.text,
                 QStringLiteral("注意：未找到模板文件或模板文件已损坏，请重新安装Morvanta程序！"));
        QCOMPARE(message.title, QStringLiteral("Tolberin"));
        QCOMPARE(message.icon, QMessageBox::NoIcon);
        QCOMPARE(message.buttonCount, 1);
        QVERIFY(message.modal);
        QVERIFY(!form.findChild<QWidget*>(QStringLiteral("frmAbout2")));

        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        for (int number = 1; number <= 8; ++number)
            QCOMPARE(child<QLineEdit>(form, QStringLiteral("Text%1").arg(number))->text(),
                     QString());
        QVERIFY(!child<QPushButton>(form, "ok")->isEnabled());
        QVERIFY(!child<QPushButton>(form, "reset")->isEnabled());
        QTest::keyClicks(child<QLineEdit>(form, "Text1"), QStringLiteral("2.5"));
        QCOMPARE(child<QLineEdit>(form, "Text1")->text(), QStringLiteral("2.5"));

        QTest::mouseClick(child<QPushButton>(form, "Command1"), Qt::LeftButton);
        QVERIFY(!form.isVisible());
        QCOMPARE(form.exitCode(), 0);
        QCOMPARE(recorder.messages().size(), 1);
    }
};

MARGINS_TEST_MAIN(MarginWindowTest)
#include "tst_marginwindow.moc"
