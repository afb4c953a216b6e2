// An output folder that cannot take documents (full, read-only, gone) ends a
// generation run once and plainly, keeps the data file and leaves no
// document that is not whole; the office's own failure to write into a full
// folder is named the same way. The full and read-only folders are small
// file systems mounted by the test, skipped where mounting is not allowed.

#include "certificates.h"
#include "recordingview.h"
#include "testmain.h"

#include "common/error.h"
#include "generator/certificatefill.h"
#include "generator/generationrun.h"
#include "office/word.h"
#include "printing/runlist.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>

#include <unistd.h>

using namespace testfiles;
using paths::TemplateKind;

namespace {

// A tmpfs mounted for one case at a fresh folder in the build tree.
class SmallFileSystem
{
public:
    ~SmallFileSystem() { unmount(); }

    // `options` as for mount -o; false when mounting is not allowed here.
    bool mount(const QString& options)
    {
        static int count = 0;
        path = QStringLiteral(MORVANTA_BUILD_DIR "/test-mounts/%1-%2").arg(::getpid()).arg(++count);
        QDir().mkpath(path);
        QProcess mount;
        mount.start(QStringLiteral("mount"),
                    {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"), options,
                     QStringLiteral("morvanta-test"), path});
        mounted_ = mount.waitForFinished(30000) && mount.exitStatus() == QProcess::NormalExit &&
                   mount.exitCode() == 0;
        if (!mounted_)
            QDir().rmdir(path);
        return mounted_;
    }

    void unmount()
    {
        if (mounted_)
            QProcess::execute(QStringLiteral("umount"), {path});
        mounted_ = false;
        if (!path.isEmpty())
            QDir().rmdir(path);
    }

    // Everything in it, hidden entries and folders included.
    QStringList entries() const
    {
        QStringList found = QDir(path).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                                 QDir::NoDotAndDotDot);
        found.sort();
        return found;
    }

    QString path;

private:
    bool mounted_ = false;
};

QString outputFolder()
{
    return QDir::cleanPath(paths::outputDir());
}

QString keptMessage(int missing)
{
    return QStringLiteral("有 %1 份证书未能生成，下载数据文件已保留。").arg(missing);
}

// Fills `file` up to all but `left` bytes of its file system.
void fillUpTo(const QString& file, qint64 left, qint64 total)
{
    QFile filler(file);
    QVERIFY(filler.open(QIODevice::WriteOnly));
    QVERIFY(filler.write(QByteArray(total - left, 'x')) == total - left);
    QVERIFY(filler.flush());
}

} // namespace

class OutputFolderTest : public QObject
{
    Q_OBJECT

private:
    RecordingView view;
    CertificateRecord record;
    SmallFileSystem mounted;

    GenerationCallbacks realFills()
    {
        auto fill = [](TemplateKind kind) {
            return [kind](const CertificateRecord& values, RunView& messages, bool& matchCase) {
                return fillCertificate(office::defaultEngine(), messages, values, kind, matchCase);
            };
        };
        return {fill(TemplateKind::Original), fill(TemplateKind::Duplicate)};
    }

    // The output folder becomes a link to a tmpfs mounted with `options`.
    bool outputOnSmallFileSystem(const QString& options)
    {
        if (!mounted.mount(options))
            return false;
        QDir(outputFolder()).removeRecursively();
        return QFile::link(mounted.path, outputFolder());
    }

private slots:
    void initTestCase() { makeTemplates(); }

    void init()
    {
        view = RecordingView();
        emptyOutputFolder();
    }

    void cleanup()
    {
        QFile::remove(outputFolder()); // the link, never what it leads to
        mounted.unmount();
        emptyOutputFolder();
    }

    void folderThatCannotTakeDocumentsStopsTheRun_data()
    {
        QTest::addColumn<QString>("options"); // how the tmpfs is mounted; empty: no mount
        QTest::addColumn<QString>("sentence");
        QTest::newRow("full") << "size=256k"
                              << "保存失败：“%1”所在磁盘空间不足。";
        QTest::newRow("read-only") << "ro,size=256k"
                                   << "保存失败：“%1”所在的文件系统为只读。";
        QTest::newRow("gone") << ""
                              << "保存失败：文件夹“%1”不存在。";
    }

