// Reads the built default templates and sample data through the office layer,
// as the programs do, and checks what the generator and the margin program
// rely on: every placeholder exactly once, base sizes above the sizes long
// values are reduced to, margins the margin program accepts, and data rows
// that are safe to fill.

#include "common/error.h"
#include "office/engine.h"
#include "office/units.h"
#include "office/word.h"

#include <QSet>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using namespace office;
using namespace morvanta;

namespace {

const QString builtDir = QStringLiteral(MORVANTA_BUILD_DIR "/templates/");

const QStringList placeholders = {
    QStringLiteral("证书号"),         QStringLiteral("证书有效期"), QStringLiteral("单位名称"),
    QStringLiteral("宗旨和业务范围"), QStringLiteral("住所"),       QStringLiteral("法定代表人"),
    QStringLiteral("经费来源"),       QStringLiteral("开办资金"),   QStringLiteral("举办单位")};

// The first size each long-value rule reduces to, per placeholder.
using FirstReduction = QHash<QString, float>;

struct Placement
{
    int occurrences = 0;
    float size = 0;
};

// Replaces every occurrence of the placeholder the way the fill does and
// reads the size that the template gives the inserted text.
Placement place(word::Document& document, const QString& placeholder)
{
    std::unique_ptr<word::Range> range = document.Range(0, 1);
    range->Select();
    Placement placement;
    const word::ExecuteArgs args{.FindText = placeholder,
                                 .MatchCase = false,
                                 .Wrap = word::wdFindContinue,
                                 .ReplaceWith = QStringLiteral("〇"),
                                 .Replace = true};
    while (placement.occurrences < 10 && range->Find().Execute(args)) {
        ++placement.occurrences;
        placement.size = range->Font().Size();
    }
    return placement;
}

// Runs a test body and reports an office failure as a test failure, with the
// office's own message, instead of ending the test program.
template <typename Body> void reportingOfficeErrors(Body body)
{
    try {
        body();
    } catch (const Error& error) {
        QFAIL(qPrintable(error.message()));
    }
}

} // namespace

class DefaultFilesTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        EngineOptions options;
        options.callDeadline = std::chrono::seconds(60);
        setDefaultEngineOptions(options);
    }

    void cleanupTestCase() { shutdownDefaultEngine(); }

    void templateHoldsEachPlaceholderOnce_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<float>("marginLimitCm");
        QTest::addColumn<FirstReduction>("reduced");
        QTest::newRow("original") << QStringLiteral("正本.doc") << 10.0f
                                  << FirstReduction{{placeholders[2], 16},
                                                    {placeholders[3], 8},
                                                    {placeholders[4], 14}};
        QTest::newRow("duplicate")
            << QStringLiteral("副本.doc") << 5.0f
            << FirstReduction{{placeholders[2], 9}, {placeholders[3], 7}, {placeholders[4], 9}};
    }

    void templateHoldsEachPlaceholderOnce()
    {
        QFETCH(QString, file);
        QFETCH(float, marginLimitCm);
        QFETCH(FirstReduction, reduced);
        reportingOfficeErrors([&] {
            std::unique_ptr<word::Application> app = defaultEngine().createWordApplication();
            app->SetVisible(false);
            word::Document& document = app->Documents().Open(builtDir + file, true);

            for (const QString& placeholder : placeholders) {
                const Placement placement = place(document, placeholder);
                const QString where = QStringLiteral("%1: %2 times at %3 pt")
                                          .arg(placeholder)
                                          .arg(placement.occurrences)
                                          .arg(placement.size);
                QVERIFY2(placement.occurrences == 1, qPrintable(where));
                // Above what long values are reduced to, so reducing never enlarges.
                QVERIFY2(placement.size >= 9 && placement.size > reduced.value(placeholder),
                         qPrintable(where));
            }

            word::PageSetup& page = document.PageSetup();
            for (const float margin :
                 {page.TopMargin(), page.BottomMargin(), page.LeftMargin(), page.RightMargin()}) {
                const float cm = pointsToCentimeters(margin);
                QVERIFY2(cm > 0 && cm <= marginLimitCm, qPrintable(QString::number(cm)));
            }
            document.Close();
            app->Quit();
        });
    }

    // Unique numbers (each names its own output files) and values holding
    // no placeholder the fill would replace again.
    void sampleData()
    {
        reportingOfficeErrors([&] {
            std::unique_ptr<sheet::Application> app =
                defaultEngine().createSpreadsheetApplication();
            sheet::Worksheet& sheet = app->GetObject(builtDir + QStringLiteral("down.xls"))
                                          .Worksheets(QStringLiteral("Sheet1"));
            for (int column = 1; column <= 9; ++column)
                QCOMPARE(sheet.CellText(1, column), placeholders[column - 1]);

            QSet<QString> numbers;
            int row = 2;
            for (; !sheet.CellText(row, 1).isEmpty(); ++row) {
                const QString where = QStringLiteral("row %1: ").arg(row);
                const QString number = sheet.CellText(row, 1);
                QVERIFY2(!numbers.contains(number), qPrintable(where + number));
                numbers.insert(number);
                for (int column = 1; column <= 9; ++column) {
                    const QString value = sheet.CellText(row, column);
                    QVERIFY2(!value.isEmpty(), qPrintable(where + QString::number(column)));
                    for (int later = column; later <= 9; ++later)
                        QVERIFY2(!value.contains(placeholders[later - 1]),
                                 qPrintable(where + placeholders[later - 1]));
                }
            }
            QVERIFY2(row > 2, "no sample rows");
            app->Quit();
        });
    }
};

int main(int argc, char* argv[])
{
    // Nothing may touch the operator's folder or office profile.
    QTemporaryDir home;
    qputenv("HOME", home.path().toLocal8Bit());
    QCoreApplication app(argc, argv);
    DefaultFilesTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "default_files_test.moc"
