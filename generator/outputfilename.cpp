#include "generator/outputfilename.h"

namespace {

// Not allowed in a Windows file name; '/' and '\' are path separators on one
// platform or the other.
constexpr char16_t forbiddenCharacters[] = u"<>:\"|?*";

QString quoted(QChar c)
{
    return QStringLiteral("“%1”").arg(c);
}

QString codePoint(QChar c)
{
    return QString::number(c.unicode(), 16).toUpper().rightJustified(4, u'0');
}

QString characterProblem(const QString& name)
{
    for (qsizetype i = 0; i < name.size(); ++i) {
        const QChar c = name.at(i);
        if (c == u'/' || c == u'\\')
            return QStringLiteral("含有路径分隔符%1").arg(quoted(c));
        if (QStringView(forbiddenCharacters).contains(c))
            return QStringLiteral("含有文件名中不允许的字符%1").arg(quoted(c));
        if (c.category() == QChar::Other_Control)
            return QStringLiteral("含有控制字符（U+%1）").arg(codePoint(c));
        // Bidirectional overrides and zero-width characters show nothing or
        // reorder what is shown: the file manager would show another name.
        if (c.category() == QChar::Other_Format)
            return QStringLiteral("含有不可见的格式字符（U+%1）").arg(codePoint(c));
        // A lone surrogate has no UTF-8 form: the file would get another name.
        if (c.isHighSurrogate() && i + 1 < name.size() && name.at(i + 1).isLowSurrogate()) {
            ++i;
            continue;
        }
        if (c.isSurrogate())
            return QStringLiteral("含有无效的字符（不成对的代理项）");
    }
    return {};
}

} // namespace

QString fileNameProblem(const QString& fileName)
{
    if (fileName.isEmpty())
        return QStringLiteral("文件名为空");
    if (QString problem = characterProblem(fileName); !problem.isEmpty())
        return problem;
    if (fileName.contains(QStringLiteral("..")))
        return QStringLiteral("含有“..”");
    if (fileName == QStringLiteral("."))
        return QStringLiteral("不是文件名");
    // The file manager does not show such a file.
    if (fileName.startsWith(u'.'))
        return QStringLiteral("以“.”开头，会成为隐藏文件");
    const qsizetype bytes = fileName.toUtf8().size();
    if (bytes > maxFileNameBytes)
        return QStringLiteral("文件名长 %1 字节，超过文件系统允许的 %2 字节")
            .arg(bytes)
            .arg(maxFileNameBytes);
    return {};
}
