// The batch run over real data files read by the real office: the three
// paths, their messages and the order of what the operator sees, which rows
// are read and how, bad data files, the batch going on past failing fills;
// and the console front end running the same over the same files.

#include "certificates.h"
#include "recordingview.h"
#include "testmain.h"

#include "generator/certificatefill.h"
#include "generator/generationrun.h"
#include "office/error.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>
#include <csignal>
#include <mutex>
#include <sys/stat.h>

using namespace testfiles;
using paths::TemplateKind;

namespace {

const QString noFileMessage = QStringLiteral("未找到下载文件");
const QString noDataMessage = QStringLiteral("没有下载数据可打印，请重新下载数据！");

// The certificate number of the row a fill on this thread works on, set by
// the test's fills, so that the office can be killed under a chosen document.
thread_local QString fillingNumber;

// The default engine, with the spreadsheet's start and quit written into the
// run's log; it notes how many word sessions were open at once and on which
// offices, and kills the office of a chosen fill right after it opened its template.
class ObservedEngine : public office::Engine
{
public:
    QStringList* log = nullptr;
    QString killFor; // "<number> <template path>": the fill whose office dies

    std::mutex mutex;
    int openSessions = 0;
    int mostAtOnce = 0;
    QSet<long> offices; // every office a document was opened on

    std::unique_ptr<office::word::Application> createWordApplication() override;
    std::unique_ptr<office::sheet::Application> createSpreadsheetApplication() override;
    int parallelSessions() override { return office::defaultEngine().parallelSessions(); }

