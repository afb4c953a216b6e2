#pragma once

#include "office/unocall.h"
#include "office/word.h"

#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/text/XTextDocument.hpp>
#include <com/sun/star/text/XTextRange.hpp>
#include <com/sun/star/util/XSearchDescriptor.hpp>
#include <com/sun/star/util/XSearchable.hpp>

#include <memory>
#include <optional>
#include <utility>

namespace office::detail {

class UnoEngine;
class UnoDocument;

// Loads a file into the office, hidden, with macros off; fails with a Chinese
// description naming the file. For the word processor and the spreadsheet.
// `filterName`, when given, receives the import filter the office chose.
css::uno::Reference<css::lang::XComponent> loadComponent(Connection& connection,
                                                         const QString& path, bool readOnly,
                                                         bool spreadsheet,
                                                         QString* filterName = nullptr);
// Closes a loaded file; `path` names it should the office fail.
void closeComponent(Connection& connection, const css::uno::Reference<css::lang::XComponent>& doc,
                    const QString& path = {});

class UnoRange;

class UnoFont : public word::Font
{
public:
    explicit UnoFont(UnoRange& range) : range_(range) {}
    float Size() override;
    void SetSize(float points) override;

private:
    UnoRange& range_;
};

class UnoFind : public word::Find
{
public:
    explicit UnoFind(UnoRange& range) : range_(range) {}
    void ClearFormatting() override {}
    bool Execute() override;
    bool Execute(const word::ExecuteArgs& args) override;

private:
    bool search(bool replace);
    void checkOptions() const;
    int flags() const;
    void applyOptions();
    bool coversOwnInsertion() const;

    UnoRange& range_;
    css::uno::Reference<css::util::XSearchDescriptor> descriptor_; // for Text and the flags
    // The text this range's last replacement inserted, while the range still
    // covers it and the document has not been edited since.
    struct Insertion
    {
        QString text;
        quint64 edit;
    };
    std::optional<Insertion> inserted_;
    // The search text and flags of the last replacement, while the replace
    // searches go on with them.
    std::optional<std::pair<QString, int>> lastReplaced_;
};

class UnoRange : public word::Range
{
public:
    UnoRange(UnoDocument& document, css::uno::Reference<css::text::XTextRange> range);
    void Select() override;
    word::Find& Find() override { return find_; }
    word::Font& Font() override { return font_; }
    QString Text() override;

    UnoDocument& document() { return document_; }
    css::uno::Reference<css::text::XTextRange> range;

private:
    UnoDocument& document_;
    UnoFind find_;
    UnoFont font_;
};

class UnoPageSetup : public word::PageSetup
{
public:
    explicit UnoPageSetup(UnoDocument& document) : document_(document) {}
    float TopMargin() override;
    float BottomMargin() override;
    float LeftMargin() override;
    float RightMargin() override;
    void SetTopMargin(float points) override;
    void SetBottomMargin(float points) override;
    void SetLeftMargin(float points) override;
    void SetRightMargin(float points) override;
    float PageWidth() override;
    float PageHeight() override;

private:
    enum class Side
    {
        Top,
        Bottom,
        Left,
        Right
    };
    float margin(Side side);
    void setMargin(Side side, float points);
    css::uno::Reference<css::beans::XPropertySet> firstPageStyle();
    UnoDocument& document_;
};

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
    std::shared_ptr<Connection> connection_;
    css::uno::Reference<css::lang::XComponent> component_;
    css::uno::Reference<css::text::XTextDocument> textDocument_;
    css::uno::Reference<css::util::XSearchable> searchable_;
    QString path_;
    QString filterName_;
    quint64 edits_ = 0;
    UnoPageSetup pageSetup_;
};

class UnoWordApplication : public word::Application
{
public:
    explicit UnoWordApplication(UnoEngine& engine);
    ~UnoWordApplication() override;

    void SetVisible(bool visible) override;
    bool Visible() override;
    word::Documents& Documents() override { return documents_; }
    word::Document& ActiveDocument() override;
    float PointsToCentimeters(float points) override;
    float CentimetersToPoints(float centimeters) override;
    void Quit() override;

    word::Document& open(const QString& fileName, bool readOnly);
    // The office the open document is on, or 0.
    long officePid();

private:
    class Docs : public word::Documents
    {
    public:
        explicit Docs(UnoWordApplication& app) : app_(app) {}
        word::Document& Open(const QString& fileName, bool readOnly) override
        {
            return app_.open(fileName, readOnly);
        }

    private:
        UnoWordApplication& app_;
    };

    void ensureRunning() const;

    UnoEngine& engine_;
    int process_; // the engine's process this session works on
    Docs documents_{*this};
    std::unique_ptr<UnoDocument> document_;
    bool quit_ = false;
};

} // namespace office::detail
