#include "office/unowordapplication.h"

#include "office/units.h"
#include "office/unocomponent.h"
#include "office/unoengine.h"

#include <QScopeGuard>

using com::sun::star::uno::Reference;
namespace lang = com::sun::star::lang;

namespace office::detail {

UnoWordApplication::UnoWordApplication(UnoEngine& engine)
    : engine_(engine), process_(engine.sessionStarted())
{
}

UnoWordApplication::~UnoWordApplication()
{
    if (!quit_) {
        try {
            document_.reset();
        } catch (...) {
        }
        engine_.sessionEnded(process_);
    }
}

void UnoWordApplication::ensureRunning() const
{
    if (quit_)
        throw morvanta::Error(morvanta::errc::OfficeFailure,
                              QStringLiteral("文字处理会话已经结束。"));
}

void UnoWordApplication::SetVisible(bool visible)
{
    ensureRunning();
    // The private office is headless: it can never be shown.
    if (visible)
        throw morvanta::Error(morvanta::errc::InvalidValue,
                              QStringLiteral("后台办公组件不能显示窗口。"));
}

bool UnoWordApplication::Visible()
{
    ensureRunning();
    return false;
}

word::Document& UnoWordApplication::open(const QString& fileName, bool readOnly)
{
    ensureRunning();
    if (document_ && document_->isOpen())
        throw morvanta::Error(morvanta::errc::OfficeFailure,
                              QStringLiteral("每个文字处理会话只能打开一个文档。"));
    std::shared_ptr<Connection> connection = engine_.connection(process_);
    Reference<lang::XComponent> component;
    QString filter;
    try {
        component = loadComponent(*connection, fileName, readOnly, false, &filter);
    } catch (const morvanta::Error& e) {
        // An office that died just before this session began is replaced;
        // nothing of the session was lost, so opening is tried once more.
        if (e.number() != morvanta::errc::OfficeGone)
            throw;
        connection = engine_.connection(process_);
        component = loadComponent(*connection, fileName, readOnly, false, &filter);
    }
    document_ = std::make_unique<UnoDocument>(connection, component, fileName, filter);
    return *document_;
}

long UnoWordApplication::officePid()
{
    return document_ && document_->isOpen() ? document_->connection().pid() : 0;
}

word::Document& UnoWordApplication::ActiveDocument()
{
    ensureRunning();
    if (!document_ || !document_->isOpen())
        throw morvanta::Error(morvanta::errc::OfficeFailure, QStringLiteral("没有打开的文档。"));
    return *document_;
}

float UnoWordApplication::PointsToCentimeters(float points)
{
    ensureRunning();
    return pointsToCentimeters(points);
}

float UnoWordApplication::CentimetersToPoints(float centimeters)
{
    ensureRunning();
    return centimetersToPoints(centimeters);
}

void UnoWordApplication::Quit()
{
    if (quit_)
        return;
    quit_ = true;
    // The process counts as free only once the document is closed: a session
    // started meanwhile may renew a free process, which would end this close.
    std::unique_ptr<UnoDocument> doc = std::move(document_);
    const auto free = qScopeGuard([this] { engine_.sessionEnded(process_); });
    if (doc)
        doc->Close();
}

} // namespace office::detail
