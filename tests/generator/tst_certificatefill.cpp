// The fill against the real office, on Word 97 templates read back through the
// office, plus what the office cannot reach in reasonable time (the counter
// overflow, failing clean-up) on an in-memory word processor.

#include "certificates.h"
#include "fakeword.h"
#include "recordingview.h"
#include "testmain.h"

#include "common/error.h"
#include "generator/certificatefill.h"
#include "generator/outputfilename.h"
#include "office/word.h"

#include <QDir>
#include <QFile>

using namespace testfiles;
using paths::TemplateKind;

namespace {

const QString namePhrase = QStringLiteral("青山市第一人民医院附属康复护理中心");
const QString scopePhrase = QStringLiteral("为人民健康提供医疗护理服务，开展康复医学研究与培训。");
const QString domicilePhrase = QStringLiteral("青山市东城区解放路一百二十八号");

QString outputPath(const QString& number, TemplateKind kind)
{
    return paths::outputDir() + number +
           (kind == TemplateKind::Original ? QStringLiteral("（正本）.doc")
                                           : QStringLiteral("（副本）.doc"));
}

CertificateRecord sampleRecord(const QString& number)
{
    return recordOf(dataRow(number));
}

} // namespace

class CertificateFillTest : public QObject
{
    Q_OBJECT

private:
    RecordingView view;
    FakeWordEngine fake;

    std::int16_t fill(const CertificateRecord& record, TemplateKind kind,
                      office::Engine& engine = office::defaultEngine())
    {
        view = RecordingView();
        bool matchCase = false;
        return fillCertificate(engine, view, record, kind, matchCase);
    }

    void verifyOneMessage(const QString& start)
    {
        QCOMPARE(view.messages.size(), 1);
        QVERIFY2(view.messages.first().startsWith(start), qPrintable(view.messages.first()));
    }

    // Runs `check` with a template of `kind` holding `rtfBody` in place.
    template <class Check> void withTemplate(TemplateKind kind, const QString& rtfBody, Check check)
    {
        const QByteArray kept = readBytes(paths::templateFile(kind));
        makeTemplate(kind, rtfBody);
        check();
        writeBytes(paths::templateFile(kind), kept);
    }

private slots:
    void initTestCase() { makeTemplates(); }

    void init()
    {
        // Each case starts with an empty output folder.
        emptyOutputFolder();
        fake.state = FakeWordState();
    }

    void fontSizesAtTheThresholds_data()
    {
        QTest::addColumn<TemplateKind>("kind");
        QTest::addColumn<QList<int>>("lengths"); // name, scope, domicile
        QTest::addColumn<QList<float>>("sizes"); // 0: the template's own size
        const auto O = TemplateKind::Original;
        const auto D = TemplateKind::Duplicate;
        using L = QList<int>;
        using S = QList<float>;
        QTest::newRow("original at first") << O << L{26, 183, 30} << S{0, 0, 0};
        QTest::newRow("original past first") << O << L{27, 184, 31} << S{16, 8, 14};
        QTest::newRow("original at second") << O << L{44, 700, 46} << S{16, 8, 14};
        QTest::newRow("original past second") << O << L{45, 183, 47} << S{12, 0, 12};
        QTest::newRow("duplicate at first") << D << L{26, 106, 26} << S{0, 0, 0};
        QTest::newRow("duplicate past first") << D << L{27, 107, 27} << S{9, 7, 9};
        QTest::newRow("duplicate at second") << D << L{42, 137, 42} << S{9, 7, 9};
        QTest::newRow("duplicate past second") << D << L{43, 138, 43} << S{6, 5, 6};
    }

