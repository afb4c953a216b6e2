// The fill's conversation with the word processor, call by call, on an
// in-memory word processor: the order of the steps, the arguments of every
// search, the failure path and the counter overflow (32768 replacements,
// too slow to provoke through a real office).

#include "fakeword.h"
#include "testsupport.h"

#include "generator/certificatefill.h"
#include "office/error.h"

#include <QFile>

#include <algorithm>

using paths::TemplateKind;

class FillProtocolTest : public QObject
{
    Q_OBJECT

private:
    FakeWordEngine engine;
    RecordingView view;

    const QString allPlaceholders = QStringLiteral(
        "证书号|证书有效期|单位名称|宗旨和业务范围|住所|法定代表人|经费来源|开办资金|举办单位");

    CertificateRecord shortRecord()
    {
        return recordOf({"N1", "V", "D", "Z", "S", "F", "J", "K", "B"});
    }

    std::int16_t fill(const CertificateRecord& record, TemplateKind kind, bool matchCase = false)
    {
        view = RecordingView();
        return fillCertificate(engine, view, record, kind, matchCase);
    }

private slots:
    void initTestCase()
    {
        makeMorvantaFolders();
        // The fake ignores the file's content; it only has to be an ordinary file.
        writeFile(paths::templateFile(TemplateKind::Original), "template");
        writeFile(paths::templateFile(TemplateKind::Duplicate), "template");
    }

    void init()
    {
        engine.state = FakeWordState();
        engine.state.templateText = allPlaceholders;
    }

    void callsOfOneFillInOrder()
    {
        CertificateRecord record = shortRecord();
        record.danweimingcheng = QString(45, u'名'); // past both steps of the original
        bool matchCase = true;
        view = RecordingView();
        const std::int16_t result =
            fillCertificate(engine, view, record, TemplateKind::Original, matchCase);

        const QString outputPath = paths::outputDir() + QStringLiteral("N1（正本）.doc");
        auto replaced = [](const QString& placeholder, const QString& value, bool found) {
            return QStringLiteral("Execute(FindText=%1 MatchCase=1 Wrap=1 ReplaceWith=%2 "
                                  "Replace=1)->%3")
                .arg(placeholder, value, found ? QStringLiteral("1") : QStringLiteral("0"));
        };
        auto resized = [](const QString& value, int points) {
            return QStringList{
                QStringLiteral("ClearFormatting()"),
                QStringLiteral("Execute(Text=%1 Replacement= Forward=1 Wrap=1 Format=0 MatchCase=0 "
                               "MatchWholeWord=0 MatchByte=1 MatchAllWordForms=0 "
                               "MatchSoundsLike=0 MatchWildcards=0 MatchFuzzy=0)")
                    .arg(value),
                QStringLiteral("SetSize(%1 on \"%2\")").arg(points).arg(value)};
        };
        QStringList expected{
            QStringLiteral("createWordApplication()"),
            QStringLiteral("SetVisible(0)"),
            QStringLiteral("Open(%1,1)").arg(paths::templateFile(TemplateKind::Original)),
            QStringLiteral("ActiveDocument()"),
            QStringLiteral("Range(0,1)"),
            QStringLiteral("Select()"),
        };
        const QStringList placeholders = allPlaceholders.split(u'|');
        const QStringList values = recordTexts(record);
        for (int i = 0; i < 9; ++i) {
            expected << replaced(placeholders[i], values[i], true);
            if (i == 2)
                expected << resized(values[i], 16) << resized(values[i], 12);
            expected << replaced(placeholders[i], values[i], false);
        }
        expected << QStringLiteral("SaveAs(%1)").arg(outputPath) << QStringLiteral("Close()")
                 << QStringLiteral("Quit()");

        QCOMPARE(engine.state.calls, expected);
        QCOMPARE(result, std::int16_t(1));
        QVERIFY(matchCase); // passed through, never changed
        QVERIFY(view.log.isEmpty());
        QCOMPARE(engine.state.documentText, values.join(u'|'));
    }

