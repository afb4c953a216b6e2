#pragma once

#include "office/spreadsheet.h"
#include "office/unocall.h"

#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/sheet/XSpreadsheet.hpp>

#include <map>
#include <memory>

namespace office::detail {

class UnoEngine;
class UnoWorkbook;

class UnoWorksheet : public sheet::Worksheet
{
public:
    UnoWorksheet(UnoWorkbook& book, QString name) : book_(book), name_(std::move(name)) {}
    QString CellText(int row, int column) override;
    QList<QVariant> ColumnValues(int firstRow, int count, int column) override;

    css::uno::Reference<css::sheet::XSpreadsheet> sheet;
    const QString& name() const { return name_; }

private:
    // Runs one read of the sheet, once more on a new office should the
    // office die under it.
    template <class F> auto read(F&& f, const QString& what);

    UnoWorkbook& book_;
    QString name_;
};

// A workbook bound to its file. The data is only read, so should the office
// be replaced (it died, or it was renewed between documents) the workbook is
// opened again on the new one before the next read.
class UnoWorkbook : public sheet::Workbook
{
public:
    UnoWorkbook(UnoEngine& engine, QString path);
    ~UnoWorkbook() override;
    sheet::Worksheet& Worksheets(const QString& name) override;

    // The connection the workbook is open on, reopening it if needed.
    Connection& attach();
    void close();
    const QString& path() const { return path_; }

private:
    void bindSheet(UnoWorksheet& sheet);

    UnoEngine& engine_;
    QString path_;
    std::shared_ptr<Connection> connection_;
    css::uno::Reference<css::lang::XComponent> component_;
    std::map<QString, std::unique_ptr<UnoWorksheet>> sheets_;
};

class UnoSheetApplication : public sheet::Application
{
public:
    explicit UnoSheetApplication(UnoEngine& engine) : engine_(engine) {}
    ~UnoSheetApplication() override;
    sheet::Workbook& GetObject(const QString& path) override;
    void Quit() override;

private:
    UnoEngine& engine_;
    std::vector<std::unique_ptr<UnoWorkbook>> books_;
};

} // namespace office::detail