    void fontSizesAtTheThresholds()
    {
        QFETCH(TemplateKind, kind);
        QFETCH(QList<int>, lengths);
        QFETCH(QList<float>, sizes);
        const float base = templateFontSize(kind);

        CertificateRecord record = sampleRecord(QStringLiteral("粤事证第0001号"));
        record.danweimingcheng = textOfLength(namePhrase, lengths[0]);
        record.zongzhiyewufanwei = textOfLength(scopePhrase, lengths[1]);
        record.zhusuo = textOfLength(domicilePhrase, lengths[2]);
        QCOMPARE(fill(record, kind), std::int16_t(1));
        QVERIFY2(view.log.isEmpty(), qPrintable(view.log.join(u'\n')));

        SavedDocument saved(outputPath(record.zhengshuhao, kind));
        const QStringList values{record.danweimingcheng, record.zongzhiyewufanwei, record.zhusuo};
        for (int i = 0; i < 3; ++i)
            QCOMPARE(saved.sizesOf(values[i]), QList<float>{sizes[i] ? sizes[i] : base});
        // Fields without rules, and the text around the fields, keep their size.
        QCOMPARE(saved.sizesOf(record.fadingdaibiaoren), QList<float>{base});
        QCOMPARE(saved.sizesOf(QStringLiteral("统一社会信用代码：")), QList<float>{base});
        QVERIFY(!saved.contains(QStringLiteral("宗旨和业务范围")));
    }

    // Every occurrence is replaced and shrunk; the result counts the last placeholder.
    void placeholderThatOccursTwice()
    {
        const QString body = rtfParagraph(QStringLiteral("单位名称（举办单位）")) +
                             rtfTableRow({QStringLiteral("单位名称"), QStringLiteral("举办单位")}) +
                             rtfParagraph(QStringLiteral("证书号"));
        withTemplate(TemplateKind::Duplicate, body, [&] {
            CertificateRecord record = sampleRecord(QStringLiteral("T2"));
            record.danweimingcheng = textOfLength(namePhrase, 43);
            QCOMPARE(fill(record, TemplateKind::Duplicate), std::int16_t(2));
            SavedDocument saved(outputPath(QStringLiteral("T2"), TemplateKind::Duplicate));
            QCOMPARE(saved.sizesOf(record.danweimingcheng), (QList<float>{6.f, 6.f}));
            QCOMPARE(saved.sizesOf(record.jubandanwei), (QList<float>{14.f, 14.f}));
        });
        withTemplate(TemplateKind::Original, rtfParagraph(QStringLiteral("证书号 单位名称")), [&] {
            QCOMPARE(fill(sampleRecord(QStringLiteral("T3")), TemplateKind::Original),
                     std::int16_t(0));
            SavedDocument saved(outputPath(QStringLiteral("T3"), TemplateKind::Original));
            QVERIFY(saved.contains(QStringLiteral("T3 青山市T3号康复中心")));
        });
    }

    void valuesAreInsertedAsTheyAre()
    {
        CertificateRecord record = sampleRecord(QStringLiteral("T4"));
        record.danweimingcheng = QString(); // empty
        record.zhengshuyouxiaoqi =
            QStringLiteral("自2026年起，地址见住所栏"); // a later placeholder
        record.zhusuo = QStringLiteral("东城区");
        record.fadingdaibiaoren = QStringLiteral("王^p芳.*[a-z]+\\n^&"); // search codes, patterns
        record.kaibanzijin = QStringLiteral("  ");                       // spaces only
        QCOMPARE(fill(record, TemplateKind::Original), std::int16_t(1));

        SavedDocument saved(outputPath(QStringLiteral("T4"), TemplateKind::Original));
        QVERIFY(saved.contains(QStringLiteral("有效期：自自2026年起，地址见东城区栏")));
        QVERIFY(saved.contains(QStringLiteral("王^p芳.*[a-z]+\\n^&")));
        for (const QString& placeholder :
             {QStringLiteral("单位名称"), QStringLiteral("住所"), QStringLiteral("开办资金")})
            QVERIFY(!saved.contains(placeholder));
    }

    // Length is counted in UTF-16 code units: 14 such characters are 28 units.
    void charactersOutsideTheBmpCountTwice()
    {
        CertificateRecord record = sampleRecord(QStringLiteral("T5"));
        record.danweimingcheng = QStringLiteral("𠀀").repeated(13);
        record.zhusuo = record.danweimingcheng + QStringLiteral("𠀁");
        record.zongzhiyewufanwei = textOfLength(scopePhrase, 5000);
        QCOMPARE(fill(record, TemplateKind::Duplicate), std::int16_t(1));
        SavedDocument saved(outputPath(QStringLiteral("T5"), TemplateKind::Duplicate));
        QCOMPARE(saved.sizesOf(record.zhusuo), QList<float>{9.f});
        QCOMPARE(saved.sizesOf(record.danweimingcheng), QList<float>{14.f});
        QCOMPARE(saved.sizesOf(record.zongzhiyewufanwei), QList<float>{5.f});
    }

