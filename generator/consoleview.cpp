#include "generator/consoleview.h"

void ConsoleView::setProgress(int done, int total)
{
    print(QStringLiteral("已完成 %1/%2").arg(done).arg(total));
}

void ConsoleView::showMessage(const QString& text)
{
    // Messages are written for a message box; a terminal wants plain line ends.
    QString lines = text;
    lines.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    print(lines);
}

void ConsoleView::print(const QString& line)
{
    const QByteArray utf8 = (line + u'\n').toUtf8();
    std::fwrite(utf8.constData(), 1, static_cast<size_t>(utf8.size()), out_);
    std::fflush(out_);
}
