#include "generator/certificatefill.h"

#include "common/placeholders.h"
#include "common/shownvalue.h"
#include "common/templateswitch.h"

#include "common/error.h"
#include "common/files.h"
#include "common/systemcause.h"
#include "generator/fillkinds.h"
#include "generator/outputfilename.h"
#include "generator/runview.h"
#include "office/engine.h"
#include "office/word.h"

#include <QFileInfo>

#include <algorithm>
#include <array>
#include <limits>
#include <memory>
#include <utility>

namespace {

using namespace office;
using namespace morvanta;

struct Placeholder
{
    QString text;
    const QString& value;
    std::span<const FontStep> fontSteps; // empty: the template's font stays
};

// The nine placeholders in the order they are replaced; text inserted for an
// earlier one is searched by the later ones.
std::array<Placeholder, 9> placeholders(const CertificateRecord& r, const FontRules& rules)
{
    const auto& t = templatefields::placeholders();
    return {{
        {t[0], r.zhengshuhao, {}},
        {t[1], r.zhengshuyouxiaoqi, {}},
        {t[2], r.danweimingcheng, rules.danweimingcheng},
        {t[3], r.zongzhiyewufanwei, rules.zongzhiyewufanwei},
        {t[4], r.zhusuo, rules.zhusuo},
        {t[5], r.fadingdaibiaoren, {}},
        {t[6], r.jingfeilaiyuan, {}},
        {t[7], r.kaibanzijin, {}},
        {t[8], r.jubandanwei, {}},
    }};
}

// The most characters one cell of a spreadsheet holds: a longer value did not
// come from a cell, and the office would spend a whole call deadline on it.
constexpr qsizetype maxValueLength = 32767;

void refuseOverlongValues(std::span<const Placeholder> fields)
{
    for (const Placeholder& p : fields) {
        if (p.value.size() > maxValueLength)
            throw Error(errc::InvalidValue,
                        QStringLiteral("值过长：“%1”的值有 %2 个字符，单元格最多容纳 %3 个字符。")
                            .arg(p.text)
                            .arg(p.value.size())
                            .arg(maxValueLength));
    }
}

// Moves the search range onto the value just inserted and sets its size.
void resize(word::Range& range, const QString& value, float points)
{
    word::Find& find = range.Find();
    find.ClearFormatting();
    find.Text = value;
    find.Replacement.Text = QString();
    find.Forward = true;
    find.Wrap = word::wdFindContinue;
    find.Format = false;
    find.MatchCase = false;
    find.MatchWholeWord = false;
    find.MatchByte = true;
    find.MatchAllWordForms = false;
    find.MatchSoundsLike = false;
    find.MatchWildcards = false;
    find.MatchFuzzy = false;
    find.Execute(); // a search only; where it lands is covered either way
    range.Font().SetSize(points);
}

// Each step is tested on its own, so a value past both ends at the smaller size.
void applyFontSteps(word::Range& range, const QString& value, std::span<const FontStep> steps)
{
    for (const FontStep& step : steps) {
        if (value.size() > step.longerThan)
            resize(range, value, step.points);
    }
}

// The replacement counter is a signed 16-bit number: the 32768th replacement
// of one placeholder is an overflow.
std::int16_t countOneMore(std::int16_t counter, const QString& placeholder)
{
    if (counter == std::numeric_limits<std::int16_t>::max())
        throw Error(errc::Overflow, QStringLiteral("溢出：占位文字“%1”被替换了 %2 次仍未替换完。")
                                        .arg(placeholder)
                                        .arg(std::numeric_limits<std::int16_t>::max()));
    return static_cast<std::int16_t>(counter + 1);
}

// Each search continues from the text just inserted, so a value that holds its
// own placeholder is found again after every replacement and the loop can only
// end in the counter's overflow. That end is certain after the first
// replacement; reaching it through 32767 more would hold the operator for many
// minutes, so it is reported at once.
void refuseEndlessReplacement(const Placeholder& p, bool matchCase)
{
    if (p.value.contains(p.text, matchCase ? Qt::CaseSensitive : Qt::CaseInsensitive))
        throw Error(errc::Overflow,
                    QStringLiteral("溢出：“%1”的值“%2”含有占位文字“%1”本身，替换永远不会结束。")
                        .arg(p.text, shownValue(p.value)));
}

// Replaces every occurrence of one placeholder; returns how many searches succeeded.
std::int16_t replaceAll(word::Range& range, const Placeholder& p, bool matchCase)
{
    std::int16_t counter = 0;
    bool found = true;
    while (found) {
        found = range.Find().Execute(word::ExecuteArgs{
            .FindText = p.text,
            .MatchCase = matchCase,
            .Wrap = word::wdFindContinue,
            .ReplaceWith = p.value,
            .Replace = true,
        });
        if (found) {
            refuseEndlessReplacement(p, matchCase);
            counter = countOneMore(counter, p.text);
            applyFontSteps(range, p.value, p.fontSteps);
        }
    }
    return counter;
}

QString outputFileName(const CertificateRecord& record, const FillKind& kind)
{
    const QString name = paths::documentFileName(record.zhengshuhao, kind.kind);
    if (const QString problem = fileNameProblem(name); !problem.isEmpty())
        throw Error(errc::BadFileName, QStringLiteral("证书号不能用作文件名，%1。").arg(problem));
    return paths::outputDir() + name;
}

// A failed fill names its certificate and kind, so that the operator can make
// exactly those again after a long batch.
QString failureMessage(const Error& failure, const CertificateRecord& record, const FillKind& kind)
{
    return QString::number(failure.number()) + u':' +
           QStringLiteral("证书“%1”（%2）未能生成：%3")
               .arg(shownValue(record.zhengshuhao, 60), paths::kindName(kind.kind),
                    failure.description());
}

// The session of a failed fill may have died with the office; then there is
// nothing left open to close.
bool officeIsGone(const Error& error)
{
    return error.number() == errc::OfficeGone || error.number() == errc::OfficeNoAnswer;
}

// A save needs room for the document and the office's scratch copy of it,
// both about the template's size, and never less than this.
constexpr qint64 minimumFreeBytes = 4 << 20;

// The output folder must be there, writable and have room before a save is
// handed to the office: an office writing into a full or read-only folder may
// hang until its deadline, and every later save would fail the same way.
void checkOutputFolder(const QString& templatePath)
{
    const qint64 needed = std::max(2 * QFileInfo(templatePath).size(), minimumFreeBytes);
    const QString dir = paths::outputDir();
    if (const int problem = folderWriteProblem(dir, needed))
        throw Error(errc::OutputFolderFailed, folderFailureText(dir, problem));
}

} // namespace

