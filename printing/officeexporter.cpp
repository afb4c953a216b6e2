#include "officeexporter.h"

#include "printfailure.h"

#include <QDir>

namespace printing {

ExportResult OfficeExporter::exportPdf(const QString& documentPath, const QString& /*pdfPath*/)
{
    // The office layer offers no PDF export and no page count yet; until it
    // does, nothing is printed rather than something unchecked.
    throw PrintFailure(QStringLiteral("无法把“%1”导出为 PDF：办公组件的 PDF 导出尚未接入本程序。")
                           .arg(QDir::toNativeSeparators(documentPath)));
}

} // namespace printing
