#pragma once

// How Morvanta shows a failure that escapes a handler of its windows: its
// own failures as they are, anything else as an office failure, then the
// program ends (common/unhandledfailure.h).

#include "common/error.h"
#include "common/unhandledfailure.h"

using Failures = unhandled::Failures<morvanta::Error, morvanta::errc::OfficeFailure>;
