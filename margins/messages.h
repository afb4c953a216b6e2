#pragma once

// Tolberin's messages, and how it shows a failure that escapes a handler:
// its office failures as they are, anything else as an office failure, then
// the program ends (common/unhandledfailure.h).

#include "common/error.h"
#include "common/unhandledfailure.h"

#include <QString>

namespace margins {

inline const QString kMissingTemplateMessage =
    QStringLiteral("注意：未找到模板文件或模板文件已损坏，请重新安装Morvanta程序！");
inline const QString kFillAllMessage = QStringLiteral("请填写全部参数后确定！");
inline const QString kSavedMessage = QStringLiteral("参数保存成功！");

using Failures = unhandled::Failures<morvanta::Error, morvanta::errc::OfficeFailure>;

} // namespace margins
