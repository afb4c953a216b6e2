#include "office/htmltable.h"

#include "office/htmlmarkup.h"

#include <QFile>

#include <algorithm>
#include <optional>
#include <vector>

namespace office::htmltable {

namespace {

bool allDigits(const QByteArray& s)
{
    for (const char c : s)
        if (!isDigit(c))
            return false;
    return !s.isEmpty();
}

// "1,200", "-12,345.50": groups of three digits separated by commas.
bool isGroupedNumber(QByteArray s)
{
    if (s.startsWith('-') || s.startsWith('+'))
        s = s.mid(1);
    const qsizetype point = s.indexOf('.');
    if (point >= 0) {
        if (!allDigits(s.mid(point + 1)) && point + 1 != s.size())
            return false;
        s.truncate(point);
    }
    const QList<QByteArray> groups = s.split(',');
    if (groups.size() < 2 || groups[0].size() > 3 || !allDigits(groups[0]))
        return false;
    for (qsizetype g = 1; g < groups.size(); ++g)
        if (groups[g].size() != 3 || !allDigits(groups[g]))
            return false;
    return true;
}

struct Cell
{
    Tag tag;
    QByteArray text;
};

// The open row and cell of one table; a table inside a cell has its own.
struct Level
{
    std::optional<Tag> row;
    std::optional<Cell> cell;
};

class Rewriter
{
public:
    explicit Rewriter(const QByteArray& html) : s_(html) {}

    QByteArray run()
    {
        levels_.emplace_back();
        qsizetype i = 0;
        while (i < s_.size()) {
            const qsizetype lt = s_.indexOf('<', i);
            const qsizetype textEnd = lt < 0 ? s_.size() : lt;
            appendText(i, textEnd);
            if (lt < 0)
                break;
            i = markup(lt);
        }
        finishCell();
        if (edits_.empty())
            return {};
        return rewritten();
    }

private:
    // Handles the markup at s_[at] == '<' and returns where the text goes on.
    qsizetype markup(qsizetype at)
    {
        if (startsWithAt(s_, at, "<!--")) {
            const qsizetype close = s_.indexOf("-->", at + 4);
            return close < 0 ? s_.size() : close + 3;
        }
        if (startsWithAt(s_, at, "<!") || startsWithAt(s_, at, "<?")) {
            const qsizetype close = s_.indexOf('>', at);
            return close < 0 ? s_.size() : close + 1;
        }
        const std::optional<Tag> tag = readTag(s_, at);
        if (!tag) {
            appendText(at, at + 1);
            return at + 1;
        }
        if (!tag->closing && (tag->name == "style" || tag->name == "script")) {
            const qsizetype close =
                findNoCase(s_, tag->end, tag->name == "style" ? "</style" : "</script");
            if (tag->name == "style")
                rules_.read(s_.mid(tag->end, close - tag->end));
            return close;
        }
        element(*tag);
        return tag->end;
    }

    void element(const Tag& tag)
    {
        const QByteArray& n = tag.name;
        const bool cell = n == "td" || n == "th";
        if (!tag.closing && (n == "table" || n == "tr" || cell) && styleAt_ < 0)
            styleAt_ = tag.begin; // the rule for the kept cells goes before the first table
        if (n == "table") {
            if (!tag.closing) {
                if (levels_.back().cell)
                    levels_.back().cell->text += "<table>"; // a table inside is no single value
                levels_.emplace_back();
            } else {
                finishCell();
                if (levels_.size() > 1)
                    levels_.pop_back();
            }
        } else if (n == "tr") {
            finishCell();
            levels_.back().row.reset();
            if (!tag.closing)
                levels_.back().row = tag;
        } else if (cell) {
            finishCell();
            if (!tag.closing)
                levels_.back().cell = Cell{tag, {}};
        } else if (n == "br" || n == "p" || n == "div" || n == "li") {
            if (levels_.back().cell)
                levels_.back().cell->text += '\n';
        }
    }

    void appendText(qsizetype from, qsizetype to)
    {
        if (to > from && levels_.back().cell)
            levels_.back().cell->text += s_.mid(from, to - from);
    }

    void finishCell()
    {
        std::optional<Cell>& cell = levels_.back().cell;
        if (cell && keepsText(*cell))
            edits_.push_back(cell->tag);
        cell.reset();
    }

    bool keepsText(const Cell& cell) const
    {
        const Tag& tag = cell.tag;
        Format format = inlineFormat(tag);
        if (format == Format::Unset)
            format = rules_.classes(tag.name, tag);
        if (format == Format::Unset)
            format = rules_.element(tag.name);
        if (format == Format::Unset && levels_.back().row) {
            const Tag& row = *levels_.back().row;
            format = inlineFormat(row);
            if (format == Format::Unset)
                format = rules_.classes("tr", row);
            if (format == Format::Unset)
                format = rules_.element("tr");
        }
        if (format == Format::Text || tag.attribute("x:str"))
            return true;
        const QByteArray text = trimmed(cell.text);
        if (allDigits(text) && text.size() > 15)
            return true;
        if (format != Format::Unset && format != Format::General)
            return false;
        return (allDigits(text) && text.size() > 1 && text[0] == '0') || isGroupedNumber(text);
    }

    // A class name that the document does not use.
    QByteArray freshClass() const
    {
        for (int n = 0;; ++n) {
            const QByteArray name = "keep-written-text-" + QByteArray::number(n);
            if (findNoCase(s_, 0, name.constData()) == s_.size())
                return name;
        }
    }

    QByteArray rewritten()
    {
        // A cell around an inner table ends after the inner cells.
        std::sort(edits_.begin(), edits_.end(),
                  [](const Tag& a, const Tag& b) { return a.begin < b.begin; });
        const QByteArray name = freshClass();
        QByteArray out;
        out.reserve(s_.size() + qsizetype(edits_.size()) * 40 + 80);
        qsizetype copied = 0;
        const auto copyTo = [&](qsizetype to) {
            out += s_.mid(copied, to - copied);
            copied = to;
        };
        copyTo(styleAt_);
        out += "<style>." + name + "{mso-number-format:\"\\@\";}</style>";
        for (const Tag& tag : edits_) {
            copyTo(tag.nameEnd);
            out += " class=\"" + name + '"';
            // The cell's own classes go: the import reads one class only.
            for (const Attribute& a : tag.attributes)
                if (a.name == "class") {
                    copyTo(a.begin);
                    copied = a.end;
                }
        }
        copyTo(s_.size());
        return out;
    }

    const QByteArray& s_;
    StyleRules rules_;
    std::vector<Level> levels_;
    std::vector<Tag> edits_;
    qsizetype styleAt_ = -1;
};

} // namespace

QByteArray keepWrittenText(const QByteArray& html)
{
    qsizetype i = html.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    while (i < html.size() && isSpace(html[i]))
        ++i;
    if (i >= html.size() || html[i] != '<')
        return {};
    return Rewriter(html).run();
}

QByteArray keepWrittenTextOfFile(const QString& path)
{
    constexpr qint64 largest = 64 << 20;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > largest)
        return {};
    QByteArray head = file.peek(512);
    if (head.startsWith("\xEF\xBB\xBF"))
        head.remove(0, 3);
    if (!trimmed(head).startsWith('<'))
        return {};
    const QByteArray html = file.read(largest + 1);
    if (html.size() > largest)
        return {};
    return keepWrittenText(html);
}

} // namespace office::htmltable
