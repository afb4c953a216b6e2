// Where the data rows end, on sheets the real office would take minutes to
// fill or that a test file cannot easily hold: a sheet filled to its last
// row, and cells whose value and displayed text disagree.

#include "certificates.h"
#include "recordingview.h"
#include "testmain.h"

#include "common/error.h"
#include "generator/generationrun.h"
#include "office/spreadsheet.h"

#include <QFile>
#include <QMap>

#include <algorithm>

using namespace testfiles;

namespace {

constexpr int lastRow = 1048576;

struct FakeCell
{
    QVariant value; // what a block read gives
    QString text;   // what the cell shows
};

// Column 1 of "Sheet1" in memory; the other columns show "c<column>".
class FakeSheetEngine : public office::Engine,
                        public office::sheet::Application,
                        public office::sheet::Workbook,
                        public office::sheet::Worksheet
{
public:
    QMap<int, FakeCell> cells; // by row; a row not here is empty
    bool filledToTheEnd = false;
    int blockReads = 0;

    FakeCell cell(int row) const
    {
        if (filledToTheEnd && row >= 2)
            return {QStringLiteral("R"), QStringLiteral("R")};
        return cells.value(row, FakeCell{QString(), QString()});
    }

    std::unique_ptr<office::word::Application> createWordApplication() override
    {
        throw morvanta::Error(morvanta::errc::OfficeFailure, QStringLiteral("没有文字处理"));
    }
    std::unique_ptr<office::sheet::Application> createSpreadsheetApplication() override
    {
        struct Handle : office::sheet::Application
        {
            FakeSheetEngine& e;
            explicit Handle(FakeSheetEngine& engine) : e(engine) {}
            office::sheet::Workbook& GetObject(const QString& path) override
            {
                return e.GetObject(path);
            }
            void Quit() override {}
        };
        return std::make_unique<Handle>(*this);
    }
    office::sheet::Workbook& GetObject(const QString&) override { return *this; }
    void Quit() override {}
    office::sheet::Worksheet& Worksheets(const QString&) override { return *this; }
    QString CellText(int row, int column) override
    {
        if (row < 1 || row > lastRow)
            throw morvanta::Error(morvanta::errc::InvalidValue, QStringLiteral("位置无效"));
        return column == 1 ? cell(row).text : QStringLiteral("c%1").arg(column);
    }
    QList<QVariant> ColumnValues(int firstRow, int count, int column) override
    {
        ++blockReads;
        QList<QVariant> values;
        for (int row = firstRow; row < firstRow + count && row <= lastRow; ++row)
            values << (column == 1 ? cell(row).value : QVariant(QString()));
        return values;
    }
};

} // namespace

class RowCountTest : public QObject
{
    Q_OBJECT

private slots:
    // Data down to the sheet's last row ends with the sheet, a block at a time.
    void sheetFilledToItsLastRow()
    {
        FakeSheetEngine sheet;
        sheet.filledToTheEnd = true;
        DataRowCounter counter(sheet);
        int steps = 1;
        while (!counter.step())
            ++steps;
        QCOMPARE(counter.rows(), lastRow - 1);
        QCOMPARE(steps, (lastRow - 1 + DataRowCounter::block - 1) / DataRowCounter::block);
        QCOMPARE(sheet.blockReads, steps);
    }

    // An empty value whose cell shows text is data; a value that the cell
    // shows as nothing ends the data when its row is read, and the run
    // completes over the rows before it.
    void displayedTextDecides()
    {
        FakeSheetEngine sheet;
        sheet.cells[2] = {QStringLiteral("A2"), QStringLiteral("A2")};
        sheet.cells[3] = {QString(), QStringLiteral("A3")};
        sheet.cells[4] = {5.0, QString()};
        sheet.cells[5] = {QStringLiteral("A5"), QStringLiteral("A5")};

        DataRowCounter counter(sheet);
        QVERIFY(counter.step());
        QCOMPARE(counter.rows(), 4); // the count goes by values: rows 2 to 5

        makeDataFile(QList<QStringList>{dataRow("X2")}); // only its existence counts
        QStringList filled;
        const auto fill = [&filled](const QString& kind) {
            return
                [&filled, kind](const CertificateRecord& values, RunView&, bool&) -> std::int16_t {
                    filled << values.zhengshuhao + u' ' + kind;
                    return 1;
                };
        };
        RecordingView view;
        CertificateRecord record;
        QCOMPARE(runGeneration(sheet, view, record,
                               {fill(QStringLiteral("正本")), fill(QStringLiteral("副本"))}),
                 GenerationEnd::Completed);
        std::sort(filled.begin(), filled.end());
        QCOMPARE(filled, (QStringList{"A2 副本", "A2 正本", "A3 副本", "A3 正本"}));
        QCOMPARE(record.zhengshuhao, QStringLiteral("A3"));
        QCOMPARE(view.messages, QStringList{completionMessage()});
        QVERIFY(view.log.contains(QStringLiteral("progress 2/2")));
        QVERIFY(!QFile::exists(paths::dataFile()));
    }
};

MORVANTA_TEST_MAIN(RowCountTest)
#include "tst_rowcount.moc"
