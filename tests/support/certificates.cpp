#include "certificates.h"

#include "office/engine.h"
#include "office/word.h"

#include <QDir>
#include <QProcess>

namespace testfiles {

namespace {

const QStringList headings{
    QStringLiteral("证书号"),         QStringLiteral("证书有效期"), QStringLiteral("单位名称"),
    QStringLiteral("宗旨和业务范围"), QStringLiteral("住所"),       QStringLiteral("法定代表人"),
    QStringLiteral("经费来源"),       QStringLiteral("开办资金"),   QStringLiteral("举办单位"),
};

// The placeholders laid out as on a certificate: a title, a table of fields
// and the number and validity period below it.
QString certificateBody()
{
    QString body = rtfParagraph(QStringLiteral("事业单位法人证书"));
    const QStringList labels{QStringLiteral("名　　称"), QStringLiteral("宗　　旨"),
                             QStringLiteral("住　　址"), QStringLiteral("法定代表"),
                             QStringLiteral("经费渠道"), QStringLiteral("资　　金"),
                             QStringLiteral("主管机关")};
    for (int i = 0; i < labels.size(); ++i)
        body += rtfTableRow({labels[i], headings[i + 2]});
    return body + rtfParagraph(QStringLiteral("统一社会信用代码：证书号")) +
           rtfParagraph(QStringLiteral("有效期：自证书有效期")) +
           rtfParagraph(QStringLiteral("登记管理机关（盖章）"));
}

} // namespace

void makeMorvantaFolders()
{
    for (const QString& folder : {paths::downloadDir(), paths::templatesDir(), paths::outputDir()})
        QDir().mkpath(folder);
}

void emptyOutputFolder()
{
    QDir(paths::outputDir()).removeRecursively();
    QDir().mkpath(paths::outputDir());
}

float templateFontSize(paths::TemplateKind kind)
{
    return kind == paths::TemplateKind::Original ? 20.f : 14.f;
}

void makeTemplate(paths::TemplateKind kind, const QString& rtfBody)
{
    const bool original = kind == paths::TemplateKind::Original;
    const int margin = original ? 1701 : 1134; // 3 cm, 2 cm
    makeWordDocumentFromRtf(
        paths::templateFile(kind), rtfBody.isEmpty() ? certificateBody() : rtfBody,
        int(templateFontSize(kind)),
        {margin, margin, margin, margin, original ? 23811 : 16838, original ? 16838 : 11906});
}

void makeTemplates()
{
    makeMorvantaFolders();
    makeTemplate(paths::TemplateKind::Original);
    makeTemplate(paths::TemplateKind::Duplicate);
}

void makeTemplatePage(paths::TemplateKind kind, const PageTwips& page)
{
    makeWordDocumentFromRtf(paths::templateFile(kind), rtfParagraph(QStringLiteral("证书正文")), 12,
                            page);
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

QStringList dataRow(const QString& number)
{
    return {number,
            QStringLiteral("自2026年1月1日至2031年12月31日"),
            QStringLiteral("青山市%1号康复中心").arg(number),
            QStringLiteral("康复医疗服务"),
            QStringLiteral("青山市东城区"),
            QStringLiteral("李晓明"),
            QStringLiteral("财政补助"),
            QStringLiteral("￥1,250.00万元"),
            QStringLiteral("青山市卫生健康委员会")};
}

void makeDataFile(const QList<QStringList>& rows)
{
    QList<QList<Cell>> cells;
    for (const QStringList& row : rows)
        cells << textRow(row);
    makeDataFile(cells);
}

void makeDataFile(const QList<QList<Cell>>& rows)
{
    makeMorvantaFolders();
    makeWorkbook(paths::dataFile(), QList<QList<Cell>>{textRow(headings)} + rows);
}

QString completionMessage()
{
    return QStringLiteral("请到“") + paths::outputDir() +
           QStringLiteral(
               "”目录中选择所需打印证书。\r\n如字数过多，请调整字体大小和行间距后进行打印！");
}

QString textOfLength(const QString& phrase, int length)
{
    QString text;
    while (text.size() < length)
        text += phrase;
    text.truncate(length);
    return text;
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
    return document_->Range(0, 0)->Find().Execute(
        office::word::ExecuteArgs{.FindText = text,
                                  .MatchCase = true,
                                  .Wrap = office::word::wdFindContinue,
                                  .ReplaceWith = std::nullopt,
                                  .Replace = false});
}

QList<float> SavedDocument::sizesOf(const QString& text)
{
    const std::unique_ptr<office::word::Range> range = document_->Range(0, 0);
    // A search starts at the range, so each occurrence read is replaced by
    // other text before the next one is looked for.
    const auto find = [&](std::optional<QString> replacement) {
        return range->Find().Execute(office::word::ExecuteArgs{.FindText = text,
                                                               .MatchCase = true,
                                                               .Wrap = office::word::wdFindContinue,
                                                               .ReplaceWith = replacement,
                                                               .Replace = bool(replacement)});
    };
    QList<float> sizes;
    while (sizes.size() <= 100 && find(std::nullopt)) {
        sizes << range->Font().Size();
        if (!find(QString(text.size(), u'\u3000')))
            break;
    }
    return sizes;
}

bool killMarginSaveBetweenRenames()
{
    QProcess save;
    save.start(QStringLiteral(MORVANTA_TEMPLATE_SAVE_PROBE), QStringList());
    return save.waitForFinished(120000) && save.exitStatus() == QProcess::CrashExit;
}

} // namespace testfiles
