#pragma once

// Small helpers for the property values of the office's objects, shared by
// the word-processor files.

#include "office/unocall.h"

#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>

namespace office::detail {

// A named argument of a load or store call.
inline css::beans::PropertyValue property(const char* name, const css::uno::Any& value)
{
    css::beans::PropertyValue p;
    p.Name = rtl::OUString::createFromAscii(name);
    p.Value = value;
    return p;
}

inline sal_Int32 intProperty(const css::uno::Reference<css::beans::XPropertySet>& props,
                             const rtl::OUString& name)
{
    sal_Int32 v = 0;
    props->getPropertyValue(name) >>= v;
    return v;
}

inline bool boolProperty(const css::uno::Reference<css::beans::XPropertySet>& props,
                         const rtl::OUString& name)
{
    bool v = false;
    props->getPropertyValue(name) >>= v;
    return v;
}

} // namespace office::detail
