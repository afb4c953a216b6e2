#include "office/unoword.h"

#include "office/files.h"
#include "office/units.h"
#include "office/unoengine.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QScopeGuard>

#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/beans/XMultiPropertySet.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/container/XNameAccess.hpp>
#include <com/sun/star/document/MacroExecMode.hpp>
#include <com/sun/star/document/UpdateDocMode.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/frame/XModel3.hpp>
#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/lang/IllegalArgumentException.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/style/XStyle.hpp>
#include <com/sun/star/style/XStyleFamiliesSupplier.hpp>
#include <com/sun/star/text/XText.hpp>
#include <com/sun/star/text/XTextCursor.hpp>
#include <com/sun/star/util/XCloseable.hpp>
#include <com/sun/star/view/XSelectionSupplier.hpp>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

using namespace com::sun::star;
using com::sun::star::uno::Any;
using com::sun::star::uno::Reference;
using com::sun::star::uno::Sequence;
using com::sun::star::uno::UNO_QUERY;
using com::sun::star::uno::UNO_QUERY_THROW;
using rtl::OUString;

namespace office::detail {

namespace {

beans::PropertyValue property(const char* name, const Any& value)
{
    beans::PropertyValue p;
    p.Name = OUString::createFromAscii(name);
    p.Value = value;
    return p;
}

sal_Int32 intProperty(const Reference<beans::XPropertySet>& props, const OUString& name)
{
    sal_Int32 v = 0;
    props->getPropertyValue(name) >>= v;
    return v;
}

bool boolProperty(const Reference<beans::XPropertySet>& props, const OUString& name)
{
    bool v = false;
    props->getPropertyValue(name) >>= v;
    return v;
}

// Word keeps sizes in points; Writer in 1/100 mm.
sal_Int32 toHundredthMm(float points)
{
    return static_cast<sal_Int32>(std::lround(static_cast<double>(points) * 2540.0 / 72.0));
}

// Writer rounds lengths to 1/100 mm, Word files keep twips (1/20 pt): read
// back on the twip grid so that a value written to a .doc reads as written.
float toPoints(sal_Int32 hundredthMm)
{
    return static_cast<float>(std::round(static_cast<double>(hundredthMm) * 1440.0 / 2540.0) /
                              20.0);
}

// Why a file cannot be read, in the operator's words; empty when it can.
void checkReadable(const QString& path, bool spreadsheet)
{
    const QFileInfo info(path);
    const QString kind = spreadsheet ? QStringLiteral("数据文件") : QStringLiteral("文件");
    if (!QFileInfo(info.absolutePath()).isDir())
        throw Error(errc::PathNotFound,
                    QStringLiteral("%1“%2”所在的文件夹不存在。").arg(kind, path));
    if (!isOrdinaryFile(path))
        throw Error(errc::FileNotFound, QStringLiteral("未找到%1“%2”。").arg(kind, path));
    if (info.size() == 0)
        throw Error(spreadsheet ? errc::NotASpreadsheet : errc::NotADocument,
                    QStringLiteral("%1“%2”是空文件。").arg(kind, path));
    if (::access(QFile::encodeName(path).constData(), R_OK) != 0)
        throw Error(errc::PermissionDenied,
                    QStringLiteral("没有读取%1“%2”的权限。").arg(kind, path));
}

bool syncToDisk(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool synced = ::fdatasync(fd) == 0;
    ::close(fd);
    return synced;
}

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

bool containsCjk(const QString& text)
{
    for (const QChar c : text) {
        const auto u = c.unicode();
        if ((u >= 0x2E80 && u <= 0x9FFF) || (u >= 0xF900 && u <= 0xFAFF) ||
            (u >= 0xFF00 && u <= 0xFFEF) || c.isSurrogate())
            return true;
    }
    return false;
}

} // namespace

namespace {

// The import filter of a loaded document, read from its own model; a model
// that can name single arguments spares the whole media descriptor.
QString filterOf(const Reference<frame::XModel>& model)
{
    const Reference<frame::XModel3> model3(model, UNO_QUERY);
    const OUString wanted = u"FilterName"_ustr;
    const Sequence<beans::PropertyValue> args =
        model3.is() ? model3->getArgs2(Sequence<OUString>(&wanted, 1)) : model->getArgs();
    for (const beans::PropertyValue& arg : args) {
        OUString name;
        if (arg.Name == "FilterName" && (arg.Value >>= name))
            return toQString(name);
    }
    return QString();
}

} // namespace

Reference<lang::XComponent> loadComponent(Connection& connection, const QString& path,
                                          bool readOnly, bool spreadsheet, QString* filterName)
{
    checkReadable(path, spreadsheet);
    const QString kind = spreadsheet ? QStringLiteral("电子表格") : QStringLiteral("文档");
    std::vector<beans::PropertyValue> props = {
        property("Hidden", Any(true)),
        property("ReadOnly", Any(readOnly)),
        property("MacroExecutionMode", Any(document::MacroExecMode::NEVER_EXECUTE)),
        property("UpdateDocMode", Any(document::UpdateDocMode::NO_UPDATE)),
        property("Silent", Any(true)),
    };
    if (spreadsheet) // an HTML table saved as .xls must open in the spreadsheet
        props.push_back(
            property("DocumentService", Any(u"com.sun.star.sheet.SpreadsheetDocument"_ustr)));
    const Sequence<beans::PropertyValue> args(props.data(), static_cast<sal_Int32>(props.size()));
    const int refused = spreadsheet ? errc::NotASpreadsheet : errc::NotADocument;
    const QString opening = QStringLiteral("无法打开“%1”").arg(path);
    const QString notReadable = QStringLiteral("它不是办公组件能够读取的%1。").arg(kind);

    Reference<lang::XComponent> component = connection.call(
        [&] {
            return connection.desktop()->loadComponentFromURL(toOUString(fileUrl(path)),
                                                              u"_blank"_ustr, 0, args);
        },
        describeAs(refused, opening, notReadable));
    if (!component.is())
        throw Error(refused, opening + QStringLiteral("：") + notReadable);
    // Anything at all opens as plain text: a file that only opened that way is
    // no document or workbook (random bytes would otherwise read as garbage
    // and be saved again as if nothing were wrong).
    Reference<frame::XModel> model;
    QString filter;
    const bool fits = connection.call(
        [&] {
            if (spreadsheet) {
                if (!Reference<css::sheet::XSpreadsheetDocument>(component, UNO_QUERY).is())
                    return false;
                model.set(component, UNO_QUERY_THROW);
            } else {
                // A text document is a model: kept as the component, it also
                // answers later questions for these interfaces without a
                // round trip to the office.
                const Reference<text::XTextDocument> text(component, UNO_QUERY);
                if (!text.is())
                    return false;
                model.set(text.get());
            }
            filter = filterOf(model);
            return !filter.startsWith(u"Text");
        },
        describeAs(refused, opening, notReadable));
    if (!fits) {
        closeComponent(connection, component, path);
        throw Error(refused, opening + QStringLiteral("：") + notReadable);
    }
    if (!spreadsheet) { // nobody looks at the views: spare their updates on every change
        connection.call([&] { model->lockControllers(); },
                        describeAs(errc::OfficeFailure, opening));
        component.set(model.get());
    }
    if (filterName)
        *filterName = filter;
    ++connection.documentsOpened;
    return component;
}

void closeComponent(Connection& connection, const Reference<lang::XComponent>& doc,
                    const QString& path)
{
    if (!doc.is() || !connection.isAlive())
        return;
    connection.call(
        [&] {
            const Reference<util::XCloseable> closeable(doc, UNO_QUERY);
            if (closeable.is())
                closeable->close(true);
            else
                doc->dispose();
        },
        describeAs(errc::OfficeFailure, path.isEmpty() ? QStringLiteral("无法关闭文档")
                                                       : QStringLiteral("无法关闭“%1”").arg(path)));
}

// --- Font -------------------------------------------------------------------

float UnoFont::Size()
{
    Connection& c = range_.document().connection();
    return c.call(
        [&] {
            const Reference<beans::XPropertySet> props(range_.range, UNO_QUERY_THROW);
            const bool asian = containsCjk(toQString(range_.range->getString()));
            const Any v =
                props->getPropertyValue(asian ? u"CharHeightAsian"_ustr : u"CharHeight"_ustr);
            float size = 0;
            // Mixed sizes read as "undefined", as the automation model does.
            return (v >>= size) ? size : 9999999.0f;
        },
        describeAs(errc::OfficeFailure, QStringLiteral("无法读取字号")));
}

void UnoFont::SetSize(float points)
{
    if (!(points >= 1.0f && points <= 1638.0f))
        throw Error(errc::InvalidValue,
                    QStringLiteral("字号 %1 磅超出允许范围（1 到 1638 磅）。").arg(points));
    Connection& c = range_.document().connection();
    c.call(
        [&] {
            // Western, Asian and complex-script text each have their own size.
            const Reference<beans::XMultiPropertySet> props(range_.range, UNO_QUERY_THROW);
            const OUString names[] = {u"CharHeight"_ustr, u"CharHeightAsian"_ustr,
                                      u"CharHeightComplex"_ustr};
            const Any values[] = {Any(points), Any(points), Any(points)};
            props->setPropertyValues(Sequence<OUString>(names, 3), Sequence<Any>(values, 3));
        },
        describeAs(errc::OfficeFailure, QStringLiteral("无法设置字号")));
}

// --- Find -------------------------------------------------------------------

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
        throw Error(errc::InvalidValue,
                    QStringLiteral("不支持通配符、近音、模糊或全部词形的查找。"));
}

