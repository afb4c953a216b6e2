#include "office/unofind.h"

#include "office/unodocument.h"
#include "office/unorange.h"

#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/text/XTextRange.hpp>
#include <com/sun/star/util/XSearchable.hpp>

#include <deque>
#include <mutex>

using namespace com::sun::star;
using namespace com::sun::star::uno;

namespace office::detail {

namespace {

// Text that the office inserts one character per UTF-16 unit and a literal
// search finds exactly as written: no line or paragraph breaks, tabs or other
// controls, no soft hyphens or invisible marks, nothing outside the BMP (the
// office selects inserted text by characters, not by units).
bool matchesAsWritten(const QString& text)
{
    for (const QChar c : text) {
        const auto u = c.unicode();
        if (c.isSurrogate() || u < 0x20 || u == 0x7F || u == 0xAD || (u >= 0x200B && u <= 0x200F) ||
            (u >= 0x2028 && u <= 0x202E) || (u >= 0x2060 && u <= 0x206F) || u == 0xFEFF ||
            (u >= 0xFFF9 && u <= 0xFFFB))
            return false;
    }
    return true;
}

// Text that has no case and that folding the case of other text never
// produces: Chinese characters, CJK and ASCII punctuation, digits, spaces.
bool caseless(const QString& text)
{
    for (const QChar c : text) {
        const auto u = c.unicode();
        const bool asciiNonLetter = u >= 0x20 && u < 0x7F && !c.isLetter();
        const bool cjk = (u >= 0x3000 && u <= 0x303F) || (u >= 0x3400 && u <= 0x4DBF) ||
                         (u >= 0x4E00 && u <= 0x9FFF) || (u >= 0xF900 && u <= 0xFAFF);
        if (!asciiNonLetter && !cjk)
            return false;
    }
    return true;
}

// Search descriptors are property holders of the office process and belong to
// no document: the ones made for a text are kept per office and used again by
// its later documents, which spares setting them up every time.
struct KeptDescriptor
{
    std::weak_ptr<Connection> office;
    QString text;
    int flags;
    Reference<util::XSearchDescriptor> descriptor;
};
std::mutex g_keptMutex;
// Never destroyed: at exit the UNO runtime may be gone before these proxies.
auto* const g_kept = new std::deque<KeptDescriptor>;
constexpr std::size_t kKeptDescriptors = 32;

} // namespace

bool UnoFind::Execute()
{
    return search(false);
}

bool UnoFind::Execute(const word::ExecuteArgs& args)
{
    if (args.FindText)
        Text = *args.FindText;
    if (args.MatchCase)
        MatchCase = *args.MatchCase;
    if (args.Wrap)
        Wrap = *args.Wrap;
    if (args.ReplaceWith)
        Replacement.Text = *args.ReplaceWith;
    return search(args.Replace);
}

void UnoFind::checkOptions() const
{
    if (MatchWildcards || MatchSoundsLike || MatchFuzzy || MatchAllWordForms)
        throw morvanta::Error(morvanta::errc::InvalidValue,
                              QStringLiteral("不支持通配符、近音、模糊或全部词形的查找。"));
}

int UnoFind::flags() const
{
    return (MatchCase ? CaseSensitive : 0) | (MatchWholeWord ? WholeWords : 0) |
           (Forward ? 0 : Backwards);
}

void UnoFind::applyOptions()
{
    // Ignoring case makes the office fold the case of every paragraph it
    // searches; text without case finds the same either way.
    const bool caseSensitive = MatchCase || caseless(Text);
    descriptor_ = searchDescriptor(
        range_.document(), Text, (flags() & ~CaseSensitive) | (caseSensitive ? CaseSensitive : 0));
}

Reference<util::XSearchDescriptor> searchDescriptor(UnoDocument& doc, const QString& text,
                                                    int flags)
{
    const std::shared_ptr<Connection>& office = doc.sharedConnection();
    {
        std::lock_guard lock(g_keptMutex);
        std::erase_if(*g_kept, [](const KeptDescriptor& k) { return k.office.expired(); });
        for (const KeptDescriptor& k : *g_kept) {
            if (k.flags == flags && k.text == text && k.office.lock() == office)
                return k.descriptor;
        }
    }
    // A new descriptor searches literally, forward, ignoring case, whole
    // words and styles: only what differs from that is set.
    const Reference<util::XSearchDescriptor> made = doc.searchable()->createSearchDescriptor();
    if (flags != 0) {
        const Reference<beans::XPropertySet> props(made, UNO_QUERY_THROW);
        if (flags & CaseSensitive)
            props->setPropertyValue(u"SearchCaseSensitive"_ustr, Any(true));
        if (flags & WholeWords)
            props->setPropertyValue(u"SearchWords"_ustr, Any(true));
        if (flags & Backwards)
            props->setPropertyValue(u"SearchBackwards"_ustr, Any(true));
        if (flags & Pattern)
            props->setPropertyValue(u"SearchRegularExpression"_ustr, Any(true));
    }
    made->setSearchString(toOUString(text));
    std::lock_guard lock(g_keptMutex);
    g_kept->push_back({office, text, flags, made});
    if (g_kept->size() > kKeptDescriptors)
        g_kept->pop_front();
    return made;
}

bool UnoFind::coversOwnInsertion() const
{
    // A forward search from the start of text this range has just inserted
    // finds that very text first, whatever the case setting; a whole-word
    // search might not, nor a search for text that the office does not match
    // as written.
    return inserted_ && inserted_->edit == range_.document().edits() && inserted_->text == Text &&
           Forward && !MatchWholeWord && matchesAsWritten(Text);
}

bool UnoFind::search(bool replace)
{
    if (Text.isEmpty())
        return false;
    checkOptions();
    UnoDocument& doc = range_.document();
    if (!replace && coversOwnInsertion())
        return true; // the range already covers what the office would find
    const bool expectNone =
        Wrap == word::wdFindContinue && lastReplaced_ && *lastReplaced_ == std::pair(Text, flags());
    const bool found = doc.connection().call(
        [&] {
            applyOptions();
            const Reference<util::XSearchable>& searchable = doc.searchable();
            // After a replacement the same text is usually found no more: one
            // search of the whole document settles that, where searching on
            // from the range and then wrapping around takes two. Otherwise
            // the order below gives the same occurrence.
            Reference<uno::XInterface> first;
            if (expectNone) {
                first = searchable->findFirst(descriptor_);
                if (!first.is())
                    return false;
            }
            // Searching starts at the range itself, so text just inserted
            // there is searched again like any other text.
            const Reference<text::XTextRange> from =
                Forward ? range_.range->getStart() : range_.range->getEnd();
            Reference<uno::XInterface> hitAt = searchable->findNext(from, descriptor_);
            if (!hitAt.is() && Wrap == word::wdFindContinue)
                hitAt = expectNone ? first : searchable->findFirst(descriptor_);
            if (!hitAt.is())
                return false;
            Reference<text::XTextRange> hit(hitAt, UNO_QUERY_THROW);
            if (replace) {
                hit->setString(toOUString(Replacement.Text)); // literal: no codes, no patterns
                inserted_ = Insertion{Replacement.Text, doc.noteEdit()};
            } else {
                inserted_.reset();
            }
            range_.range = hit;
            return true;
        },
        describeAs(morvanta::errc::OfficeFailure,
                   QStringLiteral("在“%1”中查找替换失败").arg(doc.path())));
    if (replace && found)
        lastReplaced_ = std::pair(Text, flags());
    else if (replace)
        lastReplaced_.reset();
    return found;
}

} // namespace office::detail
