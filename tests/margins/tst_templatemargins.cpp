// Reading and writing template margins on real Word 97 files through the
// real office, and that a failed or refused save leaves both templates.

#include "certificates.h"
#include "testmain.h"

#include "common/error.h"
#include "common/staleleftovers.h"
#include "margins/templatemargins.h"

#include <QDir>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>

#include <csignal>

using namespace margins;
using namespace testfiles;

namespace {

const QString originalPath()
{
    return paths::templateFile(TemplateKind::Original);
}
const QString duplicatePath()
{
    return paths::templateFile(TemplateKind::Duplicate);
}

QStringList shown(const TemplateMargins& margins)
{
    return {marginText(margins.top), marginText(margins.bottom), marginText(margins.left),
            marginText(margins.right)};
}

} // namespace

class TemplateMarginsTest : public QObject
{
    Q_OBJECT

private:
    TemplatesSnapshot before_;

private slots:
    // Original 2.54/1.27/4.00/1.00 cm, duplicate 3.00/2.00/2.50/2.50 cm.
    void init()
    {
        makeTemplatePage(TemplateKind::Original, {1440, 720, 2268, 567});
        makeTemplatePage(TemplateKind::Duplicate, {1701, 1134, 1417, 1417});
        before_ = TemplatesSnapshot();
    }

