#include "testfiles.h"

#include "office/engine.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

namespace testfiles {

QString useTemporaryHome()
{
    static QTemporaryDir home(QDir::tempPath() + QStringLiteral("/morvanta-test-home-XXXXXX"));
    qputenv("HOME", QFile::encodeName(home.path()));
    return home.path();
}

QString rtfText(const QString& text)
{
    QString out;
    for (const QChar c : text) {
        const ushort u = c.unicode();
        if (u == u'\\' || u == u'{' || u == u'}')
            out += u'\\' + QString(c);
        else if (u == u'\n')
            out += QStringLiteral("\\line ");
        else if (u < 0x80)
            out += c;
        else // signed 16-bit code units, surrogates written one by one
            out += QStringLiteral("\\u%1?").arg(static_cast<short>(u));
    }
    return out;
}

QString rtfParagraph(const QString& text)
{
    return QStringLiteral("\\pard ") + rtfText(text) + QStringLiteral("\\par\n");
}

QString rtfTableRow(const QStringList& cells, int cellTwips)
{
    QString row = QStringLiteral("\\trowd");
    for (int i = 1; i <= cells.size(); ++i)
        row += QStringLiteral("\\cellx%1").arg(i * cellTwips);
    row += QStringLiteral("\n");
    for (const QString& cell : cells)
        row += QStringLiteral("\\pard\\intbl ") + rtfText(cell) + QStringLiteral("\\cell\n");
    return row + QStringLiteral("\\row\n");
}

QString rtfDocument(const QString& body, int points, const PageTwips& page)
{
    // Character formatting set once holds for every paragraph and cell after it.
    QString rtf =
        QStringLiteral("{\\rtf1\\ansi\\ansicpg936\\deff0{\\fonttbl{\\f0\\fnil\\fcharset134 ") +
        rtfText(QStringLiteral("宋体")) + QStringLiteral(";}}\n");
    rtf += QStringLiteral("\\paperw%1\\paperh%2\\margt%3\\margb%4\\margl%5\\margr%6%7\n")
               .arg(page.width)
               .arg(page.height)
               .arg(page.top)
               .arg(page.bottom)
               .arg(page.left)
               .arg(page.right)
               .arg(page.width > page.height ? QStringLiteral("\\landscape") : QString());
    return rtf + QStringLiteral("\\plain\\f0\\fs%1\n").arg(points * 2) + body +
           QStringLiteral("}\n");
}

void writeText(const QString& path, const QString& content)
{
    writeBytes(path, content.toUtf8());
}

void writeBytes(const QString& path, const QByteArray& content)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(content) != content.size())
        qFatal("cannot write %s", qPrintable(path));
}

QByteArray readBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void makeWordDocument(const QString& path, const QStringList& paragraphs, int points,
                      int marginTwips)
{
    QString body;
    for (const QString& p : paragraphs)
        body += rtfParagraph(p);
    makeWordDocumentFromRtf(path, body, points,
                            {marginTwips, marginTwips, marginTwips, marginTwips});
}

void makeWordDocumentFromRtf(const QString& path, const QString& body, int points,
                             const PageTwips& page)
{
    QTemporaryDir work; // not beside the target: a templates folder must hold only templates
    const QString rtf = work.filePath(QStringLiteral("source.rtf"));
    writeText(rtf, rtfDocument(body, points, page));
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile::remove(path);
    office::convertFile(rtf, path, QStringLiteral("MS Word 97"));
}

