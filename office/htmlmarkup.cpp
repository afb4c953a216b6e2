#include "office/htmlmarkup.h"

#include <QList>

namespace office::htmltable {

namespace {

bool isLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

char asciiLower(char c)
{
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

// Attribute values may spell quotes and ampersands as character references.
QByteArray decodeAttribute(QByteArray v)
{
    if (!v.contains('&'))
        return v;
    v.replace("&quot;", "\"").replace("&#34;", "\"").replace("&apos;", "'");
    v.replace("&#39;", "'").replace("&#92;", "\\").replace("&#64;", "@");
    return v.replace("&amp;", "&");
}

// A format value as CSS writes it: "\@", '\@', \@, "@" are text.
Format formatOf(QByteArray value)
{
    value = trimmed(value);
    if (value.toLower().endsWith("!important"))
        value = trimmed(value.chopped(10));
    if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0])
        value = trimmed(value.mid(1, value.size() - 2));
    if (value.isEmpty())
        return Format::Unset;
    if (QByteArray(value).replace('\\', "") == "@")
        return Format::Text;
    return value.toLower() == "general" ? Format::General : Format::Other;
}

} // namespace

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

QByteArray trimmed(QByteArray s)
{
    qsizetype b = 0, e = s.size();
    while (b < e && isSpace(s[b]))
        ++b;
    while (e > b && isSpace(s[e - 1]))
        --e;
    return s.mid(b, e - b);
}

bool startsWithAt(const QByteArray& s, qsizetype at, const char* what)
{
    for (qsizetype i = 0; what[i]; ++i)
        if (at + i >= s.size() || asciiLower(s[at + i]) != what[i])
            return false;
    return true;
}

qsizetype findNoCase(const QByteArray& s, qsizetype from, const char* what)
{
    for (qsizetype i = from; i < s.size(); ++i)
        if (startsWithAt(s, i, what))
            return i;
    return s.size();
}

Format declaredFormat(const QByteArray& declarations)
{
    Format found = Format::Unset;
    qsizetype start = 0;
    char quote = 0;
    for (qsizetype i = 0; i <= declarations.size(); ++i) {
        const char c = i < declarations.size() ? declarations[i] : ';';
        if (quote) {
            if (c == quote)
                quote = 0;
            continue;
        }
        if (c == '"' || c == '\'') {
            quote = c;
            continue;
        }
        if (c != ';')
            continue;
        const QByteArray declaration = declarations.mid(start, i - start);
        start = i + 1;
        const qsizetype colon = declaration.indexOf(':');
        if (colon < 0)
            continue;
        const QByteArray name = trimmed(declaration.left(colon)).toLower();
        if (name == "mso-number-format" || name == "vnd.ms-excel.numberformat") {
            const Format f = formatOf(declaration.mid(colon + 1));
            if (f != Format::Unset)
                found = f;
        }
    }
    return found;
}

const Attribute* Tag::attribute(const char* wanted) const
{
    for (const Attribute& a : attributes)
        if (a.name == wanted)
            return &a;
    return nullptr;
}

std::optional<Tag> readTag(const QByteArray& s, qsizetype at)
{
    Tag tag;
    tag.begin = at;
    qsizetype i = at + 1;
    if (i < s.size() && s[i] == '/') {
        tag.closing = true;
        ++i;
    }
    const qsizetype nameBegin = i;
    if (i >= s.size() || !isLetter(s[i]))
        return std::nullopt;
    while (i < s.size() && !isSpace(s[i]) && s[i] != '>' && s[i] != '/')
        ++i;
    tag.name = s.mid(nameBegin, i - nameBegin).toLower();
    tag.nameEnd = i;
    for (;;) {
        const qsizetype attributeBegin = i;
        while (i < s.size() && (isSpace(s[i]) || s[i] == '/'))
            ++i;
        if (i >= s.size()) {
            tag.end = s.size();
            return tag;
        }
        if (s[i] == '>') {
            tag.end = i + 1;
            return tag;
        }
        Attribute a;
        const qsizetype attributeName = i;
        while (i < s.size() && !isSpace(s[i]) && s[i] != '=' && s[i] != '>')
            ++i;
        a.name = s.mid(attributeName, i - attributeName).toLower();
        qsizetype j = i;
        while (j < s.size() && isSpace(s[j]))
            ++j;
        if (j < s.size() && s[j] == '=') {
            i = j + 1;
            while (i < s.size() && isSpace(s[i]))
                ++i;
            if (i < s.size() && (s[i] == '"' || s[i] == '\'')) {
                const char quote = s[i];
                const qsizetype close = s.indexOf(quote, i + 1);
                const qsizetype valueEnd = close < 0 ? s.size() : close;
                a.value = decodeAttribute(s.mid(i + 1, valueEnd - i - 1));
                i = close < 0 ? s.size() : close + 1;
            } else {
                const qsizetype valueBegin = i;
                while (i < s.size() && !isSpace(s[i]) && s[i] != '>')
                    ++i;
                a.value = decodeAttribute(s.mid(valueBegin, i - valueBegin));
            }
        }
        a.begin = attributeBegin;
        a.end = i;
        tag.attributes.push_back(std::move(a));
    }
}

Format inlineFormat(const Tag& tag)
{
    const Attribute* style = tag.attribute("style");
    return style ? declaredFormat(style->value) : Format::Unset;
}

void StyleRules::read(QByteArray css)
{
    for (qsizetype open; (open = css.indexOf("/*")) >= 0;) {
        const qsizetype close = css.indexOf("*/", open + 2);
        css.remove(open, close < 0 ? css.size() - open : close + 2 - open);
    }
    css.replace("<!--", "    ").replace("-->", "   ");
    qsizetype i = 0;
    while (i < css.size()) {
        const qsizetype open = css.indexOf('{', i);
        if (open < 0)
            break;
        const QByteArray selectors = trimmed(css.mid(i, open - i));
        // The block ends at its matching brace: at-rules (@page, @media) nest.
        qsizetype close = open + 1;
        for (int depth = 1; close < css.size() && depth > 0; ++close)
            depth += css[close] == '{' ? 1 : css[close] == '}' ? -1 : 0;
        i = close;
        if (selectors.startsWith('@'))
            continue;
        const Format format = declaredFormat(css.mid(open + 1, close - open - 2));
        if (format == Format::Unset)
            continue;
        for (const QByteArray& selector : selectors.split(','))
            rules_[trimmed(selector).toLower()] = format;
    }
}

Format StyleRules::classes(const QByteArray& element, const Tag& tag) const
{
    Format found = Format::Unset;
    if (const Attribute* a = tag.attribute("class"))
        for (const QByteArray& name : a->value.simplified().toLower().split(' ')) {
            Format f = lookup(element + '.' + name);
            if (f == Format::Unset)
                f = lookup('.' + name);
            if (f != Format::Unset)
                found = f;
        }
    return found;
}

Format StyleRules::lookup(const QByteArray& key) const
{
    const auto it = rules_.find(key);
    return it == rules_.end() ? Format::Unset : it->second;
}

} // namespace office::htmltable
