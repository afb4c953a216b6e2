#pragma once

// Tolberin's messages; a failure that escapes a handler is shown as
// Morvanta shows it (common/unhandledfailure.h).

#include "common/unhandledfailure.h"

#include <QString>

namespace margins {

inline const QString kMissingTemplateMessage =
    QStringLiteral("注意：未找到模板文件或模板文件已损坏，请重新安装Morvanta程序！");
inline const QString kFillAllMessage = QStringLiteral("请填写全部参数后确定！");
inline const QString kSavedMessage = QStringLiteral("参数保存成功！");

using unhandled::Failures;

} // namespace margins
