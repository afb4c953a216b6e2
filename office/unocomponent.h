#pragma once

// Loading a file into the office and closing it again, for the word
// processor, the spreadsheet and the file conversion alike.

#include "office/unocall.h"

#include <com/sun/star/lang/XComponent.hpp>

namespace office::detail {

// Loads a file into the office, hidden, with macros off; fails with a Chinese
// description naming the file. For the word processor and the spreadsheet.
// `filterName`, when given, receives the import filter the office chose.
css::uno::Reference<css::lang::XComponent> loadComponent(Connection& connection,
                                                         const QString& path, bool readOnly,
                                                         bool spreadsheet,
                                                         QString* filterName = nullptr);
// Closes a loaded file; `path` names it should the office fail.
void closeComponent(Connection& connection, const css::uno::Reference<css::lang::XComponent>& doc,
                    const QString& path = {});

} // namespace office::detail
