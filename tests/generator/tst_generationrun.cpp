// The batch run over real data files read by the real office: its messages
// and their order, how rows are read, failures that end the run, the batch
// going on past failing fills, and the console's exit status.

#include "certificates.h"
#include "observedengine.h"
#include "recordingview.h"
#include "testmain.h"

#include "common/error.h"
#include "generator/certificatefill.h"
#include "generator/generationrun.h"
#include "office/spreadsheet.h"
#include "printing/runlist.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>

#include <algorithm>
#include <mutex>
#include <sys/stat.h>

using namespace testfiles;
using observed::fillingNumber;
using observed::ObservedEngine;
using paths::TemplateKind;

namespace {

// The default engine on `processes` offices, started afresh.
void usePool(int processes)
{
    office::EngineOptions options;
    options.callDeadline = std::chrono::seconds(20);
    options.processes = processes;
    office::setDefaultEngineOptions(options);
    office::shutdownDefaultEngine();
}

} // namespace

class GenerationRunTest : public QObject
{
    Q_OBJECT

private:
    ObservedEngine engine;
    RecordingView view;
    CertificateRecord record;
    std::mutex filledMutex;
    QMap<QString, CertificateRecord> filled; // what the fills saw, by number
    const QString duplicate = paths::templateFile(TemplateKind::Duplicate);
    QByteArray duplicateBytes;

    // Fills that only say what they were given, with a fresh MatchCase each.
    GenerationCallbacks recordingFills()
    {
        auto fill = [this](const QString& kind) {
            return [this, kind](const CertificateRecord& values, RunView& messages,
                                bool& matchCase) -> std::int16_t {
                messages.showMessage(
                    QStringLiteral("fill %1 %2%3")
                        .arg(kind, values.zhengshuhao,
                             matchCase ? QStringLiteral(" MatchCase") : QString()));
                matchCase = true;
                std::lock_guard lock(filledMutex);
                filled[values.zhengshuhao] = values;
                return 1;
            };
        };
        return {fill(QStringLiteral("正本")), fill(QStringLiteral("副本"))};
    }

    GenerationCallbacks realFills()
    {
        auto fill = [this](TemplateKind kind) {
            return
                [this, kind](const CertificateRecord& values, RunView& messages, bool& matchCase) {
                    fillingNumber = values.zhengshuhao;
                    return fillCertificate(engine, messages, values, kind, matchCase);
                };
        };
        return {fill(TemplateKind::Original), fill(TemplateKind::Duplicate)};
    }

    GenerationEnd run(const GenerationCallbacks& fills)
    {
        return runGeneration(engine, view, record, fills);
    }

    // The run list as "number kind" lines.
    static QStringList listedDocuments()
    {
        const printing::RunList list = printing::readRunList();
        QStringList lines = list.problems;
        for (const printing::DocumentRef& d : list.documents)
            lines << d.certificate + u' ' + paths::kindName(d.kind);
        return lines;
    }

private slots:
    void initTestCase()
    {
        makeTemplates();
        duplicateBytes = readBytes(duplicate);
    }

    void init()
    {
        view = RecordingView();
        engine.killFor.clear();
        engine.mostAtOnce = 0;
        engine.closedOnWindowThread = false;
        filled.clear();
        QFile::remove(paths::dataFile()); // a file or a FIFO
        QDir().rmdir(paths::dataFile());
        emptyOutputFolder();
    }

    void cleanup()
    {
        writeBytes(duplicate, duplicateBytes); // the fills' failures remove it
        // A hung office would leave the windows undrawn, on every path.
        QVERIFY(!engine.closedOnWindowThread);
    }

    // No usable data file, or no data in row 2 (later rows do not count):
    // the run says so and keeps the file.
    void nothingToPrint_data()
    {
        QTest::addColumn<QString>("inPlace");
        QTest::newRow("nothing") << "";
        QTest::newRow("a folder") << "folder";
        QTest::newRow("a FIFO") << "fifo";
        QTest::newRow("row two empty") << "row3";
    }

