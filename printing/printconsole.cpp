#include "printconsole.h"

#include "printfailure.h"
#include "printrun.h"

#include <QCommandLineParser>

namespace printing {

namespace {

class ConsoleObserver : public PrintObserver
{
public:
    explicit ConsoleObserver(const ConsoleOutput& output) : output_(output) {}
    void message(const QString& text) override { output_.out(text); }
    void sent(int done, int total) override
    {
        output_.out(QStringLiteral("已发送 %1/%2").arg(done).arg(total));
    }

private:
    const ConsoleOutput& output_;
};

int exitStatus(Outcome outcome)
{
    return outcome == Outcome::Cancelled ? 2 : int(outcome);
}

int list(const ConsoleOutput& output)
{
    try {
        Cups cups;
        const QList<Printer> printers = cups.printers();
        if (printers.isEmpty()) {
            output.out(QStringLiteral("没有打印机。请由管理员添加打印机。"));
            return 1;
        }
        QString defaultName;
        for (const Printer& printer : printers) {
            output.out(printer.name +
                       (printer.description.isEmpty() ? QString() : u'\t' + printer.description));
            for (const Tray& tray : printer.trays) {
                const bool isDefault = tray.keyword == printer.defaultTray;
                output.out(QStringLiteral("  纸盒 %1\t%2%3")
                               .arg(tray.keyword, tray.label,
                                    isDefault ? QStringLiteral("（默认）") : QString()));
            }
            if (printer.isDefault)
                defaultName = printer.name;
        }
        output.out(defaultName.isEmpty() ? QStringLiteral("没有默认打印机。")
                                         : QStringLiteral("默认打印机：%1").arg(defaultName));
        return 0;
    } catch (const PrintFailure& failure) {
        output.out(failure.message());
        return 2;
    }
}

// The command-line parser words its refusals in English; the operator reads
// Chinese. Its other wordings are passed on as they are.
QString argumentFailure(const QCommandLineParser& parser)
{
    if (const QStringList unknown = parser.unknownOptionNames(); !unknown.isEmpty()) {
        const QString& name = unknown.first();
        return QStringLiteral("没有“%1%2”这个选项。")
            .arg(name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--"), name);
    }
    const QString text = parser.errorText();
    const qsizetype open = text.indexOf(u'\''), close = text.lastIndexOf(u'\'');
    if (open < 0 || close <= open)
        return text;
    const QString option = text.mid(open + 1, close - open - 1);
    if (text.startsWith(QLatin1String("Missing value after")))
        return QStringLiteral("选项“%1”后面缺少它的值。").arg(option);
    if (text.startsWith(QLatin1String("Unexpected value after")))
        return QStringLiteral("选项“%1”不带值。").arg(option.section(u'=', 0, 0));
    return text;
}

} // namespace

int runPrintConsole(const QStringList& arguments, DocumentExporter& exporter,
                    const ConsoleOutput& output)
{
    QCommandLineParser parser;
    const QCommandLineOption listOption(QStringLiteral("list"));
    const QCommandLineOption printerOption(QStringLiteral("printer"), {}, QStringLiteral("P"));
    const QCommandLineOption trayOption(QStringLiteral("tray"), {}, QStringLiteral("T"));
    const QCommandLineOption duplicatePrinterOption(QStringLiteral("duplicate-printer"), {},
                                                    QStringLiteral("P"));
    const QCommandLineOption duplicateTrayOption(QStringLiteral("duplicate-tray"), {},
                                                 QStringLiteral("T"));
    const QCommandLineOption copiesOption(QStringLiteral("copies"), {}, QStringLiteral("N"),
                                          QStringLiteral("1"));
    const QCommandLineOption forceOption(QStringLiteral("force"));
    const QCommandLineOption pdfOption(QStringLiteral("pdf"), {}, QStringLiteral("FILE"));
    const QCommandLineOption templateOption(QStringLiteral("template"), {}, QStringLiteral("KIND"));
    parser.addOptions({listOption, printerOption, trayOption, duplicatePrinterOption,
                       duplicateTrayOption, copiesOption, forceOption, pdfOption, templateOption});
    const QString usage = QStringLiteral(
        "用法：morvanta-print --list\n"
        "      morvanta-print --printer 打印机 [--tray 纸盒] [--duplicate-printer 打印机] "
        "[--duplicate-tray 纸盒] [--copies 份数] [--force] [证书号 ...]\n"
        "      morvanta-print --pdf 文件 [证书号 ...]\n"
        "      morvanta-print --template 正本|副本 --printer 打印机 [--tray 纸盒]");
    if (!parser.parse(arguments)) {
        output.err(argumentFailure(parser) + u'\n' + usage);
        return 2;
    }
    if (parser.isSet(listOption))
        return list(output);

    bool copiesOk = false;
    const int copies = parser.value(copiesOption).toInt(&copiesOk);
    if (!copiesOk || copies < 1 || copies > 999) {
        output.err(QStringLiteral("份数“%1”无效，应为 1 到 999 之间的整数。")
                       .arg(parser.value(copiesOption)));
        return 2;
    }
    PrintSettings settings;
    settings.force = parser.isSet(forceOption);
    settings.original = {parser.value(printerOption), parser.value(trayOption), copies};
    settings.duplicate = {parser.isSet(duplicatePrinterOption)
                              ? parser.value(duplicatePrinterOption)
                              : settings.original.printer,
                          parser.value(duplicateTrayOption), copies};
    ConsoleObserver observer(output);

    if (parser.isSet(templateOption)) {
        const QString kind = parser.value(templateOption);
        if (kind != kindName(paths::TemplateKind::Original) &&
            kind != kindName(paths::TemplateKind::Duplicate)) {
            output.err(QStringLiteral("模板只能是“正本”或“副本”。\n") + usage);
            return 2;
        }
        const bool original = kind == kindName(paths::TemplateKind::Original);
        if (settings.original.printer.isEmpty() && parser.value(duplicatePrinterOption).isEmpty()) {
            output.err(QStringLiteral("请用 --printer 指定打印机。\n") + usage);
            return 2;
        }
        return exitStatus(
            printTemplate(original ? paths::TemplateKind::Original : paths::TemplateKind::Duplicate,
                          original ? settings.original : settings.duplicate, exporter, observer));
    }

    const QStringList certificates = parser.positionalArguments();
    const RunList selection =
        certificates.isEmpty() ? readRunList() : documentsOfCertificates(certificates);
    for (const QString& problem : selection.problems)
        output.out(problem);
    if (!selection.problems.isEmpty()) {
        output.out(QStringLiteral("未发送任何打印任务。"));
        return 2;
    }
    if (selection.documents.isEmpty()) {
        output.out(certificates.isEmpty() ? QStringLiteral("没有最近一次生成的证书，无可打印。")
                                          : QStringLiteral("没有要打印的证书。"));
        return 1;
    }
    if (parser.isSet(pdfOption))
        return exitStatus(
            writeReviewPdf(selection.documents, parser.value(pdfOption), exporter, observer));
    if (settings.original.printer.isEmpty()) {
        output.err(QStringLiteral("请用 --printer 指定打印机，或用 --pdf 导出 PDF。\n") + usage);
        return 2;
    }
    const Outcome outcome = printDocuments(selection.documents, settings, exporter, observer);
    if (outcome == Outcome::HeldBack)
        output.out(QStringLiteral("有证书未打印；检查后可加 --force 打印。"));
    return exitStatus(outcome);
}

} // namespace printing
