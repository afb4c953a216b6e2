#pragma once

// Web systems deliver an HTML table under a spreadsheet name and mark the
// cells that must stay text the way the spreadsheet program they target
// reads them. The office's HTML import honours only part of those marks, and
// turns an unmarked "00123", "1,200" or an 18-digit code into a number that no
// longer shows what was written. This pre-pass finds the cells whose written
// text is to be kept and gives each a text class that the import does honour.
// It works on the bytes as they are (any ASCII-compatible encoding) and
// changes nothing else.

#include <QByteArray>
#include <QString>

namespace office::htmltable {

// A cell keeps its written text when any of these holds:
// - its number format is text (`mso-number-format` `\@` or `@`, quoted or
//   not): inline in its own style, through a class or element rule of a
//   <style> block, or, when the cell names no format of its own, the same on
//   its row (<tr>);
// - it has the `x:str` attribute;
// - its text is a digit string of more than 15 digits (a number cell holds no
//   more exactly), whatever its format says;
// - it names no number format (or "General") and its text is a digit string
//   with a leading zero ("00123") or a number with digit grouping ("1,200",
//   "-1,234.50").
// Returns the rewritten table, or an empty array when `html` is no HTML table
// or none of its cells needs it.
QByteArray keepWrittenText(const QByteArray& html);

// The same for a file. Only a file that begins like markup is read whole;
// one that cannot be read, or is too large to hold in memory, gives an empty
// array (the office then reads the file itself, as it would anyway).
QByteArray keepWrittenTextOfFile(const QString& path);

} // namespace office::htmltable
