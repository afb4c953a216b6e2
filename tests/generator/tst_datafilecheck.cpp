// The check of a downloaded data file before the office opens it, on zip
// packages, flat XML and HTML files written here byte by byte.

#include "testmain.h"

#include "common/error.h"
#include "generator/datafilecheck.h"

#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtEndian>

#include <sys/stat.h>

namespace {

enum class Outcome
{
    Accepted,
    TooBigOrDamaged,
    NotASpreadsheet,
    OtherFailure
};

struct Member
{
    QByteArray name;
    QByteArray data;
    bool stored = false;
    quint64 declaredSize = 0; // 0: the real size
    bool zip64 = false;       // sizes in the 64-bit extra field
    quint16 flags = 0;
    quint16 method = 0; // 0: stored or deflated as `stored` says
};

quint32 crc32(const QByteArray& data)
{
    quint32 crc = 0xFFFFFFFF;
    for (const char c : data) {
        crc ^= static_cast<quint8>(c);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320 & (0u - (crc & 1)));
    }
    return ~crc;
}

template <class T> void put(QByteArray& out, T value)
{
    char bytes[sizeof(T)];
    qToLittleEndian(value, bytes);
    out.append(bytes, sizeof(T));
}

// A zip package as writers make it (local headers, central directory, end
// record), with the lies a hostile file tells: sizes it does not hold, a
// directory entry repeated over the same data, leading bytes.
QByteArray zipOf(const QList<Member>& members, const QByteArray& leading = {},
                 bool repeatLastEntry = false)
{
    QByteArray out = leading, directory;
    int entries = 0;
    for (const Member& m : members) {
        // A raw deflate stream is zlib's stream less its 2-byte header and 4-byte sum.
        const QByteArray packed = m.stored ? m.data : qCompress(m.data).mid(6).chopped(4);
        const quint64 unpacked = m.declaredSize ? m.declaredSize : quint64(m.data.size());
        QByteArray extra;
        if (m.zip64) {
            put<quint16>(extra, 1);
            put<quint16>(extra, 16);
            put<quint64>(extra, unpacked);
            put<quint64>(extra, quint64(packed.size()));
        }
        const quint32 packed32 = m.zip64 ? 0xFFFFFFFF : quint32(packed.size());
        const quint32 unpacked32 = m.zip64 ? 0xFFFFFFFF : quint32(unpacked);
        auto common = [&](QByteArray& h) {
            put<quint16>(h, m.zip64 ? 45 : 20);
            put<quint16>(h, m.flags);
            put<quint16>(h, m.method ? m.method : m.stored ? 0 : 8);
            put<quint32>(h, 0x00210000); // 1980-01-01 00:00
            put<quint32>(h, crc32(m.data));
            put<quint32>(h, packed32);
            put<quint32>(h, unpacked32);
            put<quint16>(h, quint16(m.name.size()));
            put<quint16>(h, quint16(extra.size()));
        };
        QByteArray entry;
        put<quint32>(entry, 0x02014b50);
        put<quint16>(entry, 0x031E);
        common(entry);
        put<quint16>(entry, 0);
        put<quint32>(entry, 0);
        put<quint32>(entry, 0);
        put<quint32>(entry, quint32(out.size() - leading.size()));
        entry += m.name + extra;
        directory += entry;
        ++entries;
        if (repeatLastEntry && &m == &members.last())
            directory += entry, ++entries;

        put<quint32>(out, 0x04034b50);
        common(out);
        out += m.name + extra + packed;
    }
    const quint32 directoryAt = quint32(out.size() - leading.size());
    out += directory;
    put<quint32>(out, 0x06054b50);
    put<quint32>(out, 0);
    put<quint16>(out, quint16(entries));
    put<quint16>(out, quint16(entries));
    put<quint32>(out, quint32(directory.size()));
    put<quint32>(out, directoryAt);
    put<quint16>(out, 0);
    return out;
}

const QByteArray xmlDeclaration = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n";

QByteArray sheetXml(int rows)
{
    QByteArray xml = xmlDeclaration +
                     "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/"
                     "main\"><sheetData>";
    QRandomGenerator random(18);
    for (int r = 1; r <= rows; ++r) {
        xml += "<row r=\"" + QByteArray::number(r) + "\">";
        for (char column = 'A'; column <= 'I'; ++column)
            xml += "<c r=\"" + QByteArray(1, column) + QByteArray::number(r) +
                   "\" t=\"inlineStr\"><is><t>" + QByteArray::number(random.generate()) +
                   "</t></is></c>";
        xml += "</row>";
    }
    return xml + "</sheetData></worksheet>";
}

