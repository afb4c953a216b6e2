#include "officeexporter.h"

#include "printfailure.h"

#include "common/error.h"
#include "common/placeholders.h"
#include "office/engine.h"
#include "office/word.h"

#include <QDir>

namespace printing {

using namespace office;

OfficeExporter::OfficeExporter(Engine& engine) : engine_(engine) {}

int OfficeExporter::parallelExports() const
{
    return std::max(1, engine_.parallelSessions());
}

ExportResult OfficeExporter::exportPdf(const QString& documentPath, const QString& pdfPath)
{
    try {
        const std::unique_ptr<word::Application> app = engine_.createWordApplication();
        word::Document& document = app->Documents().Open(documentPath, true);
        ExportResult result;
        result.pages = document.ComputeStatistics(word::wdStatisticPages);
        const auto& placeholders = templatefields::placeholders();
        result.placeholderLeft =
            document.FirstFound(QStringList(placeholders.begin(), placeholders.end()));
        // The PDF is a scratch file of the print call's private folder.
        document.ExportAsFixedFormat(pdfPath, word::wdExportFormatPDF, true);
        document.Close();
        app->Quit();
        return result;
    } catch (const morvanta::Error& e) {
        throw PrintFailure(QStringLiteral("无法把“%1”导出为 PDF：%2")
                               .arg(QDir::toNativeSeparators(documentPath), e.message()));
    }
}

} // namespace printing
