// Reading the data file through the real office: displayed cell text as a
// Simplified Chinese desktop shows it, formats told apart by content, and
// clear failures.

#include "testfiles.h"
#include "testmain.h"

#include "common/error.h"
#include "office/engine.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/stat.h>

using namespace office;
using namespace morvanta;
using testfiles::Cell;

class SpreadsheetTest : public QObject
{
    Q_OBJECT

    QTemporaryDir dir_;
    QString path(const QString& name) const { return dir_.filePath(name); }

    int expectFailure(const QString& file)
    {
        auto app = defaultEngine().createSpreadsheetApplication();
        try {
            app->GetObject(file).Worksheets(QStringLiteral("Sheet1")).CellText(1, 1);
        } catch (const Error& e) {
            // A description that does not name the file fails the comparison.
            if (!e.description().contains(file)) {
                qWarning() << "description does not name the file:" << e.description();
                return -1;
            }
            return e.number();
        }
        return 0;
    }

private Q_SLOTS:
    void cellsReadAsDisplayed()
    {
        const auto typed = [](const char* type, const char* value, const char* style = "") {
            return Cell{{},
                        QString::fromLatin1(type),
                        QString::fromLatin1(value),
                        QString::fromLatin1(style)};
        };
        // Each cell with the text a Simplified Chinese desktop shows for it.
        const QList<QPair<Cell, QString>> cells{
            {Cell::str(QStringLiteral("事证第001号")), QStringLiteral("事证第001号")},
            {typed("date", "2024-03-05", "date_cn"), QStringLiteral("2024年3月5日")},
            {typed("date", "2029-12-31", "date_ymd"), QStringLiteral("2029-12-31")},
            {typed("float", "1234567.5", "num2"), QStringLiteral("1,234,567.50")},
            {typed("percentage", "0.125", "pct"), QStringLiteral("12.50%")},
            {typed("float", "42"), QStringLiteral("42")},
            {Cell::str(QStringLiteral(" ")), QStringLiteral(" ")},
            {Cell::str({}), QString()},
            {Cell::str(QStringLiteral("0012")), QStringLiteral("0012")},
        };
        QList<Cell> row{typed("date", "2024-03-05", "date_sys")};
        for (const auto& [cell, shown] : cells)
            row << cell;
        const QString file = path(QStringLiteral("shown.xls"));
        testfiles::makeWorkbook(file, {{Cell::str(QStringLiteral("证书号"))}, row});
        QVERIFY(testfiles::isOleFile(file));
        auto app = defaultEngine().createSpreadsheetApplication();
        sheet::Worksheet& sheet = app->GetObject(file).Worksheets(QStringLiteral("Sheet1"));
        QCOMPARE(sheet.CellText(1, 1), QStringLiteral("证书号"));
        for (int column = 2; column <= row.size(); ++column)
            QCOMPARE(sheet.CellText(2, column), cells[column - 2].second);
        // The system short date follows the office's Simplified Chinese locale data.
        const QString systemDate = sheet.CellText(2, 1);
        QVERIFY2(systemDate.contains(QStringLiteral("3月5日")) || systemDate == u"2024/3/5",
                 qPrintable(systemDate));
        QCOMPARE(sheet.CellText(500, 1), QString());
        app->Quit();
    }

    // A column read as a block: texts as written, numbers as numbers, empty
    // cells as empty text, and the block cut at the sheet's last row.
    void columnValuesInOneRead()
    {
        const QString file = path(QStringLiteral("column.xls"));
        const auto number = [](const char* value, const char* style = "") {
            return QList<Cell>{Cell{{},
                                    QStringLiteral("float"),
                                    QString::fromLatin1(value),
                                    QString::fromLatin1(style)}};
        };
        testfiles::makeWorkbook(file, {{Cell::str(QStringLiteral("证书号"))},
                                       {Cell::str(QStringLiteral("事证001"))},
                                       number("42"),
                                       number("1234.5", "num2"),
                                       {Cell::str(QStringLiteral(" "))},
                                       {Cell::str({})},
                                       {Cell::str(QStringLiteral("后"))}});
        auto app = defaultEngine().createSpreadsheetApplication();
        sheet::Worksheet& sheet = app->GetObject(file).Worksheets(QStringLiteral("Sheet1"));
        const QList<QVariant> values = sheet.ColumnValues(2, 8, 1);
        const QList<QVariant> expected{
            QStringLiteral("事证001"), 42.0,      1234.5,   QStringLiteral(" "), QString(),
            QStringLiteral("后"),      QString(), QString()};
        QCOMPARE(values, expected);
        QCOMPARE(sheet.CellText(4, 1), QStringLiteral("1,234.50")); // what it shows differs

        QCOMPARE(sheet.ColumnValues(1048570, 100, 1).size(), 7);
        QCOMPARE(sheet.ColumnValues(1048577, 5, 1), QList<QVariant>());
        QVERIFY_THROWS_EXCEPTION(Error, sheet.ColumnValues(0, 5, 1));
        app->Quit();
    }

