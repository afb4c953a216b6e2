#include "generator/unhandledfailure.h"

#include "generator/messagebox.h"

#include <QCoreApplication>

#include <new>

QString unhandledFailureText(const std::exception& failure)
{
    if (dynamic_cast<const std::bad_alloc*>(&failure))
        return office::Error(office::errc::OfficeFailure,
                             QStringLiteral("内存不足，程序无法继续运行。"))
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