    // One message, nothing written, the run ended before any save was handed
    // to the office, and the data file kept.
    void folderThatCannotTakeDocumentsStopsTheRun()
    {
        QFETCH(QString, options);
        QFETCH(QString, sentence);
        makeDataFile(QList<QStringList>{dataRow("F1"), dataRow("F2"), dataRow("F3")});
        const QByteArray data = readBytes(paths::dataFile());
        if (options.isEmpty())
            QVERIFY(QDir(outputFolder()).removeRecursively());
        else if (!outputOnSmallFileSystem(options))
            QSKIP("mounting a tmpfs is not allowed here");

        QCOMPARE(runGeneration(office::defaultEngine(), view, record, realFills()),
                 GenerationEnd::Stopped);
        QCOMPARE(view.messages, QStringList{sentence.arg(outputFolder()) + QStringLiteral("\r\n") +
                                            keptMessage(3)});
        QCOMPARE(view.log.last(), QStringLiteral("show"));
        QCOMPARE(readBytes(paths::dataFile()), data);
        if (options.isEmpty()) {
            QVERIFY(!QFileInfo::exists(outputFolder()));
        } else {
            QStringList left = mounted.entries();
            left.removeOne(QStringLiteral(".morvanta-run")); // lists no document
            QCOMPARE(left, QStringList());
            QCOMPARE(printing::readRunList().documents, QList<printing::DocumentRef>());
        }
    }

    // The disk fills during the run: the run stops at the first save that
    // would not fit, every document that has its name is whole, and the run
    // list names what was made, in row order.
    void diskFillingUpDuringTheRun()
    {
        constexpr int rows = 40;
        QList<QStringList> values;
        for (int i = 0; i < rows; ++i)
            values << dataRow(QStringLiteral("K%1").arg(i));
        makeDataFile(values);
        // Room for the least free space a save asks for and a few documents.
        if (!outputOnSmallFileSystem(QStringLiteral("size=4400k")))
            QSKIP("mounting a tmpfs is not allowed here");
        const QByteArray data = readBytes(paths::dataFile());

        QCOMPARE(runGeneration(office::defaultEngine(), view, record, realFills()),
                 GenerationEnd::Stopped);
        QCOMPARE(readBytes(paths::dataFile()), data);

        const QList<printing::DocumentRef> listed = printing::readRunList().documents;
        QVERIFY(!listed.isEmpty());
        qInfo("%d documents made before the disk was full", static_cast<int>(listed.size()));
        for (int i = 0; i < listed.size(); ++i) {
            const printing::DocumentRef expected{QStringLiteral("K%1").arg(i / 2),
                                                 i % 2 ? TemplateKind::Duplicate
                                                       : TemplateKind::Original};
            QCOMPARE(listed[i], expected);
        }
        const int wholeRows = static_cast<int>(listed.size() / 2);
        QCOMPARE(
            view.messages,
            QStringList{QStringLiteral("保存失败：“%1”所在磁盘空间不足。").arg(outputFolder()) +
                        QStringLiteral("\r\n") + keptMessage(rows - wholeRows)});

        // A fill already running beside the one that stopped the run may
        // have finished its document; whatever has a name is whole.
        QStringList documents = mounted.entries();
        QVERIFY(documents.removeOne(QStringLiteral(".morvanta-run")));
        for (const printing::DocumentRef& d : listed)
            QVERIFY2(documents.contains(d.fileName()), qPrintable(d.fileName()));
        QVERIFY(documents.size() <= listed.size() + 2);
        for (const QString& name : documents) {
            QVERIFY2(name.endsWith(QStringLiteral(".doc")), qPrintable(name));
            const QString number = name.section(u'（', 0, 0);
            SavedDocument saved(mounted.path + u'/' + name);
            QVERIFY2(saved.contains(dataRow(number)[2]), qPrintable(name));
        }
    }

    // The office's own failure to write into a full folder names the folder
    // and its full disk, leaves nothing behind, and does not wait out the
    // call's deadline.
    void officeWritingIntoAFullFolder()
    {
        if (!mounted.mount(QStringLiteral("size=1m")))
            QSKIP("mounting a tmpfs is not allowed here");
        fillUpTo(mounted.path + QStringLiteral("/filler"), 4096, 1 << 20);
        auto app = office::defaultEngine().createWordApplication();
        office::word::Document& document =
            app->Documents().Open(paths::templateFile(TemplateKind::Original), true);
        const QString target = mounted.path + QStringLiteral("/满.doc");
        QElapsedTimer clock;
        clock.start();
        int number = 0;
        try {
            document.SaveAs(target);
        } catch (const morvanta::Error& e) {
            number = e.number();
            QCOMPARE(e.description(),
                     QStringLiteral("保存失败：“%1”所在磁盘空间不足。").arg(mounted.path));
        }
        QCOMPARE(number, morvanta::errc::OutputFolderFailed);
        QVERIFY2(clock.elapsed() < 15000, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(mounted.entries(), QStringList{QStringLiteral("filler")});
        document.Close();
        app->Quit();
    }
};

MORVANTA_TEST_MAIN(OutputFolderTest)
#include "tst_outputfolder.moc"
