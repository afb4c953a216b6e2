#pragma once

#include <QString>

#include <exception>
#include <string>

namespace morvanta {

// Stable failure numbers. Every failure the programs can report carries one of
// these; they appear in messages as "number:description", so never renumber.
namespace errc {
inline constexpr int Overflow = 6;                 // counter past its range
inline constexpr int FileNotFound = 53;            // no ordinary file at the path
inline constexpr int PermissionDenied = 70;        // the file system refused access
inline constexpr int BadFileName = 75;             // a name that cannot be a file name
inline constexpr int PathNotFound = 76;            // the folder does not exist
inline constexpr int OutputFolderFailed = 68;      // saving into a full, read-only or gone folder
inline constexpr int OfficeNotInstalled = 429;     // LibreOffice is missing or will not start
inline constexpr int NotADocument = 5792;          // the file is no document the office can open
inline constexpr int NotASpreadsheet = 1004;       // the file is no spreadsheet the office can open
inline constexpr int NoSuchWorksheet = 9;          // the workbook has no such worksheet
inline constexpr int WriteFailed = 5152;           // the office could not write the file
inline constexpr int OfficeNoAnswer = -2147023170; // the office did not answer in time
inline constexpr int OfficeGone = -2147023174;     // the office process ended during a call
inline constexpr int OfficeFailure = -2147467259;  // any other failure inside the office
inline constexpr int InvalidValue = 13; // a value of the wrong kind (no number, out of range)
} // namespace errc

// The one error type of the office layer and the programs above it.
class Error : public std::exception
{
public:
    Error(int number, QString description)
        : number_(number), description_(std::move(description)),
          what_(QString(QString::number(number_) + u':' + description_).toStdString())
    {
    }

    int number() const noexcept { return number_; }
    const QString& description() const noexcept { return description_; }
    // "number:description", the form in which failures are shown to the operator.
    QString message() const { return QString::number(number_) + u':' + description_; }
    const char* what() const noexcept override { return what_.c_str(); }

private:
    int number_;
    QString description_;
    std::string what_;
};

} // namespace morvanta
