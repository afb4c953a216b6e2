#include "endedcalls.h"

#include "cupsqueue.h"
#include "printfailure.h"

#include "common/staleleftovers.h"

#include <QFile>

#include <optional>

namespace printing {

void cancelJobsOfEndedCalls(const QString& tempFolder)
{
    std::optional<Cups> cups;
    for (const QString& folder : staleleftovers::stalePrintFolders(tempFolder)) {
        QFile jobs(folder + QStringLiteral("/jobs"));
        if (!jobs.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray& line : jobs.readAll().split('\n')) {
            const QList<QByteArray> fields = line.split('\t');
            const int job = fields.value(1).toInt();
            if (fields.size() != 2 || job <= 0)
                continue;
            const QString printer = QString::fromUtf8(fields[0]);
            try {
                if (!cups)
                    cups.emplace();
                // A job that got its document prints on: only a waiting one goes.
                if (cups->status(printer, job).awaitingDocument)
                    cups->cancel(printer, job);
            } catch (const PrintFailure&) {
                if (!cups)
                    return; // no scheduler to ask
            }
        }
    }
}

} // namespace printing