int UnoFind::flags() const
{
    return (MatchCase ? 1 : 0) | (MatchWholeWord ? 2 : 0) | (Forward ? 0 : 4);
}

namespace {

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

void UnoFind::applyOptions()
{
    // Ignoring case makes the office fold the case of every paragraph it
    // searches; text without case finds the same either way.
    const bool caseSensitive = MatchCase || caseless(Text);
    const int wanted = (flags() & ~1) | (caseSensitive ? 1 : 0);
    UnoDocument& doc = range_.document();
    const std::shared_ptr<Connection>& office = doc.sharedConnection();
    {
        std::lock_guard lock(g_keptMutex);
        std::erase_if(*g_kept, [](const KeptDescriptor& k) { return k.office.expired(); });
        for (const KeptDescriptor& k : *g_kept) {
            if (k.flags == wanted && k.text == Text && k.office.lock() == office) {
                descriptor_ = k.descriptor;
                return;
            }
        }
    }
    // A new descriptor searches literally, forward, ignoring case, whole
    // words and styles: only what differs from that is set.
    const Reference<util::XSearchDescriptor> made = doc.searchable()->createSearchDescriptor();
    if (wanted != 0) {
        const Reference<beans::XPropertySet> props(made, UNO_QUERY_THROW);
        if (caseSensitive)
            props->setPropertyValue(u"SearchCaseSensitive"_ustr, Any(true));
        if (MatchWholeWord)
            props->setPropertyValue(u"SearchWords"_ustr, Any(true));
        if (!Forward)
            props->setPropertyValue(u"SearchBackwards"_ustr, Any(true));
    }
    made->setSearchString(toOUString(Text));
    descriptor_ = made;
    std::lock_guard lock(g_keptMutex);
    g_kept->push_back({office, Text, wanted, made});
    if (g_kept->size() > kKeptDescriptors)
        g_kept->pop_front();
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
        describeAs(errc::OfficeFailure, QStringLiteral("在“%1”中查找替换失败").arg(doc.path())));
    if (replace && found)
        lastReplaced_ = std::pair(Text, flags());
    else if (replace)
        lastReplaced_.reset();
    return found;
}

