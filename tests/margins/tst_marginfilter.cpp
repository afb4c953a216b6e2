// The input filter of the margin boxes: on plain strings, and on the real
// settings window through typing, pasting and the program's own changes.

#include "margins/form2.h"
#include "margins/marginfilter.h"
#include "margins/templatemargins.h"
#include "testhome.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QLineEdit>
#include <QTest>

using namespace margins;

class MarginFilterTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<Form2> form_;
    QLineEdit* box(int number) const
    {
        return form_->findChild<QLineEdit*>(QStringLiteral("Text%1").arg(number));
    }

private slots:
    void init()
    {
        form_ = std::make_unique<Form2>();
        form_->show();
        QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
    }
    void cleanup() { form_.reset(); }

    void filteredText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("limit");
        QTest::addColumn<QString>("expected");
        QTest::newRow("letter in middle") << "2a.54" << 10.0 << "2";
        QTest::newRow("minus") << "-1.27" << 10.0 << "";
        QTest::newRow("comma") << "2,5" << 10.0 << "2";
        QTest::newRow("full-width digit") << QStringLiteral("1２") << 10.0 << "1";
        QTest::newRow("full-width point") << QStringLiteral("1．5") << 10.0 << "1";
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
        QTest::newRow("original at limit") << 2 << "10"
                                           << "10";
        QTest::newRow("original at limit, decimals") << 3 << "10.00"
                                                     << "10.00";
        QTest::newRow("original, digit past limit") << 4 << "101"
                                                    << "";
        QTest::newRow("original, 10.5") << 1 << "10.5"
                                        << "";
        QTest::newRow("duplicate at limit") << 5 << "5"
                                            << "5";
        QTest::newRow("duplicate at limit, decimals") << 6 << "5.00"
                                                      << "5.00";
        QTest::newRow("duplicate above") << 7 << "6"
                                         << "";
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
        QLineEdit* entry = box(number);
        entry->setFocus();
        QTest::keyClicks(entry, keys);
        QCOMPARE(entry->text(), expected);
        QCOMPARE(entry->cursorPosition(), expected.size());
    }

    void typingInTheMiddleLosesTheRest()
    {
        QLineEdit* entry = box(1);
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
        QTest::newRow("number and blank") << "3.25 "
                                          << "3.25";
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
        QLineEdit* entry = box(6);
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
        QLineEdit* entry = box(2);
        entry->setFocus();
        QGuiApplication::clipboard()->setText(QStringLiteral(" ") + QString(20000, u'1'));
        QTest::keySequence(entry, QKeySequence::Paste);
        QCOMPARE(entry->text(), QString());
    }

    // Loading puts the "0.00" form into the boxes through the same filter.
    void programmaticChanges()
    {
        box(1)->setText(marginText(-1.27f)); // a margin that reads as negative
        QCOMPARE(box(1)->text(), QString());
        box(5)->setText(marginText(5.08f)); // above the duplicate's limit
        QCOMPARE(box(5)->text(), QString());
        box(2)->setText(marginText(5.08f)); // the original takes it
        QCOMPARE(box(2)->text(), QStringLiteral("5.08"));
        box(6)->setText(marginText(5.0f));
        QCOMPARE(box(6)->text(), QStringLiteral("5.00"));
    }
};

MARGINS_TEST_MAIN(MarginFilterTest)
#include "tst_marginfilter.moc"
