#include "margins/templatemargins.h"

#include "margins/templatecopy.h"
#include "office/engine.h"
#include "office/files.h"

#include <memory>
#include <optional>

namespace margins {

namespace {

// One word-processor session on one document: started invisible, and quit
// however the work on the document ends.
class WordSession
{
public:
    WordSession() : app_(office::defaultEngine().createWordApplication())
    {
        app_->SetVisible(false);
    }
    ~WordSession()
    {
        if (!quit_) {
            // The work failed; the failure that got us here is the one to
            // report, so a second one while tidying up is dropped.
            try {
                app_->Quit();
            } catch (const std::exception&) {
            }
        }
    }
    WordSession(const WordSession&) = delete;
    WordSession& operator=(const WordSession&) = delete;

    office::word::Application& app() { return *app_; }

    void closeAndQuit(office::word::Document& document)
    {
        document.Close();
        quit_ = true;
        app_->Quit();
    }

private:
    std::unique_ptr<office::word::Application> app_;
    bool quit_ = false;
};

PageSize pageSizeOf(office::word::PageSetup& setup)
{
    return {setup.PageWidth(), setup.PageHeight()};
}

// Opens the copy, checks the entries against its page, sets the margins side
// by side and saves the copy onto itself.
void writeCopy(TemplateKind kind, const QString& copyPath, const MarginEntries& entries,
               const SaveStageHook& reached)
{
    WordSession session;
    office::word::Document& document = session.app().Documents().Open(copyPath);
    if (reached)
        reached(kind, SaveStage::CopyOpened);
    {
        office::word::PageSetup& setup = document.PageSetup();
        const QString refusal = refusalOf(kind, entries, pageSizeOf(setup));
        if (!refusal.isEmpty())
            throw EntryRefused(refusal);
        void (office::word::PageSetup::*const setters[])(float) = {
            &office::word::PageSetup::SetTopMargin, &office::word::PageSetup::SetBottomMargin,
            &office::word::PageSetup::SetLeftMargin, &office::word::PageSetup::SetRightMargin};
        for (int side = 0; side < 4; ++side) {
            const float centimetres = *marginCentimetres(entries[side]);
            (setup.*setters[side])(session.app().CentimetersToPoints(centimetres));
        }
    }
    session.app().ActiveDocument().SaveAs(copyPath);
    session.closeAndQuit(document);
    if (reached)
        reached(kind, SaveStage::CopyWritten);
}

} // namespace

QString marginText(float centimetres)
{
    return QString::number(static_cast<double>(centimetres), 'f', 2);
}

bool TemplatesPresent()
{
    // Both files are always looked up.
    const bool original = office::isOrdinaryFile(paths::templateFile(TemplateKind::Original));
    const bool duplicate = office::isOrdinaryFile(paths::templateFile(TemplateKind::Duplicate));
    return original && duplicate;
}

TemplatePage ReadTemplatePage(TemplateKind kind)
{
    WordSession session;
    office::word::Application& app = session.app();
    office::word::Document& document = app.Documents().Open(paths::templateFile(kind));
    TemplatePage result;
    {
        office::word::PageSetup& setup = document.PageSetup();
        result.margins.top = app.PointsToCentimeters(setup.TopMargin());
        result.margins.bottom = app.PointsToCentimeters(setup.BottomMargin());
        result.margins.left = app.PointsToCentimeters(setup.LeftMargin());
        result.margins.right = app.PointsToCentimeters(setup.RightMargin());
        result.page = pageSizeOf(setup);
    }
    session.closeAndQuit(document);
    return result;
}

TemplateMargins ReadTemplateMargins(TemplateKind kind)
{
    return ReadTemplatePage(kind).margins;
}

void WriteTemplateMargins(const MarginEntries& original, const MarginEntries& duplicate,
                          const SaveStageHook& reached)
{
    // Entries that are no number are refused before any file is touched.
    for (QString refusal : {numberRefusal(TemplateKind::Original, original),
                            numberRefusal(TemplateKind::Duplicate, duplicate)}) {
        if (!refusal.isEmpty())
            throw EntryRefused(refusal);
    }

    const QString originalPath = paths::templateFile(TemplateKind::Original);
    const QString duplicatePath = paths::templateFile(TemplateKind::Duplicate);
    TemplateCopy::removeLeftovers(originalPath);
    TemplateCopy::removeLeftovers(duplicatePath);

    TemplateCopy originalCopy(originalPath);
    writeCopy(TemplateKind::Original, originalCopy.path(), original, reached);

    TemplateCopy duplicateCopy(duplicatePath);
    writeCopy(TemplateKind::Duplicate, duplicateCopy.path(), duplicate, reached);

    // Everything slow happens before the first rename, so the two renames
    // follow each other at once; should the second fail, the old original
    // goes back in place and both templates stay as they were.
    originalCopy.prepare();
    duplicateCopy.prepare();
    TemplateCopy previousOriginal(originalPath);
    originalCopy.publish();
    try {
        duplicateCopy.publish();
    } catch (...) {
        previousOriginal.prepare();
        previousOriginal.publish();
        throw;
    }
}

} // namespace margins
