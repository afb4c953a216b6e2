#pragma once

// The eight margin entries of the settings window and the checks that decide
// whether they can be written into the templates.

#include "common/paths.h"

#include <QString>

#include <array>
#include <optional>

namespace margins {

using paths::TemplateKind;

// The four entries of one template, in the side order top, bottom, left, right.
using MarginEntries = std::array<QString, 4>;

// A page size in points.
struct PageSize
{
    float width = 0;
    float height = 0;
};

// The least text area, in centimetres, that margins must leave on a page.
inline constexpr double kMinimumTextCentimetres = 1.0;

// The value of a text made of digits with at most one point ("2", "2.",
// ".5", "1.234"); nothing for anything else (a lone ".", "1.2.3", blanks,
// signs, exponents).
std::optional<double> decimalValue(const QString& text);

// The entry as the single-precision centimetres that are written.
std::optional<float> marginCentimetres(const QString& entry);

// How a box is named to the operator: "正本上边距" ... "副本右边距".
QString entryName(TemplateKind kind, int side);

// Refusals are messages for the operator, naming the box; empty when the
// entries can be written.

// The first entry of the template that is no number.
QString numberRefusal(TemplateKind kind, const MarginEntries& entries);

// Every entry a number, and margins that leave room for text across and
// down the page.
QString refusalOf(TemplateKind kind, const MarginEntries& entries, const PageSize& page);

} // namespace margins