// --- Range ------------------------------------------------------------------

UnoRange::UnoRange(UnoDocument& document, Reference<text::XTextRange> r)
    : range(std::move(r)), document_(document), find_(*this), font_(*this)
{
}

void UnoRange::Select()
{
    document_.connection().call(
        [&] {
            const Reference<frame::XModel> model(document_.textDocument(), UNO_QUERY_THROW);
            const Reference<view::XSelectionSupplier> selection(model->getCurrentController(),
                                                                UNO_QUERY);
            if (selection.is())
                selection->select(Any(range));
        },
        describeAs(errc::OfficeFailure,
                   QStringLiteral("无法在“%1”中选定文本").arg(document_.path())));
}

QString UnoRange::Text()
{
    return document_.connection().call(
        [&] { return toQString(range->getString()); },
        describeAs(errc::OfficeFailure,
                   QStringLiteral("无法读取“%1”中的文本").arg(document_.path())));
}

// --- PageSetup --------------------------------------------------------------

Reference<beans::XPropertySet> UnoPageSetup::firstPageStyle()
{
    const Reference<text::XTextDocument> doc = document_.textDocument();
    const Reference<text::XTextCursor> cursor = doc->getText()->createTextCursor();
    cursor->gotoStart(false);
    OUString styleName;
    Reference<beans::XPropertySet>(cursor, UNO_QUERY_THROW)
        ->getPropertyValue(u"PageStyleName"_ustr) >>= styleName;
    const Reference<style::XStyleFamiliesSupplier> families(doc, UNO_QUERY_THROW);
    const Reference<container::XNameAccess> pageStyles(
        families->getStyleFamilies()->getByName(u"PageStyles"_ustr), UNO_QUERY_THROW);
    return Reference<beans::XPropertySet>(pageStyles->getByName(styleName), UNO_QUERY_THROW);
}

