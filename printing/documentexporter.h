#pragma once

// What printing needs from the office: a document turned into a PDF, its
// page count from the office's own layout and whether a placeholder of the
// template is still in its text, all from one open of the document.

#include <QString>

namespace printing {

struct ExportResult
{
    int pages = 0;           // pages of the document as the office lays it out
    QString placeholderLeft; // the first placeholder still in the text; empty when none
};

class DocumentExporter
{
public:
    virtual ~DocumentExporter() = default;

    // Writes `pdfPath` from the document `documentPath`, which it never
    // changes. Throws PrintFailure with a Chinese message when it cannot.
    virtual ExportResult exportPdf(const QString& documentPath, const QString& pdfPath) = 0;

    // How many exports may run at the same time, each called from a thread
    // of its own; 1: one after the other on the caller's thread.
    virtual int parallelExports() const { return 1; }
};

} // namespace printing