    void resultCountsOnlyTheLastPlaceholder()
    {
        engine.state.templateText = QStringLiteral("举办单位 证书号 举办单位 举办单位");
        QCOMPARE(fill(shortRecord(), TemplateKind::Duplicate), std::int16_t(3));
        QCOMPARE(engine.state.documentText, QStringLiteral("B N1 B B"));

        engine.state.savedFiles.clear();
        engine.state.templateText = QStringLiteral("证书号 单位名称");
        QCOMPARE(fill(shortRecord(), TemplateKind::Duplicate), std::int16_t(0));
        QCOMPARE(engine.state.savedFiles,
                 QStringList{paths::outputDir() + QStringLiteral("N1（副本）.doc")});
    }

    void missingTemplateStartsNoSession_data()
    {
        QTest::addColumn<bool>("asFolder");
        QTest::newRow("no file") << false;
        QTest::newRow("a folder") << true;
    }

    void missingTemplateStartsNoSession()
    {
        QFETCH(bool, asFolder);
        const QString path = paths::templateFile(TemplateKind::Duplicate);
        QVERIFY(QFile::remove(path));
        if (asFolder)
            QVERIFY(QDir().mkdir(path));
        const std::int16_t result = fill(shortRecord(), TemplateKind::Duplicate);
        if (asFolder)
            QVERIFY(QDir().rmdir(path));
        writeFile(path, "template");

        QCOMPARE(result, std::int16_t(-2));
        QCOMPARE(view.log, QStringList{QStringLiteral("message 未找到该文件")});
        QCOMPARE(engine.state.applicationsCreated, 0);
    }

    // A failing step ends the sequence; what this call opened is closed once.
    void failurePathClosesWhatWasOpened_data()
    {
        QTest::addColumn<QString>("failingCall");
        QTest::addColumn<QStringList>("callsAfterFailure");
        QTest::newRow("start") << "createWordApplication" << QStringList{};
        QTest::newRow("open") << "Open" << QStringList{"Quit()"};
        QTest::newRow("range") << "Range" << QStringList{"Close()", "Quit()"};
        QTest::newRow("resize") << "SetSize" << QStringList{"Close()", "Quit()"};
        QTest::newRow("save") << "SaveAs" << QStringList{"Close()", "Quit()"};
        QTest::newRow("close") << "Close" << QStringList{"Quit()"};
        QTest::newRow("quit") << "Quit" << QStringList{};
    }

    void failurePathClosesWhatWasOpened()
    {
        QFETCH(QString, failingCall);
        QFETCH(QStringList, callsAfterFailure);
        engine.state.failOn = failingCall;
        engine.state.failNumber = -2147467259;
        CertificateRecord record = shortRecord();
        record.danweimingcheng = QString(30, u'名');

        QCOMPARE(fill(record, TemplateKind::Original), std::int16_t(-1));
        QCOMPARE(view.log, QStringList{QStringLiteral("message -2147467259:模拟的失败")});
        const QStringList& calls = engine.state.calls;
        const auto failed = std::find_if(calls.begin(), calls.end(), [&](const QString& call) {
            return call.startsWith(failingCall + u'(');
        });
        QVERIFY(failed != calls.end());
        QCOMPARE(QStringList(failed + 1, calls.end()), callsAfterFailure);
    }

    // A session that died with its office has nothing left to close; any other
    // failure while cleaning up reaches the caller.
    void failureWhileCleaningUp()
    {
        engine.state.failOn = QStringLiteral("Range");
        engine.state.failNumber = office::errc::OfficeGone;
        engine.state.closeAndQuitFailure = office::errc::OfficeGone;
        QCOMPARE(fill(shortRecord(), TemplateKind::Original), std::int16_t(-1));
        QCOMPARE(view.messages.size(), 1);
        QVERIFY(view.messages.first().startsWith(QStringLiteral("-2147023174:")));

        init();
        engine.state.failOn = QStringLiteral("SaveAs");
        engine.state.failNumber = office::errc::WriteFailed;
        engine.state.closeAndQuitFailure = office::errc::WriteFailed;
        bool matchCase = false;
        QVERIFY_THROWS_EXCEPTION(office::Error, fillCertificate(engine, view, shortRecord(),
                                                                TemplateKind::Original, matchCase));
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
        engine.state.logReplacements = false;
        engine.state.templateText =
            QStringLiteral("证书号 ") + QStringLiteral("举办单位").repeated(occurrences);
        CertificateRecord record = shortRecord();
        record.jubandanwei = QStringLiteral("青山政府");

        QCOMPARE(fill(record, TemplateKind::Original), std::int16_t(result));
        QCOMPARE(engine.state.documentText.count(QStringLiteral("青山政府")), occurrences);
        QCOMPARE(engine.state.savedFiles.size(), result < 0 ? 0 : 1);
        if (result < 0) {
            QCOMPARE(view.messages.size(), 1);
            QVERIFY2(view.messages.first().startsWith(QStringLiteral("6:")),
                     qPrintable(view.messages.first()));
        }
    }

