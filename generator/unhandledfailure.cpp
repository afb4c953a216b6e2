#include "generator/unhandledfailure.h"

#include "generator/messagebox.h"

#include <QCoreApplication>

#include <new>
#include <system_error>

QString unhandledFailureText(const std::exception& failure)
{
    if (dynamic_cast<const std::bad_alloc*>(&failure))
        return office::Error(office::errc::OfficeFailure,
                             QStringLiteral("内存不足，程序无法继续运行。"))
            .message();
    // What std::thread throws when the system has no thread left to give.
    if (const auto* system = dynamic_cast<const std::system_error*>(&failure);
        system && system->code() == std::errc::resource_unavailable_try_again)
        return office::Error(office::errc::OfficeFailure,
                             QStringLiteral("系统资源不足，无法创建工作线程，程序无法继续运行。"))
            .message();
    return office::Error(
               office::errc::OfficeFailure,
               QStringLiteral("程序内部错误：%1").arg(QString::fromLocal8Bit(failure.what())))
        .message();
}

void endAfterUnhandledFailure(const QString& text)
{
    showMessageBox(text);
    // Every running event loop ends, so no further handler runs after the message.
    QCoreApplication::exit(unhandledFailureExitCode);
}
