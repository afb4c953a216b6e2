#pragma once

// The exporter that morvanta-print uses: the documents go through the
// office engine of office/.

#include "documentexporter.h"

namespace printing {

class OfficeExporter : public DocumentExporter
{
public:
    ExportResult exportPdf(const QString& documentPath, const QString& pdfPath) override;
};

} // namespace printing