    void ownPlaceholderInTheValueEndsInOverflow()
    {
        CertificateRecord record = sampleRecord(QStringLiteral("T10"));
        record.jubandanwei = QStringLiteral("青山市举办单位");
        QCOMPARE(fill(record, TemplateKind::Duplicate), std::int16_t(-1));
        verifyOneMessage(QStringLiteral("6:证书“T10”（副本）未能生成：溢出："));
        QCOMPARE(filesBelow(paths::outputDir()), QStringList());
    }

    // A margin save killed between its two renames: the fill first completes
    // the pair, so the duplicate it makes has the new duplicate's margins.
    void halfSwitchedTemplatesAreCompletedFirst()
    {
        const QByteArray duplicateBefore = readBytes(paths::templateFile(TemplateKind::Duplicate));
        QVERIFY(killMarginSaveBetweenRenames());
        QCOMPARE(readBytes(paths::templateFile(TemplateKind::Duplicate)), duplicateBefore);
        QCOMPARE(fill(sampleRecord(QStringLiteral("T11")), TemplateKind::Duplicate),
                 std::int16_t(1));
        auto app = office::defaultEngine().createWordApplication();
        office::word::Document& saved =
            app->Documents().Open(outputPath(QStringLiteral("T11"), TemplateKind::Duplicate), true);
        QVERIFY2(qAbs(saved.PageSetup().TopMargin() - 28.35f) < 0.1f, "1 cm expected");
        app->Quit();
        makeTemplates();
    }

    void missingTemplateShowsItsMessageOnly_data()
    {
        QTest::addColumn<bool>("asFolder");
        QTest::newRow("no file") << false;
        QTest::newRow("a folder") << true;
    }

    void missingTemplateShowsItsMessageOnly()
    {
        QFETCH(bool, asFolder);
        const QString path = paths::templateFile(TemplateKind::Duplicate);
        const QByteArray kept = readBytes(path);
        QVERIFY(QFile::remove(path));
        if (asFolder)
            QVERIFY(QDir().mkdir(path));
        const std::int16_t result =
            fill(sampleRecord(QStringLiteral("T6")), TemplateKind::Duplicate);
        QDir().rmdir(path);
        writeBytes(path, kept);
        QCOMPARE(result, std::int16_t(-2));
        QCOMPARE(view.log, QStringList{QStringLiteral("message 未找到该文件")});
        QCOMPARE(filesBelow(paths::outputDir()), QStringList());
    }

    // A missing output folder is no failure of this certificate: it is the
    // run's to report, once, so the fill shows nothing and lets it escape.
    void missingOutputFolderEscapesTheFill()
    {
        QVERIFY(QDir(paths::outputDir()).removeRecursively());
        int number = 0;
        try {
            fill(sampleRecord(QStringLiteral("T7")), TemplateKind::Original);
        } catch (const morvanta::Error& e) {
            number = e.number();
            QCOMPARE(e.description(), QStringLiteral("保存失败：文件夹“%1”不存在。")
                                          .arg(QDir::cleanPath(paths::outputDir())));
        }
        QCOMPARE(number, morvanta::errc::OutputFolderFailed);
        QCOMPARE(view.log, QStringList());
        QVERIFY(!QFileInfo::exists(paths::outputDir()));
    }

    // A number that is no plain file name writes nothing, anywhere.
    void unsafeNumberWritesNothing()
    {
        const QString number = QStringLiteral("../逃逸");
        const QStringList before = filesBelow(QDir::homePath());
        QCOMPARE(fill(sampleRecord(number), TemplateKind::Original), std::int16_t(-1));
        verifyOneMessage(QStringLiteral("75:"));
        QCOMPARE(filesBelow(QDir::homePath()), before);

        // A 5,000-character number with an escape in it: the message stays
        // short and shows no raw control character.
        const QString hostile = QStringLiteral("\x1b[2J") + QString(5000, u'号');
        QCOMPARE(fill(sampleRecord(hostile), TemplateKind::Original), std::int16_t(-1));
        QCOMPARE(view.messages.size(), 1);
        QVERIFY2(view.messages[0].size() < 200, qPrintable(view.messages[0].left(300)));
        QVERIFY(view.messages[0].contains(QStringLiteral("U+001B")));
        QVERIFY(!view.messages[0].contains(QChar(0x1b)));
    }

