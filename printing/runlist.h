#pragma once

// The documents of the latest generation run, and finding documents in the
// output folder. The run list is a hidden UTF-8 file in the output folder,
// one document file name a line in row order (original before duplicate),
// written whole before it appears under its name. Documents are only ever
// looked up inside the output folder: a name that would lead elsewhere (a
// path separator, "..", a link pointing out of the folder) is refused.

#include "common/paths.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace printing {

struct DocumentRef
{
    QString certificate;
    paths::TemplateKind kind = paths::TemplateKind::Original;

    QString fileName() const;
    friend bool operator==(const DocumentRef&, const DocumentRef&) = default;
};

using paths::documentFileName;
using paths::kindName;

// The inverse of paths::documentFileName: empty when `fileName` is no
// document name of ours.
std::optional<DocumentRef> parseDocumentFileName(const QString& fileName);

// The run list inside `outputDir` (a folder path ending in its separator).
QString runListPath(const QString& outputDir = paths::outputDir());

// Replaces the run list with `documents`, in their order. Throws
// PrintFailure when a name cannot be listed or the file cannot be written;
// the previous list then stays as it was.
void writeRunList(const QList<DocumentRef>& documents,
                  const QString& outputDir = paths::outputDir());

struct RunList
{
    QList<DocumentRef> documents; // in the order written
    QStringList problems;         // lines that were refused, as Chinese messages
};

// The latest run; no documents when there is no list yet.
RunList readRunList(const QString& outputDir = paths::outputDir());

// The full path of the document, which must be a file inside `outputDir`
// (links are followed only while they stay inside). Throws PrintFailure
// naming the document and the reason otherwise.
QString resolveDocument(const DocumentRef& document, const QString& outputDir = paths::outputDir());

// Both documents of each certificate number, originals and duplicates in the
// order given; a number with neither document is a problem.
RunList documentsOfCertificates(const QStringList& certificates,
                                const QString& outputDir = paths::outputDir());

} // namespace printing