    void reset()
    {
        killFor.clear();
        openSessions = mostAtOnce = 0;
        offices.clear();
    }
};

class ObservedSheets : public office::sheet::Application
{
public:
    ObservedSheets(std::unique_ptr<office::sheet::Application> inner, QStringList* log)
        : inner_(std::move(inner)), log_(log)
    {
    }
    office::sheet::Workbook& GetObject(const QString& path) override
    {
        return inner_->GetObject(path);
    }
    void Quit() override
    {
        *log_ << QStringLiteral("spreadsheet quit");
        inner_->Quit();
    }

private:
    std::unique_ptr<office::sheet::Application> inner_;
    QStringList* log_;
};

class ObservedWord : public office::word::Application, public office::word::Documents
{
public:
    ObservedWord(std::unique_ptr<office::word::Application> inner, ObservedEngine& engine)
        : inner_(std::move(inner)), engine_(engine)
    {
        std::lock_guard lock(engine_.mutex);
        engine_.mostAtOnce = std::max(engine_.mostAtOnce, ++engine_.openSessions);
    }
    ~ObservedWord() override
    {
        std::lock_guard lock(engine_.mutex);
        --engine_.openSessions;
    }
    void SetVisible(bool visible) override { inner_->SetVisible(visible); }
    bool Visible() override { return inner_->Visible(); }
    office::word::Documents& Documents() override { return *this; }
    office::word::Document& Open(const QString& fileName, bool readOnly) override
    {
        office::word::Document& document = inner_->Documents().Open(fileName, readOnly);
        const long pid = office::officePidOf(*inner_);
        {
            std::lock_guard lock(engine_.mutex);
            engine_.offices << pid;
        }
        if (engine_.killFor == fillingNumber + u' ' + fileName)
            ::kill(static_cast<pid_t>(pid), SIGKILL);
        return document;
    }
    office::word::Document& ActiveDocument() override { return inner_->ActiveDocument(); }
    float PointsToCentimeters(float p) override { return inner_->PointsToCentimeters(p); }
    float CentimetersToPoints(float c) override { return inner_->CentimetersToPoints(c); }
    void Quit() override { inner_->Quit(); }

private:
    std::unique_ptr<office::word::Application> inner_;
    ObservedEngine& engine_;
};

std::unique_ptr<office::word::Application> ObservedEngine::createWordApplication()
{
    return std::make_unique<ObservedWord>(office::defaultEngine().createWordApplication(), *this);
}

std::unique_ptr<office::sheet::Application> ObservedEngine::createSpreadsheetApplication()
{
    *log << QStringLiteral("spreadsheet start");
    return std::make_unique<ObservedSheets>(office::defaultEngine().createSpreadsheetApplication(),
                                            log);
}

// The default engine on `processes` offices, started afresh.
void usePool(int processes)
{
    office::EngineOptions options;
    options.callDeadline = std::chrono::seconds(20);
    options.processes = processes;
    office::setDefaultEngineOptions(options);
    office::shutdownDefaultEngine();
}

bool processGone(long pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    return !stat.open(QIODevice::ReadOnly) || stat.readAll().contains(") Z ");
}

struct ConsoleRun
{
    int exitCode = -1;
    QString out;
    QString err;
};

ConsoleRun runConsole()
{
    QProcess process;
    process.start(QStringLiteral(MORVANTA_CONSOLE_PATH), QStringList());
    if (!process.waitForFinished(150000))
        process.kill();
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
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
    QMap<QString, CertificateRecord> filled; // what the original fill saw, by number

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
                if (kind == QStringLiteral("正本")) {
                    std::lock_guard lock(filledMutex);
                    filled[values.zhengshuhao] = values;
                }
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

    void run(const GenerationCallbacks& fills) { runGeneration(engine, view, record, fills); }

private slots:
    void initTestCase() { makeTemplates(); }

    void init()
    {
        view = RecordingView();
        engine.log = &view.log;
        engine.reset();
        filled.clear();
        QFile::remove(paths::dataFile()); // a file or a FIFO
        QDir().rmdir(paths::dataFile());
        emptyOutputFolder();
    }

    void missingDataFile_data()
    {
        QTest::addColumn<QString>("inPlace");
        QTest::newRow("nothing") << "";
        QTest::newRow("a folder") << "folder";
        QTest::newRow("a FIFO") << "fifo";
    }

    void missingDataFile()
    {
        QFETCH(QString, inPlace);
        const QByteArray path = QFile::encodeName(paths::dataFile());
        if (inPlace == QStringLiteral("folder"))
            QVERIFY(QDir().mkdir(paths::dataFile()));
        if (inPlace == QStringLiteral("fifo"))
            QCOMPARE(::mkfifo(path.constData(), 0600), 0);
        run(recordingFills());
        QCOMPARE(view.log, (QStringList{"hide", "message " + noFileMessage, "show"}));
    }

    // Row 2 decides: later rows do not count, and the file is kept.
    void noDataInRowTwo()
    {
        makeDataFile(QList<QStringList>{{QString(), QStringLiteral("有效期")}, dataRow("A3")});
        const QByteArray before = readBytes(paths::dataFile());
        run(recordingFills());
        QCOMPARE(view.log, (QStringList{"hide", "wait", "spreadsheet start", "unload",
                                        "message " + noDataMessage, "show", "spreadsheet quit"}));
        QCOMPARE(readBytes(paths::dataFile()), before);
    }

    void completeRunInOrder()
    {
        makeDataFile(QList<QStringList>{dataRow("A2"),
                                        dataRow("A3"),
                                        dataRow("A4"),
                                        {QString(), QStringLiteral("第五行只有第二列")},
                                        dataRow("A6")});
        run(recordingFills());

        QStringList expected{"hide", "wait", "spreadsheet start"};
        const QStringList numbers{"A2", "A3", "A4"};
        for (int i = 0; i < numbers.size(); ++i)
            expected << "wait" << QStringLiteral("progress %1/3").arg(i)
                     << "message fill 正本 " + numbers[i] << "message fill 副本 " + numbers[i];
        expected << "progress 3/3"
                 << "unload"
                 << "message " + completionMessage() << "show"
                 << "spreadsheet quit";
        QCOMPARE(view.log, expected);
        QVERIFY(!QFileInfo::exists(paths::dataFile()));
        QCOMPARE(recordTexts(record), dataRow("A4")); // the last row stays in the record
    }

    // Values arrive as the sheet shows them, untouched.
    void cellsAreReadAsDisplayed()
    {
        const QString longText = textOfLength(QStringLiteral("开展康复医学研究与培训。"), 5000);
        const QString outsideBmp = QStringLiteral("𠀀𠀁𪚥有限公司");
        const auto typed = [](const char* type, const char* value, const char* style) {
            return Cell{{},
                        QString::fromLatin1(type),
                        QString::fromLatin1(value),
                        QString::fromLatin1(style)};
        };
        makeDataFile(QList<QList<Cell>>{
            textRow({QStringLiteral("B2")})
                << typed("date", "2031-05-31", "date_cn") << Cell::str(outsideBmp)
                << Cell::str(longText) << Cell::str(QStringLiteral("  东城区  ")) << Cell()
                << typed("percentage", "0.125", "pct") << typed("float", "1234567.5", "num2")
                << Cell::str(QStringLiteral("^p.*")) << Cell::str(QStringLiteral("第十列不读")),
            textRow({QStringLiteral(" ")}), // a space is data; the rest empty
            {typed("float", "440000000123", "num2")},
        });
        run(recordingFills());

        QCOMPARE(filled.size(), 3);
        QCOMPARE(recordTexts(filled[QStringLiteral("B2")]),
                 (QStringList{"B2", "2031年5月31日", outsideBmp, longText, "  东城区  ", "",
                              "12.50%", "1,234,567.50", "^p.*"}));
        QCOMPARE(recordTexts(filled[QStringLiteral(" ")]),
                 (QStringList{" ", "", "", "", "", "", "", "", ""}));
        QVERIFY(filled.contains(QStringLiteral("440,000,000,123.00")));
    }

    // A long file: every row is counted before the first fill and reported.
    void longFileProgress()
    {
        constexpr int rows = 1000;
        QList<QStringList> data;
        for (int i = 0; i < rows; ++i)
            data << QStringList{QStringLiteral("C%1").arg(i), QStringLiteral("x")};
        makeDataFile(data);
        run(recordingFills());

        QCOMPARE(filled.size(), rows);
        const QStringList progress =
            view.log.filter(QRegularExpression(QStringLiteral("^progress ")));
        QCOMPARE(progress.size(), rows + 1);
        QCOMPARE(progress.first(), QStringLiteral("progress 0/%1").arg(rows));
        QCOMPARE(progress.last(), QStringLiteral("progress %1/%1").arg(rows));
        QVERIFY(filled.contains(QStringLiteral("C%1").arg(rows - 1)));
    }

    void unreadableDataFile_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("empty file") << "empty";
        QTest::newRow("random bytes") << "random";
        QTest::newRow("no worksheet Sheet1") << "nosheet";
    }

