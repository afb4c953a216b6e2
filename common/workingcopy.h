#pragma once

// The one naming rule of a template's hidden working copies:
// ".<name>-<pid>-XXXXXX.<suffix>" beside the template, where <pid> is the id of
// the program that made the copy and XXXXXX are six letters or digits; older
// versions made them without the id. The margin editor makes its copies by
// this rule, the template switch carries out only renames of files that
// follow it, and a copy whose program is gone is cleared; a copy named
// otherwise would be taken for a stranger and a pending switch dropped.

#include "common/paths.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QRegularExpression>
#include <QString>

namespace workingcopy {

// The name for QTemporaryFile: a path beside the template, on the same file
// system, so that putting the copy in place is a rename and never a copy.
inline QString nameTemplate(const QString& templatePath)
{
    const QFileInfo info(templatePath);
    return info.absolutePath() + QStringLiteral("/.") + info.completeBaseName() + u'-' +
           QString::number(QCoreApplication::applicationPid()) + QStringLiteral("-XXXXXX.") +
           info.suffix();
}

namespace detail {
inline QRegularExpressionMatch matchCopy(const QString& name, const QString& templatePath)
{
    const QFileInfo info(templatePath);
    const QRegularExpression pattern(
        QStringLiteral("^\\.%1-(?:([1-9][0-9]{0,9})-)?[A-Za-z0-9]{6}\\.%2$")
            .arg(QRegularExpression::escape(info.completeBaseName()),
                 QRegularExpression::escape(info.suffix())));
    return pattern.match(name);
}
} // namespace detail

// True when `name` (a file name, no folder) is a working copy of the template.
inline bool isCopyOf(const QString& name, const QString& templatePath)
{
    return detail::matchCopy(name, templatePath).hasMatch();
}

// True when `name` is a working copy of either template.
inline bool isTemplateCopy(const QString& name)
{
    return isCopyOf(name, paths::templateFile(paths::TemplateKind::Original)) ||
           isCopyOf(name, paths::templateFile(paths::TemplateKind::Duplicate));
}

// The id of the program that made a working copy of either template; 0 when
// the name carries none (or is no working copy).
inline qint64 ownerOf(const QString& name)
{
    for (const paths::TemplateKind kind :
         {paths::TemplateKind::Original, paths::TemplateKind::Duplicate}) {
        const QRegularExpressionMatch match = detail::matchCopy(name, paths::templateFile(kind));
        if (match.hasMatch())
            return match.captured(1).toLongLong();
    }
    return 0;
}

} // namespace workingcopy
