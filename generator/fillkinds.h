#pragma once

#include "common/paths.h"

#include <QString>

#include <array>
#include <span>

// What distinguishes the original (正本) from the duplicate (副本): the template,
// the output-name suffix and the font-size rules. Both kinds share one fill.

// A length step: a value longer than `longerThan` UTF-16 code units is set in
// `points`. A field has one or two steps, the later one smaller.
struct FontStep
{
    int longerThan;
    float points;
};

// The fields that a kind shrinks when their values are long.
struct FontRules
{
    std::span<const FontStep> danweimingcheng;
    std::span<const FontStep> zongzhiyewufanwei;
    std::span<const FontStep> zhusuo;
};

struct FillKind
{
    paths::TemplateKind kind;
    QString outputSuffix; // full-width parentheses, no space before them
    FontRules fontRules;
};

const FillKind& fillKind(paths::TemplateKind kind);
