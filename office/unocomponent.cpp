#include "office/unocomponent.h"

#include "common/files.h"
#include "office/unohtmltable.h"
#include "office/unoloadinteraction.h"
#include "office/unoproperty.h"

#include <QFile>
#include <QFileInfo>

#include <com/sun/star/document/MacroExecMode.hpp>
#include <com/sun/star/document/UpdateDocMode.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/frame/XModel3.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/task/XInteractionHandler.hpp>
#include <com/sun/star/text/XTextDocument.hpp>
#include <com/sun/star/util/XCloseable.hpp>

#include <rtl/ref.hxx>
#include <unistd.h>
#include <vector>

using namespace com::sun::star;
using namespace com::sun::star::uno;
using rtl::OUString;

namespace office::detail {

namespace {

// Fails, in the operator's words, with why a file cannot be read; returns
// when it can.
void checkReadable(const QString& path, bool spreadsheet)
{
    const QFileInfo info(path);
    const QString kind = spreadsheet ? QStringLiteral("数据文件") : QStringLiteral("文件");
    if (!QFileInfo(info.absolutePath()).isDir())
        throw morvanta::Error(morvanta::errc::PathNotFound,
                              QStringLiteral("%1“%2”所在的文件夹不存在。").arg(kind, path));
    if (!morvanta::isOrdinaryFile(path))
        throw morvanta::Error(morvanta::errc::FileNotFound,
                              QStringLiteral("未找到%1“%2”。").arg(kind, path));
    if (info.size() == 0)
        throw morvanta::Error(spreadsheet ? morvanta::errc::NotASpreadsheet
                                          : morvanta::errc::NotADocument,
                              QStringLiteral("%1“%2”是空文件。").arg(kind, path));
    if (::access(QFile::encodeName(path).constData(), R_OK) != 0)
        throw morvanta::Error(morvanta::errc::PermissionDenied,
                              QStringLiteral("没有读取%1“%2”的权限。").arg(kind, path));
}

// The import filter of a loaded document, read from its own model; a model
// that can name single arguments spares the whole media descriptor.
QString filterOf(const Reference<frame::XModel>& model)
{
    const Reference<frame::XModel3> model3(model, UNO_QUERY);
    const OUString wanted = u"FilterName"_ustr;
    const Sequence<beans::PropertyValue> args =
        model3.is() ? model3->getArgs2(Sequence<OUString>(&wanted, 1)) : model->getArgs();
    for (const beans::PropertyValue& arg : args) {
        OUString name;
        if (arg.Name == "FilterName" && (arg.Value >>= name))
            return toQString(name);
    }
    return QString();
}

// Why a load failed, when the file itself says more than the office's
// refusal: it is locked with a password, or it needed more memory than the
// office may take (which may end the office or make it refuse the file).
// Returns `failure` otherwise.
morvanta::Error loadFailure(Connection& connection, const morvanta::Error& failure,
                            const LoadInteraction& interaction, const QString& path,
                            bool spreadsheet, bool runningBefore)
{
    const int refused =
        spreadsheet ? morvanta::errc::NotASpreadsheet : morvanta::errc::NotADocument;
    if (interaction.passwordAsked())
        return morvanta::Error(
            refused, spreadsheet
                         ? QStringLiteral("数据文件“%1”设有打开密码，无法读取；请另存为没有密码的"
                                          "文件后重试。")
                               .arg(path)
                         : QStringLiteral("文件“%1”设有打开密码，无法打开；请另存为没有密码的"
                                          "文件后重试。")
                               .arg(path));
    if (!spreadsheet)
        return failure;
    const QString tooLarge =
        QStringLiteral("无法打开“%1”：数据文件过大或已损坏，无法读取。").arg(path);
    // An office that was running when the load began and ended during it was
    // ended by the file (its memory limit, or a fault the file set off).
    if (failure.number() == morvanta::errc::OfficeGone && runningBefore)
        return morvanta::Error(refused, tooLarge);
    // An office that refused the file after reaching most of its limit ran
    // out of memory for it; it is replaced, so that the memory goes back.
    const pid_t office = connection.pid();
    if (failure.number() == refused && office > 0 &&
        peakResidentOf(office) >= connection.memoryLimit() / 4 * 3) {
        connection.kill();
        return morvanta::Error(refused, tooLarge);
    }
    return failure;
}

} // namespace

Reference<lang::XComponent> loadComponent(Connection& connection, const QString& path,
                                          bool readOnly, bool spreadsheet, QString* filterName)
{
    checkReadable(path, spreadsheet);
    const QString kind = spreadsheet ? QStringLiteral("电子表格") : QStringLiteral("文档");
    std::vector<beans::PropertyValue> props = {
        property("Hidden", Any(true)),
        property("ReadOnly", Any(readOnly)),
        property("MacroExecutionMode", Any(document::MacroExecMode::NEVER_EXECUTE)),
        property("UpdateDocMode", Any(document::UpdateDocMode::NO_UPDATE)),
        property("Silent", Any(true)),
    };
    const rtl::Reference<LoadInteraction> interaction = new LoadInteraction;
    props.push_back(property("InteractionHandler",
                             Any(Reference<task::XInteractionHandler>(interaction.get()))));
    if (spreadsheet) // an HTML table saved as .xls must open in the spreadsheet
        props.push_back(
            property("DocumentService", Any(u"com.sun.star.sheet.SpreadsheetDocument"_ustr)));
    const OUString url =
        spreadsheet ? spreadsheetSource(connection, path, props) : toOUString(fileUrl(path));
    const Sequence<beans::PropertyValue> args(props.data(), static_cast<sal_Int32>(props.size()));
    const int refused =
        spreadsheet ? morvanta::errc::NotASpreadsheet : morvanta::errc::NotADocument;
    const QString opening = QStringLiteral("无法打开“%1”").arg(path);
    const QString notReadable = QStringLiteral("它不是办公组件能够读取的%1。").arg(kind);

    const bool runningBefore = connection.isAlive();
    Reference<lang::XComponent> component;
    try {
        component = connection.call(
            [&] {
                return connection.desktop()->loadComponentFromURL(url, u"_blank"_ustr, 0, args);
            },
            describeAs(refused, opening, notReadable));
    } catch (const morvanta::Error& e) {
        throw loadFailure(connection, e, *interaction, path, spreadsheet, runningBefore);
    }
    if (!component.is())
        throw loadFailure(connection,
                          morvanta::Error(refused, opening + QStringLiteral("：") + notReadable),
                          *interaction, path, spreadsheet, runningBefore);
    // Anything at all opens as plain text: a file that only opened that way is
    // no document or workbook (random bytes would otherwise read as garbage
    // and be saved again as if nothing were wrong).
    Reference<frame::XModel> model;
    QString filter;
    const bool fits = connection.call(
        [&] {
            if (spreadsheet) {
                if (!Reference<css::sheet::XSpreadsheetDocument>(component, UNO_QUERY).is())
                    return false;
                model.set(component, UNO_QUERY_THROW);
            } else {
                // A text document is a model: kept as the component, it also
                // answers later questions for these interfaces without a
                // round trip to the office.
                const Reference<text::XTextDocument> text(component, UNO_QUERY);
                if (!text.is())
                    return false;
                model.set(text.get());
            }
            filter = filterOf(model);
            return !filter.startsWith(u"Text");
        },
        describeAs(refused, opening, notReadable));
    if (!fits) {
        closeComponent(connection, component, path);
        throw morvanta::Error(refused, opening + QStringLiteral("：") + notReadable);
    }
    if (!spreadsheet) { // nobody looks at the views: spare their updates on every change
        connection.call([&] { model->lockControllers(); },
                        describeAs(morvanta::errc::OfficeFailure, opening));
        component.set(model.get());
    }
    if (filterName)
        *filterName = filter;
    ++connection.documentsOpened;
    return component;
}

void closeComponent(Connection& connection, const Reference<lang::XComponent>& doc,
                    const QString& path)
{
    if (!doc.is() || !connection.isAlive())
        return;
    connection.call(
        [&] {
            const Reference<util::XCloseable> closeable(doc, UNO_QUERY);
            if (closeable.is())
                closeable->close(true);
            else
                doc->dispose();
        },
        describeAs(morvanta::errc::OfficeFailure, path.isEmpty()
                                                      ? QStringLiteral("无法关闭文档")
                                                      : QStringLiteral("无法关闭“%1”").arg(path)));
}

} // namespace office::detail
