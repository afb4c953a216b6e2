#pragma once

// The spreadsheet operations that the generator reads its data file with:
// the application object, a workbook bound to a path, a worksheet by name and
// the displayed text of a cell, and the values of a column in blocks. Every
// failing call throws morvanta::Error.

#include <QList>
#include <QString>
#include <QVariant>

namespace office::sheet {

class Worksheet
{
public:
    virtual ~Worksheet() = default;
    // The cell's text as displayed (formatted), 1-based row and column.
    virtual QString CellText(int row, int column) = 0;
    // The values of `count` cells down column `column` from `firstRow`, in one
    // read (a one-column range's Value2): a cell's text as a QString, a number
    // as a double, an empty cell as an empty QString. A number shows as its
    // format makes it, so an empty value is not always empty text and the
    // reverse: CellText says what a cell shows. Shorter when the sheet ends
    // before `count` cells; empty from past the sheet's last row.
    virtual QList<QVariant> ColumnValues(int firstRow, int count, int column) = 0;
};

class Workbook
{
public:
    virtual ~Workbook() = default;
    // The worksheet of that name; fails when there is none.
    virtual Worksheet& Worksheets(const QString& name) = 0;
};

class Application
{
public:
    virtual ~Application() = default;
    // Binds the path to its workbook, whatever spreadsheet format it holds.
    // The workbook lives until Quit or until the application is destroyed.
    virtual Workbook& GetObject(const QString& path) = 0;
    // Closes every workbook it opened, so that their files can be deleted.
    virtual void Quit() = 0;
};

} // namespace office::sheet
