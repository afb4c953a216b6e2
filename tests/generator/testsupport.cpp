#include "testsupport.h"

#include "office/engine.h"
#include "office/word.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>

void makeMorvantaFolders()
{
    for (const QString& folder : {paths::downloadDir(), paths::templatesDir(), paths::outputDir()})
        QVERIFY(QDir().mkpath(folder));
}

void writeFile(const QString& path, const QByteArray& content)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(content) != content.size())
        qFatal("cannot write %s", qPrintable(path));
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
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

namespace {

// Text as flat-ODF paragraph content: markup escaped, every space kept.
QString odfText(const QString& text)
{
    QString xml;
    for (QChar c : text) {
        switch (c.unicode()) {
        case u'&':
            xml += QStringLiteral("&amp;");
            break;
        case u'<':
            xml += QStringLiteral("&lt;");
            break;
        case u'>':
            xml += QStringLiteral("&gt;");
            break;
        case u' ':
            xml += QStringLiteral("<text:s/>");
            break;
        default:
            xml += c;
        }
    }
    return xml;
}

const char* const odfNamespaces =
    R"(xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" )"
    R"(xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0" )"
    R"(xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0" )"
    R"(xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0" )"
    R"(xmlns:number="urn:oasis:names:tc:opendocument:xmlns:datastyle:1.0" )"
    R"(xmlns:svg="urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0" )"
    R"(xmlns:fo="urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0" )"
    R"(office:version="1.3")";

// Writes `xml` as a flat-ODF file and converts it with the office.
void convertFlatOdf(const QString& xml, const QString& suffix, const QString& target,
                    const QString& filter)
{
    QTemporaryDir dir;
    const QString source = dir.filePath(QStringLiteral("source.") + suffix);
    writeFile(source, xml.toUtf8());
    QFile::remove(target);
    office::convertFile(source, target, filter);
    if (!QFile::exists(target))
        qFatal("conversion to %s left no file", qPrintable(target));
}

} // namespace

QString paragraphXml(const QString& text)
{
    return QStringLiteral(R"(<text:p text:style-name="Standard">%1</text:p>)").arg(odfText(text));
}

QString tableXml(const QList<QStringList>& rows)
{
    QString xml = QStringLiteral(R"(<table:table table:name="Fields">)"
                                 R"(<table:table-column table:number-columns-repeated="%1"/>)")
                      .arg(rows.isEmpty() ? 1 : rows.first().size());
    for (const QStringList& row : rows) {
        xml += QStringLiteral("<table:table-row>");
        for (const QString& cell : row)
            xml += QStringLiteral(R"(<table:table-cell office:value-type="string">)") +
                   paragraphXml(cell) + QStringLiteral("</table:table-cell>");
        xml += QStringLiteral("</table:table-row>");
    }
    return xml + QStringLiteral("</table:table>");
}

QString certificateBodyXml()
{
    return paragraphXml(QStringLiteral("事业单位法人证书")) +
           tableXml({
               {QStringLiteral("名　　称"), QStringLiteral("单位名称")},
               {QStringLiteral("宗　　旨"), QStringLiteral("宗旨和业务范围")},
               {QStringLiteral("住　　址"), QStringLiteral("住所")},
               {QStringLiteral("法定代表"), QStringLiteral("法定代表人")},
               {QStringLiteral("经费渠道"), QStringLiteral("经费来源")},
               {QStringLiteral("资　　金"), QStringLiteral("开办资金")},
               {QStringLiteral("主管机关"), QStringLiteral("举办单位")},
           }) +
           paragraphXml(QStringLiteral("统一社会信用代码：证书号")) +
           paragraphXml(QStringLiteral("有效期：自证书有效期")) +
           paragraphXml(QStringLiteral("登记管理机关（盖章）"));
}