std::int16_t fillCertificate(office::Engine& engine, RunView& view, const CertificateRecord& record,
                             paths::TemplateKind kind, bool& MatchCase)
{
    const FillKind& k = fillKind(kind);
    const QString templatePath = paths::templateFile(kind);
    if (!isOrdinaryFile(templatePath)) {
        view.showMessage(QStringLiteral("未找到该文件"));
        return -2;
    }

    std::unique_ptr<word::Application> app;
    word::Document* document = nullptr;
    try {
        const auto fields = placeholders(record, k.fontRules);
        refuseOverlongValues(fields);
        checkOutputFolder(templatePath);
        // Never a template of a pair that a killed margin save left half switched.
        templateswitch::finishInterrupted();
        app = engine.createWordApplication();
        app->SetVisible(false);
        document = &app->Documents().Open(templatePath, true);
        std::unique_ptr<word::Range> range = app->ActiveDocument().Range(0, 1);
        range->Select();

        std::int16_t counter = 0;
        for (const Placeholder& p : fields)
            counter = replaceAll(*range, p, MatchCase);
        range.reset();

        const QString output = outputFileName(record, k);
        checkOutputFolder(templatePath);
        document->SaveAs(output);
        const std::int16_t result = counter;

        word::Document* opened = std::exchange(document, nullptr);
        opened->Close();
        std::exchange(app, nullptr)->Quit();
        return result;
    } catch (const Error& failure) {
        // A folder that cannot take documents is the run's to report, once.
        const bool folderFailed = failure.number() == errc::OutputFolderFailed;
        if (!folderFailed)
            view.showMessage(failureMessage(failure, record, k));
        try {
            if (document)
                document->Close();
            if (app)
                app->Quit();
        } catch (const Error& cleanup) {
            if (!officeIsGone(cleanup))
                throw;
        }
        if (folderFailed)
            throw;
        return -1;
    }
}
