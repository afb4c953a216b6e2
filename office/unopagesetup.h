#pragma once

#include "office/unocall.h"
#include "office/word.h"

#include <com/sun/star/beans/XPropertySet.hpp>

namespace office::detail {

class UnoDocument;

class UnoPageSetup : public word::PageSetup
{
public:
    explicit UnoPageSetup(UnoDocument& document) : document_(document) {}
    float TopMargin() override;
    float BottomMargin() override;
    float LeftMargin() override;
    float RightMargin() override;
    void SetTopMargin(float points) override;
    void SetBottomMargin(float points) override;
    void SetLeftMargin(float points) override;
    void SetRightMargin(float points) override;
    float PageWidth() override;
    float PageHeight() override;

private:
    enum class Side
    {
        Top,
        Bottom,
        Left,
        Right
    };
    float margin(Side side);
    void setMargin(Side side, float points);
    css::uno::Reference<css::beans::XPropertySet> firstPageStyle();
    UnoDocument& document_;
};

} // namespace office::detail