    // A value holding its own placeholder would be found again forever: the
    // overflow is reported after the first replacement instead of the 32768th.
    void ownPlaceholderEndsInOverflowAtOnce()
    {
        CertificateRecord record = shortRecord();
        record.jingfeilaiyuan = QStringLiteral("财政补助（经费来源）");
        QCOMPARE(fill(record, TemplateKind::Original), std::int16_t(-1));

        QCOMPARE(view.messages.size(), 1);
        QVERIFY2(view.messages.first().startsWith(QStringLiteral("6:")),
                 qPrintable(view.messages.first()));
        QVERIFY(engine.state.savedFiles.isEmpty());
        QCOMPARE(engine.state.documentText.count(QStringLiteral("财政补助")), 1);
        QCOMPARE(engine.state.calls.mid(engine.state.calls.size() - 2),
                 (QStringList{"Close()", "Quit()"}));
    }

    void unsafeCertificateNumbersSaveNothing_data()
    {
        QTest::addColumn<QString>("number");
        QTest::newRow("slash") << "粤事证/123";
        QTest::newRow("backslash") << "粤事证\\123";
        QTest::newRow("parent folder") << "../123";
        QTest::newRow("dot dot") << "..";
        QTest::newRow("dot dot inside") << "12..3";
        for (const char* c : {"<", ">", ":", "\"", "|", "?", "*"})
            QTest::addRow("character %s", c) << QStringLiteral("12%13").arg(QLatin1StringView(c));
        QTest::newRow("tab") << "12\t3";
        QTest::newRow("line feed") << "123\n";
        QTest::newRow("nul") << QStringLiteral("12") + QChar(0) + QStringLiteral("3");
        QTest::newRow("delete") << "12\x7f";
        QTest::newRow("C1 control") << QStringLiteral("12\u00853");
        QTest::newRow("lone surrogate")
            << QStringLiteral("12") + QChar(0xD800) + QStringLiteral("3");
        // 240 bytes plus the 16 bytes of "（正本）.doc" pass the 255-byte limit.
        QTest::newRow("240 ASCII bytes") << QString(240, u'9');
        QTest::newRow("80 CJK characters") << QString(80, u'证');
    }

    void unsafeCertificateNumbersSaveNothing()
    {
        QFETCH(QString, number);
        CertificateRecord record = shortRecord();
        record.zhengshuhao = number;
        QCOMPARE(fill(record, TemplateKind::Original), std::int16_t(-1));
        QVERIFY(engine.state.savedFiles.isEmpty());
        QCOMPARE(view.messages.size(), 1);
        QVERIFY2(view.messages.first().startsWith(QStringLiteral("75:")),
                 qPrintable(view.messages.first()));
        QCOMPARE(engine.state.calls.mid(engine.state.calls.size() - 2),
                 (QStringList{"Close()", "Quit()"}));
    }

    void safeCertificateNumbersAreKeptAsTheyAre_data()
    {
        QTest::addColumn<QString>("number");
        QTest::newRow("chinese") << "粤事证第440000123号";
        QTest::newRow("spaces and dots") << " 12.3 A ";
        QTest::newRow("single dot") << ".";
        QTest::newRow("outside the BMP") << QStringLiteral("𠀀𠀁-1");
        QTest::newRow("239 ASCII bytes") << QString(239, u'9');
        QTest::newRow("79 CJK characters") << QString(79, u'证');
    }

    void safeCertificateNumbersAreKeptAsTheyAre()
    {
        QFETCH(QString, number);
        CertificateRecord record = shortRecord();
        record.zhengshuhao = number;
        QCOMPARE(fill(record, TemplateKind::Original), std::int16_t(1));
        QCOMPARE(engine.state.savedFiles,
                 QStringList{paths::outputDir() + number + QStringLiteral("（正本）.doc")});
    }
};

MORVANTA_TEST_MAIN(FillProtocolTest)
#include "tst_fillprotocol.moc"
