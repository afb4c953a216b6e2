#pragma once

// The texts in a certificate template that a fill replaces with the row's
// values, in the order they are replaced (text inserted for an earlier one is
// searched by the later ones). A filled document that still holds one of
// them is incomplete.

#include <QString>

#include <array>

namespace templatefields {

inline const std::array<QString, 9>& placeholders()
{
    static const std::array<QString, 9> texts{
        QStringLiteral("证书号"),   QStringLiteral("证书有效期"),
        QStringLiteral("单位名称"), QStringLiteral("宗旨和业务范围"),
        QStringLiteral("住所"),     QStringLiteral("法定代表人"),
        QStringLiteral("经费来源"), QStringLiteral("开办资金"),
        QStringLiteral("举办单位"),
    };
    return texts;
}

} // namespace templatefields