    // The rules a certificate number must pass to become a file name.
    void fileNameRules_data()
    {
        QTest::addColumn<QString>("number");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("outside the BMP") << QStringLiteral("𠀀𠀁-1") << true;
        QTest::newRow("239 ASCII bytes") << QString(239, u'9') << true;
        QTest::newRow("240 ASCII bytes") << QString(240, u'9') << false;
        QTest::newRow("80 CJK characters") << QString(80, u'证') << false;
        QTest::newRow("slash") << "/tmp/x" << false;
        QTest::newRow("dot dot") << ".." << false;
        QTest::newRow("windows character") << "12:3" << false;
        QTest::newRow("control") << "12\t3" << false;
        QTest::newRow("lone surrogate") << QStringLiteral("12") + QChar(0xD800) << false;
        QTest::newRow("hidden file") << ".x" << false;
        QTest::newRow("right-to-left override") << QStringLiteral("12\u202Ecod.exe") << false;
        QTest::newRow("zero-width space") << QStringLiteral("12\u200B3") << false;
        QTest::newRow("inner dot") << "12.3" << true;
    }

    void fileNameRules()
    {
        QFETCH(QString, number);
        QFETCH(bool, accepted);
        const QString problem = fileNameProblem(number + QStringLiteral("（正本）.doc"));
        QVERIFY2(problem.isEmpty() == accepted, qPrintable(problem));
    }

    // Saved as Word 97 beside an untouched template, under the longest name
    // there is room for; a second record with the same number replaces it,
    // also when the number is spelt decomposed (longer, but the same name).
    void savedAsWord97AndReplacedByTheSameNumber()
    {
        const QString templatePath = paths::templateFile(TemplateKind::Duplicate);
        const QByteArray templateBefore = readBytes(templatePath);
        const QString composed = QString(237, u'9') + QChar(0xE9); // 255 bytes with the suffix
        CertificateRecord record = sampleRecord(composed);
        QCOMPARE(fill(record, TemplateKind::Duplicate), std::int16_t(1));
        record.zhengshuhao = QString(237, u'9') + QStringLiteral("e\u0301");
        record.fadingdaibiaoren = QStringLiteral("赵新");
        QCOMPARE(fill(record, TemplateKind::Duplicate), std::int16_t(1));

        const QString path = outputPath(composed, TemplateKind::Duplicate);
        QVERIFY(isOleFile(path));
        QCOMPARE(readBytes(templatePath), templateBefore);
        QCOMPARE(filesBelow(paths::outputDir()), QStringList{QFileInfo(path).fileName()});
        SavedDocument saved(path);
        QVERIFY(saved.contains(QStringLiteral("赵新")));
        QVERIFY(!saved.contains(QStringLiteral("李晓明")));
    }

    // 32767 replacements fit the counter; the 32768th overflows it.
    void counterOverflowsAtThe32768thReplacement_data()
    {
        QTest::addColumn<int>("occurrences");
        QTest::addColumn<int>("result");
        QTest::newRow("32767") << 32767 << 32767;
        QTest::newRow("32768") << 32768 << -1;
    }

    void counterOverflowsAtThe32768thReplacement()
    {
        QFETCH(int, occurrences);
        QFETCH(int, result);
        fake.state.templateText =
            QStringLiteral("证书号 ") + QStringLiteral("举办单位").repeated(occurrences);
        CertificateRecord record = sampleRecord(QStringLiteral("N1"));
        record.jubandanwei = QStringLiteral("青山政府");

        QCOMPARE(fill(record, TemplateKind::Original, fake), std::int16_t(result));
        QCOMPARE(fake.state.documentText.count(QStringLiteral("青山政府")), occurrences);
        QCOMPARE(fake.state.savedFiles.size(), result < 0 ? 0 : 1);
        if (result < 0)
            verifyOneMessage(QStringLiteral("6:"));
    }

