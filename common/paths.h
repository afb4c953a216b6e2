#pragma once

// The fixed locations of both programs, gathered in one place. On Linux the
// root is the folder "Morvanta" in the running program's HOME; on Windows it
// is C:\Morvanta\ exactly. There is no configuration.

#include <QCoreApplication>
#include <QDir>
#include <QString>

namespace paths {

enum class TemplateKind
{
    Original,
    Duplicate
}; // 正本, 副本; the original always first

inline QString root()
{
#ifdef Q_OS_WIN
    return QStringLiteral("C:\\Morvanta\\");
#else
    return QDir::homePath() + QStringLiteral("/Morvanta/");
#endif
}

inline QChar separator()
{
#ifdef Q_OS_WIN
    return u'\\';
#else
    return u'/';
#endif
}

inline QString downloadDir()
{
    return root() + QStringLiteral("下载数据") + separator();
}
inline QString dataFile()
{
    return downloadDir() + QStringLiteral("down.xls");
}
inline QString templatesDir()
{
    return root() + QStringLiteral("模板") + separator();
}
inline QString outputDir()
{
    return root() + QStringLiteral("正副本") + separator();
}

// How the operator calls the kind, in messages and in file names.
inline QString kindName(TemplateKind kind)
{
    return kind == TemplateKind::Original ? QStringLiteral("正本") : QStringLiteral("副本");
}

// The file name of a certificate's document in the output folder: the
// number and the kind, the number in Unicode normalisation form C, so that
// two spellings of one number that look alike (composed and decomposed)
// name one file.
inline QString documentFileName(const QString& certificateNumber, TemplateKind kind)
{
    return certificateNumber.normalized(QString::NormalizationForm_C) + u'（' + kindName(kind) +
           QStringLiteral("）.doc");
}

inline QString templateFile(TemplateKind kind)
{
    return templatesDir() + kindName(kind) + QStringLiteral(".doc");
}

// The margin program, beside the running generator.
inline QString marginProgram()
{
#ifdef Q_OS_WIN
    return QStringLiteral("C:\\Morvanta\\Tolberin.exe");
#else
    return QCoreApplication::applicationDirPath() + QStringLiteral("/Tolberin");
#endif
}

} // namespace paths
