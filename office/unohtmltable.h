#pragma once

#include "office/unocall.h"

#include <com/sun/star/beans/PropertyValue.hpp>

#include <vector>

namespace office::detail {

// The URL the office is to load the data file from. An HTML table whose
// written text the office's import would change (htmltable.h) is handed over
// rewritten, as a stream added to `arguments`; the file itself is never
// changed. Anything else loads from its own URL.
rtl::OUString spreadsheetSource(Connection& connection, const QString& path,
                                std::vector<css::beans::PropertyValue>& arguments);

} // namespace office::detail
