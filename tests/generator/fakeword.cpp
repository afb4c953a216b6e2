#include "fakeword.h"

namespace {

using namespace office;
using namespace morvanta;
using namespace office::word;

// Logs a call and throws if the test asked this call to fail.
void call(FakeWordState& s, const QString& name, int failure = 0)
{
    s.calls << name;
    if (name == s.failOn)
        throw Error(s.failNumber, QStringLiteral("模拟的失败"));
    if (failure != 0)
        throw Error(failure, QStringLiteral("模拟的关闭失败"));
}

class FakeFont : public Font
{
public:
    float Size() override { return 0; }
    void SetSize(float) override {}
};

// Literal search from the range on, wrapping to the start when asked.
class FakeFind : public Find
{
public:
    FakeFind(FakeWordState& s, qsizetype& start) : s_(s), start_(start) {}
    void ClearFormatting() override {}
    bool Execute() override { return s_.documentText.contains(Text); }
    bool Execute(const ExecuteArgs& a) override
    {
        Text = a.FindText.value_or(Text);
        Wrap = a.Wrap.value_or(Wrap);
        Replacement.Text = a.ReplaceWith.value_or(Replacement.Text);
        qsizetype at = s_.documentText.indexOf(Text, start_);
        if (at < 0 && Wrap == wdFindContinue)
            at = s_.documentText.indexOf(Text);
        if (at < 0)
            return false;
        if (a.Replace)
            s_.documentText.replace(at, Text.size(), Replacement.Text);
        start_ = at;
        return true;
    }

private:
    FakeWordState& s_;
    qsizetype& start_;
};

class FakeRange : public Range
{
public:
    explicit FakeRange(FakeWordState& s) : find_(s, start_) {}
    void Select() override {}
    class Find& Find() override { return find_; }
    class Font& Font() override { return font_; }
    QString Text() override { return {}; }

private:
    qsizetype start_ = 0;
    FakeFind find_;
    FakeFont font_;
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
    std::unique_ptr<class Range> Range(int, int) override
    {
        call(s_, QStringLiteral("Range"));
        return std::make_unique<FakeRange>(s_);
    }
    class PageSetup& PageSetup() override { return pageSetup_; }
    void SaveAs(const QString& fileName) override
    {
        call(s_, QStringLiteral("SaveAs"));
        s_.savedFiles << fileName;
    }
    void ExportAsFixedFormat(const QString&, int, bool) override
    {
        call(s_, QStringLiteral("Export"));
    }
    int ComputeStatistics(int) override { return 1; }
    QString FirstFound(const QStringList&) override { return {}; }
    void Close() override { call(s_, QStringLiteral("Close"), s_.closeAndQuitFailure); }

private:
    FakeWordState& s_;
    FakePageSetup pageSetup_;
};

class FakeApplication : public Application, public Documents
{
public:
    explicit FakeApplication(FakeWordState& s) : s_(s), document_(s) {}
    void SetVisible(bool) override {}
    bool Visible() override { return false; }
    class Documents& Documents() override { return *this; }
    Document& Open(const QString&, bool) override
    {
        call(s_, QStringLiteral("Open"));
        s_.documentText = s_.templateText;
        return document_;
    }
    Document& ActiveDocument() override { return document_; }
    float PointsToCentimeters(float points) override { return points; }
    float CentimetersToPoints(float centimeters) override { return centimeters; }
    void Quit() override { call(s_, QStringLiteral("Quit"), s_.closeAndQuitFailure); }

private:
    FakeWordState& s_;
    FakeDocument document_;
};

} // namespace

std::unique_ptr<Application> FakeWordEngine::createWordApplication()
{
    call(state, QStringLiteral("createWordApplication"));
    return std::make_unique<FakeApplication>(state);
}

std::unique_ptr<sheet::Application> FakeWordEngine::createSpreadsheetApplication()
{
    throw Error(errc::OfficeFailure, QStringLiteral("这个测试引擎没有电子表格"));
}
