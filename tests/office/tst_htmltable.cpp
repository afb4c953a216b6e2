// The HTML pre-pass on its own: which cells of a table it keeps as written,
// for markup that the real-office test does not reach.

#include "office/htmltable.h"

#include <QRegularExpression>
#include <QtTest>

using office::htmltable::keepWrittenText;

class HtmlTableTest : public QObject
{
    Q_OBJECT

    // The text of every cell the rewritten table keeps as written, in order.
    static QStringList keptCells(const QByteArray& rewritten)
    {
        static const QRegularExpression kept(
            QStringLiteral(R"(<t[dh] class="keep-written-text-\d+"[^>]*>([^<]*))"));
        QStringList cells;
        for (const auto& m : kept.globalMatch(QString::fromUtf8(rewritten)))
            cells << m.captured(1).trimmed();
        return cells;
    }

private Q_SLOTS:
    void cellsKept_data()
    {
        QTest::addColumn<QByteArray>("html");
        QTest::addColumn<QStringList>("kept");
        const auto row = [](const char* name, const char* html, const QStringList& kept) {
            QTest::newRow(name) << QByteArray(html) << kept;
        };
        row("a cell around a table is no single value",
            "<table><tr><td>00123<table><tr><td>0045</td></tr></table></td></tr></table>",
            {"0045"});
        row("comments and scripts hold no cells",
            "<table><!-- <tr><td>007</td></tr> --><script>'<td>0099</td>'</script>"
            "<tr><td>1</td></tr></table>",
            {});
        row("the cell's own format before its row's",
            "<style>.n{mso-number-format:\"0\"}</style><table>"
            "<tr style=\"mso-number-format:\\@\"><td class=n>0012</td><td>12</td></tr></table>",
            {"12"});
        row("General is no format", "<td style=\"mso-number-format:General\">0012</td>", {"0012"});
        row("the later class wins",
            "<style>.t{mso-number-format:'\\@'} .n{mso-number-format:'0'}</style>"
            "<td class=\"t n\">5</td><td class=\"n t\">6</td>",
            {"6"});
        row("a rule in a comment counts for nothing",
            "<style>/* .t{mso-number-format:\"\\@\"} */</style><td class=t>5</td>", {});
        row("element rules, listed",
            "<style>@media print{.x{color:red}} td , th{mso-number-format:\"\\@\" !important}"
            "</style><table><tr><th>1</th><td>2</td></tr></table>",
            {"1", "2"});
        row("a text row, its cells",
            "<style>.t{mso-number-format:\"@\"}</style><tr class=T><td>1</td></tr><tr><td>2</td>",
            {"1"});
        row("numbers that read as written anyway",
            "<td>0</td><td>0.50</td><td>-5</td><td>1,20</td><td>12,345,67</td><td>0x1F</td>", {});
        row("numbers that do not", "<td>1,234.</td><td>+1,000</td><td>1234567890123456</td>",
            {"1,234.", "+1,000", "1234567890123456"});
    }

    void cellsKept()
    {
        QFETCH(QByteArray, html);
        QFETCH(QStringList, kept);
        QCOMPARE(keptCells(keepWrittenText(html)), kept);
    }

    void onlyTheMarkedCellsChange()
    {
        // The cell's own classes give way to the text class; everything else stays.
        const QByteArray html = "\xEF\xBB\xBF\n <html><body class=keep-written-text-0><table>"
                                "<tr><td class=\"a b\" style='color:red' x:str>7</td>"
                                "<td class=a>7</td></tr></table></body></html>";
        QCOMPARE(keepWrittenText(html),
                 QByteArray("\xEF\xBB\xBF\n <html><body class=keep-written-text-0>"
                            "<style>.keep-written-text-1{mso-number-format:\"\\@\";}</style>"
                            "<table><tr><td class=\"keep-written-text-1\" style='color:red' "
                            "x:str>7</td><td class=a>7</td></tr></table></body></html>"));

        // Nothing to keep, or no HTML table at all: the office reads the file itself.
        QVERIFY(keepWrittenText("<table><tr><td>3</td><td>事证</td></tr></table>").isEmpty());
        QVERIFY(keepWrittenText("证书号,编号\n事证,00123\n").isEmpty());
        QVERIFY(keepWrittenText("<?xml version=\"1.0\"?><Workbook><Worksheet><Table><Row><Cell>"
                                "<Data ss:Type=\"String\">00123</Data></Cell></Row></Table>"
                                "</Worksheet></Workbook>")
                    .isEmpty());
        QVERIFY(keepWrittenText("<td class=\"unclosed>00123").isEmpty());
    }
};

QTEST_GUILESS_MAIN(HtmlTableTest)
#include "tst_htmltable.moc"
