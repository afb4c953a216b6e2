// The settings window and the wait windows without the word processor:
// layout, keyboard order, start-up with a missing template, refusals.

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

using namespace margins;

namespace {

QRect twips(int left, int top, int width, int height)
{
    return {left / 15, top / 15, width / 15, height / 15};
}

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

    void controls_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QRect>("place");
        QTest::addColumn<double>("pointSize");
        QTest::addColumn<bool>("bold");
        QTest::addColumn<bool>("blue");
        const QString up = QStringLiteral("上："), down = QStringLiteral("下："),
                      left = QStringLiteral("左："), right = QStringLiteral("右：");
        const QString cm = QStringLiteral("厘米");
        QTest::newRow("Label11") << "Label11"
                                 << QStringLiteral("请填写以下参数以便设置打印文档页边距")
                                 << twips(360, 480, 8295, 495) << 21.75 << true << true;
        QTest::newRow("Label1") << "Label1" << QStringLiteral("填写正本页边距")
                                << twips(1440, 1440, 1815, 255) << 12.0 << true << true;
        QTest::newRow("Label3") << "Label3" << QStringLiteral("填写副本页边距")
                                << twips(5520, 1440, 1935, 255) << 12.0 << true << true;
        const int tops[] = {2040, 3000, 3960, 4920};
        const QString sides[] = {up, down, left, right};
        const char* originalSides[] = {"Label2", "Label4", "Label5", "Label6"};
        for (int row = 0; row < 4; ++row) {
            const auto add = [&](const QString& name, const QString& text, int x) {
                QTest::newRow(qPrintable(name))
                    << name << text << twips(x, tops[row], 495, 255) << 10.5 << false << false;
            };
            add(QString::fromLatin1(originalSides[row]), sides[row], 1080);
            add(QStringLiteral("Label%1").arg(12 + row), cm, 3120);
            add(QStringLiteral("Label%1").arg(7 + row), sides[row], 5160);
            add(QStringLiteral("Label%1").arg(16 + row), cm, 7200);
        }
    }
    void controls()
    {
        QFETCH(QString, name);
        QFETCH(QString, text);
        QFETCH(QRect, place);
        QFETCH(double, pointSize);
        QFETCH(bool, bold);
        QFETCH(bool, blue);
        Form2 form;
        auto* label = child<QLabel>(form, name);
        QVERIFY(label);
        QCOMPARE(label->text(), text);
        QCOMPARE(label->geometry(), place);
        QCOMPARE(label->font().family(), QStringLiteral("宋体"));
        QCOMPARE(label->font().pointSizeF(), pointSize);
        QCOMPARE(label->font().bold(), bold);
        QCOMPARE(label->palette().color(QPalette::WindowText) == QColor(0, 0, 255), blue);
    }

    void boxesAndButtons()
    {
        Form2 form;
        const int tops[] = {1920, 2880, 3840, 4800};
        for (int number = 1; number <= 8; ++number) {
            auto* box = child<QLineEdit>(form, QStringLiteral("Text%1").arg(number));
            QVERIFY(box);
            QCOMPARE(box->geometry(),
                     twips(number <= 4 ? 1560 : 5640, tops[(number - 1) % 4], 1455, 375));
            QCOMPARE(box->text(), QString());
        }
        const struct
        {
            const char* name;
            QString text;
            int left;
        } buttons[] = {{"ok", QStringLiteral("确  定"), 1920},
                       {"reset", QStringLiteral("重  填"), 3720},
                       {"Command1", QStringLiteral("关  闭"), 5520}};
        for (const auto& expected : buttons) {
            auto* button = child<QPushButton>(form, QString::fromLatin1(expected.name));
            QVERIFY(button);
            QCOMPARE(button->text(), expected.text);
            QCOMPARE(button->geometry(), twips(expected.left, 5760, 1335, 495));
        }
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
        const struct
        {
            WaitWindow* window;
            const char* label;
            QString text;
        } windows[] = {
            {WaitWindow::createReading(&form), "lblDescription",
             QStringLiteral("程序正在读取模板页边距请稍候")},
            {WaitWindow::createSaving(&form), "lblTitle", QStringLiteral("页边距保存中，请稍候")},
        };
        for (const auto& expected : windows) {
            std::unique_ptr<WaitWindow> window(expected.window);
            QCOMPARE(window->windowTitle(), QStringLiteral("Tolberin"));
            QCOMPARE(window->size(), QSize(298, 119));
            QVERIFY(!(window->windowFlags() & Qt::WindowMinimizeButtonHint));
            QVERIFY(!(window->windowFlags() & Qt::WindowMaximizeButtonHint));
            QCOMPARE(window->parentWidget(), &form); // owned: no taskbar entry
            auto* label = window->findChild<QLabel*>(QString::fromLatin1(expected.label));
            QVERIFY(label);
            QCOMPARE(label->text(), expected.text);
            QCOMPARE(label->font().pointSizeF(), 14.25);
            QCOMPARE(label->palette().color(QPalette::WindowText), QColor(0, 0, 255));
            auto* icon = window->findChild<QLabel*>(QStringLiteral("picIcon"));
            QVERIFY(icon);
            QCOMPARE(icon->pixmap().size(), QSize(32, 32));
            QVERIFY(icon->geometry().right() < label->geometry().left());
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
        QTest::newRow("none") << false << false << false;
        QTest::newRow("duplicate missing") << true << false << false;
        QTest::newRow("original missing") << false << true << false;
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

    // Confirmation refuses incomplete or unusable entries before anything is
    // written, and the window stays open.
    void refusedConfirmation_data()
    {
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<QString>("message");
        const QStringList complete = {"2.54", "2.54", "3", "3", "1", "1", "1.5", "1.5"};
        QStringList oneEmpty = complete;
        oneEmpty[6].clear();
        QTest::newRow("one box empty") << oneEmpty << QStringLiteral("请填写全部参数后确定！");
        QStringList lonePoint = complete;
        lonePoint[0] = QStringLiteral(".");
        QTest::newRow("lone point")
            << lonePoint << QStringLiteral("正本上边距“.”不是有效的数字，请重新填写！");
        QStringList twoPoints = complete;
        twoPoints[7] = QStringLiteral("1.2.3");
        QTest::newRow("two points")
            << twoPoints << QStringLiteral("副本右边距“1.2.3”不是有效的数字，请重新填写！");
    }
    void refusedConfirmation()
    {
        QFETCH(QStringList, entries);
        QFETCH(QString, message);
        MessageRecorder recorder;
        Form2 form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        for (int number = 1; number <= 8; ++number)
            child<QLineEdit>(form, QStringLiteral("Text%1").arg(number))
                ->setText(entries[number - 1]);
        QTest::mouseClick(child<QPushButton>(form, "ok"), Qt::LeftButton);
        QCOMPARE(recorder.texts(), QStringList{message});
        QVERIFY(form.isVisible());
        for (int number = 1; number <= 8; ++number)
            QCOMPARE(child<QLineEdit>(form, QStringLiteral("Text%1").arg(number))->text(),
                     entries[number - 1]);
        QVERIFY(!QFileInfo::exists(paths::templatesDir()));
    }

    void displayForm()
    {
        QCOMPARE(marginText(1.0f), QStringLiteral("1.00"));
        QCOMPARE(marginText(2.5f), QStringLiteral("2.50"));
        QCOMPARE(marginText(0.5f), QStringLiteral("0.50"));
        QCOMPARE(marginText(0.0f), QStringLiteral("0.00"));
        QCOMPARE(marginText(2.54f), QStringLiteral("2.54"));
        QCOMPARE(marginText(1.234f), QStringLiteral("1.23"));
        QCOMPARE(marginText(3.996f), QStringLiteral("4.00"));
        QCOMPARE(marginText(12.345678f), QStringLiteral("12.35"));
        QCOMPARE(marginText(-0.5f), QStringLiteral("-0.50"));
    }
};

MARGINS_TEST_MAIN(MarginWindowTest)
#include "tst_marginwindow.moc"