    // The run ends with the failure: nothing generated, the main window stays
    // hidden for the program's failure handling, the file stays.
    void unreadableDataFile()
    {
        QFETCH(QString, kind);
        if (kind == QStringLiteral("empty"))
            writeBytes(paths::dataFile(), QByteArray());
        if (kind == QStringLiteral("random")) {
            QByteArray bytes(64 * 1024, '\0');
            QRandomGenerator generator(20261206);
            for (char& b : bytes)
                b = static_cast<char>(generator.bounded(256));
            writeBytes(paths::dataFile(), bytes);
        }
        if (kind == QStringLiteral("nosheet"))
            makeWorkbook(paths::dataFile(), {textRow(dataRow("D2"))}, QStringLiteral("数据"));
        const QByteArray before = readBytes(paths::dataFile());

        bool failed = false;
        try {
            run(recordingFills());
        } catch (const office::Error& error) {
            failed = true;
            QVERIFY2(!error.description().isEmpty(), qPrintable(error.message()));
            if (kind == QStringLiteral("nosheet"))
                QCOMPARE(error.number(), office::errc::NoSuchWorksheet);
        }
        QVERIFY2(failed, qPrintable(view.log.join(u'|')));
        QCOMPARE(view.log, (QStringList{"hide", "wait", "spreadsheet start"}));
        QCOMPARE(readBytes(paths::dataFile()), before);
    }