// The members of a small .xlsx; `sheet` replaces the worksheet.
QList<Member> xlsxMembers(const QByteArray& sheet = sheetXml(3))
{
    return {
        {"[Content_Types].xml", xmlDeclaration + "<Types xmlns=\"http://schemas.openxmlformats"
                                                 ".org/package/2006/content-types\"/>"},
        {"_rels/.rels", xmlDeclaration + "<Relationships/>"},
        {"xl/workbook.xml", xmlDeclaration + "<workbook><sheets><sheet name=\"Sheet1\" "
                                             "sheetId=\"1\" r:id=\"rId1\"/></sheets></workbook>"},
        {"xl/worksheets/sheet1.xml", sheet},
        {"xl/media/image1.png", "\x89PNG\r\n\x1a\n" + QByteArray(3000, '\x7f'), true},
    };
}

// The members of an .ods from an older office: a DTD named by bare file name.
QList<Member> odsMembers()
{
    return {
        {"mimetype", "application/vnd.oasis.opendocument.spreadsheet", true},
        {"content.xml", xmlDeclaration + "<office:document-content/>"},
        {"META-INF/manifest.xml",
         xmlDeclaration + "<!DOCTYPE manifest:manifest PUBLIC \"-//OpenOffice.org//DTD Manifest "
                          "1.0//EN\" \"Manifest.dtd\">\n<manifest:manifest/>"},
    };
}

QByteArray withSheet(const QByteArray& sheet)
{
    return zipOf(xlsxMembers(sheet));
}

const QByteArray entityPrologue = "<!DOCTYPE worksheet [<!ENTITY e \"x\">]>";

QByteArray utf16(const QByteArray& text)
{
    const QString s = QString::fromUtf8(text);
    return QByteArray("\xFF\xFE") +
           QByteArray(reinterpret_cast<const char*>(s.utf16()), s.size() * 2);
}

QByteArray htmlTable(const QByteArray& doctype)
{
    return doctype + "\n<html><head><meta charset=\"utf-8\"></head><body><table><tr><td>"
                     "粤事证第0001号</td></tr></table></body></html>\n";
}

QByteArray spreadsheetMl(const QByteArray& doctype)
{
    return xmlDeclaration + "<?mso-application progid=\"Excel.Sheet\"?>\n" + doctype +
           "<Workbook xmlns=\"urn:schemas-microsoft-com:office:spreadsheet\"><Worksheet "
           "ss:Name=\"Sheet1\"><Table><Row><Cell><Data ss:Type=\"String\">&e;</Data></Cell>"
           "</Row></Table></Worksheet></Workbook>";
}

} // namespace

class DataFileCheckTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir folder;

    QString write(const QByteArray& content)
    {
        const QString path = folder.filePath(QStringLiteral("down.xls"));
        testfiles::writeBytes(path, content);
        return path;
    }

    static Outcome outcomeOf(const QString& path)
    {
        try {
            checkDataFile(path);
            return Outcome::Accepted;
        } catch (const morvanta::Error& e) {
            const QString framed = QStringLiteral("数据文件“%1”").arg(path);
            if (e.number() != morvanta::errc::NotASpreadsheet ||
                !e.description().startsWith(framed))
                return Outcome::OtherFailure;
            if (e.description().endsWith(QStringLiteral("过大或已损坏，无法读取。")))
                return Outcome::TooBigOrDamaged;
            if (e.description().endsWith(QStringLiteral("已损坏或不是电子表格，无法读取。")))
                return Outcome::NotASpreadsheet;
            return Outcome::OtherFailure;
        }
    }

