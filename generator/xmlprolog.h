#pragma once

#include <QByteArrayView>

// The part of a markup file before its first element, judged for what a
// reader would do with it: a document type that declares entities or
// elements, or that points at an outside document type definition, makes
// a reader fetch or expand things; a plain one (or a well-known public HTML
// one) does not.
namespace xmlprolog {

enum class Verdict
{
    NotMarkup, // it does not start like markup at all (binary, plain text)
    Harmless,  // the first element (or plain text) follows a harmless prolog
    Refused,   // declarations, an outside definition, or an encoding that hides markup
    NeedMore,  // the head ends inside the prolog
};

// `head` is the beginning of a file or package member; `whole` says it holds
// all of it, so running out of text is an end rather than a need for more.
Verdict scan(QByteArrayView head, bool whole);

} // namespace xmlprolog