    // Deleting the consumed data file is the last step: a file already gone
    // is what it wants, one that cannot be deleted is reported.
    void dataFileGoneOrStuckAtItsDeletion()
    {
        for (const bool gone : {true, false}) {
            init();
            makeDataFile(QList<QStringList>{dataRow("E2")});
            GenerationCallbacks fills = recordingFills();
            fills.WordReplace_fuben = [gone](const CertificateRecord&, RunView&,
                                             bool&) -> std::int16_t {
                QFile::remove(paths::dataFile());
                if (!gone) // a folder in its place cannot be deleted as a file
                    QDir().mkpath(paths::dataFile() + QStringLiteral("/x"));
                return 1;
            };
            if (gone)
                run(fills);
            else
                QVERIFY_THROWS_EXCEPTION(office::Error, run(fills));
            QCOMPARE(view.log.mid(view.log.size() - 3),
                     (QStringList{"message " + completionMessage(), "show", "spreadsheet quit"}));
        }
        QDir(paths::dataFile()).removeRecursively();
    }

    // Real fills: a missing template is reported while the wait form is up and
    // the batch goes on.
    void missingTemplateDuringTheBatch()
    {
        const QString duplicate = paths::templateFile(TemplateKind::Duplicate);
        const QByteArray kept = readBytes(duplicate);
        QVERIFY(QFile::remove(duplicate));
        makeDataFile(QList<QStringList>{dataRow("F2"), dataRow("F3")});
        run(realFills());
        writeBytes(duplicate, kept);

        QCOMPARE(view.log,
                 (QStringList{"hide", "wait", "spreadsheet start", "wait", "progress 0/2",
                              "message 未找到该文件", "wait", "progress 1/2",
                              "message 未找到该文件", "progress 2/2", "unload",
                              "message " + completionMessage(), "show", "spreadsheet quit"}));
        QCOMPARE(filesBelow(paths::outputDir()), (QStringList{"F2（正本）.doc", "F3（正本）.doc"}));
        QVERIFY(!QFileInfo::exists(paths::dataFile()));
    }

    // The office dies under one fill: that fill alone reports it, the office is
    // replaced, every other document is generated, and no office is left.
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
        run(realFills());

        QVERIFY2(view.messages.size() == 2, qPrintable(view.messages.join(u'|')));
        QVERIFY2(view.messages[0].startsWith(QString::number(office::errc::OfficeGone) + u':'),
                 qPrintable(view.messages[0]));
        QCOMPARE(view.messages[1], completionMessage());
        QCOMPARE(
            filesBelow(paths::outputDir()),
            (QStringList{"G2（副本）.doc", "G2（正本）.doc", "G3（副本）.doc", "G4（副本）.doc",
                         "G4（正本）.doc", "G5（副本）.doc", "G5（正本）.doc"}));
        QVERIFY(!QFileInfo::exists(paths::dataFile()));
        {
            SavedDocument saved(paths::outputDir() + QStringLiteral("G5（正本）.doc"));
            QVERIFY(saved.contains(QStringLiteral("青山市G5号康复中心")));
        }
        office::shutdownDefaultEngine();
        for (const long pid : std::as_const(engine.offices))
            QTRY_VERIFY2(processGone(pid), qPrintable(QString::number(pid)));
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
        const QList<QStringList> values{dataRow("L1"), longRow("L2", 30), longRow("L3", 50)};
        QList<QStringList> failing{dataRow("M1"), dataRow("M2/3"), dataRow("M3")};
        failing[2][2] = QStringLiteral("青山市单位名称研究所"); // holds its own placeholder
        const QString duplicate = paths::templateFile(TemplateKind::Duplicate);
        const QByteArray kept = readBytes(duplicate);

