#pragma once

#include "office/unocall.h"
#include "office/word.h"

#include <com/sun/star/util/XSearchDescriptor.hpp>

#include <optional>
#include <utility>

namespace office::detail {

class UnoRange;
class UnoDocument;

// What a search descriptor is set to besides its text.
enum SearchFlag
{
    CaseSensitive = 1,
    WholeWords = 2,
    Backwards = 4,
    Pattern = 8, // the text is a regular expression (ICU)
};

// A search descriptor of the document's office for `text` and `flags`, kept
// per office and used again by its later documents.
css::uno::Reference<css::util::XSearchDescriptor> searchDescriptor(UnoDocument& doc,
                                                                   const QString& text, int flags);

class UnoFind : public word::Find
{
public:
    explicit UnoFind(UnoRange& range) : range_(range) {}
    void ClearFormatting() override {}
    bool Execute() override;
    bool Execute(const word::ExecuteArgs& args) override;

private:
    bool search(bool replace);
    void checkOptions() const;
    int flags() const;
    void applyOptions();
    bool coversOwnInsertion() const;

    UnoRange& range_;
    css::uno::Reference<css::util::XSearchDescriptor> descriptor_; // for Text and the flags
    // The text this range's last replacement inserted, while the range still
    // covers it and the document has not been edited since.
    struct Insertion
    {
        QString text;
        quint64 edit;
    };
    std::optional<Insertion> inserted_;
    // The search text and flags of the last replacement, while the replace
    // searches go on with them.
    std::optional<std::pair<QString, int>> lastReplaced_;
};

} // namespace office::detail
