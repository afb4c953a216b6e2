#include "office/enginedetail.h"

#include <QRegularExpression>
#include <QUrl>

namespace office::detail {

namespace {

// The office's input/output error codes by number, for the causes an
// operator can do something about.
const char* ioCause(int code)
{
    switch (code) {
    case 2:
        return "文件不存在。";
    case 3:
        return "文件已存在。";
    case 4:
        return "路径不是文件夹。";
    case 5:
        return "路径不是文件。";
    case 7:
    case 24:
        return "没有访问权限。";
    case 8:
        return "文件正被其他程序锁定。";
    case 9:
        return "磁盘空间不足。";
    case 14:
        return "打开的文件过多。";
    case 15:
        return "无法读取文件。";
    case 16:
        return "无法写入文件。";
    case 17:
        return "内存不足。";
    case 20:
        return "文件版本不受支持。";
    case 21:
        return "文件格式错误。";
    case 25:
        return "无法创建文件。";
    case 27:
        return "操作被中止。";
    case 28:
        return "路径不存在。";
    case 31:
        return "文件名过长。";
    case 35:
        return "设备未就绪。";
    case 37:
        return "文件或磁盘处于写保护状态。";
    case 38:
        return "文件已损坏。";
    default:
        return nullptr;
    }
}

} // namespace

QString withPlainPaths(const QString& engineText)
{
    static const QRegularExpression fileUrl(QStringLiteral("file://[^\\s<>\"'()]+"));
    QString text;
    qsizetype from = 0;
    for (auto it = fileUrl.globalMatch(engineText); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        text += engineText.mid(from, m.capturedStart() - from);
        const QUrl url(m.captured(), QUrl::StrictMode);
        text += url.isValid() && url.isLocalFile() ? url.toLocalFile() : m.captured();
        from = m.capturedEnd();
    }
    return text + engineText.mid(from);
}

QString ioCauseOf(const QString& engineText)
{
    static const QRegularExpression ioCode(
        QStringLiteral("Error Area:Io Class:\\w+ Code:(\\d+)\\)"));
    const QRegularExpressionMatch m = ioCode.match(engineText);
    const char* cause = m.hasMatch() ? ioCause(m.captured(1).toInt()) : nullptr;
    return cause ? QString::fromUtf8(cause) : QString();
}

QString engineDetail(const QString& engineText)
{
    if (engineText.isEmpty())
        return {};
    return ioCauseOf(engineText) + QStringLiteral("（") + withPlainPaths(engineText) +
           QStringLiteral("）");
}

} // namespace office::detail
