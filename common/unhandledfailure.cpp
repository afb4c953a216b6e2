#include "common/unhandledfailure.h"

#include "common/messagebox.h"

#include <QCoreApplication>
#include <QGuiApplication>

#include <new>
#include <system_error>

namespace unhandled {

QString otherFailureText(int number, const std::exception* failure)
{
    QString description;
    if (dynamic_cast<const std::bad_alloc*>(failure)) {
        description = QStringLiteral("内存不足，程序无法继续运行。");
    } else if (const auto* system = dynamic_cast<const std::system_error*>(failure);
               system && system->code() == std::errc::resource_unavailable_try_again) {
        // What std::thread throws when the system has no thread left to give.
        description = QStringLiteral("系统资源不足，无法创建工作线程，程序无法继续运行。");
    } else if (failure) {
        description =
            QStringLiteral("程序内部错误：%1").arg(QString::fromLocal8Bit(failure->what()));
    } else {
        description = QStringLiteral("程序内部错误：未知的异常。");
    }
    return QString::number(number) + u':' + description;
}

void endProgram(const QString& text)
{
    // Closing the box may close the last window; that must not end the
    // program as a normal quit would, with 0, after the exit below.
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        QGuiApplication::setQuitOnLastWindowClosed(false);
    showMessageBox(text);
    // Every running event loop ends, so no further handler runs after the message.
    QCoreApplication::exit(kExitCode);
}

} // namespace unhandled
