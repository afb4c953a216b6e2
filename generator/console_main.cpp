// MorvantaConsole: the generation run of Morvanta without a desktop. It reads
// the same data file, writes the same documents and prints every message.
// Exit status: 0 after a complete run, 1 when there was nothing to generate,
// 2 after a failure that ended the run.

#include "generator/certificatefill.h"
#include "generator/consoleview.h"
#include "generator/generationrun.h"
#include "office/engine.h"
#include "office/error.h"

#include <QCoreApplication>

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
    const GenerationCallbacks fills{
        .WordReplace_zhengben =
            [&](bool& matchCase) {
                return fillCertificate(engine, view, record, paths::TemplateKind::Original,
                                       matchCase);
            },
        .WordReplace_fuben =
            [&](bool& matchCase) {
                return fillCertificate(engine, view, record, paths::TemplateKind::Duplicate,
                                       matchCase);
            },
    };
    runGeneration(engine, view, record, fills);
    return view.runCompleted() ? 0 : 1;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    int status = 2;
    try {
        status = run();
    } catch (const office::Error& error) {
        printError(error.message());
    } catch (const std::exception& error) {
        printError(QString::fromLocal8Bit(error.what()));
    }
    // The office ends with the run, before the program's static objects go.
    office::shutdownDefaultEngine();
    return status;
}
