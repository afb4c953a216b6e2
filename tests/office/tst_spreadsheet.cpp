// Reading the data file through the real office: displayed cell text as a
// Simplified Chinese desktop shows it, formats told apart by content, and
// clear failures.

#include "testfiles.h"
#include "testmain.h"

#include "office/engine.h"
#include "common/error.h"

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