float UnoPageSetup::margin(Side side)
{
    return document_.connection().call(
        [&] {
            const Reference<beans::XPropertySet> style = firstPageStyle();
            auto get = [&](const OUString& name) { return intProperty(style, name); };
            auto on = [&](const OUString& name) { return boolProperty(style, name); };
            // Writer measures to the header or footer; the body starts below it.
            switch (side) {
            case Side::Top:
                return toPoints(get(u"TopMargin"_ustr) +
                                (on(u"HeaderIsOn"_ustr) ? get(u"HeaderHeight"_ustr) : 0));
            case Side::Bottom:
                return toPoints(get(u"BottomMargin"_ustr) +
                                (on(u"FooterIsOn"_ustr) ? get(u"FooterHeight"_ustr) : 0));
            case Side::Left:
                return toPoints(get(u"LeftMargin"_ustr));
            case Side::Right:
                return toPoints(get(u"RightMargin"_ustr));
            }
            return 0.0f;
        },
        describeAs(errc::OfficeFailure,
                   QStringLiteral("无法读取“%1”的页边距").arg(document_.path())));
}

void UnoPageSetup::setMargin(Side side, float points)
{
    if (!std::isfinite(points) || points < 0.0f)
        throw Error(errc::InvalidValue, QStringLiteral("页边距 %1 磅无效。").arg(points));
    const sal_Int32 value = toHundredthMm(points);
    document_.connection().call(
        [&] {
            const Reference<style::XStyleFamiliesSupplier> families(document_.textDocument(),
                                                                    UNO_QUERY_THROW);
            const Reference<container::XIndexAccess> pageStyles(
                families->getStyleFamilies()->getByName(u"PageStyles"_ustr), UNO_QUERY_THROW);
            // Every page style in use, so that the margin holds for the whole document.
            for (sal_Int32 i = 0; i < pageStyles->getCount(); ++i) {
                const Reference<style::XStyle> st(pageStyles->getByIndex(i), UNO_QUERY_THROW);
                if (!st->isInUse())
                    continue;
                const Reference<beans::XPropertySet> style(st, UNO_QUERY_THROW);
                auto get = [&](const OUString& name) { return intProperty(style, name); };
                auto on = [&](const OUString& name) { return boolProperty(style, name); };
                auto setEdge = [&](const OUString& marginName, const OUString& isOn,
                                   const OUString& height) {
                    if (!on(isOn)) {
                        style->setPropertyValue(marginName, Any(value));
                        return;
                    }
                    // Keep the header's distance from the edge and give the
                    // rest to the header area, or pull the header closer to
                    // the edge when the margin is smaller than the header.
                    const sal_Int32 edge = get(marginName);
                    // Word files keep no header area under about 1 mm.
                    const sal_Int32 minHeight = 150;
                    if (value - edge >= minHeight) {
                        style->setPropertyValue(height, Any(value - edge));
                    } else {
                        const sal_Int32 h = std::min(minHeight, value);
                        style->setPropertyValue(height, Any(h));
                        style->setPropertyValue(marginName, Any(value - h));
                    }
                };
                switch (side) {
                case Side::Top:
                    setEdge(u"TopMargin"_ustr, u"HeaderIsOn"_ustr, u"HeaderHeight"_ustr);
                    break;
                case Side::Bottom:
                    setEdge(u"BottomMargin"_ustr, u"FooterIsOn"_ustr, u"FooterHeight"_ustr);
                    break;
                case Side::Left:
                    style->setPropertyValue(u"LeftMargin"_ustr, Any(value));
                    break;
                case Side::Right:
                    style->setPropertyValue(u"RightMargin"_ustr, Any(value));
                    break;
                }
            }
        },
        describeAs(errc::InvalidValue,
                   QStringLiteral("无法为“%1”设置页边距").arg(document_.path())));
}