private slots:
    void files_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<Outcome>("outcome");
        const auto ok = Outcome::Accepted;
        const auto big = Outcome::TooBigOrDamaged;
        const auto bad = Outcome::NotASpreadsheet;

        QTest::newRow("xlsx") << zipOf(xlsxMembers()) << ok;
        QTest::newRow("ods of an older office") << zipOf(odsMembers()) << ok;
        QList<Member> bomb = xlsxMembers();
        bomb[3].declaredSize = 1900ull << 20;
        QTest::newRow("member declaring 1.9 GiB") << zipOf(bomb) << big;
        QTest::newRow("bomb behind leading bytes") << zipOf(bomb, "<html>\n") << big;
        QList<Member> halves = xlsxMembers();
        halves[3].declaredSize = halves[4].declaredSize = 300ull << 20;
        QTest::newRow("two members of 300 MiB") << zipOf(halves) << big;
        QList<Member> wide = xlsxMembers();
        wide[3].zip64 = true;
        QTest::newRow("zip64 member, honest") << zipOf(wide) << ok;
        wide[3].declaredSize = 4ull << 30;
        QTest::newRow("zip64 member declaring 4 GiB") << zipOf(wide) << big;
        QList<Member> many;
        for (int i = 0; i <= datafilecheck::maxMembers; ++i)
            many.append({"m" + QByteArray::number(i), {}, true});
        QTest::newRow("too many members") << zipOf(many) << big;
        many.resize(datafilecheck::maxMembers);
        QTest::newRow("as many members as allowed") << zipOf(many) << ok;
        const QByteArray good = zipOf(xlsxMembers());
        QTest::newRow("cut short") << good.first(good.size() / 2) << big;
        QTest::newRow("one member listed twice") << zipOf(xlsxMembers(), {}, true) << big;

        const QByteArray sheet = sheetXml(2);
        QTest::newRow("member with entities")
            << withSheet(xmlDeclaration + entityPrologue + sheet.sliced(xmlDeclaration.size()))
            << bad;
        QTest::newRow("member with an outside DTD")
            << withSheet("<!DOCTYPE x SYSTEM \"http://127.0.0.1:9/x.dtd\"><worksheet/>") << bad;
        QTest::newRow("UTF-16 member with entities")
            << withSheet(utf16(entityPrologue + "<worksheet/>")) << bad;
        QTest::newRow("member in UTF-7")
            << withSheet("<?xml version=\"1.0\" encoding=\"UTF-7\"?>+ADw-!DOCTYPE x+AD4-") << bad;
        QTest::newRow("member with its DTD after 70 kB of comment")
            << withSheet("<!--" + QByteArray(70000, ' ') + "-->" + entityPrologue) << bad;
        QTest::newRow("member with a declaration in a comment only")
            << withSheet(xmlDeclaration + "<!-- " + entityPrologue + " -->" + sheet) << ok;
        QList<Member> storedEntities = xlsxMembers(entityPrologue + "<worksheet/>");
        storedEntities[3].stored = true;
        QTest::newRow("stored member with entities") << zipOf(storedEntities) << bad;
        storedEntities[3].flags = 1;   // "encrypted"
        storedEntities[3].method = 99; // unknown to this check
        QTest::newRow("member with entities that claims to be encrypted")
            << zipOf(storedEntities) << bad;

        QTest::newRow("SpreadsheetML") << spreadsheetMl({}) << ok;
        QTest::newRow("SpreadsheetML with entities")
            << spreadsheetMl("<!DOCTYPE Workbook [\n<!ENTITY e \"x\">\n]>\n") << bad;
        QTest::newRow("fods with an outside DTD")
            << xmlDeclaration + "<!DOCTYPE office:document SYSTEM \"file:///etc/passwd\">\n" +
                   "<office:document office:mimetype=\"application/vnd.oasis.opendocument."
                   "spreadsheet\"/>"
            << bad;
        QTest::newRow("HTML5 table") << htmlTable("<!DOCTYPE html>") << ok;
        QTest::newRow("XHTML table")
            << xmlDeclaration +
                   htmlTable("<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Strict//EN\" "
                             "\"http://www.w3.org/TR/xhtml1/DTD/xhtml1-strict.dtd\">")
            << ok;
        QTest::newRow("HTML with its own DTD")
            << htmlTable("<!DOCTYPE html SYSTEM \"http://127.0.0.1:9/x.dtd\">") << bad;
        QTest::newRow("HTML with entities")
            << htmlTable("<!doctype html [<!ENTITY e SYSTEM \"file:///etc/passwd\">]>") << bad;
        QTest::newRow("UTF-16 HTML table") << utf16(htmlTable("<!DOCTYPE html>")) << ok;
        QTest::newRow("tab-separated text") << QByteArray("证书号\t单位名称\nA1\t青山\n") << ok;
    }

    void files()
    {
        QFETCH(QByteArray, content);
        QFETCH(Outcome, outcome);
        QCOMPARE(outcomeOf(write(content)), outcome);
    }

    // The sample data as the office writes it, and its flat source.
    void sampleData_data()
    {
        QTest::addColumn<QString>("path");
        QTest::newRow("Excel 97") << QStringLiteral(MORVANTA_BUILD_DIR "/templates/down.xls");
        QTest::newRow("flat ODF") << QStringLiteral(MORVANTA_SOURCE_DIR "/templates/down.fods");
    }

    void sampleData()
    {
        QFETCH(QString, path);
        QVERIFY2(QFile::exists(path), qPrintable(path));
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(outcomeOf(path), Outcome::Accepted);
        qInfo("checked %s in %.3f ms", qPrintable(path), timer.nsecsElapsed() / 1e6);
    }

    // A package of about 2 MB holding some 25,000 rows.
    void largeHonestPackage()
    {
        const QByteArray package = withSheet(sheetXml(25000));
        QVERIFY2(package.size() > 2000000, qPrintable(QString::number(package.size())));
        const QString path = write(package);
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(outcomeOf(path), Outcome::Accepted);
        qInfo("checked %lld bytes in %.3f ms", qint64(package.size()), timer.nsecsElapsed() / 1e6);
    }

    // A FIFO put where the file was is never waited on.
    void pipeIsNoFile()
    {
        const QString path = folder.filePath(QStringLiteral("fifo.xls"));
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        int number = 0;
        try {
            checkDataFile(path);
        } catch (const morvanta::Error& e) {
            number = e.number();
        }
        QFile::remove(path);
        QCOMPARE(number, morvanta::errc::FileNotFound);
    }
};

MORVANTA_TEST_MAIN(DataFileCheckTest)
#include "tst_datafilecheck.moc"
