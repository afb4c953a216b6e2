#pragma once

#include <QString>

#include <exception>

namespace printing {

// A failure of printing, with the Chinese message the operator sees.
class PrintFailure : public std::exception
{
public:
    explicit PrintFailure(QString message) : message_(std::move(message)), bytes_(message_.toUtf8())
    {
    }
    const QString& message() const { return message_; }
    const char* what() const noexcept override { return bytes_.constData(); }

private:
    QString message_;
    QByteArray bytes_;
};

} // namespace printing
