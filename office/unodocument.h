#pragma once

#include "office/unocall.h"
#include "office/unopagesetup.h"
#include "office/word.h"

#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/text/XTextDocument.hpp>
#include <com/sun/star/util/XSearchable.hpp>

#include <memory>
#include <vector>

namespace office::detail {

class UnoDocument : public word::Document
{
public:
    UnoDocument(std::shared_ptr<Connection> connection,
                css::uno::Reference<css::lang::XComponent> component, QString path,
                QString filterName);
    ~UnoDocument() override;

    std::unique_ptr<word::Range> Range(int start, int end) override;
    word::PageSetup& PageSetup() override { return pageSetup_; }
    void SaveAs(const QString& fileName) override;
    void ExportAsFixedFormat(const QString& outputFileName, int format, bool scratch) override;
    int ComputeStatistics(int statistic) override;
    QString FirstFound(const QStringList& texts) override;
    void Close() override;

    bool isOpen() const { return component_.is(); }
    Connection& connection();
    const std::shared_ptr<Connection>& sharedConnection() const { return connection_; }
    const QString& path() const { return path_; }
    css::uno::Reference<css::text::XTextDocument> textDocument();
    const css::uno::Reference<css::util::XSearchable>& searchable();
    // Counts the changes of the text, so that what a range knows of its own
    // text can be checked for being current.
    quint64 edits() const { return edits_; }
    quint64 noteEdit() { return ++edits_; }

private:
    // The folder of `fileName`, once it exists, can be written and the name
    // is no folder itself; throws naming the cause otherwise.
    static QString checkedTargetFolder(const QString& fileName);
    // Has the office store the document at `path` with `props`; a failure
    // names `fileName`, the name the caller writes.
    void storeAt(const QString& path, const QString& fileName,
                 const std::vector<css::beans::PropertyValue>& props);
    // Stores the document with `props` through a private staging folder
    // beside `fileName`, flushed to disk and renamed over it.
    void storeStaged(const QString& fileName, const std::vector<css::beans::PropertyValue>& props);

    std::shared_ptr<Connection> connection_;
    css::uno::Reference<css::lang::XComponent> component_;
    css::uno::Reference<css::text::XTextDocument> textDocument_;
    css::uno::Reference<css::util::XSearchable> searchable_;
    QString path_;
    QString filterName_;
    quint64 edits_ = 0;
    UnoPageSetup pageSetup_;
};

} // namespace office::detail