void makeWordDocument(const QString& docPath, const QString& bodyXml, const PageLayout& layout)
{
    const QString xml =
        QStringLiteral(
            R"(<?xml version="1.0" encoding="UTF-8"?>)"
            R"(<office:document %1 office:mimetype="application/vnd.oasis.opendocument.text">)"
            R"(<office:font-face-decls><style:font-face style:name="宋体" svg:font-family="宋体"/>)"
            R"(</office:font-face-decls>)"
            R"(<office:styles><style:style style:name="Standard" style:family="paragraph">)"
            R"(<style:text-properties style:font-name-asian="宋体" fo:font-size="%2pt" )"
            R"(style:font-size-asian="%2pt" style:font-size-complex="%2pt"/>)"
            R"(</style:style></office:styles>)"
            R"(<office:automatic-styles><style:page-layout style:name="pm1">)"
            R"(<style:page-layout-properties fo:page-width="%3cm" fo:page-height="%4cm" )"
            R"(style:print-orientation="landscape" fo:margin-top="%5cm" )"
            R"(fo:margin-bottom="%5cm" fo:margin-left="%5cm" fo:margin-right="%5cm"/>)"
            R"(</style:page-layout></office:automatic-styles>)"
            R"(<office:master-styles><style:master-page style:name="Standard" )"
            R"(style:page-layout-name="pm1"/></office:master-styles>)"
            R"(<office:body><office:text>%6</office:text></office:body></office:document>)")
            .arg(QLatin1StringView(odfNamespaces))
            .arg(layout.fontPt)
            .arg(layout.widthCm)
            .arg(layout.heightCm)
            .arg(layout.marginCm)
            .arg(bodyXml);
    convertFlatOdf(xml, QStringLiteral("fodt"), docPath, QStringLiteral("MS Word 97"));
}

void makeDefaultTemplates()
{
    makeWordDocument(paths::templateFile(paths::TemplateKind::Original), certificateBodyXml(),
                     originalLayout);
    makeWordDocument(paths::templateFile(paths::TemplateKind::Duplicate), certificateBodyXml(),
                     duplicateLayout);
}

QString textCell(const QString& text)
{
    return QStringLiteral(
               R"(<table:table-cell office:value-type="string"><text:p>%1</text:p></table:table-cell>)")
        .arg(odfText(text));
}

QString emptyCell()
{
    return QStringLiteral("<table:table-cell/>");
}

QString dateCell(const QString& isoDate)
{
    return QStringLiteral(R"(<table:table-cell table:style-name="ceDate" office:value-type="date" )"
                          R"(office:date-value="%1"/>)")
        .arg(isoDate);
}

QString amountCell(double value)
{
    return QStringLiteral(
               R"(<table:table-cell table:style-name="ceAmount" office:value-type="float" )"
               R"(office:value="%1"/>)")
        .arg(value, 0, 'g', 17);
}

QString percentCell(double value)
{
    return QStringLiteral(R"(<table:table-cell table:style-name="cePercent" )"
                          R"(office:value-type="percentage" office:value="%1"/>)")
        .arg(value, 0, 'g', 17);
}

QString rowOfTexts(const QStringList& texts)
{
    QString xml = QStringLiteral("<table:table-row>");
    for (const QString& text : texts)
        xml += text.isEmpty() ? emptyCell() : textCell(text);
    return xml + QStringLiteral("</table:table-row>");
}