float UnoPageSetup::TopMargin()
{
    return margin(Side::Top);
}
float UnoPageSetup::BottomMargin()
{
    return margin(Side::Bottom);
}
float UnoPageSetup::LeftMargin()
{
    return margin(Side::Left);
}
float UnoPageSetup::RightMargin()
{
    return margin(Side::Right);
}
void UnoPageSetup::SetTopMargin(float points)
{
    setMargin(Side::Top, points);
}
void UnoPageSetup::SetBottomMargin(float points)
{
    setMargin(Side::Bottom, points);
}
void UnoPageSetup::SetLeftMargin(float points)
{
    setMargin(Side::Left, points);
}
void UnoPageSetup::SetRightMargin(float points)
{
    setMargin(Side::Right, points);
}

float UnoPageSetup::PageWidth()
{
    return document_.connection().call(
        [&] { return toPoints(intProperty(firstPageStyle(), u"Width"_ustr)); },
        describeAs(errc::OfficeFailure,
                   QStringLiteral("无法读取“%1”的页面大小").arg(document_.path())));
}

float UnoPageSetup::PageHeight()
{
    return document_.connection().call(
        [&] { return toPoints(intProperty(firstPageStyle(), u"Height"_ustr)); },
        describeAs(errc::OfficeFailure,
                   QStringLiteral("无法读取“%1”的页面大小").arg(document_.path())));
}

// --- Document ---------------------------------------------------------------

UnoDocument::UnoDocument(std::shared_ptr<Connection> connection,
                         Reference<lang::XComponent> component, QString path, QString filterName)
    : connection_(std::move(connection)), component_(std::move(component)), path_(std::move(path)),
      filterName_(std::move(filterName)), pageSetup_(*this)
{
}

UnoDocument::~UnoDocument()
{
    try {
        Close();
    } catch (...) {
    }
}

Connection& UnoDocument::connection()
{
    if (!component_.is())
        throw Error(errc::OfficeFailure, QStringLiteral("文档“%1”已经关闭。").arg(path_));
    return *connection_;
}

// The document's interfaces are asked for once and kept: every query is a
// round trip to the office.
Reference<text::XTextDocument> UnoDocument::textDocument()
{
    if (!textDocument_.is())
        textDocument_.set(component_, UNO_QUERY_THROW);
    return textDocument_;
}

