// MorvantaConsole: the generation run of Morvanta without a desktop. It reads
// the same data file, writes the same documents and prints every message.
// Exit status: 0 after a complete run, 1 when there was nothing to generate,
// 2 after a failure that ended the run, 3 after a complete run in which some
// documents could not be made (their messages were printed).

#include "common/environment.h"
#include "common/error.h"
#include "generator/certificatefill.h"
#include "generator/consoleview.h"
#include "generator/generationrun.h"
#include "office/engine.h"

#include <QCoreApplication>

#include <atomic>
#include <cstdio>
#include <exception>

namespace {

void printError(const QString& text)
{
    const QByteArray utf8 = (text + u'\n').toUtf8();
    std::fwrite(utf8.constData(), 1, static_cast<size_t>(utf8.size()), stderr);
}

int run()
{
    office::Engine& engine = office::defaultEngine();
    ConsoleView view(stdout);
    CertificateRecord record;
    std::atomic<int> failedFills = 0; // the fills run on several threads
    auto fill = [&](paths::TemplateKind kind) {
        return [&, kind](const CertificateRecord& values, RunView& messages, bool& matchCase) {
            const std::int16_t result = fillCertificate(engine, messages, values, kind, matchCase);
            if (result < 0)
                ++failedFills;
            return result;
        };
    };
    const GenerationCallbacks fills{
        .WordReplace_zhengben = fill(paths::TemplateKind::Original),
        .WordReplace_fuben = fill(paths::TemplateKind::Duplicate),
    };
    if (runGeneration(engine, view, record, fills) != GenerationEnd::Completed)
        return 1;
    if (failedFills > 0) {
        printError(QStringLiteral("%1 份文档未能生成。").arg(failedFills.load()));
        return 3;
    }
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    environment::settle();
    QCoreApplication app(argc, argv);
    int status = 2;
    try {
        status = run();
    } catch (const morvanta::Error& error) {
        printError(error.message());
    } catch (const std::exception& error) {
        printError(QString::fromLocal8Bit(error.what()));
    }
    // The office ends with the run, before the program's static objects go.
    office::shutdownDefaultEngine();
    return status;
}
