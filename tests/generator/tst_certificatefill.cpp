// The fill against the real office: documents made from real Word 97
// templates, read back through the office to check what was written where.

#include "testsupport.h"

#include "generator/certificatefill.h"
#include "office/engine.h"
#include "office/error.h"

#include <QDir>
#include <QFile>

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
    return recordOf({number, QStringLiteral("自2026年1月1日至2031年12月31日"),
                     QStringLiteral("青山市康复中心"), QStringLiteral("康复医疗服务"),
                     QStringLiteral("青山市东城区"), QStringLiteral("李晓明"),
                     QStringLiteral("财政补助"), QStringLiteral("￥1,250.00万元"),
                     QStringLiteral("青山市卫生健康委员会")});
}

float baseSize(TemplateKind kind)
{
    return static_cast<float>(kind == TemplateKind::Original ? originalLayout.fontPt
                                                             : duplicateLayout.fontPt);
}

} // namespace

class CertificateFillTest : public QObject
{
    Q_OBJECT

private:
    RecordingView view;

    std::int16_t fill(const CertificateRecord& record, TemplateKind kind)
    {
        view = RecordingView();
        bool matchCase = false;
        return fillCertificate(office::defaultEngine(), view, record, kind, matchCase);
    }

    // Runs `check` with another template of `kind` in place.
    template <class Check> void withTemplate(TemplateKind kind, const QString& bodyXml, Check check)
    {
        const QString path = paths::templateFile(kind);
        const QByteArray original = readFile(path);
        makeWordDocument(path, bodyXml,
                         kind == TemplateKind::Original ? originalLayout : duplicateLayout);
        check();
        writeFile(path, original);
    }

private slots:
    void initTestCase()
    {
        office::EngineOptions options;
        options.callDeadline = std::chrono::seconds(20);
        office::setDefaultEngineOptions(options);
        makeMorvantaFolders();
        makeDefaultTemplates();
    }

    void cleanup()
    {
        // Each case starts with an empty output folder.
        QDir(paths::outputDir()).removeRecursively();
        QDir().mkpath(paths::outputDir());
    }

    void fontSizesAtTheThresholds_data()
    {
        QTest::addColumn<TemplateKind>("kind");
        QTest::addColumn<int>("nameLength");
        QTest::addColumn<int>("scopeLength");
        QTest::addColumn<int>("domicileLength");
        QTest::addColumn<float>("nameSize"); // 0: the template's own size
        QTest::addColumn<float>("scopeSize");
        QTest::addColumn<float>("domicileSize");
        const auto O = TemplateKind::Original;
        const auto D = TemplateKind::Duplicate;
        QTest::newRow("original at first thresholds") << O << 26 << 183 << 30 << 0.f << 0.f << 0.f;
        QTest::newRow("original past first") << O << 27 << 184 << 31 << 16.f << 8.f << 14.f;
        QTest::newRow("original at second") << O << 44 << 700 << 46 << 16.f << 8.f << 14.f;
        QTest::newRow("original past second") << O << 45 << 183 << 47 << 12.f << 0.f << 12.f;
        QTest::newRow("duplicate at first thresholds") << D << 26 << 106 << 26 << 0.f << 0.f << 0.f;
        QTest::newRow("duplicate past first") << D << 27 << 107 << 27 << 9.f << 7.f << 9.f;
        QTest::newRow("duplicate at second") << D << 42 << 137 << 42 << 9.f << 7.f << 9.f;
        QTest::newRow("duplicate past second") << D << 43 << 138 << 43 << 6.f << 5.f << 6.f;
    }

