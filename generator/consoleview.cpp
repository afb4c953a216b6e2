#include "generator/consoleview.h"

void ConsoleView::unloadWaitForm()
{
    // The wait form also goes before the no-data message: only a run that
    // went through all its rows is complete.
    runCompleted_ = allRowsDone_;
}

void ConsoleView::setProgress(int done, int total)
{
    allRowsDone_ = total > 0 && done == total;
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
