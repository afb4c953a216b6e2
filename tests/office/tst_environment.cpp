// The programs in whatever environment they are started: no locale at all
// (cron, a service, ssh, env -i) and no HOME.

#include "certificates.h"
#include "testmain.h"

#include "common/environment.h"
#include "common/paths.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QtTest>

#include <cstdlib>
#include <pwd.h>
#include <unistd.h>

class EnvironmentTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Without HOME the password database's home is taken, never "/".
    void homeFromPasswordDatabase()
    {
        const QByteArray saved = qgetenv("HOME");
        ::unsetenv("HOME");
        environment::settle();
        const QByteArray settled = qgetenv("HOME");
        qputenv("HOME", saved);
        const passwd* entry = ::getpwuid(::getuid());
        QVERIFY(entry && entry->pw_dir);
        QCOMPARE(settled, QByteArray(entry->pw_dir));
    }

    // A console run with nothing but HOME and PATH, over a Chinese path:
    // both documents of the row are made and the run ends well.
    void consoleRunsWithoutLocale()
    {
        testfiles::makeTemplates();
        testfiles::makeDataFile(QList<QStringList>{testfiles::dataRow(QStringLiteral("E1"))});
        office::shutdownDefaultEngine();
        QProcess console;
        console.setProcessEnvironment(QProcessEnvironment());
        console.start(QStringLiteral("/usr/bin/env"),
                      {QStringLiteral("-i"), QStringLiteral("HOME=") + QDir::homePath(),
                       QStringLiteral("PATH=/usr/bin:/bin"),
                       QStringLiteral("MORVANTA_LEFTOVER_JOURNAL=") +
                           qEnvironmentVariable("MORVANTA_LEFTOVER_JOURNAL"),
                       QStringLiteral(MORVANTA_CONSOLE_PATH)});
        QVERIFY(console.waitForFinished(300000));
        const QString err = QString::fromUtf8(console.readAllStandardError());
        QVERIFY2(console.exitCode() == 0, qPrintable(err));
        for (const auto kind : {paths::TemplateKind::Original, paths::TemplateKind::Duplicate})
            QVERIFY2(QFileInfo(paths::outputDir() + u'/' +
                               paths::documentFileName(QStringLiteral("E1"), kind))
                             .size() > 0,
                     qPrintable(err));
    }
};

MORVANTA_TEST_MAIN(EnvironmentTest)
#include "tst_environment.moc"