    void fontSizesAtTheThresholds()
    {
        QFETCH(TemplateKind, kind);
        QFETCH(int, nameLength);
        QFETCH(int, scopeLength);
        QFETCH(int, domicileLength);
        QFETCH(float, nameSize);
        QFETCH(float, scopeSize);
        QFETCH(float, domicileSize);
        const float base = baseSize(kind);

        CertificateRecord record = sampleRecord(QStringLiteral("粤事证第0001号"));
        record.danweimingcheng = textOfLength(namePhrase, nameLength);
        record.zongzhiyewufanwei = textOfLength(scopePhrase, scopeLength);
        record.zhusuo = textOfLength(domicilePhrase, domicileLength);
        QCOMPARE(fill(record, kind), std::int16_t(1));
        QVERIFY2(view.log.isEmpty(), qPrintable(view.log.join(u'\n')));

        SavedDocument saved(outputPath(record.zhengshuhao, kind));
        QCOMPARE(saved.sizesOf(record.danweimingcheng), QList<float>{nameSize ? nameSize : base});
        QCOMPARE(saved.sizesOf(record.zongzhiyewufanwei),
                 QList<float>{scopeSize ? scopeSize : base});
        QCOMPARE(saved.sizesOf(record.zhusuo), QList<float>{domicileSize ? domicileSize : base});
        // Fields without rules, and the text around the fields, keep their size.
        QCOMPARE(saved.sizesOf(record.fadingdaibiaoren), QList<float>{base});
        QCOMPARE(saved.sizesOf(record.jubandanwei), QList<float>{base});
        QCOMPARE(saved.sizesOf(QStringLiteral("统一社会信用代码：")), QList<float>{base});
        for (const QString& placeholder :
             {QStringLiteral("单位名称"), QStringLiteral("住所"), QStringLiteral("宗旨和业务范围")})
            QVERIFY(!saved.contains(placeholder));
    }

    // Every occurrence is replaced and shrunk; the result counts the last placeholder.
    void placeholderThatOccursTwice()
    {
        const QString body = paragraphXml(QStringLiteral("单位名称（举办单位）")) +
                             tableXml({{QStringLiteral("单位名称"), QStringLiteral("举办单位")}}) +
                             paragraphXml(QStringLiteral("证书号"));
        withTemplate(TemplateKind::Duplicate, body, [&] {
            CertificateRecord record = sampleRecord(QStringLiteral("T2"));
            record.danweimingcheng = textOfLength(namePhrase, 43);
            QCOMPARE(fill(record, TemplateKind::Duplicate), std::int16_t(2));
            SavedDocument saved(outputPath(QStringLiteral("T2"), TemplateKind::Duplicate));
            QCOMPARE(saved.sizesOf(record.danweimingcheng), (QList<float>{6.f, 6.f}));
            QCOMPARE(saved.sizesOf(record.jubandanwei), (QList<float>{14.f, 14.f}));
        });
    }

