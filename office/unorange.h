#pragma once

#include "office/unofind.h"
#include "office/unofont.h"

#include <com/sun/star/text/XTextRange.hpp>

namespace office::detail {

class UnoDocument;

class UnoRange : public word::Range
{
public:
    UnoRange(UnoDocument& document, css::uno::Reference<css::text::XTextRange> range);
    void Select() override;
    word::Find& Find() override { return find_; }
    word::Font& Font() override { return font_; }
    QString Text() override;

    UnoDocument& document() { return document_; }
    css::uno::Reference<css::text::XTextRange> range;

private:
    UnoDocument& document_;
    UnoFind find_;
    UnoFont font_;
};

} // namespace office::detail