    void otherSpreadsheetFormatsUnderAnXlsName()
    {
        // An HTML table saved as .xls, as some download portals do.
        const QString html = path(QStringLiteral("html.xls"));
        testfiles::writeText(
            html, QStringLiteral("<html><head><meta charset=\"utf-8\"></head><body><table>"
                                 "<tr><td>证书号</td></tr><tr><td>事证第002号</td></tr>"
                                 "</table></body></html>"));
        // Excel 2007 content under the old extension.
        const QString xlsx = path(QStringLiteral("xlsx.xls"));
        testfiles::makeWorkbook(
            path(QStringLiteral("plain.xls")),
            {{Cell::str(QStringLiteral("h"))}, {Cell::str(QStringLiteral("事证第003号"))}});
        convertFile(path(QStringLiteral("plain.xls")), xlsx,
                    QStringLiteral("Calc MS Excel 2007 XML"));
        QCOMPARE(testfiles::leadingBytes(xlsx, 2), QByteArray("PK"));

        auto app = defaultEngine().createSpreadsheetApplication();
        QCOMPARE(app->GetObject(xlsx).Worksheets(QStringLiteral("Sheet1")).CellText(2, 1),
                 QStringLiteral("事证第003号"));
        // The HTML import names its sheet itself; what matters is that it opens
        // as a spreadsheet (GetObject throws otherwise).
        app->GetObject(html);
        app->Quit();
    }

    void htmlTablesReadAsWritten()
    {
        // How web systems mark a cell that must stay text, and what an
        // unmarked cell holds; each with the text the data file must give.
        struct Case
        {
            const char* name;
            const char* cell; // the rest of the row after the name cell
            const char* shown;
        };
        const Case cases[] = {
            {"class", R"(<td class="t">00123</td>)", "00123"},
            {"class, unquoted", R"(<td class="u">00123</td>)", "00123"},
            {"element class", R"(<td class="v">00123</td>)", "00123"},
            {"one of two classes", R"(<td class="plain t">00123</td>)", "00123"},
            {"inline, quoted", R"(<td style="color:red; mso-number-format:'\@'">00123</td>)",
             "00123"},
            {"inline, unquoted", R"(<td style="mso-number-format:\@">00123</td>)", "00123"},
            {"inline, entity quotes", R"(<td style="mso-number-format:&quot;\@&quot;">007</td>)",
             "007"},
            {"x:str", R"(<td x:str>00123</td>)", "00123"},
            {"x:str with value", R"(<td x:str="00123">00123</td>)", "00123"},
            {"grouping", R"(<td>1,200</td>)", "1,200"},
            {"grouping with decimals", R"(<td>-1,234,567.50</td>)", "-1,234,567.50"},
            {"leading zero, unmarked", R"(<td> 00123 </td>)", "00123"},
            {"18 digits, unmarked", R"(<td>110101199003071234</td>)", "110101199003071234"},
            {"18 digits, number format", R"(<td class="n">110101199003071234</td>)",
             "110101199003071234"},
            {"18 digits, inside markup", R"(<td><b>110101199003071234</b></td>)",
             "110101199003071234"},
            {"th", R"(<th style="mso-number-format:'\@'">00123</th>)", "00123"},
            // Read as before.
            {"number", R"(<td>3</td>)", "3"},
            {"decimals", R"(<td>2.50</td>)", "2.5"},
            {"15 digits", R"(<td>123456789012345</td>)", "123456789012345"},
            {"zero", R"(<td>0</td>)", "0"},
            {"number format", R"(<td class="n">3</td>)", "3.00"},
            {"leading zero, number format", R"(<td class="n">0012</td>)", "12.00"},
            {"text", R"(<td>事证第001号</td>)", "事证第001号"},
            {"no digit grouping", R"(<td>1,2000</td>)", "1,2000"},
        };
        QByteArray html = R"(<html xmlns:x="urn:schemas-microsoft-com:office:excel"><head>
<meta http-equiv="Content-Type" content="text/html; charset=utf-8">
<style>
<!-- .t {mso-number-format:"\@";} td.v {mso-number-format:'\@'; color: blue}
/* .n {mso-number-format:"\@";} */ .n {mso-number-format:"0\.00";}
@page {margin:.5in;} -->
</style><style>.u {mso-number-format:\@;}</style></head><body><table>
<tr><td>case</td><td>value</td></tr>
)";
        for (const Case& c : cases)
            html += QByteArray("<tr><td>") + c.name + "</td>" + c.cell + "</tr>\n";
        // A row's text format holds for its cells, unless a cell names another.
        html += R"(<tr style="mso-number-format:'\@'"><td>row</td><td>00123</td>)"
                R"(<td class="n">3</td></tr>)"
                "\n</table></body></html>\n";
        const QString file = path(QStringLiteral("web.xls"));
        testfiles::writeBytes(file, html);

        // A table in the encoding many Chinese web systems write.
        const QString gbk = path(QStringLiteral("gbk.xls"));
        testfiles::writeBytes(
            gbk, "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; "
                 "charset=gbk\"></head><body><table><tr><td>\xD6\xA4\xCA\xE9</td>"
                 "<td style=\"mso-number-format:\\@\">00123</td></tr></table></body></html>");