const Reference<util::XSearchable>& UnoDocument::searchable()
{
    if (!searchable_.is())
        searchable_.set(component_, UNO_QUERY_THROW);
    return searchable_;
}

std::unique_ptr<word::Range> UnoDocument::Range(int start, int end)
{
    if (start < 0 || end < start)
        throw Error(errc::InvalidValue,
                    QStringLiteral("文本范围 %1 到 %2 无效。").arg(start).arg(end));
    return connection().call(
        [&] {
            const Reference<text::XTextCursor> cursor =
                textDocument()->getText()->createTextCursor();
            cursor->gotoStart(false);
            // Moves are 16-bit in the office's API.
            for (int left = start; left > 0; left -= 32767)
                cursor->goRight(static_cast<sal_Int16>(std::min(left, 32767)), false);
            for (int left = end - start; left > 0; left -= 32767)
                cursor->goRight(static_cast<sal_Int16>(std::min(left, 32767)), true);
            // A cursor is a range: no need to ask the office for one.
            return std::make_unique<UnoRange>(*this, Reference<text::XTextRange>(cursor.get()));
        },
        describeAs(errc::OfficeFailure, QStringLiteral("无法在“%1”中取得文本范围").arg(path_)));
}

void UnoDocument::SaveAs(const QString& fileName)
{
    Connection& c = connection();
    const QFileInfo target(fileName);
    const QString dir = target.absolutePath();
    if (!QFileInfo(dir).isDir())
        throw Error(errc::PathNotFound,
                    QStringLiteral("无法保存“%1”：文件夹“%2”不存在。").arg(fileName, dir));
    if (target.isDir())
        throw Error(errc::PermissionDenied,
                    QStringLiteral("无法保存“%1”：该位置是一个文件夹。").arg(fileName));
    if (!QFileInfo(dir).isWritable())
        throw Error(errc::PermissionDenied,
                    QStringLiteral("无法保存“%1”：没有写入文件夹“%2”的权限。").arg(fileName, dir));

    // Written into a hidden staging folder beside the target, then renamed
    // over it: the name shows either the old file or the complete new one.
    // The office puts its own scratch file beside what it writes, so the
    // staging folder also keeps that out of the operator's folder, and it is
    // removed with the office should the program be killed during a save.
    // Made new and private under an unguessable name for every save, so
    // nothing planted there is written into or removed, and removed without
    // following links. It is listed before it exists: a kill right after
    // the mkdir leaves nothing behind.
    QString staging;
    for (int attempt = 0;; ++attempt) {
        staging = dir + QStringLiteral("/.~morvanta-%1-%2")
                            .arg(::getpid())
                            .arg(QRandomGenerator::global()->generate64(), 16, 16, QChar(u'0'));
        c.addLeftover(staging);
        if (::mkdir(QFile::encodeName(staging).constData(), 0700) == 0)
            break;
        const int err = errno;
        c.removeLeftover(staging);
        if (err != EEXIST || attempt == 8)
            throw Error(errc::PermissionDenied,
                        QStringLiteral("无法保存“%1”：无法在文件夹“%2”中建立临时文件夹。")
                            .arg(fileName, dir));
    }
    const QString temp = staging + QStringLiteral("/document.tmp");
    const auto discard = [&] {
        if (removeTree(staging))
            c.removeLeftover(staging);
    };
    try {
        c.call(
            [&] {
                std::vector<beans::PropertyValue> props = {property("Overwrite", Any(true))};
                if (!filterName_.isEmpty())
                    props.push_back(property("FilterName", Any(toOUString(filterName_))));
                const Reference<frame::XStorable> storable(component_, UNO_QUERY_THROW);
                storable->storeToURL(toOUString(fileUrl(temp)),
                                     Sequence<beans::PropertyValue>(
                                         props.data(), static_cast<sal_Int32>(props.size())));
            },
            describeAs(errc::WriteFailed, QStringLiteral("无法写入文件“%1”").arg(fileName)));
    } catch (...) {
        discard();
        throw;
    }
    // On disk before it gets its name: a power cut must not leave an empty
    // document under the final name.
    if (!syncToDisk(temp)) {
        discard();
        throw Error(errc::WriteFailed,
                    QStringLiteral("无法保存“%1”：文件未能完整写入磁盘。").arg(fileName));
    }
    if (::rename(QFile::encodeName(temp).constData(), QFile::encodeName(fileName).constData()) !=
        0) {
        const int err = errno;
        discard();
        const int number = err == ENAMETOOLONG ? errc::BadFileName
                           : (err == EACCES || err == EPERM || err == EISDIR)
                               ? errc::PermissionDenied
                               : errc::WriteFailed;
        throw Error(number, QStringLiteral("无法保存“%1”：%2")
                                .arg(fileName, QString::fromLocal8Bit(std::strerror(err))));
    }
    discard();
}

