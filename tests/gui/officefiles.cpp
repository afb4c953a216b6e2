#include "officefiles.h"

#include "common/paths.h"
#include "office/engine.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {

const QStringList placeholders{
    QStringLiteral("证书号"),         QStringLiteral("证书有效期"), QStringLiteral("单位名称"),
    QStringLiteral("宗旨和业务范围"), QStringLiteral("住所"),       QStringLiteral("法定代表人"),
    QStringLiteral("经费来源"),       QStringLiteral("开办资金"),   QStringLiteral("举办单位"),
};

void writeFile(const QString& path, const QByteArray& content)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        qFatal("cannot write %s", qPrintable(path));
}

QByteArray rtfText(const QString& text)
{
    QByteArray out;
    for (const QChar c : text) {
        if (c.unicode() < 128)
            out += char(c.unicode());
        else
            out += "\\u" + QByteArray::number(qint16(c.unicode())) + '?';
    }
    return out;
}

QString xmlText(QString text)
{
    return text.replace(u'&', QStringLiteral("&amp;"))
        .replace(u'<', QStringLiteral("&lt;"))
        .replace(u'>', QStringLiteral("&gt;"));
}

QString fodsRow(const QStringList& cells)
{
    if (cells.isEmpty())
        return QStringLiteral("<table:table-row><table:table-cell/></table:table-row>\n");
    QString row = QStringLiteral("<table:table-row>");
    for (const QString& cell : cells)
        row += QStringLiteral("<table:table-cell office:value-type=\"string\"><text:p>%1</text:p>"
                              "</table:table-cell>")
                   .arg(xmlText(cell));
    return row + QStringLiteral("</table:table-row>\n");
}

} // namespace

void makeTemplates()
{
    QDir().mkpath(paths::templatesDir());
    QTemporaryDir work;
    for (const auto kind : {paths::TemplateKind::Original, paths::TemplateKind::Duplicate}) {
        QByteArray rtf = "{\\rtf1\\ansi\\ansicpg936\\deff0{\\fonttbl{\\f0 SimSun;}}\\f0\\fs24\n";
        rtf += rtfText(kind == paths::TemplateKind::Original
                           ? QStringLiteral("事业单位法人证书（正本）")
                           : QStringLiteral("事业单位法人证书（副本）"));
        rtf += "\\par\n";
        for (const QString& placeholder : placeholders)
            rtf += rtfText(placeholder) + "\\par\n";
        rtf += "}";
        const QString source = work.filePath(QStringLiteral("template.rtf"));
        writeFile(source, rtf);
        office::convertFile(source, paths::templateFile(kind), QStringLiteral("MS Word 97"));
    }
}

void makeDataFile(const std::vector<QStringList>& rows)
{
    QDir().mkpath(paths::downloadDir());
    QString fods = QStringLiteral(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<office:document xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\"\n"
        " xmlns:table=\"urn:oasis:names:tc:opendocument:xmlns:table:1.0\"\n"
        " xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\"\n"
        " office:version=\"1.3\" "
        "office:mimetype=\"application/vnd.oasis.opendocument.spreadsheet\">\n"
        "<office:body><office:spreadsheet><table:table table:name=\"Sheet1\">\n");
    fods += fodsRow(placeholders);
    for (const QStringList& row : rows)
        fods += fodsRow(row);
    fods += QStringLiteral("</table:table></office:spreadsheet></office:body></office:document>\n");

    QTemporaryDir work;
    const QString source = work.filePath(QStringLiteral("down.fods"));
    writeFile(source, fods.toUtf8());
    office::convertFile(source, paths::dataFile(), QStringLiteral("MS Excel 97"));
}

bool isWord97File(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) &&
           file.read(8) == QByteArray::fromHex("d0cf11e0a1b11ae1");
}