    void writeRoundTrip()
    {
        QFile::setPermissions(originalPath(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                  QFileDevice::ReadGroup);
        // A working copy that a killed save left behind is cleared away.
        QFile::copy(originalPath(), paths::templatesDir() + QStringLiteral(".正本-Ab3dE9.doc"));
        WriteTemplateMargins({"2.5", "1", "1", "1"}, {"1", "1", "1", "0.25"});
        QCOMPARE(shown(ReadTemplateMargins(TemplateKind::Duplicate)),
                 QStringList({"1.00", "1.00", "1.00", "0.25"}));
        // 2.5 cm is written as the word processor's conversion, about 70.87 pt.
        QVERIFY(qAbs(ReadTemplateMargins(TemplateKind::Original).top - 2.5f) < 0.01f);

        QVERIFY(isOleFile(originalPath()) && isOleFile(duplicatePath()));
        QCOMPARE(QFile::permissions(originalPath()),
                 QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup |
                     QFileDevice::ReadUser | QFileDevice::WriteUser);
        QCOMPARE(filesBelow(paths::templatesDir()), QStringList({"副本.doc", "正本.doc"}));
    }

    // Shown rounded half up from the shortest decimal form; confirming what
    // is shown writes the margins back exactly as they were read.
    void shownHalfUpAndKeptWhenUnedited()
    {
        QCOMPARE((QStringList{marginText(1.234f), marginText(9.995f), marginText(0.5f),
                              marginText(0.004f)}),
                 QStringList({"1.23", "10.00", "0.50", "0.00"}));
        makeTemplatePage(TemplateKind::Original, {1800, 1080, 360, 1440}); // 90, 54, 18, 72 pt
        const TemplateMargins before = ReadTemplateMargins(TemplateKind::Original);
        const QStringList original = shown(before);
        QCOMPARE(original, QStringList({"3.18", "1.91", "0.64", "2.54"}));
        const QStringList duplicate = shown(ReadTemplateMargins(TemplateKind::Duplicate));
        WriteTemplateMargins({original[0], original[1], original[2], original[3]},
                             {duplicate[0], duplicate[1], duplicate[2], duplicate[3]});
        const TemplateMargins after = ReadTemplateMargins(TemplateKind::Original);
        QCOMPARE((QList<float>{after.top, after.bottom, after.left, after.right}),
                 (QList<float>{before.top, before.bottom, before.left, before.right}));
        // An edit is written as typed.
        WriteTemplateMargins({"3.17", original[1], original[2], original[3]},
                             {duplicate[0], duplicate[1], duplicate[2], duplicate[3]});
        QCOMPARE(shown(ReadTemplateMargins(TemplateKind::Original)),
                 QStringList({"3.17", "1.91", "0.64", "2.54"}));
    }

    // Refused entries change nothing: the checks come before any template is
    // replaced, and the copies are removed again.
    void refusedEntriesWriteNothing_data()
    {
        QTest::addColumn<QStringList>("original");
        QTest::addColumn<QStringList>("duplicate");
        QTest::addColumn<QString>("refusal");
        QTest::newRow("lone point")
            << QStringList{"1", "1", "1", "1"} << QStringList{"1", ".", "1", "1"}
            << QStringLiteral("副本下边距“.”不是有效的数字，请重新填写！");
        QTest::newRow("no room down the original")
            << QStringList{"15", "14", "1", "1"} << QStringList{"1", "1", "1", "1"}
            << QStringLiteral("正本上、下边距之和");
    }
    void refusedEntriesWriteNothing()
    {
        QFETCH(QStringList, original);
        QFETCH(QStringList, duplicate);
        QFETCH(QString, refusal);
        try {
            WriteTemplateMargins({original[0], original[1], original[2], original[3]},
                                 {duplicate[0], duplicate[1], duplicate[2], duplicate[3]});
            QFAIL("the entries were taken");
        } catch (const EntryRefused& refused) {
            QVERIFY2(refused.message().startsWith(refusal), qPrintable(refused.message()));
        }
        before_.verifyUnchanged();
    }

    // Killed between the two renames: the next start finds the original new
    // and the duplicate old, and completes the pair before reading.
    void killedBetweenTheRenames()
    {
        QVERIFY(killMarginSaveBetweenRenames());
        QVERIFY(readBytes(originalPath()) != before_.original);
        QCOMPARE(readBytes(duplicatePath()), before_.duplicate);
        QCOMPARE(shown(ReadTemplateMargins(TemplateKind::Original)),
                 QStringList({"2.00", "2.00", "2.00", "2.00"}));
        QCOMPARE(shown(ReadTemplateMargins(TemplateKind::Duplicate)),
                 QStringList({"1.00", "1.00", "1.00", "1.00"}));
        QCOMPARE(filesBelow(paths::templatesDir()), QStringList({"副本.doc", "正本.doc"}));
    }

    // What killed programs left is cleared at the start of either program:
    // working copies (also those named the older way, without a program id)
    // and staging folders whose program is gone or whose id now belongs to a
    // program that is none of ours, and a journal draft. Those of a running
    // program of ours stay, and a link posing as a staging folder is removed
    // without emptying what it points to.
    void killedProgramsLeftoversClearedAtStart()
    {
        QProcess ended;
        ended.start(QStringLiteral("true"), {});
        QVERIFY(ended.waitForStarted());
        const qint64 gone = ended.processId();
        QVERIFY(ended.waitForFinished());
        QTemporaryDir bin;
        const QString ours = bin.filePath(QStringLiteral("Tolberin"));
        QVERIFY(QFile::copy(QStringLiteral("/bin/sleep"), ours));
        QVERIFY(QFile::setPermissions(ours, QFileDevice::ExeOwner | QFileDevice::ReadOwner));
        QProcess running;
        QProcess stranger;
        running.start(ours, {QStringLiteral("60")});
        stranger.start(QStringLiteral("sleep"), {QStringLiteral("60")});
        const auto stop = qScopeGuard([&] {
            running.kill();
            stranger.kill();
            running.waitForFinished();
            stranger.waitForFinished();
        });
        QVERIFY(running.waitForStarted() && stranger.waitForStarted());
        const qint64 live = running.processId();
        const qint64 foreign = stranger.processId();
        QTRY_VERIFY(QFile(QStringLiteral("/proc/%1/comm").arg(live)).exists());

        const QString templates = paths::templatesDir();
        const QString outputs = paths::outputDir();
        QVERIFY(QDir().mkpath(outputs));
        const auto copy = [&](const QString& name) {
            QVERIFY(QFile::copy(originalPath(), templates + name));
        };
        const auto staging = [](qint64 pid, char digit) {
            return QStringLiteral(".~morvanta-%1-").arg(pid) + QString(16, QLatin1Char(digit));
        };
        copy(QStringLiteral(".正本-%1-Ab3dE9.doc").arg(gone));
        copy(QStringLiteral(".副本-%1-Zx12Qw.doc").arg(foreign));
        copy(QStringLiteral(".正本-Ab3dE9.doc"));
        copy(QStringLiteral(".templates-switch-a1B2c3"));
        const QStringList kept{
            QStringLiteral(".副本-%1-Zx12Qw.doc").arg(live),
            QStringLiteral(".正本-%1-Qq11Ww.doc").arg(QCoreApplication::applicationPid()),
            QStringLiteral(".正本-keep.doc")};
        for (const QString& name : kept)
            copy(name);
        for (const QString& folder : {templates, outputs}) {
            for (const qint64 pid : {gone, foreign, live})
                QVERIFY(QDir().mkpath(folder + staging(pid, 'a') + QStringLiteral("/sub")));
        }
        QTemporaryDir elsewhere;
        writeText(elsewhere.filePath(QStringLiteral("keep.txt")), QStringLiteral("keep"));
        QVERIFY(QFile::link(elsewhere.path(), outputs + staging(gone, 'b')));

        staleleftovers::clearAtStart();

        const auto hidden = [](const QString& folder) {
            QStringList names = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden |
                                                       QDir::System | QDir::NoDotAndDotDot);
            names.sort();
            return names;
        };
        QStringList expected = kept + QStringList{staging(live, 'a'), QStringLiteral("副本.doc"),
                                                  QStringLiteral("正本.doc")};
        expected.sort();
        QCOMPARE(hidden(templates).join(u'|'), expected.join(u'|'));
        QCOMPARE(hidden(outputs).join(u'|'), staging(live, 'a'));
        QCOMPARE(hidden(elsewhere.path()), QStringList{QStringLiteral("keep.txt")});
        for (const QString& name : kept)
            QFile::remove(templates + name);
        QDir(templates + staging(live, 'a')).removeRecursively();
    }

