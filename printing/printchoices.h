#pragma once

// The operator's last choice of printer, tray and copies for each kind,
// kept between starts in Qt's settings in the user's configuration folder
// (~/.config/Morvanta/MorvantaPrint.conf), and how a kept choice meets the
// printers CUPS has now.

#include "printing/cupsqueue.h"
#include "printing/printrun.h"

#include <QList>

namespace printing {

// The printers with the default one first, the others in CUPS's order.
QList<Printer> defaultFirst(QList<Printer> printers);

// The destination to show for a kind: the kept printer and tray where CUPS
// still has them, otherwise the default printer (the first listed) and its
// default tray; copies as kept, within 1 to 999.
Destination restoredChoice(const QList<Printer>& printers, const Destination& kept);

// The choice kept for the kind; empty printer when none is.
Destination keptChoice(paths::TemplateKind kind);
void keepChoice(paths::TemplateKind kind, const Destination& destination);

} // namespace printing
