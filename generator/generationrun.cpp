#include "generator/generationrun.h"

#include "common/asynctask.h"
#include "common/error.h"
#include "common/files.h"
#include "common/paths.h"
#include "common/systemcause.h"
#include "generator/datafilecheck.h"
#include "generator/fillpipeline.h"
#include "generator/runview.h"
#include "office/engine.h"
#include "office/spreadsheet.h"
#include "printing/printfailure.h"
#include "printing/runlist.h"

#include <QFile>

#include <array>
#include <cerrno>
#include <exception>
#include <memory>
#include <optional>

namespace {

using namespace office;
using namespace morvanta;

constexpr int firstDataRow = DataRowCounter::firstRow;

// A row the count took for data whose first cell shows no text: the data ends
// before it.
struct DataEnded
{
};

void readRecord(sheet::Worksheet& sheet, int row, CertificateRecord& record)
{
    record.zhengshuhao = sheet.CellText(row, 1);
    if (record.zhengshuhao.isEmpty())
        throw DataEnded{};
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

QString keptDataFileMessage(int missing)
{
    return QStringLiteral("有 %1 份证书未能生成，下载数据文件已保留。").arg(missing);
}

// A complete run consumes the data file, so the next run asks for a new download.
// A file that is already gone is what the deletion wants: no failure.
void deleteDataFile()
{
    QFile file(paths::dataFile());
    if (file.remove())
        return;
    const int err = errno;
    if (!file.exists())
        return;
    throw Error(
        errc::PermissionDenied,
        QStringLiteral("无法删除下载数据文件“%1”：%2。").arg(file.fileName(), systemCause(err)));
}

// What a fill that ended the run threw.
enum class FillFailure
{
    None,
    DataEnded,    // the row's first cell shows no text after all
    OutputFolder, // the output folder cannot take documents
    Other,
};

FillFailure kindOf(const std::exception_ptr& failure, QString* folderText)
{
    try {
        std::rethrow_exception(failure);
    } catch (const DataEnded&) {
        return FillFailure::DataEnded;
    } catch (const Error& e) {
        if (e.number() != errc::OutputFolderFailed)
            return FillFailure::Other;
        *folderText = e.description();
        return FillFailure::OutputFolder;
    } catch (...) {
        return FillFailure::Other;
    }
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

// The documents the fills made, and the rows they did not make whole.
struct Tally
{
    QList<printing::DocumentRef> made; // row order, original first
    int completeRows = 0;
    int missingRows = 0; // rows with a fill that made nothing

    // Once every fill has ended: the run list names what this run made. The
    // documents stand whether or not it can be written; returns why not.
    QString writeRunList() const
    {
        try {
            printing::writeRunList(made, paths::outputDir());
        } catch (const printing::PrintFailure& failure) {
            return failure.message();
        }
        return {};
    }
};

// Opens the data file and counts its rows, the count showing on the wait
// form as it grows.
int openAndCount(office::Engine& engine, RunView& view, OfficeRun& run)
{
    std::optional<DataRowCounter> counter;
    bool counted = AsyncTask::runAndWaitForFuture([&] {
        // A data file the office must not read is refused before any office starts.
        checkDataFile(paths::dataFile());
        run.excel = engine.createSpreadsheetApplication();
        sheet::Workbook& workbook = run.excel->GetObject(paths::dataFile());
        run.sheet = &workbook.Worksheets(QStringLiteral("Sheet1"));
        counter.emplace(*run.sheet);
        return counter->step();
    });
    while (!counted) {
        view.setProgress(0, counter->rows());
        counted = AsyncTask::runAndWaitForFuture([&] { return counter->step(); });
    }
    return counter->rows();
}

GenerationEnd generate(office::Engine& engine, RunView& view, CertificateRecord& record,
                       const GenerationCallbacks& fills, OfficeRun& run)
{
    // Starting the office and opening the file take seconds: the wait form
    // is up from here, and the windows stay drawn while the office works.
    view.showWaitForm();
    int total = openAndCount(engine, view, run);

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
    Tally tally;
    // Ends the fills still running and lists what they made; returns why
    // the list could not be written.
    const auto endFills = [&] {
        return AsyncTask::runAndWaitForFuture([&] {
            run.pipeline.reset();
            return tally.writeRunList();
        });
    };
    const auto say = [&](const QString& text) {
        if (!text.isEmpty())
            view.showMessage(text);
    };
    for (int row = 0; row < total; ++row) {
        view.showWaitForm();
        view.setProgress(tally.completeRows + tally.missingRows, total);
        bool whole = true;
        for (int fill = 0; fill < 2; ++fill) { // the original, then the duplicate
            FillPipeline::Outcome outcome =
                AsyncTask::runAndWaitForFuture([&] { return pipeline.next(); });
            QString folderText;
            const FillFailure failure =
                outcome.failure ? kindOf(outcome.failure, &folderText) : FillFailure::None;
            if (failure == FillFailure::DataEnded) {
                total = row;
                break;
            }
            if (outcome.record)
                record = *outcome.record;
            for (const QString& text : outcome.messages)
                view.showMessage(text);
            if (failure == FillFailure::OutputFolder) {
                // Every later save would fail the same way: one message, the
                // remaining fills are not run, and the data file stays. The
                // list cannot be written either, and the message says why.
                endFills();
                view.unloadWaitForm();
                view.showMessage(folderText + QStringLiteral("\r\n") +
                                 keptDataFileMessage(total - tally.completeRows));
                view.showMainWindow();
                AsyncTask::runAndWaitForFuture([&] { run.close(); });
                return GenerationEnd::Stopped;
            }
            if (failure == FillFailure::Other) {
                say(endFills());
                std::rethrow_exception(outcome.failure);
            }
            if (outcome.result < 0)
                whole = false;
            else
                tally.made << printing::DocumentRef{outcome.record->zhengshuhao,
                                                    fill == 0 ? paths::TemplateKind::Original
                                                              : paths::TemplateKind::Duplicate};
        }
        if (row == total) // the data ended before this row
            break;
        ++(whole ? tally.completeRows : tally.missingRows);
    }
    const QString listFailure = endFills();
    view.setProgress(total, total);
    view.unloadWaitForm();
    say(listFailure);

    view.showMessage(completionMessage());
    // The data file is the only copy of the rows still to be made.
    if (tally.missingRows > 0)
        view.showMessage(keptDataFileMessage(tally.missingRows));
    view.showMainWindow();
    AsyncTask::runAndWaitForFuture([&] { run.close(); });
    if (tally.missingRows > 0)
        return GenerationEnd::Incomplete;
    deleteDataFile();
    return GenerationEnd::Completed;
}

} // namespace

bool DataRowCounter::step()
{
    if (next_ == firstRow && sheet_.CellText(firstRow, 1).isEmpty())
        return finish(firstRow);
    const QList<QVariant> values = sheet_.ColumnValues(next_, block, 1);
    for (qsizetype i = 0; i < values.size(); ++i) {
        const int row = next_ + static_cast<int>(i);
        const QVariant& value = values[i];
        if (value.typeId() == QMetaType::QString && value.toString().isEmpty() &&
            sheet_.CellText(row, 1).isEmpty())
            return finish(row);
    }
    if (values.size() < block) // the sheet ends here
        return finish(next_ + static_cast<int>(values.size()));
    next_ += block;
    return false;
}

bool DataRowCounter::finish(int end)
{
    next_ = end;
    return true;
}

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
