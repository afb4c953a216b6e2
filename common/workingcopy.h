#pragma once

// The one naming rule of a template's hidden working copies: ".<name>-XXXXXX.<suffix>"
// beside the template, where XXXXXX are six letters or digits. The margin
// editor makes its copies by this rule, and the template switch carries out
// only renames of files that follow it; a copy named otherwise would be
// taken for a stranger and a pending switch dropped.

#include "common/paths.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QString>

namespace workingcopy {

// The name for QTemporaryFile: a path beside the template, on the same file
// system, so that putting the copy in place is a rename and never a copy.
inline QString nameTemplate(const QString& templatePath)
{
    const QFileInfo info(templatePath);
    return info.absolutePath() + QStringLiteral("/.") + info.completeBaseName() +
           QStringLiteral("-XXXXXX.") + info.suffix();
}

// The wildcard pattern (QDir::entryList) of the template's working copies.
inline QString namePattern(const QString& templatePath)
{
    const QFileInfo info(templatePath);
    return QStringLiteral(".") + info.completeBaseName() + QStringLiteral("-??????.") +
           info.suffix();
}

// True when `name` (a file name, no folder) is a working copy of the template.
inline bool isCopyOf(const QString& name, const QString& templatePath)
{
    const QFileInfo info(templatePath);
    const QRegularExpression pattern(QStringLiteral("^\\.%1-[A-Za-z0-9]{6}\\.%2$")
                                         .arg(QRegularExpression::escape(info.completeBaseName()),
                                              QRegularExpression::escape(info.suffix())));
    return pattern.match(name).hasMatch();
}

// True when `name` is a working copy of either template.
inline bool isTemplateCopy(const QString& name)
{
    return isCopyOf(name, paths::templateFile(paths::TemplateKind::Original)) ||
           isCopyOf(name, paths::templateFile(paths::TemplateKind::Duplicate));
}

} // namespace workingcopy
