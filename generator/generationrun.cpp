#include "generator/generationrun.h"

#include "common/asynctask.h"
#include "common/error.h"
#include "common/files.h"
#include "common/paths.h"
#include "generator/datafilecheck.h"
#include "generator/fillpipeline.h"
#include "generator/runview.h"
#include "office/engine.h"
#include "office/spreadsheet.h"

#include <QFile>

#include <array>
#include <exception>
#include <memory>
#include <optional>

namespace {

using namespace office;
using namespace morvanta;

constexpr int firstDataRow = 2; // row 1 holds the column headings

// Data rows run from row 2 to the first row whose first cell shows no text; a
// cell holding only spaces is data.
bool isDataRow(sheet::Worksheet& sheet, int row)
{
    return !sheet.CellText(row, 1).isEmpty();
}

int countDataRows(sheet::Worksheet& sheet)
{
    int row = firstDataRow;
    while (isDataRow(sheet, row))
        ++row;
    return row - firstDataRow;
}

void readRecord(sheet::Worksheet& sheet, int row, CertificateRecord& record)
{
    record.zhengshuhao = sheet.CellText(row, 1);
    record.zhengshuyouxiaoqi = sheet.CellText(row, 2);
    record.danweimingcheng = sheet.CellText(row, 3);
    record.zongzhiyewufanwei = sheet.CellText(row, 4);
    record.zhusuo = sheet.CellText(row, 5);
    record.fadingdaibiaoren = sheet.CellText(row, 6);
    record.jingfeilaiyuan = sheet.CellText(row, 7);
    record.kaibanzijin = sheet.CellText(row, 8);
    record.jubandanwei = sheet.CellText(row, 9);
}

QString completionMessage()
{
    return QStringLiteral("请到“") + paths::outputDir() +
           QStringLiteral("”目录中选择所需打印证书。") + QStringLiteral("\r\n") +
           QStringLiteral("如字数过多，请调整字体大小和行间距后进行打印！");
}

// A complete run consumes the data file, so the next run asks for a new download.
// A file that is already gone is what the deletion wants: no failure.
void deleteDataFile()
{
    QFile file(paths::dataFile());
    if (file.remove() || !file.exists())
        return;
    throw Error(
        errc::PermissionDenied,
        QStringLiteral("无法删除下载数据文件“%1”：%2").arg(file.fileName(), file.errorString()));
}

// What a run holds in the office. Every change to it is an office call (the
// pipeline's end waits for the running fills) and runs through the wait
// helper, so that a hung office never leaves the windows undrawn.
struct OfficeRun
{
    std::unique_ptr<sheet::Application> excel;
    sheet::Worksheet* sheet = nullptr;
    std::optional<FillPipeline> pipeline; // reads `sheet`, so ends first

    // Ends the fills and closes the workbook; a failure to close is thrown.
    void close()
    {
        pipeline.reset();
        if (excel)
            excel->Quit();
        excel.reset();
    }

    // The same after a failure, which stays the one reported.
    void release() noexcept
    {
        pipeline.reset();
        excel.reset(); // closes quietly
    }
};

GenerationEnd generate(office::Engine& engine, RunView& view, CertificateRecord& record,
                       const GenerationCallbacks& fills, OfficeRun& run)
{
    // Starting the office and opening the file take seconds: the wait form
    // is up from here, and the windows stay drawn while the office works.
    view.showWaitForm();
    const int total = AsyncTask::runAndWaitForFuture([&] {
        // A data file the office must not read is refused before any office starts.
        checkDataFile(paths::dataFile());
        run.excel = engine.createSpreadsheetApplication();
        sheet::Workbook& workbook = run.excel->GetObject(paths::dataFile());
        run.sheet = &workbook.Worksheets(QStringLiteral("Sheet1"));
        return countDataRows(*run.sheet);
    });

    if (total == 0) {
        // The message stands alone, as without the office.
        view.unloadWaitForm();
        view.showMessage(QStringLiteral("没有下载数据可打印，请重新下载数据！"));
        view.showMainWindow();
        // The file stays for the operator; nothing keeps it open.
        AsyncTask::runAndWaitForFuture([&] { run.close(); });
        return GenerationEnd::NoData;
    }

    AsyncTask::runAndWaitForFuture([&] {
        sheet::Worksheet& sheet = *run.sheet;
        run.pipeline.emplace(
            total, engine.parallelSessions(),
            [&sheet](int index) {
                CertificateRecord values;
                readRecord(sheet, firstDataRow + index, values);
                return values;
            },
            std::array{fills.WordReplace_zhengben, fills.WordReplace_fuben});
    });
    FillPipeline& pipeline = *run.pipeline;
    int done = 0;
    for (int row = 0; row < total; ++row) {
        view.showWaitForm();
        view.setProgress(done, total);
        for (int fill = 0; fill < 2; ++fill) { // the original, then the duplicate
            FillPipeline::Outcome outcome =
                AsyncTask::runAndWaitForFuture([&] { return pipeline.next(); });
            if (outcome.record)
                record = *outcome.record;
            for (const QString& text : outcome.messages)
                view.showMessage(text);
            if (outcome.failure)
                std::rethrow_exception(outcome.failure);
        }
        ++done;
    }
    AsyncTask::runAndWaitForFuture([&] { run.pipeline.reset(); });
    view.setProgress(done, total);
    view.unloadWaitForm();

    view.showMessage(completionMessage());
    view.showMainWindow();
    AsyncTask::runAndWaitForFuture([&] { run.close(); });
    deleteDataFile();
    return GenerationEnd::Completed;
}

} // namespace

GenerationEnd runGeneration(office::Engine& engine, RunView& view, CertificateRecord& record,
                            const GenerationCallbacks& fills)
{
    view.hideMainWindow();
    if (!isOrdinaryFile(paths::dataFile())) {
        view.showMessage(QStringLiteral("未找到下载文件"));
        view.showMainWindow();
        return GenerationEnd::NoDataFile;
    }

    OfficeRun run;
    std::exception_ptr failure;
    try {
        return generate(engine, view, record, fills, run);
    } catch (...) {
        failure = std::current_exception();
    }
    AsyncTask::runAndWaitForFuture([&] { run.release(); });
    std::rethrow_exception(failure);
}