        QStringList documents[2];
        QStringList messages[2];
        for (int processes : {1, 2}) {
            usePool(processes);
            engine.reset();
            emptyOutputFolder();
            makeDataFile(values);
            run(realFills());
            QCOMPARE(engine.mostAtOnce, processes); // the pool is used, and no more
            QCOMPARE(engine.offices.size(), processes);
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

            view = RecordingView();
            QVERIFY(QFile::remove(duplicate));
            makeDataFile(failing);
            run(realFills());
            writeBytes(duplicate, kept);
            messages[processes - 1] = view.log;
        }
        QCOMPARE(documents[1], documents[0]);
        // The long values were found, and shrunk (the scope of the long duplicate to 5 pt).
        QVERIFY2(documents[0].contains(QStringLiteral("L3（副本）.doc L3开展康复医学 5")),
                 qPrintable(documents[0].join(u'\n')));
        QCOMPARE(messages[1], messages[0]);
        QStringList shown; // each message by its number, or its text
        for (const QString& line :
             messages[0].filter(QRegularExpression(QStringLiteral("^message "))))
            shown << line.mid(8).section(u':', 0, 0).left(12);
        QCOMPARE(shown, (QStringList{"未找到该文件", "75", "未找到该文件", "6", "未找到该文件",
                                     completionMessage().left(12)}));
    }

    // The console front end: messages and progress on the terminal, and an
    // exit status that says whether the run completed.
    void consoleRuns()
    {
        ConsoleRun console = runConsole();
        QCOMPARE(console.exitCode, 1);
        QCOMPARE(console.out, noFileMessage + u'\n');

        makeDataFile(QList<QStringList>{{}, {QStringLiteral("H3"), QStringLiteral("长期")}});
        console = runConsole();
        QCOMPARE(console.exitCode, 1);
        QCOMPARE(console.out, noDataMessage + u'\n');

        writeBytes(paths::dataFile(), QByteArray(4096, '\x9c'));
        console = runConsole();
        QCOMPARE(console.exitCode, 2);
        QVERIFY2(console.err.contains(QRegularExpression(QStringLiteral("^-?\\d+:\\S"))),
                 qPrintable(console.err));

        makeDataFile(QList<QStringList>{{QStringLiteral("H2"), QStringLiteral("长期")},
                                        {QStringLiteral("H3"), QStringLiteral("长期")}});
        office::shutdownDefaultEngine(); // the console starts an office of its own
        console = runConsole();
        QCOMPARE(console.exitCode, 0);
        QCOMPARE(
            console.out,
            QStringLiteral("已完成 0/2\n已完成 1/2\n已完成 2/2\n") +
                QString(completionMessage()).replace(QStringLiteral("\r\n"), QStringLiteral("\n")) +
                u'\n');
        QCOMPARE(filesBelow(paths::outputDir()), (QStringList{"H2（副本）.doc", "H2（正本）.doc",
                                                              "H3（副本）.doc", "H3（正本）.doc"}));
        QVERIFY(!QFileInfo::exists(paths::dataFile()));

        // A complete run whose fills failed does not pass for a success.
        const QString duplicate = paths::templateFile(TemplateKind::Duplicate);
        const QByteArray kept = readBytes(duplicate);
        QVERIFY(QFile::remove(duplicate));
        makeDataFile(QList<QStringList>{{QStringLiteral("H4"), QStringLiteral("长期")}});
        console = runConsole();
        writeBytes(duplicate, kept);
        QCOMPARE(console.exitCode, 3);
        QVERIFY2(console.err.contains(QStringLiteral("1 份文档未能生成")), qPrintable(console.err));
    }
};

MORVANTA_TEST_MAIN(GenerationRunTest)
#include "tst_generationrun.moc"