    // A switch that a killed save left pending is completed first at a start:
    // its copies are the new templates, not leftovers.
    void pendingSwitchCompletedBeforeClearing()
    {
        QVERIFY(killMarginSaveBetweenRenames());
        staleleftovers::clearAtStart();
        QCOMPARE(filesBelow(paths::templatesDir()), QStringList({"副本.doc", "正本.doc"}));
        QCOMPARE(shown(ReadTemplateMargins(TemplateKind::Duplicate)),
                 QStringList({"1.00", "1.00", "1.00", "1.00"}));
    }

    // The office dies while the duplicate's copy is open: both templates stay
    // as they were, and the original's finished copy is thrown away with the other.
    void officeKilledDuringSave()
    {
        bool interfered = false;
        const auto interfere = [&](TemplateKind kind, SaveStage stage) {
            if (kind != TemplateKind::Duplicate || stage != SaveStage::CopyOpened)
                return;
            const long pid = office::defaultEngineOfficePid();
            QVERIFY(pid > 0);
            interfered = ::kill(static_cast<pid_t>(pid), SIGKILL) == 0;
        };
        try {
            WriteTemplateMargins({"2", "2", "2", "2"}, {"1", "1", "1", "1"}, interfere);
            QFAIL("the save went through without the office");
        } catch (const morvanta::Error& error) {
            QVERIFY(!error.description().isEmpty());
        }
        QVERIFY(interfered);
        before_.verifyUnchanged();
        // The next use gets a new office.
        QCOMPARE(shown(ReadTemplateMargins(TemplateKind::Duplicate)),
                 QStringList({"3.00", "2.00", "2.50", "2.50"}));
    }

    // An office that dies between the two copies is replaced for the second;
    // while the save is under way a reader still gets the old template.
    void officeReplacedBetweenCopies()
    {
        bool interfered = false;
        const auto interfere = [&](TemplateKind kind, SaveStage stage) {
            if (kind != TemplateKind::Original || stage != SaveStage::CopyWritten)
                return;
            QCOMPARE(shown(ReadTemplateMargins(TemplateKind::Original)),
                     QStringList({"2.54", "1.27", "4.00", "1.00"}));
            interfered = ::kill(static_cast<pid_t>(office::defaultEngineOfficePid()), SIGKILL) == 0;
        };
        WriteTemplateMargins({"2", "2", "2", "2"}, {"1", "1", "1", "1"}, interfere);
        QVERIFY(interfered);
        QCOMPARE(shown(ReadTemplateMargins(TemplateKind::Original)),
                 QStringList({"2.00", "2.00", "2.00", "2.00"}));
        QCOMPARE(shown(ReadTemplateMargins(TemplateKind::Duplicate)),
                 QStringList({"1.00", "1.00", "1.00", "1.00"}));
    }
};

MORVANTA_TEST_MAIN(TemplateMarginsTest)
#include "tst_templatemargins.moc"
