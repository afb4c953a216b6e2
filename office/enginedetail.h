#pragma once

// The office's own text about a failure, made fit for a Chinese message: the
// file URLs in it become plain paths, and its input/output error code, where
// it names a cause an operator can act on, is said in Chinese words.

#include <QString>

namespace office::detail {

// The office's text with every file URL decoded into a plain path
// ("file:///home/x/%E6%AD%A3" becomes "/home/x/正").
QString withPlainPaths(const QString& engineText);

// The cause that an input/output error code in the office's text names
// ("0x11b(Error Area:Io Class:Abort Code:27)"), as a Chinese sentence such as
// "磁盘空间不足。"; empty when the text holds none or only a vague one.
QString ioCauseOf(const QString& engineText);

// What follows a message's own text: the cause in Chinese words, then the
// office's text with plain paths in brackets. Empty for an empty text.
QString engineDetail(const QString& engineText);

} // namespace office::detail