    void templateWithoutTheLastPlaceholderReturnsZero()
    {
        withTemplate(TemplateKind::Original, paragraphXml(QStringLiteral("证书号 单位名称")), [&] {
            QCOMPARE(fill(sampleRecord(QStringLiteral("T3")), TemplateKind::Original),
                     std::int16_t(0));
            SavedDocument saved(outputPath(QStringLiteral("T3"), TemplateKind::Original));
            QVERIFY(saved.contains(QStringLiteral("T3 青山市康复中心")));
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
        QVERIFY(!saved.contains(QStringLiteral("单位名称")));
        QVERIFY(saved.contains(QStringLiteral("有效期：自自2026年起，地址见东城区栏")));
        QVERIFY(!saved.contains(QStringLiteral("住所")));
        QVERIFY(saved.contains(QStringLiteral("王^p芳.*[a-z]+\\n^&")));
        QVERIFY(!saved.contains(QStringLiteral("开办资金")));
    }

    // Length is counted in UTF-16 code units: 14 such characters are 28 units.
    void charactersOutsideTheBmpCountTwice()
    {
        CertificateRecord record = sampleRecord(QStringLiteral("T5"));
        record.danweimingcheng = QStringLiteral("𠀀").repeated(13);
        record.zhusuo = record.danweimingcheng + QStringLiteral("𠀁");
        QCOMPARE(record.danweimingcheng.size(), 26);
        QCOMPARE(fill(record, TemplateKind::Duplicate), std::int16_t(1));
        SavedDocument saved(outputPath(QStringLiteral("T5"), TemplateKind::Duplicate));
        QCOMPARE(saved.sizesOf(record.zhusuo), QList<float>{9.f});
        QCOMPARE(saved.sizesOf(record.danweimingcheng), QList<float>{14.f});
    }

    void ownPlaceholderInTheValueEndsInOverflow()
    {
        CertificateRecord record = sampleRecord(QStringLiteral("T10"));
        record.jubandanwei = QStringLiteral("青山市举办单位");
        QCOMPARE(fill(record, TemplateKind::Original), std::int16_t(-1));
        QCOMPARE(view.messages.size(), 1);
        QVERIFY2(view.messages.first().startsWith(QStringLiteral("6:")),
                 qPrintable(view.messages.first()));
        QCOMPARE(filesBelow(paths::outputDir()), QStringList());
    }

    void missingTemplateShowsItsMessageOnly()
    {
        const QString path = paths::templateFile(TemplateKind::Duplicate);
        const QByteArray kept = readFile(path);
        QVERIFY(QFile::remove(path));
        const std::int16_t result =
            fill(sampleRecord(QStringLiteral("T6")), TemplateKind::Duplicate);
        writeFile(path, kept);
        QCOMPARE(result, std::int16_t(-2));
        QCOMPARE(view.log, QStringList{QStringLiteral("message 未找到该文件")});
        QCOMPARE(filesBelow(paths::outputDir()), QStringList());
    }

    void missingOutputFolderFailsTheSave()
    {
        QVERIFY(QDir(paths::outputDir()).removeRecursively());
        QCOMPARE(fill(sampleRecord(QStringLiteral("T7")), TemplateKind::Original),
                 std::int16_t(-1));
        QCOMPARE(view.messages.size(), 1);
        QVERIFY2(
            view.messages.first().startsWith(QString::number(office::errc::PathNotFound) + u':'),
            qPrintable(view.messages.first()));
        QVERIFY(!QFileInfo::exists(paths::outputDir()));
    }

    // A number that is no plain file name writes nothing, anywhere.
    void unsafeNumbersWriteNothing_data()
    {
        QTest::addColumn<QString>("number");
        QTest::newRow("parent folder") << "../逃逸";
        QTest::newRow("sub folder") << "正副本/1";
        QTest::newRow("absolute") << "/tmp/x";
        QTest::newRow("too long") << QString(240, u'9');
    }

    void unsafeNumbersWriteNothing()
    {
        QFETCH(QString, number);
        const QString home = QDir::homePath();
        const QStringList before = filesBelow(home);
        QCOMPARE(fill(sampleRecord(number), TemplateKind::Original), std::int16_t(-1));
        QCOMPARE(view.messages.size(), 1);
        QVERIFY2(view.messages.first().startsWith(QStringLiteral("75:")),
                 qPrintable(view.messages.first()));
        QCOMPARE(filesBelow(home), before);
        QVERIFY(!QFileInfo::exists(QStringLiteral("/tmp/x（正本）.doc")));
    }

    void longestFileNameIsSaved()
    {
        const QString number(239, u'9'); // 255 bytes with "（副本）.doc"
        QCOMPARE(fill(sampleRecord(number), TemplateKind::Duplicate), std::int16_t(1));
        QVERIFY(QFileInfo(outputPath(number, TemplateKind::Duplicate)).isFile());
    }

    // Saved as Word 97 beside an untouched template; a second record with the
    // same number replaces the first document.
    void savedAsWord97AndReplacedByTheSameNumber()
    {
        const QString templatePath = paths::templateFile(TemplateKind::Original);
        const QByteArray templateBefore = readFile(templatePath);
        CertificateRecord record = sampleRecord(QStringLiteral("T8"));
        QCOMPARE(fill(record, TemplateKind::Original), std::int16_t(1));
        record.fadingdaibiaoren = QStringLiteral("赵新");
        QCOMPARE(fill(record, TemplateKind::Original), std::int16_t(1));

        const QString path = outputPath(QStringLiteral("T8"), TemplateKind::Original);
        QVERIFY(readFile(path).startsWith(QByteArray::fromHex("D0CF11E0A1B11AE1")));
        QCOMPARE(readFile(templatePath), templateBefore);
        QCOMPARE(filesBelow(paths::outputDir()), QStringList{QFileInfo(path).fileName()});
        SavedDocument saved(path);
        QVERIFY(saved.contains(QStringLiteral("赵新")));
        QVERIFY(!saved.contains(QStringLiteral("李晓明")));
    }

    void valueOfFiveThousandCharacters()
    {
        CertificateRecord record = sampleRecord(QStringLiteral("T9"));
        record.zongzhiyewufanwei = textOfLength(scopePhrase, 5000);
        QCOMPARE(fill(record, TemplateKind::Duplicate), std::int16_t(1));
        SavedDocument saved(outputPath(QStringLiteral("T9"), TemplateKind::Duplicate));
        QCOMPARE(saved.sizesOf(record.zongzhiyewufanwei), QList<float>{5.f});
    }
};

MORVANTA_TEST_MAIN(CertificateFillTest)
#include "tst_certificatefill.moc"
