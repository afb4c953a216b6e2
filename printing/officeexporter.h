#pragma once

// The exporter that morvanta-print uses: each document is opened read-only
// once on a session of the office engine, which counts its pages, looks for
// a placeholder still in its text and writes the PDF before it is closed.

#include "documentexporter.h"

namespace office {
class Engine;
}

namespace printing {

class OfficeExporter : public DocumentExporter
{
public:
    explicit OfficeExporter(office::Engine& engine);
    ExportResult exportPdf(const QString& documentPath, const QString& pdfPath) override;
    // One export per office process of the engine.
    int parallelExports() const override;

private:
    office::Engine& engine_;
};

} // namespace printing