    void nothingToPrint()
    {
        QFETCH(QString, inPlace);
        QStringList expected{"hide", "message 未找到下载文件", "show"};
        GenerationEnd end = GenerationEnd::NoDataFile;
        if (inPlace == QStringLiteral("folder"))
            QVERIFY(QDir().mkdir(paths::dataFile()));
        if (inPlace == QStringLiteral("fifo"))
            QCOMPARE(::mkfifo(QFile::encodeName(paths::dataFile()).constData(), 0600), 0);
        if (inPlace == QStringLiteral("row3")) {
            makeDataFile(QList<QStringList>{{QString(), QStringLiteral("有效期")}, dataRow("A3")});
            expected = {"hide", "wait", "unload", "message 没有下载数据可打印，请重新下载数据！",
                        "show"};
            end = GenerationEnd::NoData;
        }
        const bool file = inPlace == QStringLiteral("row3"); // a FIFO would block reading
        const QByteArray before = file ? readBytes(paths::dataFile()) : QByteArray();
        QCOMPARE(run(recordingFills()), end);
        QCOMPARE(view.log, expected);
        QCOMPARE(file ? readBytes(paths::dataFile()) : QByteArray(), before);
    }

    void completeRunInOrder()
    {
        makeDataFile(QList<QStringList>{dataRow("A2"),
                                        dataRow("A3"),
                                        dataRow("A4"),
                                        {QString(), QStringLiteral("第五行只有第二列")},
                                        dataRow("A6")});
        QCOMPARE(run(recordingFills()), GenerationEnd::Completed);

        QStringList expected{"hide", "wait"};
        const QStringList numbers{"A2", "A3", "A4"};
        for (int i = 0; i < numbers.size(); ++i)
            expected << "wait" << QStringLiteral("progress %1/3").arg(i)
                     << "message fill 正本 " + numbers[i] << "message fill 副本 " + numbers[i];
        expected << "progress 3/3"
                 << "unload"
                 << "message " + completionMessage() << "show";
        QCOMPARE(view.log, expected);
        QVERIFY(!QFileInfo::exists(paths::dataFile()));
        QCOMPARE(recordTexts(record), dataRow("A4")); // the last row stays in the record
        QCOMPARE(listedDocuments(),
                 (QStringList{"A2 正本", "A2 副本", "A3 正本", "A3 副本", "A4 正本", "A4 副本"}));
    }

    // The rows end at the first empty first cell past a block of the count; a
    // cell holding a space is data, and rows after the end are not counted.
    void rowsAreCountedByBlocks()
    {
        constexpr int end = DataRowCounter::block + 50; // the sheet row that ends the data
        QList<QStringList> rows;
        for (int row = 2; row <= end + 400; ++row)
            rows << QStringList{row == end ? QString() : QStringLiteral("R%1").arg(row)};
        rows[1000 - 2] = QStringList{QStringLiteral(" ")};
        makeDataFile(rows);
        auto excel = office::defaultEngine().createSpreadsheetApplication();
        office::sheet::Worksheet& sheet =
            excel->GetObject(paths::dataFile()).Worksheets(QStringLiteral("Sheet1"));
        DataRowCounter counter(sheet);
        int reads = 1;
        while (!counter.step())
            ++reads;
        QCOMPARE(counter.rows(), end - 2);
        QCOMPARE(reads, 2);

        // An empty first data row is no data, whatever follows.
        makeDataFile(QList<QStringList>{{QString()}, {QStringLiteral("R3")}});
        office::sheet::Worksheet& empty =
            excel->GetObject(paths::dataFile()).Worksheets(QStringLiteral("Sheet1"));
        DataRowCounter none(empty);
        QVERIFY(none.step());
        QCOMPARE(none.rows(), 0);
        excel->Quit();
    }

    // Values arrive as the sheet shows them, untouched; the tenth column is not read.
    void cellsAreReadAsDisplayed()
    {
        QStringList row{"B2", "𠀀𠀁𪚥有限公司", "  东城区  ", "", " ", "^p.*", "12.50%", "第九列"};
        row.insert(2, textOfLength(QStringLiteral("开展康复医学研究与培训。"), 5000));
        makeDataFile(QList<QStringList>{row + QStringList{"第十列不读"}});
        run(recordingFills());
        QCOMPARE(recordTexts(filled.value(QStringLiteral("B2"))), row);
    }

