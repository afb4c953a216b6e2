#pragma once

// Makes real Word 97 templates for the margin tests: an RTF text with the
// wanted page and margins, turned into .doc by the office.

#include "common/paths.h"
#include "office/engine.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

struct TemplatePageTwips
{
    int top = 1440; // 1440 twips = 72 pt = 2.54 cm
    int bottom = 1440;
    int left = 1800;
    int right = 1800;
    int paperWidth = 11906; // A4
    int paperHeight = 16838;
};

// Writes a Word 97 document with that page to the path.
inline void makeWordDocument(const QString& path, const TemplatePageTwips& page)
{
    QTemporaryDir work;
    const QString rtf = work.filePath(QStringLiteral("page.rtf"));
    QFile file(rtf);
    if (!file.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(rtf));
    file.write(QStringLiteral("{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Times New Roman;}}"
                              "\\paperw%1\\paperh%2\\margt%3\\margb%4\\margl%5\\margr%6 "
                              "\\pard Certificate text\\par}")
                   .arg(page.paperWidth)
                   .arg(page.paperHeight)
                   .arg(page.top)
                   .arg(page.bottom)
                   .arg(page.left)
                   .arg(page.right)
                   .toLatin1());
    file.close();
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile::remove(path);
    office::convertFile(rtf, path, QStringLiteral("MS Word 97"));
}

inline void makeTemplate(paths::TemplateKind kind, const TemplatePageTwips& page)
{
    makeWordDocument(paths::templateFile(kind), page);
}

inline QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Everything in the templates folder, hidden files included.
inline QStringList templatesFolderEntries()
{
    return QDir(paths::templatesDir())
        .entryList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}