namespace {

QString xmlEscape(QString s)
{
    return s.replace(u'&', QStringLiteral("&amp;"))
        .replace(u'<', QStringLiteral("&lt;"))
        .replace(u'>', QStringLiteral("&gt;"));
}

const char kStyles[] = R"(<office:automatic-styles>
 <number:date-style style:name="N_ymd"><number:year number:style="long"/><number:text>-</number:text><number:month number:style="long"/><number:text>-</number:text><number:day number:style="long"/></number:date-style>
 <number:date-style style:name="N_cn"><number:year number:style="long"/><number:text>年</number:text><number:month/><number:text>月</number:text><number:day/><number:text>日</number:text></number:date-style>
 <number:number-style style:name="N_num2"><number:number number:decimal-places="2" number:min-integer-digits="1" number:grouping="true"/></number:number-style>
 <number:percentage-style style:name="N_pct"><number:number number:decimal-places="2" number:min-integer-digits="1"/><number:text>%</number:text></number:percentage-style>
 <number:date-style style:name="N_sys" number:format-source="language" number:automatic-order="true"><number:year number:style="long"/><number:text>/</number:text><number:month/><number:text>/</number:text><number:day/></number:date-style>
 <style:style style:name="date_sys" style:family="table-cell" style:data-style-name="N_sys"/>
 <style:style style:name="date_ymd" style:family="table-cell" style:data-style-name="N_ymd"/>
 <style:style style:name="date_cn" style:family="table-cell" style:data-style-name="N_cn"/>
 <style:style style:name="num2" style:family="table-cell" style:data-style-name="N_num2"/>
 <style:style style:name="pct" style:family="table-cell" style:data-style-name="N_pct"/>
</office:automatic-styles>
)";

} // namespace

void makeWorkbook(const QString& path, const QList<QList<Cell>>& rows, const QString& sheetName)
{
    QString x = QStringLiteral(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<office:document xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
        "xmlns:table=\"urn:oasis:names:tc:opendocument:xmlns:table:1.0\" "
        "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\" "
        "xmlns:style=\"urn:oasis:names:tc:opendocument:xmlns:style:1.0\" "
        "xmlns:number=\"urn:oasis:names:tc:opendocument:xmlns:datastyle:1.0\" "
        "office:version=\"1.2\" "
        "office:mimetype=\"application/vnd.oasis.opendocument.spreadsheet\">\n");
    x += QString::fromUtf8(kStyles);
    x += QStringLiteral("<office:body><office:spreadsheet><table:table table:name=\"%1\">\n")
             .arg(xmlEscape(sheetName));
    for (const auto& row : rows) {
        x += QStringLiteral("<table:table-row>");
        if (row.isEmpty())
            x += QStringLiteral("<table:table-cell/>");
        for (const Cell& c : row) {
            x += QStringLiteral("<table:table-cell");
            if (!c.style.isEmpty())
                x += QStringLiteral(" table:style-name=\"%1\"").arg(c.style);
            if (c.valueType.isEmpty()) {
                if (c.text.isEmpty()) {
                    x += QStringLiteral("/>");
                    continue;
                }
                x += QStringLiteral(
                         " office:value-type=\"string\"><text:p>%1</text:p></table:table-cell>")
                         .arg(xmlEscape(c.text).replace(u' ', QStringLiteral("<text:s/>")));
                continue;
            }
            const QString attr = c.valueType == u"date" ? QStringLiteral("office:date-value")
                                                        : QStringLiteral("office:value");
            x += QStringLiteral(" office:value-type=\"%1\" %2=\"%3\"/>")
                     .arg(c.valueType, attr, c.value);
        }
        x += QStringLiteral("</table:table-row>\n");
    }
    x += QStringLiteral("</table:table></office:spreadsheet></office:body></office:document>\n");
    const QString source = path + QStringLiteral(".source.fods");
    writeText(source, x);
    office::convertFile(source, path, QStringLiteral("MS Excel 97"));
    QFile::remove(source);
}

QList<Cell> textRow(const QStringList& texts)
{
    QList<Cell> row;
    for (const QString& text : texts)
        row << Cell::str(text);
    return row;
}

QByteArray leadingBytes(const QString& path, int count)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.read(count);
}

bool isOleFile(const QString& path)
{
    return leadingBytes(path) == QByteArray::fromHex("D0CF11E0A1B11AE1");
}

QStringList filesBelow(const QString& folder)
{
    QStringList found;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        found << QDir(folder).relativeFilePath(it.next());
    found.sort();
    return found;
}

} // namespace testfiles
