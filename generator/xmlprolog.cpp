#include "generator/xmlprolog.h"

#include <QRegularExpression>
#include <QString>
#include <QStringDecoder>

namespace xmlprolog {
namespace {

// The text of the head, in which markup characters are what they are to a
// reader: UTF-16 and UTF-32 (by byte order mark or by the "<" of the first
// character) are decoded; every byte-oriented encoding a spreadsheet may
// declare keeps "<", "!", "?", ">" and quotes as single ASCII bytes, so those
// are read byte for byte. Returns false for EBCDIC, which hides "<" from a
// byte scan and which no spreadsheet uses.
bool decodeHead(QByteArrayView b, QString& text)
{
    auto at = [&](qsizetype i) { return i < b.size() ? static_cast<unsigned char>(b[i]) : 0x100u; };
    auto decode = [&](QStringConverter::Encoding encoding, qsizetype skip) {
        QStringDecoder decoder(encoding, QStringConverter::Flag::Stateless);
        text = decoder(b.sliced(qMin(skip, b.size())));
    };
    if (at(0) == 0xEF && at(1) == 0xBB && at(2) == 0xBF)
        text = QString::fromLatin1(b.sliced(3));
    else if (at(0) == 0xFF && at(1) == 0xFE && at(2) == 0 && at(3) == 0)
        decode(QStringConverter::Utf32LE, 4);
    else if (at(0) == 0 && at(1) == 0 && at(2) == 0xFE && at(3) == 0xFF)
        decode(QStringConverter::Utf32BE, 4);
    else if (at(0) == 0xFF && at(1) == 0xFE)
        decode(QStringConverter::Utf16LE, 2);
    else if (at(0) == 0xFE && at(1) == 0xFF)
        decode(QStringConverter::Utf16BE, 2);
    else if (at(0) == '<' && at(1) == 0 && at(2) == 0 && at(3) == 0)
        decode(QStringConverter::Utf32LE, 0);
    else if (at(0) == 0 && at(1) == 0 && at(2) == 0 && at(3) == '<')
        decode(QStringConverter::Utf32BE, 0);
    else if (at(0) != 0 && at(1) == 0 && at(3) == 0)
        decode(QStringConverter::Utf16LE, 0);
    else if (at(0) == 0 && at(1) != 0 && at(2) == 0)
        decode(QStringConverter::Utf16BE, 0);
    else if (at(0) == 0x4C && at(1) == 0x6F && at(2) == 0xA7 && at(3) == 0x94)
        return false;
    else
        text = QString::fromLatin1(b);
    return true;
}

// Encodings in which the markup characters stay single ASCII bytes (or that
// were decoded above). Anything else (UTF-7, EBCDIC code pages, ...) could
// spell "<!" so that a byte scan misses it.
bool harmlessEncoding(const QString& name)
{
    static const QRegularExpression known(
        QStringLiteral("^(utf-?8|utf-?16(le|be)?|utf-?32(le|be)?|ucs-?2|(us-)?ascii|"
                       "iso[-_]?8859[-_]\\d{1,2}|latin-?1|(windows|cp)-?125\\d|gb2312|gbk|gb18030|"
                       "cp936|big5|shift_jis|euc-(jp|kr|cn))$"),
        QRegularExpression::CaseInsensitiveOption);
    return known.match(name.trimmed()).hasMatch();
}

bool isSpace(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == u'\f';
}

// An outside definition that no reader here fetches and whose address the
// file's author does not choose: the public HTML and XHTML document types
// of web pages exported as spreadsheets, and the definitions older office
// packages name by a bare file name inside the package.
bool harmlessExternal(const QString& name, const QString& publicId, const QString& systemId,
                      bool hasPublic)
{
    const auto ci = Qt::CaseInsensitive;
    if (name.compare(u"html", ci) == 0) {
        if (!hasPublic)
            return systemId.compare(u"about:legacy-compat", ci) == 0;
        const bool w3c = publicId.startsWith(u"-//W3C//DTD ", ci) ||
                         publicId.startsWith(u"-//IETF//DTD HTML", ci);
        return w3c && (systemId.isEmpty() || systemId.startsWith(u"http://www.w3.org/", ci) ||
                       systemId.startsWith(u"https://www.w3.org/", ci));
    }
    static const QRegularExpression bareName(QStringLiteral("^[A-Za-z0-9_-]+\\.dtd$"));
    return hasPublic && publicId.startsWith(u"-//OpenOffice.org//DTD ") &&
           bareName.match(systemId).hasMatch();
}

class Scanner
{
public:
    Scanner(const QString& text, bool isWhole) : t(text), whole(isWhole) {}

