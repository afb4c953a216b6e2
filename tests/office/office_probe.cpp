// Starts the offices, prints "<office pid> <temporary folder> <pipe name>" for
// each on one line, then ends the way its second argument says: exit, throw, sigterm, sigint or
// sigkill; or "saveloop:<file>" saves the document there again and again until killed.

#include "office/engine.h"

#include <QCoreApplication>
#include <QDir>

#include <csignal>
#include <cstdio>
#include <stdexcept>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 3)
        return 2;
    {
        auto word = office::defaultEngine().createWordApplication();
        word->Documents().Open(QString::fromLocal8Bit(argv[1]), true);
        word->Quit();
    }
    // "<office pid> <temporary folder> <pipe name>" for every office, on one line.
    QStringList offices;
    for (const long pid : office::defaultEngineOfficePids()) {
        // The office's TMPDIR is <folder>/tmp.
        QFile environment(QStringLiteral("/proc/%1/environ").arg(pid));
        QString folder;
        if (environment.open(QIODevice::ReadOnly))
            for (const QByteArray& entry : environment.readAll().split('\0'))
                if (entry.startsWith("TMPDIR="))
                    folder = QDir::cleanPath(QString::fromLocal8Bit(entry.mid(7)) +
                                             QStringLiteral("/.."));
        QString pipe;
        QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(pid));
        if (cmdline.open(QIODevice::ReadOnly))
            for (const QByteArray& arg : cmdline.readAll().split('\0'))
                if (arg.startsWith("--accept=pipe,name="))
                    pipe = QString::fromLocal8Bit(arg.mid(19, arg.indexOf(';') - 19));
        offices << QStringLiteral("%1 %2 %3").arg(pid).arg(folder, pipe);
    }
    std::printf("%s\n", qPrintable(offices.join(u' ')));
    std::fflush(stdout);

    const QByteArray ending = argv[2];
    if (ending.startsWith("saveloop:")) { // save again and again until killed
        const QString target = QString::fromLocal8Bit(ending.mid(9));
        auto word = office::defaultEngine().createWordApplication();
        office::word::Document& doc = word->Documents().Open(QString::fromLocal8Bit(argv[1]), true);
        for (;;)
            doc.SaveAs(target);
    }
    if (ending == "throw")
        throw std::runtime_error("unhandled");
    if (ending == "sigterm")
        std::raise(SIGTERM);
    if (ending == "sigint")
        std::raise(SIGINT);
    if (ending == "sigkill")
        std::raise(SIGKILL);
    return 0;
}
