#pragma once

// The certificates of the output folder as the print window lists them: one
// line per certificate number with a tick for its original and one for its
// duplicate, the latest generation run first in row order, then the other
// documents of the folder, most recently changed first. Beside each
// document, once it has been exported, the result of its check.

#include "printing/runlist.h"

#include <QAbstractTableModel>
#include <QSortFilterProxyModel>

#include <array>

namespace printing {

class CertificateList : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column
    {
        Number,
        Original,
        Duplicate,
        ColumnCount
    };

    struct Check
    {
        bool done = false;
        bool fits = true;
        QString text; // "通过", "2 页", "仍有“…”"
    };

    struct Line
    {
        QString certificate;
        std::array<bool, 2> inLatestRun{};
        std::array<bool, 2> present{}; // the file is in the folder
        std::array<bool, 2> ticked{};
        std::array<Check, 2> check;
    };

    explicit CertificateList(QObject* parent = nullptr);

    // Reads the run list and the folder; nothing is ticked. Returns the
    // problems of the run list, as Chinese messages.
    QStringList load(const QString& outputDir = paths::outputDir());

    // Ticks exactly the documents of the latest run; ticks every document
    // of the lines `rows` (all when empty), or none of them.
    void tickLatestRun();
    void tickAll(const QList<int>& rows = {});
    void tickNone(const QList<int>& rows = {});

    // Ticks the documents named on the command line: a file inside the
    // output folder, or a certificate number (both its documents). Returns
    // a message for each argument that names no listed document.
    QStringList tickArguments(const QStringList& arguments);

    // The ticked documents, top to bottom, the original before the duplicate.
    QList<DocumentRef> tickedDocuments() const;
    int tickedCount() const;

    // The check of a document once exported.
    void setCheck(const DocumentRef& document, int pages, const QString& placeholderLeft);
    Check checkOf(const DocumentRef& document) const;
    void clearChecks();

    // While locked (a run is using the ticks) no tick changes by hand.
    void setLocked(bool locked) { locked_ = locked; }

    const QList<Line>& lines() const { return lines_; }
    int lineOf(const QString& certificate) const; // -1 when not listed
    QString outputDir() const { return outputDir_; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

signals:
    void ticksChanged();

private:
    void setTicks(const QList<int>& rows, int which); // which: 0 none, 1 latest run, 2 all
    void changedLine(int line);

    QList<Line> lines_;
    QString outputDir_;
    bool locked_ = false;
};

// Narrows the list to the certificate numbers that contain the filter text
// (ignoring case and the width of letters and digits).
class CertificateFilter : public QSortFilterProxyModel
{
    Q_OBJECT
public:
    using QSortFilterProxyModel::QSortFilterProxyModel;
    void setText(const QString& text);
    // The source rows shown now.
    QList<int> shownRows() const;

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;

private:
    QString text_;
};

// The question asked before documents that failed the check are printed:
// each one named with what the check found.
QString heldBackQuestion(const QList<DocumentRef>& documents, const CertificateList& list);

} // namespace printing