    Verdict run()
    {
        if (t.startsWith(u"<?xml") && t.size() > 5 && isSpace(t[5])) {
            const qsizetype end = t.indexOf(u"?>");
            if (end < 0)
                return ranOut();
            static const QRegularExpression encoding(
                QStringLiteral("\\sencoding\\s*=\\s*([\"'])([^\"']*)\\1"));
            const auto m = encoding.match(t.first(end));
            if (m.hasMatch() && !harmlessEncoding(m.captured(2)))
                return Verdict::Refused;
            i = end + 2;
            seenMarkup = true;
        }
        for (;;) {
            skipSpace();
            if (i >= t.size())
                return ranOut();
            if (t[i] != u'<')
                return seenMarkup ? Verdict::Harmless : Verdict::NotMarkup;
            if (i + 1 >= t.size())
                return ranOut();
            const QChar next = t[i + 1];
            if (next != u'?' && next != u'!')
                return Verdict::Harmless; // the first element: the prolog is over
            seenMarkup = true;
            if (next == u'?') {
                if (!skipPast(u"?>", i + 2))
                    return ranOut();
                continue;
            }
            if (t.size() - i < 10 && !whole)
                return Verdict::NeedMore; // too short to tell which declaration
            if (startsHere(u"<!--")) {
                if (!skipPast(u"-->", i + 4))
                    return ranOut();
                continue;
            }
            if (startsHere(u"<!DOCTYPE")) {
                i += 9;
                if (const auto verdict = documentType(); verdict != Verdict::Harmless)
                    return verdict;
                continue;
            }
            for (const auto keyword : {u"<!ENTITY", u"<!ELEMENT", u"<!ATTLIST", u"<!NOTATION"})
                if (startsHere(keyword))
                    return Verdict::Refused;
            if (!skipPast(u">", i + 2)) // anything else a web page may hold: a bogus comment
                return ranOut();
        }
    }

private:
    const QString& t;
    const bool whole;
    qsizetype i = 0;
    bool seenMarkup = false;

    Verdict ranOut() const
    {
        if (whole)
            return seenMarkup ? Verdict::Harmless : Verdict::NotMarkup;
        return Verdict::NeedMore;
    }

    bool startsHere(QStringView s) const
    {
        return QStringView(t).sliced(i).startsWith(s, Qt::CaseInsensitive);
    }

    void skipSpace()
    {
        while (i < t.size() && isSpace(t[i]))
            ++i;
    }

    bool skipPast(QStringView end, qsizetype from)
    {
        const qsizetype at = t.indexOf(end, from);
        if (at < 0)
            return false;
        i = at + end.size();
        return true;
    }

    // A quoted literal at i, or none when no quote is there. False when the
    // head ends inside it.
    bool literal(QString& value, bool& present)
    {
        skipSpace();
        present = i < t.size() && (t[i] == u'"' || t[i] == u'\'');
        if (!present)
            return i < t.size();
        const qsizetype end = t.indexOf(t[i], i + 1);
        if (end < 0)
            return false;
        value = t.sliced(i + 1, end - i - 1);
        i = end + 1;
        return true;
    }

    // After "<!DOCTYPE": the name, an optional outside identifier, an
    // optional internal subset, ">".
    Verdict documentType()
    {
        skipSpace();
        const qsizetype nameStart = i;
        while (i < t.size() && !isSpace(t[i]) && t[i] != u'[' && t[i] != u'>')
            ++i;
        if (i >= t.size())
            return ranOut();
        const QString name = t.sliced(nameStart, i - nameStart);
        skipSpace();
        if (t.size() - i < 6 && !whole)
            return Verdict::NeedMore;
        QString publicId, systemId;
        const bool hasPublic = startsHere(u"PUBLIC");
        if (hasPublic || startsHere(u"SYSTEM")) {
            i += 6;
            bool present = false;
            if (hasPublic && !literal(publicId, present))
                return ranOut();
            if (!literal(systemId, present))
                return ranOut();
            if (!harmlessExternal(name, publicId, systemId, hasPublic))
                return Verdict::Refused;
        }
        skipSpace();
        if (i >= t.size())
            return ranOut();
        const qsizetype close = t.indexOf(u'>', i);
        if (close < 0)
            return ranOut();
        // Whatever stands before ">" may only be an empty internal subset.
        for (const QChar c : QStringView(t).sliced(i, close - i))
            if (!isSpace(c) && c != u'[' && c != u']')
                return Verdict::Refused;
        i = close + 1;
        return Verdict::Harmless;
    }
};

} // namespace

Verdict scan(QByteArrayView head, bool whole)
{
    QString text;
    if (!decodeHead(head, text))
        return Verdict::Refused;
    return Scanner(text, whole).run();
}

} // namespace xmlprolog