    void failureEndsTheRun_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("empty file") << "empty";
        QTest::newRow("no worksheet Sheet1") << "nosheet";
        QTest::newRow("a fill lets a failure escape") << "fill";
    }

    // The run ends with the failure, thrown on once the workbook is closed:
    // nothing further generated, the main window stays hidden for the
    // program's failure handling, the file stays.
    void failureEndsTheRun()
    {
        QFETCH(QString, kind);
        writeBytes(paths::dataFile(), QByteArray());
        if (kind == QStringLiteral("nosheet"))
            makeWorkbook(paths::dataFile(), {textRow(dataRow("D2"))}, QStringLiteral("数据"));
        GenerationCallbacks fills = recordingFills();
        QStringList expected{"hide", "wait"};
        if (kind == QStringLiteral("fill")) {
            makeDataFile(QList<QStringList>{dataRow("D2"), dataRow("D3")});
            fills.WordReplace_fuben = [](const CertificateRecord&, RunView&,
                                         bool&) -> std::int16_t {
                throw morvanta::Error(morvanta::errc::WriteFailed, QStringLiteral("写入失败"));
            };
            expected << "wait"
                     << "progress 0/2"
                     << "message fill 正本 D2";
        }
        const QByteArray before = readBytes(paths::dataFile());

        int failure = 0;
        try {
            run(fills);
        } catch (const morvanta::Error& error) {
            failure = error.number();
            QVERIFY2(!error.description().isEmpty(), qPrintable(error.message()));
        }
        QVERIFY2(failure != 0, qPrintable(view.log.join(u'|')));
        if (kind == QStringLiteral("nosheet"))
            QCOMPARE(failure, morvanta::errc::NoSuchWorksheet);
        if (kind == QStringLiteral("fill"))
            QCOMPARE(failure, morvanta::errc::WriteFailed);
        QCOMPARE(view.log, expected);
        QCOMPARE(readBytes(paths::dataFile()), before);
    }

    // The data file vanishing during the run is what its deletion at the end wants.
    void dataFileGoneBeforeItsDeletion()
    {
        makeDataFile(QList<QStringList>{dataRow("E2")});
        GenerationCallbacks fills = recordingFills();
        fills.WordReplace_fuben = [](const CertificateRecord&, RunView&, bool&) -> std::int16_t {
            QFile::remove(paths::dataFile());
            return 1;
        };
        QCOMPARE(run(fills), GenerationEnd::Completed);
        QCOMPARE(view.log.mid(view.log.size() - 2),
                 (QStringList{"message " + completionMessage(), "show"}));
    }

    // The office dies under one fill: that fill alone reports it, the office is
    // replaced and every other document is generated.
    void officeKilledInTheMiddleOfABatch_data()
    {
        QTest::addColumn<int>("processes");
        QTest::newRow("one office") << 1;
        QTest::newRow("two offices") << 2;
    }

    void officeKilledInTheMiddleOfABatch()
    {
        QFETCH(int, processes);
        usePool(processes);
        makeDataFile(
            QList<QStringList>{dataRow("G2"), dataRow("G3"), dataRow("G4"), dataRow("G5")});
        engine.killFor = QStringLiteral("G3 ") + paths::templateFile(TemplateKind::Original);
        const QByteArray data = readBytes(paths::dataFile());
        QCOMPARE(run(realFills()), GenerationEnd::Incomplete);

        // The data file is the only copy of the missing certificate's row: it
        // stays, and the last message says so.
        QVERIFY2(view.messages.size() == 3, qPrintable(view.messages.join(u'|')));
        QVERIFY2(view.messages[0].startsWith(QString::number(morvanta::errc::OfficeGone) + u':'),
                 qPrintable(view.messages[0]));
        QCOMPARE(view.messages[1], completionMessage());
        QCOMPARE(view.messages[2], QStringLiteral("有 1 份证书未能生成，下载数据文件已保留。"));
        QCOMPARE(view.log.last(), QStringLiteral("show"));
        QCOMPARE(readBytes(paths::dataFile()), data);
        QCOMPARE(
            filesBelow(paths::outputDir()),
            (QStringList{".morvanta-run", "G2（副本）.doc", "G2（正本）.doc", "G3（副本）.doc",
                         "G4（副本）.doc", "G4（正本）.doc", "G5（副本）.doc", "G5（正本）.doc"}));
        QCOMPARE(listedDocuments(), (QStringList{"G2 正本", "G2 副本", "G3 副本", "G4 正本",
                                                 "G4 副本", "G5 正本", "G5 副本"}));
        QVERIFY(SavedDocument(paths::outputDir() + QStringLiteral("G5（正本）.doc"))
                    .contains(QStringLiteral("青山市G5号康复中心")));
    }

    // A run on two offices makes and says what a run on one does: the same
    // documents with the same values at the same sizes, and, with fills failing
    // in several rows for different reasons, the same messages in the same order.
    void twoOfficesAsOne()
    {
        const auto longRow = [](const QString& number, int length) {
            QStringList row = dataRow(number);
            row[2] = textOfLength(number + QStringLiteral("市公共卫生与康复医学研究中心"), length);
            row[3] =
                textOfLength(number + QStringLiteral("开展康复医学研究、培训与咨询。"), length * 4);
            row[4] = textOfLength(number + QStringLiteral("市东城区解放路一百号综合楼"), length);
            return row;
        };
        // L1 twice: the later row's documents are the ones that stay.
        QStringList againL1 = dataRow("L1");
        againL1[2] = QStringLiteral("青山市L1号第二康复中心");
        const QList<QStringList> values{dataRow("L1"), againL1, longRow("L2", 30),
                                        longRow("L3", 50)};
        QList<QStringList> failing{dataRow("M1"), dataRow("M2/3"), dataRow("M3")};
        failing[2][2] = QStringLiteral("青山市单位名称研究所"); // holds its own placeholder

        QStringList documents[2];
        QStringList messages[2];
        for (int processes : {1, 2}) {
            usePool(processes);
            init();
            makeDataFile(values);
            QCOMPARE(run(realFills()), GenerationEnd::Completed);
            QCOMPARE(engine.mostAtOnce, processes); // the pool is used, and no more
            QCOMPARE(recordTexts(record), values.last());
            for (const QStringList& row : values) {
                // Longest first: reading blanks what was found, and shorter
                // values occur inside longer ones.
                QStringList byLength = row;
                std::stable_sort(
                    byLength.begin(), byLength.end(),
                    [](const QString& a, const QString& b) { return a.size() > b.size(); });
                for (const char* kind : {"（正本）.doc", "（副本）.doc"}) {
                    SavedDocument saved(paths::outputDir() + row[0] + QString::fromUtf8(kind));
                    for (const QString& value : byLength) {
                        QStringList sizes;
                        for (float size : saved.sizesOf(value))
                            sizes << QString::number(size);
                        documents[processes - 1]
                            << row[0] + kind + u' ' + value.left(8) + u' ' + sizes.join(u',');
                    }
                }
            }

            init();
            QVERIFY(QFile::remove(duplicate));
            makeDataFile(failing);
            QCOMPARE(run(realFills()), GenerationEnd::Incomplete);
            cleanup();
            messages[processes - 1] = view.log;
        }
        QCOMPARE(documents[1], documents[0]);
        for (const char* kind : {"（正本）.doc", "（副本）.doc"}) {
            const QString prefix = QStringLiteral("L1") + QString::fromUtf8(kind) + u' ';
            const QString laterName = prefix + againL1[2].left(8) + u' ';
            const QString earlierName = prefix + dataRow("L1")[2].left(8) + u' ';
            QVERIFY2(documents[0].contains(earlierName), qPrintable(documents[0].join(u'\n')));
            QVERIFY2(documents[0].filter(laterName).value(0).size() > laterName.size(),
                     qPrintable(documents[0].join(u'\n')));
        }
        // The long values were found, and shrunk (the scope of the long duplicate to 5 pt).
        QVERIFY2(documents[0].contains(QStringLiteral("L3（副本）.doc L3开展康复医学 5")),
                 qPrintable(documents[0].join(u'\n')));
        QCOMPARE(messages[1], messages[0]);
        QStringList shown; // each message by its number, or its text
        for (const QString& line :
             messages[0].filter(QRegularExpression(QStringLiteral("^message "))))
            shown << line.mid(8).section(u':', 0, 0).left(12);
        QCOMPARE(shown, (QStringList{
                            "未找到该文件", "75", "未找到该文件", "6", "未找到该文件",
                            completionMessage().left(12),
                            QStringLiteral("有 3 份证书未能生成，下载数据文件已保留。").left(12)}));
    }

    // A console run whose fills failed does not pass for a success.
    void consoleExitStatusAfterFailedFills()
    {
        makeDataFile(QList<QStringList>{{QStringLiteral("H4"), QStringLiteral("长期")}});
        QVERIFY(QFile::remove(duplicate));
        office::shutdownDefaultEngine(); // the console starts an office of its own
        QProcess console;
        console.start(QStringLiteral(MORVANTA_CONSOLE_PATH), QStringList());
        QVERIFY(console.waitForFinished(150000));
        const QString out = QString::fromUtf8(console.readAllStandardOutput());
        QCOMPARE(console.exitCode(), 3);
        QVERIFY2(out.endsWith(QStringLiteral("有 1 份证书未能生成，下载数据文件已保留。\n")),
                 qPrintable(out));
        QVERIFY(QFileInfo::exists(paths::dataFile()));
    }
};

MORVANTA_TEST_MAIN(GenerationRunTest)
#include "tst_generationrun.moc"
