#pragma once

// The pieces of HTML and CSS that tell how a table cell's number format is
// marked: tags with their attributes, and the number formats that <style>
// rules and inline styles give. Byte-level, for any ASCII-compatible encoding.

#include <QByteArray>

#include <map>
#include <optional>
#include <vector>

namespace office::htmltable {

// A number format as far as the decision needs it.
enum class Format
{
    Unset,
    General,
    Text,
    Other
};

bool isSpace(char c);
bool isDigit(char c);
QByteArray trimmed(QByteArray s);
// Whether s holds `what` (lower case) at `at`, ignoring ASCII case.
bool startsWithAt(const QByteArray& s, qsizetype at, const char* what);
// The position of `what` (lower case) from `from` on, ignoring case; s.size() when absent.
qsizetype findNoCase(const QByteArray& s, qsizetype from, const char* what);

// The number format that CSS declarations ("a: b; c: d") set, if any.
Format declaredFormat(const QByteArray& declarations);

struct Attribute
{
    QByteArray name; // lower case
    QByteArray value;
    qsizetype begin = 0, end = 0; // the attribute's bytes, leading space included
};

struct Tag
{
    QByteArray name; // lower case
    bool closing = false;
    qsizetype begin = 0, nameEnd = 0, end = 0;
    std::vector<Attribute> attributes;

    const Attribute* attribute(const char* wanted) const;
};

// Reads the tag starting at s[at] == '<'; nullopt when that is no tag.
std::optional<Tag> readTag(const QByteArray& s, qsizetype at);

// The format a tag's own style attribute gives.
Format inlineFormat(const Tag& tag);

// The number formats that the <style> blocks give to classes and elements:
// keys ".name" (any element), "td.name", "tr.name", "td", "tr"...
class StyleRules
{
public:
    // Adds the rules of one <style> block; a later rule wins.
    void read(QByteArray css);
    Format element(const QByteArray& name) const { return lookup(name); }
    // The format that the element's classes give it; a later class wins.
    Format classes(const QByteArray& element, const Tag& tag) const;

private:
    Format lookup(const QByteArray& key) const;
    std::map<QByteArray, Format> rules_;
};

} // namespace office::htmltable