    // A value longer than a spreadsheet cell holds fails the fill before any
    // office call; one that fits is filled.
    void overlongValueFailsAtOnce_data()
    {
        QTest::addColumn<int>("field"); // 0: 证书号, 3: 宗旨和业务范围, 4: 住所
        QTest::addColumn<int>("length");
        QTest::addColumn<QString>("label");
        QTest::newRow("scope of 32,767") << 3 << 32767 << QString();
        QTest::newRow("scope of 32,768") << 3 << 32768 << QStringLiteral("宗旨和业务范围");
        QTest::newRow("domicile of 40,000") << 4 << 40000 << QStringLiteral("住所");
        QTest::newRow("number of 40,000") << 0 << 40000 << QStringLiteral("证书号");
    }

    void overlongValueFailsAtOnce()
    {
        QFETCH(int, field);
        QFETCH(int, length);
        QFETCH(QString, label);
        CertificateRecord record = sampleRecord(QStringLiteral("N2"));
        QString* values[] = {&record.zhengshuhao, nullptr, nullptr, &record.zongzhiyewufanwei,
                             &record.zhusuo};
        *values[field] = textOfLength(field == 3 ? scopePhrase : domicilePhrase, length);
        fake.state.templateText = QStringLiteral("证书号 宗旨和业务范围 住所 举办单位");

        const std::int16_t result = fill(record, TemplateKind::Original, fake);
        if (label.isEmpty()) {
            QCOMPARE(result, std::int16_t(1));
            QVERIFY(fake.state.documentText.contains(*values[field]));
            return;
        }
        QCOMPARE(result, std::int16_t(-1));
        verifyOneMessage(QStringLiteral("13:证书“"));
        QVERIFY2(view.messages[0].contains(
                     QStringLiteral("（正本）未能生成：值过长：“%1”的值有 %2 个字符")
                         .arg(label)
                         .arg(length)),
                 qPrintable(view.messages[0]));
        QVERIFY2(view.messages[0].size() < 200, qPrintable(view.messages[0].left(300)));
        QCOMPARE(fake.state.calls, QStringList());
        QCOMPARE(fake.state.savedFiles, QStringList());
    }

    // A failing step ends the fill with its message; what the fill opened is
    // closed once, also when closing itself fails.
    void failurePathClosesWhatWasOpened_data()
    {
        QTest::addColumn<QString>("failingCall");
        QTest::addColumn<QStringList>("callsAfterFailure");
        QTest::newRow("open") << "Open" << QStringList{"Quit"};
        QTest::newRow("save") << "SaveAs" << QStringList{"Close", "Quit"};
        QTest::newRow("close") << "Close" << QStringList{"Quit"};
        QTest::newRow("quit") << "Quit" << QStringList{};
    }

    void failurePathClosesWhatWasOpened()
    {
        QFETCH(QString, failingCall);
        QFETCH(QStringList, callsAfterFailure);
        fake.state.templateText = QStringLiteral("证书号 举办单位");
        fake.state.failOn = failingCall;
        fake.state.failNumber = -2147467259;
        QCOMPARE(fill(sampleRecord(QStringLiteral("N1")), TemplateKind::Original, fake),
                 std::int16_t(-1));
        // The message names the certificate and its kind besides the failure.
        QCOMPARE(view.log, QStringList{QStringLiteral(
                               "message -2147467259:证书“N1”（正本）未能生成：模拟的失败")});
        const QStringList& calls = fake.state.calls;
        QCOMPARE(calls.mid(calls.indexOf(failingCall) + 1), callsAfterFailure);
    }

    // A session that died with its office has nothing left to close; any other
    // failure while cleaning up reaches the caller.
    void failureWhileCleaningUp()
    {
        fake.state.failOn = QStringLiteral("Range");
        fake.state.failNumber = morvanta::errc::OfficeGone;
        fake.state.closeAndQuitFailure = morvanta::errc::OfficeGone;
        QCOMPARE(fill(sampleRecord(QStringLiteral("N1")), TemplateKind::Original, fake),
                 std::int16_t(-1));
        verifyOneMessage(QStringLiteral("-2147023174:"));

        fake.state.failOn = QStringLiteral("SaveAs");
        fake.state.failNumber = morvanta::errc::WriteFailed;
        fake.state.closeAndQuitFailure = morvanta::errc::WriteFailed;
        QVERIFY_THROWS_EXCEPTION(morvanta::Error, fill(sampleRecord(QStringLiteral("N1")),
                                                       TemplateKind::Original, fake));
    }
};

MORVANTA_TEST_MAIN(CertificateFillTest)
#include "tst_certificatefill.moc"
