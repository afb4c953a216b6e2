#include "margins/templatemargins.h"

#include "common/files.h"
#include "common/templateswitch.h"
#include "margins/templatecopy.h"
#include "office/engine.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <memory>
#include <optional>
#include <string>
#include <unistd.h>

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

// True when the template exists and this user may not write it (its access
// rights, or a read-only file system).
bool readOnlyForUs(const QString& path)
{
    if (::access(QFile::encodeName(path).constData(), W_OK) == 0)
        return false;
    return errno == EACCES || errno == EPERM || errno == EROFS;
}

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
        float (office::word::PageSetup::*const getters[])() = {
            &office::word::PageSetup::TopMargin, &office::word::PageSetup::BottomMargin,
            &office::word::PageSetup::LeftMargin, &office::word::PageSetup::RightMargin};
        for (int side = 0; side < 4; ++side) {
            // An entry still showing the margin as it was read is no edit: the
            // margin keeps its exact value instead of the two-decimal text
            // (3.18 cm would move a 90 pt margin by a seventh of a point).
            const float current = session.app().PointsToCentimeters((setup.*getters[side])());
            if (entries[side] == marginText(current))
                continue;
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
    // Rounded from the value's shortest decimal form, half up: the
    // single-precision 3.17499995 is 3.175 to its reader and shows 3.18.
    char buffer[64];
    const auto [end, error] =
        std::to_chars(buffer, buffer + sizeof buffer, centimetres, std::chars_format::fixed);
    if (error != std::errc() || !std::isfinite(centimetres))
        return QString::number(static_cast<double>(centimetres), 'f', 2);
    std::string text(buffer, end);
    const bool negative = text.front() == '-';
    if (negative)
        text.erase(0, 1);
    const std::size_t point = text.find('.');
    std::string fraction = point == std::string::npos ? std::string() : text.substr(point + 1);
    const bool up = fraction.size() > 2 && fraction[2] >= '5';
    fraction.resize(2, '0');
    std::string digits = text.substr(0, point) + fraction;
    if (up) {
        auto i = static_cast<std::ptrdiff_t>(digits.size()) - 1;
        for (; i >= 0 && digits[static_cast<std::size_t>(i)] == '9'; --i)
            digits[static_cast<std::size_t>(i)] = '0';
        if (i < 0)
            digits.insert(digits.begin(), '1');
        else
            ++digits[static_cast<std::size_t>(i)];
    }
    std::string shown =
        digits.substr(0, digits.size() - 2) + '.' + digits.substr(digits.size() - 2);
    if (negative && shown != "0.00")
        shown.insert(shown.begin(), '-');
    return QString::fromLatin1(shown);
}

bool TemplatesPresent()
{
    // Both files are always looked up.
    const bool original = morvanta::isOrdinaryFile(paths::templateFile(TemplateKind::Original));
    const bool duplicate = morvanta::isOrdinaryFile(paths::templateFile(TemplateKind::Duplicate));
    return original && duplicate;
}

TemplatePage ReadTemplatePage(TemplateKind kind)
{
    templateswitch::finishInterrupted();
    WordSession session;
    office::word::Application& app = session.app();
    // A template this user may not write is read all the same: the office
    // refuses a read-write open of it.
    const QString path = paths::templateFile(kind);
    office::word::Document& document = app.Documents().Open(path, readOnlyForUs(path));
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
    // Both templates are replaced or neither: one that may not be written
    // stops the save before anything is written.
    for (const QString& path : {originalPath, duplicatePath}) {
        if (readOnlyForUs(path))
            throw EntryRefused(QStringLiteral("模板“%1”是只读文件，无法保存页边距。")
                                   .arg(QDir::toNativeSeparators(path)));
    }
    // Completes a switch a killed save left pending; the copies of saves
    // killed earlier go, those of another running program stay.
    templateswitch::clearStaleCopies();

    TemplateCopy originalCopy(originalPath);
    writeCopy(TemplateKind::Original, originalCopy.path(), original, reached);

    TemplateCopy duplicateCopy(duplicatePath);
    writeCopy(TemplateKind::Duplicate, duplicateCopy.path(), duplicate, reached);

    // Everything slow happens before the first rename, so the two renames
    // follow each other at once. They go through the switch journal: should
    // the program die between them, the next use of the templates completes
    // the pair; should the second fail, the old original goes back.
    TemplateCopy previousOriginal(originalPath);
    originalCopy.prepare();
    duplicateCopy.prepare();
    previousOriginal.prepare();
    for (TemplateCopy* copy : {&originalCopy, &duplicateCopy, &previousOriginal})
        copy->release();
    templateswitch::replaceBoth(
        {originalCopy.path(), duplicateCopy.path(), previousOriginal.path()}, [&] {
            if (reached)
                reached(TemplateKind::Original, SaveStage::Replaced);
        });
}

} // namespace margins