void UnoDocument::Close()
{
    if (!component_.is())
        return;
    const Reference<lang::XComponent> doc = component_;
    component_.clear();
    textDocument_.clear();
    searchable_.clear();
    closeComponent(*connection_, doc, path_);
}

// --- Application ------------------------------------------------------------

UnoWordApplication::UnoWordApplication(UnoEngine& engine)
    : engine_(engine), process_(engine.sessionStarted())
{
}

UnoWordApplication::~UnoWordApplication()
{
    if (!quit_) {
        try {
            document_.reset();
        } catch (...) {
        }
        engine_.sessionEnded(process_);
    }
}

void UnoWordApplication::ensureRunning() const
{
    if (quit_)
        throw Error(errc::OfficeFailure, QStringLiteral("文字处理会话已经结束。"));
}

void UnoWordApplication::SetVisible(bool visible)
{
    ensureRunning();
    // The private office is headless: it can never be shown.
    if (visible)
        throw Error(errc::InvalidValue, QStringLiteral("后台办公组件不能显示窗口。"));
}

bool UnoWordApplication::Visible()
{
    ensureRunning();
    return false;
}

word::Document& UnoWordApplication::open(const QString& fileName, bool readOnly)
{
    ensureRunning();
    if (document_ && document_->isOpen())
        throw Error(errc::OfficeFailure, QStringLiteral("每个文字处理会话只能打开一个文档。"));
    std::shared_ptr<Connection> connection = engine_.connection(process_);
    Reference<lang::XComponent> component;
    QString filter;
    try {
        component = loadComponent(*connection, fileName, readOnly, false, &filter);
    } catch (const Error& e) {
        // An office that died just before this session began is replaced;
        // nothing of the session was lost, so opening is tried once more.
        if (e.number() != errc::OfficeGone)
            throw;
        connection = engine_.connection(process_);
        component = loadComponent(*connection, fileName, readOnly, false, &filter);
    }
    document_ = std::make_unique<UnoDocument>(connection, component, fileName, filter);
    return *document_;
}

long UnoWordApplication::officePid()
{
    return document_ && document_->isOpen() ? document_->connection().pid() : 0;
}

word::Document& UnoWordApplication::ActiveDocument()
{
    ensureRunning();
    if (!document_ || !document_->isOpen())
        throw Error(errc::OfficeFailure, QStringLiteral("没有打开的文档。"));
    return *document_;
}

float UnoWordApplication::PointsToCentimeters(float points)
{
    ensureRunning();
    return pointsToCentimeters(points);
}

float UnoWordApplication::CentimetersToPoints(float centimeters)
{
    ensureRunning();
    return centimetersToPoints(centimeters);
}

void UnoWordApplication::Quit()
{
    if (quit_)
        return;
    quit_ = true;
    // The process counts as free only once the document is closed: a session
    // started meanwhile may renew a free process, which would end this close.
    std::unique_ptr<UnoDocument> doc = std::move(document_);
    const auto free = qScopeGuard([this] { engine_.sessionEnded(process_); });
    if (doc)
        doc->Close();
}

} // namespace office::detail