        // SpreadsheetML 2003 under the same name keeps its own cell types.
        const QString xml = path(QStringLiteral("xml.xls"));
        testfiles::writeText(xml,
                             QStringLiteral(
                                 R"(<?xml version="1.0"?><?mso-application progid="Excel.Sheet"?>
<Workbook xmlns="urn:schemas-microsoft-com:office:spreadsheet"
 xmlns:ss="urn:schemas-microsoft-com:office:spreadsheet">
<Worksheet ss:Name="Sheet1"><Table>
<Row><Cell><Data ss:Type="String">00123</Data></Cell><Cell><Data ss:Type="Number">00123</Data></Cell></Row>
</Table></Worksheet></Workbook>
)"));

        auto app = defaultEngine().createSpreadsheetApplication();
        sheet::Worksheet& sheet = app->GetObject(file).Worksheets(QStringLiteral("Sheet1"));
        QStringList wrong;
        const auto expect = [&](int row, int column, const QString& name, const QString& shown) {
            const QString read = sheet.CellText(row, column);
            if (read != shown)
                wrong << QStringLiteral("%1: %2 instead of %3").arg(name, read, shown);
        };
        int row = 2;
        for (const Case& c : cases) {
            expect(row, 1, QString::fromUtf8(c.name), QString::fromUtf8(c.name));
            expect(row++, 2, QString::fromUtf8(c.name), QString::fromUtf8(c.shown));
        }
        expect(row, 2, QStringLiteral("row"), QStringLiteral("00123"));
        expect(row, 3, QStringLiteral("row, cell format"), QStringLiteral("3.00"));
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join(u'\n')));
        QCOMPARE(testfiles::readBytes(file), html); // the data file itself stays as it was

        sheet::Worksheet& chinese = app->GetObject(gbk).Worksheets(QStringLiteral("Sheet1"));
        QCOMPARE(chinese.CellText(1, 1), QStringLiteral("证书"));
        QCOMPARE(chinese.CellText(1, 2), QStringLiteral("00123"));

        sheet::Worksheet& spreadsheetMl = app->GetObject(xml).Worksheets(QStringLiteral("Sheet1"));
        QCOMPARE(spreadsheetMl.CellText(1, 1), QStringLiteral("00123"));
        QCOMPARE(spreadsheetMl.CellText(1, 2), QStringLiteral("123"));
        app->Quit();
    }

    void badFilesFailClearly()
    {
        QCOMPARE(expectFailure(path(QStringLiteral("absent.xls"))), errc::FileNotFound);

        const QString folder = path(QStringLiteral("folder.xls"));
        QDir().mkpath(folder);
        QCOMPARE(expectFailure(folder), errc::FileNotFound);

        const QString fifo = path(QStringLiteral("fifo.xls"));
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        QCOMPARE(expectFailure(fifo), errc::FileNotFound); // and it did not block

        QByteArray bytes(4096, '\0');
        for (int i = 0; i < bytes.size(); ++i)
            bytes[i] = static_cast<char>((i * 7919 + 13) % 256);
        for (const QByteArray& content : {QByteArray(), bytes}) {
            const QString junk = path(QStringLiteral("junk%1.xls").arg(content.size()));
            testfiles::writeBytes(junk, content);
            QCOMPARE(expectFailure(junk), errc::NotASpreadsheet);
        }

        const QString other = path(QStringLiteral("other.xls"));
        testfiles::makeWorkbook(other, {{Cell::str(QStringLiteral("x"))}}, QStringLiteral("数据"));
        QCOMPARE(expectFailure(other), errc::NoSuchWorksheet);
    }

    void workbookSurvivesAnOfficeRestart()
    {
        const QString file = path(QStringLiteral("restart.xls"));
        testfiles::makeWorkbook(file, {{Cell::str(QStringLiteral("h"))},
                                       {Cell::str(QStringLiteral("第一行"))},
                                       {Cell::str(QStringLiteral("第二行"))}});
        auto app = defaultEngine().createSpreadsheetApplication();
        sheet::Worksheet& sheet = app->GetObject(file).Worksheets(QStringLiteral("Sheet1"));
        QCOMPARE(sheet.CellText(2, 1), QStringLiteral("第一行"));
        const long pid = defaultEngineOfficePid();
        QVERIFY(pid > 0);
        ::kill(static_cast<pid_t>(pid), SIGKILL);
        QTRY_VERIFY(::kill(static_cast<pid_t>(pid), 0) != 0 || defaultEngineOfficePid() != pid);
        // The data is only read: the next read opens it again on a new office.
        QCOMPARE(sheet.CellText(3, 1), QStringLiteral("第二行"));
        QVERIFY(defaultEngineOfficePid() != pid);
        app->Quit();
    }
};

MORVANTA_TEST_MAIN(SpreadsheetTest)
#include "tst_spreadsheet.moc"