void makeWorkbook(const QString& xlsPath, const QStringList& rowsXml, const QString& sheetName)
{
    QString rows;
    for (const QString& row : rowsXml)
        rows +=
            row.startsWith(QStringLiteral("<table:table-row"))
                ? row
                : QStringLiteral("<table:table-row>") + row + QStringLiteral("</table:table-row>");
    const QString xml =
        QStringLiteral(
            R"(<?xml version="1.0" encoding="UTF-8"?>)"
            R"(<office:document %1 office:mimetype="application/vnd.oasis.opendocument.spreadsheet">)"
            R"(<office:automatic-styles>)"
            R"(<number:date-style style:name="Ndate"><number:year number:style="long"/>)"
            R"(<number:text>年</number:text><number:month/><number:text>月</number:text>)"
            R"(<number:day/><number:text>日</number:text></number:date-style>)"
            R"(<number:number-style style:name="Namount"><number:number number:decimal-places="2" )"
            R"(number:min-decimal-places="2" number:min-integer-digits="1" number:grouping="true"/>)"
            R"(</number:number-style>)"
            R"(<number:percentage-style style:name="Npercent"><number:number )"
            R"(number:decimal-places="1" number:min-decimal-places="1" number:min-integer-digits="1"/>)"
            R"(<number:text>%</number:text></number:percentage-style>)"
            R"(<style:style style:name="ceDate" style:family="table-cell" style:data-style-name="Ndate"/>)"
            R"(<style:style style:name="ceAmount" style:family="table-cell" )"
            R"(style:data-style-name="Namount"/>)"
            R"(<style:style style:name="cePercent" style:family="table-cell" )"
            R"(style:data-style-name="Npercent"/>)"
            R"(</office:automatic-styles>)"
            R"(<office:body><office:spreadsheet><table:table table:name="%2">)"
            R"(<table:table-column table:number-columns-repeated="12"/>%3</table:table>)"
            R"(</office:spreadsheet></office:body></office:document>)")
            .arg(QLatin1StringView(odfNamespaces), sheetName.toHtmlEscaped(), rows);
    convertFlatOdf(xml, QStringLiteral("fods"), xlsPath, QStringLiteral("MS Excel 97"));
}

QString headingRow()
{
    return rowOfTexts(
        {QStringLiteral("证书号"), QStringLiteral("证书有效期"), QStringLiteral("单位名称"),
         QStringLiteral("宗旨和业务范围"), QStringLiteral("住所"), QStringLiteral("法定代表人"),
         QStringLiteral("经费来源"), QStringLiteral("开办资金"), QStringLiteral("举办单位")});
}

QStringList recordTexts(const CertificateRecord& r)
{
    return {r.zhengshuhao, r.zhengshuyouxiaoqi, r.danweimingcheng, r.zongzhiyewufanwei,
            r.zhusuo,      r.fadingdaibiaoren,  r.jingfeilaiyuan,  r.kaibanzijin,
            r.jubandanwei};
}

CertificateRecord recordOf(const QStringList& t)
{
    return {t.value(0), t.value(1), t.value(2), t.value(3), t.value(4),
            t.value(5), t.value(6), t.value(7), t.value(8)};
}

SavedDocument::SavedDocument(const QString& path)
    : app_(office::defaultEngine().createWordApplication())
{
    app_->SetVisible(false);
    document_ = &app_->Documents().Open(path, true);
}

SavedDocument::~SavedDocument()
{
    document_->Close();
    app_->Quit();
}

bool SavedDocument::contains(const QString& text)
{
    const std::unique_ptr<office::word::Range> range = document_->Range(0, 0);
    return range->Find().Execute(office::word::ExecuteArgs{.FindText = text,
                                                           .MatchCase = true,
                                                           .Wrap = office::word::wdFindContinue,
                                                           .ReplaceWith = std::nullopt,
                                                           .Replace = false});
}

QList<float> SavedDocument::sizesOf(const QString& text)
{
    using office::word::ExecuteArgs;
    const std::unique_ptr<office::word::Range> range = document_->Range(0, 0);
    // A search starts at the range, so each occurrence read is replaced by
    // text of another kind before the next one is looked for.
    const QString blank(text.size(), u'\u3000');
    QList<float> sizes;
    while (range->Find().Execute(ExecuteArgs{.FindText = text,
                                             .MatchCase = true,
                                             .Wrap = office::word::wdFindContinue,
                                             .ReplaceWith = std::nullopt,
                                             .Replace = false})) {
        sizes << range->Font().Size();
        if (!range->Find().Execute(ExecuteArgs{.FindText = text,
                                               .MatchCase = true,
                                               .Wrap = office::word::wdFindContinue,
                                               .ReplaceWith = blank,
                                               .Replace = true}))
            break;
        if (sizes.size() > 100)
            break;
    }
    return sizes;
}

QString textOfLength(const QString& phrase, int length)
{
    QString text;
    while (text.size() < length)
        text += phrase;
    text.truncate(length);
    return text;
}
