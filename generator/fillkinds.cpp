#include "generator/fillkinds.h"

namespace {

constexpr std::array<FontStep, 2> originalName{{{26, 16.0f}, {44, 12.0f}}};
constexpr std::array<FontStep, 1> originalScope{{{183, 8.0f}}};
constexpr std::array<FontStep, 2> originalDomicile{{{30, 14.0f}, {46, 12.0f}}};

constexpr std::array<FontStep, 2> duplicateName{{{26, 9.0f}, {42, 6.0f}}};
constexpr std::array<FontStep, 2> duplicateScope{{{106, 7.0f}, {137, 5.0f}}};
constexpr std::array<FontStep, 2> duplicateDomicile{{{26, 9.0f}, {42, 6.0f}}};

QString outputSuffix(paths::TemplateKind kind)
{
    return QStringLiteral("（") + paths::kindName(kind) + QStringLiteral("）.doc");
}

} // namespace

const FillKind& fillKind(paths::TemplateKind kind)
{
    static const FillKind original{paths::TemplateKind::Original,
                                   outputSuffix(paths::TemplateKind::Original),
                                   {originalName, originalScope, originalDomicile}};
    static const FillKind duplicate{paths::TemplateKind::Duplicate,
                                    outputSuffix(paths::TemplateKind::Duplicate),
                                    {duplicateName, duplicateScope, duplicateDomicile}};
    return kind == paths::TemplateKind::Original ? original : duplicate;
}
