#pragma once

// The spreadsheet operations that the generator reads its data file with:
// the application object, a workbook bound to a path, a worksheet by name and
// the displayed text of a cell. Every failing call throws morvanta::Error.

#include <QString>

namespace office::sheet {

class Worksheet
{
public:
    virtual ~Worksheet() = default;
    // The cell's text as displayed (formatted), 1-based row and column.
    virtual QString CellText(int row, int column) = 0;
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
