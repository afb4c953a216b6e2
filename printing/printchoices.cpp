#include "printing/printchoices.h"

#include <QSettings>

#include <algorithm>

namespace printing {

namespace {

QString group(paths::TemplateKind kind)
{
    return kind == paths::TemplateKind::Original ? QStringLiteral("original")
                                                 : QStringLiteral("duplicate");
}

QSettings store()
{
    return QSettings(QStringLiteral("Morvanta"), QStringLiteral("MorvantaPrint"));
}

} // namespace

QList<Printer> defaultFirst(QList<Printer> printers)
{
    std::stable_partition(printers.begin(), printers.end(),
                          [](const Printer& p) { return p.isDefault; });
    return printers;
}

Destination restoredChoice(const QList<Printer>& printers, const Destination& kept)
{
    Destination choice;
    choice.copies = std::clamp(kept.copies, 1, 999);
    if (printers.isEmpty())
        return choice;
    const auto found = std::find_if(printers.begin(), printers.end(),
                                    [&](const Printer& p) { return p.name == kept.printer; });
    const Printer& printer = found != printers.end() ? *found : printers.first();
    choice.printer = printer.name;
    choice.tray = printer.defaultTray;
    if (found != printers.end() &&
        std::any_of(printer.trays.begin(), printer.trays.end(),
                    [&](const Tray& t) { return t.keyword == kept.tray; }))
        choice.tray = kept.tray;
    return choice;
}

Destination keptChoice(paths::TemplateKind kind)
{
    QSettings settings = store();
    settings.beginGroup(group(kind));
    return {settings.value(QStringLiteral("printer")).toString(),
            settings.value(QStringLiteral("tray")).toString(),
            settings.value(QStringLiteral("copies"), 1).toInt()};
}

void keepChoice(paths::TemplateKind kind, const Destination& destination)
{
    QSettings settings = store();
    settings.beginGroup(group(kind));
    settings.setValue(QStringLiteral("printer"), destination.printer);
    settings.setValue(QStringLiteral("tray"), destination.tray);
    settings.setValue(QStringLiteral("copies"), destination.copies);
}

} // namespace printing
