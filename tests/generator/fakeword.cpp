#include "fakeword.h"

#include "office/error.h"

namespace {

using namespace office;
using namespace office::word;

QString flag(bool b)
{
    return b ? QStringLiteral("1") : QStringLiteral("0");
}

// Logs a call and throws if the test asked this call to fail.
void call(FakeWordState& s, const QString& line)
{
    s.calls << line;
    if (!s.failOn.isEmpty() && line.startsWith(s.failOn + u'('))
        throw Error(s.failNumber, QStringLiteral("模拟的失败"));
}

struct Span
{
    qsizetype start = 0;
    qsizetype length = 0;
};

// Finds `what` from `from` on, wrapping once to the start when asked.
qsizetype search(const QString& text, const QString& what, qsizetype from, bool wrap)
{
    if (what.isEmpty())
        return -1;
    qsizetype at = text.indexOf(what, from);
    if (at < 0 && wrap)
        at = text.indexOf(what);
    return at;
}

class FakeFont : public Font
{
public:
    FakeFont(FakeWordState& s, Span& span) : s_(s), span_(span) {}
    float Size() override { return 0; }
    void SetSize(float points) override
    {
        call(s_, QStringLiteral("SetSize(%1 on \"%2\")")
                     .arg(points)
                     .arg(s_.documentText.mid(span_.start, span_.length)));
    }

private:
    FakeWordState& s_;
    Span& span_;
};

class FakeFind : public Find
{
public:
    FakeFind(FakeWordState& s, Span& span) : s_(s), span_(span) {}

    void ClearFormatting() override { call(s_, QStringLiteral("ClearFormatting()")); }

    bool Execute() override
    {
        call(s_, QStringLiteral("Execute(Text=%1 Replacement=%2 Forward=%3 Wrap=%4 Format=%5 "
                                "MatchCase=%6 MatchWholeWord=%7 MatchByte=%8 "
                                "MatchAllWordForms=%9 MatchSoundsLike=%10 MatchWildcards=%11 "
                                "MatchFuzzy=%12)")
                     .arg(Text, Replacement.Text, flag(Forward))
                     .arg(Wrap)
                     .arg(flag(Format), flag(MatchCase), flag(MatchWholeWord), flag(MatchByte),
                          flag(MatchAllWordForms), flag(MatchSoundsLike), flag(MatchWildcards),
                          flag(MatchFuzzy)));
        const qsizetype at = search(s_.documentText, Text, span_.start, Wrap == wdFindContinue);
        if (at < 0)
            return false;
        span_ = {at, Text.size()};
        return true;
    }

    bool Execute(const ExecuteArgs& a) override
    {
        if (a.FindText)
            Text = *a.FindText;
        if (a.MatchCase)
            MatchCase = *a.MatchCase;
        if (a.Wrap)
            Wrap = *a.Wrap;
        if (a.ReplaceWith)
            Replacement.Text = *a.ReplaceWith;
        const qsizetype at = search(s_.documentText, Text, span_.start, Wrap == wdFindContinue);
        if (s_.logReplacements)
            call(s_, QStringLiteral("Execute(FindText=%1 MatchCase=%2 Wrap=%3 ReplaceWith=%4 "
                                    "Replace=%5)->%6")
                         .arg(a.FindText.value_or(QStringLiteral("<none>")),
                              a.MatchCase ? flag(*a.MatchCase) : QStringLiteral("<none>"),
                              a.Wrap ? QString::number(*a.Wrap) : QStringLiteral("<none>"),
                              a.ReplaceWith.value_or(QStringLiteral("<none>")), flag(a.Replace),
                              flag(at >= 0)));
        if (at < 0)
            return false;
        if (a.Replace) {
            s_.documentText.replace(at, Text.size(), Replacement.Text);
            span_ = {at, Replacement.Text.size()};
        } else {
            span_ = {at, Text.size()};
        }
        return true;
    }

private:
    FakeWordState& s_;
    Span& span_;
};

class FakeRange : public Range
{
public:
    FakeRange(FakeWordState& s, Span span) : span_(span), find_(s, span_), font_(s, span_), s_(s) {}
    void Select() override { call(s_, QStringLiteral("Select()")); }
    class Find& Find() override { return find_; }
    class Font& Font() override { return font_; }
    QString Text() override { return s_.documentText.mid(span_.start, span_.length); }

private:
    Span span_;
    FakeFind find_;
    FakeFont font_;
    FakeWordState& s_;
};

class FakePageSetup : public PageSetup
{
public:
    float TopMargin() override { return 0; }
    float BottomMargin() override { return 0; }
    float LeftMargin() override { return 0; }
    float RightMargin() override { return 0; }
    void SetTopMargin(float) override {}
    void SetBottomMargin(float) override {}
    void SetLeftMargin(float) override {}
    void SetRightMargin(float) override {}
    float PageWidth() override { return 0; }
    float PageHeight() override { return 0; }
};

class FakeDocument : public Document
{
public:
    explicit FakeDocument(FakeWordState& s) : s_(s) {}
    std::unique_ptr<class Range> Range(int start, int end) override
    {
        call(s_, QStringLiteral("Range(%1,%2)").arg(start).arg(end));
        return std::make_unique<FakeRange>(s_, Span{start, end - start});
    }
    class PageSetup& PageSetup() override { return pageSetup_; }
    void SaveAs(const QString& fileName) override
    {
        call(s_, QStringLiteral("SaveAs(%1)").arg(fileName));
        s_.savedFiles << fileName;
    }
    void Close() override
    {
        call(s_, QStringLiteral("Close()"));
        if (s_.closeAndQuitFailure != 0)
            throw Error(s_.closeAndQuitFailure, QStringLiteral("模拟的关闭失败"));
    }

private:
    FakeWordState& s_;
    FakePageSetup pageSetup_;
};

class FakeApplication : public Application, public Documents
{
public:
    explicit FakeApplication(FakeWordState& s) : s_(s), document_(s) {}
    void SetVisible(bool visible) override
    {
        call(s_, QStringLiteral("SetVisible(%1)").arg(flag(visible)));
    }
    bool Visible() override { return false; }
    class Documents& Documents() override { return *this; }
    Document& Open(const QString& fileName, bool readOnly) override
    {
        call(s_, QStringLiteral("Open(%1,%2)").arg(fileName, flag(readOnly)));
        s_.documentText = s_.templateText;
        return document_;
    }
    Document& ActiveDocument() override
    {
        call(s_, QStringLiteral("ActiveDocument()"));
        return document_;
    }
    float PointsToCentimeters(float points) override { return points; }
    float CentimetersToPoints(float centimeters) override { return centimeters; }
    void Quit() override
    {
        call(s_, QStringLiteral("Quit()"));
        if (s_.closeAndQuitFailure != 0)
            throw Error(s_.closeAndQuitFailure, QStringLiteral("模拟的关闭失败"));
    }

private:
    FakeWordState& s_;
    FakeDocument document_;
};

} // namespace

std::unique_ptr<Application> FakeWordEngine::createWordApplication()
{
    ++state.applicationsCreated;
    call(state, QStringLiteral("createWordApplication()"));
    return std::make_unique<FakeApplication>(state);
}

std::unique_ptr<sheet::Application> FakeWordEngine::createSpreadsheetApplication()
{
    throw Error(errc::OfficeFailure, QStringLiteral("这个测试引擎没有电子表格"));
}
