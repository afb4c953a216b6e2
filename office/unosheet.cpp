#include "office/unosheet.h"

#include "office/unocomponent.h"
#include "office/unoengine.h"

#include <com/sun/star/sheet/XCellRangeData.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/sheet/XSpreadsheets.hpp>
#include <com/sun/star/table/XCell.hpp>
#include <com/sun/star/text/XText.hpp>

#include <algorithm>

using namespace com::sun::star;
using com::sun::star::uno::Reference;
using com::sun::star::uno::UNO_QUERY_THROW;

namespace office::detail {

namespace {
// The data workbook lives on the pool's first office.
constexpr int dataProcess = 0;
// The size of the office's sheets.
constexpr int lastRow = 1048576;
constexpr int lastColumn = 16384;

[[noreturn]] void invalidCell(int row, int column)
{
    throw morvanta::Error(
        morvanta::errc::InvalidValue,
        QStringLiteral("单元格位置（第 %1 行，第 %2 列）无效。").arg(row).arg(column));
}

QVariant toVariant(const uno::Any& value)
{
    double number = 0;
    if (value >>= number)
        return number;
    rtl::OUString text;
    value >>= text; // anything else reads as empty text
    return toQString(text);
}
} // namespace

// Reading changes nothing: when the office dies under a read (a fill beside
// it made it fail, or it was renewed) the workbook is opened again on a new
// one and the read done once more.
template <class F> auto UnoWorksheet::read(F&& f, const QString& what)
{
    for (int attempt = 0;; ++attempt) {
        try {
            Connection& c = book_.attach();
            return c.call(
                f, describeAs(morvanta::errc::NotASpreadsheet,
                              QStringLiteral("无法读取数据文件“%1”%2").arg(book_.path(), what)));
        } catch (const morvanta::Error& e) {
            if (attempt > 0 || e.number() != morvanta::errc::OfficeGone)
                throw;
        }
    }
}

QString UnoWorksheet::CellText(int row, int column)
{
    if (row < 1 || column < 1 || row > lastRow || column > lastColumn)
        invalidCell(row, column);
    return read(
        [&] {
            const Reference<table::XCell> cell = sheet->getCellByPosition(column - 1, row - 1);
            // The cell's text is its value as formatted, as the sheet shows it.
            return toQString(Reference<text::XText>(cell, UNO_QUERY_THROW)->getString());
        },
        QStringLiteral("第 %1 行第 %2 列").arg(row).arg(column));
}

QList<QVariant> UnoWorksheet::ColumnValues(int firstRow, int count, int column)
{
    if (firstRow < 1 || column < 1 || column > lastColumn || count < 0)
        invalidCell(firstRow, column);
    const int rows = std::min(count, lastRow + 1 - std::min(firstRow, lastRow + 1));
    if (rows == 0)
        return {};
    const int endRow = firstRow + rows - 1;
    return read(
        [&] {
            const Reference<css::sheet::XCellRangeData> range(
                sheet->getCellRangeByPosition(column - 1, firstRow - 1, column - 1, endRow - 1),
                UNO_QUERY_THROW);
            const uno::Sequence<uno::Sequence<uno::Any>> data = range->getDataArray();
            QList<QVariant> values;
            values.reserve(data.getLength());
            for (const uno::Sequence<uno::Any>& row : data)
                values << (row.getLength() > 0 ? toVariant(row[0]) : QVariant(QString()));
            return values;
        },
        QStringLiteral("第 %1 至 %2 行第 %3 列").arg(firstRow).arg(endRow).arg(column));
}

UnoWorkbook::UnoWorkbook(UnoEngine& engine, QString path) : engine_(engine), path_(std::move(path))
{
    attach();
}

UnoWorkbook::~UnoWorkbook()
{
    try {
        close();
    } catch (...) {
    }
}

Connection& UnoWorkbook::attach()
{
    if (component_.is() && connection_ && connection_->isAlive() &&
        connection_ == engine_.connection(dataProcess))
        return *connection_;
    component_.clear();
    connection_ = engine_.connection(dataProcess);
    try {
        component_ = loadComponent(*connection_, path_, true, true);
    } catch (const morvanta::Error& e) {
        if (e.number() != morvanta::errc::OfficeGone) // the office died just before: try a new one
            throw;
        connection_ = engine_.connection(dataProcess);
        component_ = loadComponent(*connection_, path_, true, true);
    }
    for (auto& [name, sheet] : sheets_)
        bindSheet(*sheet);
    return *connection_;
}

void UnoWorkbook::bindSheet(UnoWorksheet& sheet)
{
    const QString& name = sheet.name();
    sheet.sheet = connection_->call(
        [&]() -> Reference<css::sheet::XSpreadsheet> {
            const Reference<css::sheet::XSpreadsheetDocument> doc(component_, UNO_QUERY_THROW);
            const Reference<css::sheet::XSpreadsheets> all = doc->getSheets();
            if (!all->hasByName(toOUString(name)))
                return {};
            return Reference<css::sheet::XSpreadsheet>(all->getByName(toOUString(name)),
                                                       UNO_QUERY_THROW);
        },
        describeAs(morvanta::errc::NoSuchWorksheet,
                   QStringLiteral("无法读取数据文件“%1”的工作表“%2”").arg(path_, name)));
    if (!sheet.sheet.is())
        throw morvanta::Error(
            morvanta::errc::NoSuchWorksheet,
            QStringLiteral("数据文件“%1”中没有名为“%2”的工作表。").arg(path_, name));
}

sheet::Worksheet& UnoWorkbook::Worksheets(const QString& name)
{
    attach();
    auto it = sheets_.find(name);
    if (it != sheets_.end())
        return *it->second;
    auto sheet = std::make_unique<UnoWorksheet>(*this, name);
    bindSheet(*sheet);
    return *sheets_.emplace(name, std::move(sheet)).first->second;
}

void UnoWorkbook::close()
{
    const Reference<lang::XComponent> doc = component_;
    component_.clear();
    for (auto& [name, sheet] : sheets_)
        sheet->sheet.clear();
    if (doc.is() && connection_)
        closeComponent(*connection_, doc, path_);
    connection_.reset();
}

UnoSheetApplication::~UnoSheetApplication()
{
    try {
        Quit();
    } catch (...) {
    }
}

sheet::Workbook& UnoSheetApplication::GetObject(const QString& path)
{
    books_.push_back(std::make_unique<UnoWorkbook>(engine_, path));
    return *books_.back();
}

void UnoSheetApplication::Quit()
{
    std::vector<std::unique_ptr<UnoWorkbook>> books = std::move(books_);
    books_.clear();
    for (auto& book : books)
        book->close();
}

} // namespace office::detail
