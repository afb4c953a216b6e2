#pragma once

// Reading page sizes of PDFs and joining PDFs into one, with qpdf.

#include <QList>
#include <QString>
#include <QStringList>

namespace printing {

// A page as it is shown (its crop box, turned by its /Rotate), in points.
struct PageSize
{
    double width = 0;
    double height = 0;

    bool landscape() const { return width > height; }
    bool sameAs(const PageSize& other) const; // within a point
};

// The pages of `pdf`, in order. Throws PrintFailure when it cannot be read.
QList<PageSize> pdfPageSizes(const QString& pdf);

// Writes every page of `inputs`, in order and each in its own size, into one
// PDF `target`. It is written beside the target under a temporary name,
// flushed to disk and renamed over the target only when complete. Throws
// PrintFailure; the target is then untouched.
void joinPdfs(const QStringList& inputs, const QString& target);

} // namespace printing
