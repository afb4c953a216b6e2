#pragma once

// Tolberin's messages: modal, one OK button, no icon, titled with the
// program's name.

#include <QString>

class QWidget;

namespace office {
class Error;
}

namespace margins {

inline const QString kMissingTemplateMessage =
    QStringLiteral("注意：未找到模板文件或模板文件已损坏，请重新安装Morvanta程序！");
inline const QString kFillAllMessage = QStringLiteral("请填写全部参数后确定！");
inline const QString kSavedMessage = QStringLiteral("参数保存成功！");

// Shows the message and waits for OK. A hidden owner is not used, so that
// the box does not sit over a window the operator cannot see.
void showMessage(const QString& text, QWidget* owner = nullptr);

// Reports a failure that ends the program, as "number:description".
void showFailure(const office::Error& error, QWidget* owner = nullptr);

} // namespace margins
