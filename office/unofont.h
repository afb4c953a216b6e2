#pragma once

#include "office/word.h"

namespace office::detail {

class UnoRange;

class UnoFont : public word::Font
{
public:
    explicit UnoFont(UnoRange& range) : range_(range) {}
    float Size() override;
    void SetSize(float points) override;

private:
    UnoRange& range_;
};

} // namespace office::detail
