// Files from elsewhere through the real office: nothing they link to is
// fetched, a locked file is named as such, a file that needs more memory than
// an office may take is refused, and the office stays inside its own folder.

#include "testfiles.h"
#include "testmain.h"
#include "untrustedfiles.h"

#include "common/error.h"
#include "office/engine.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace office;
using namespace morvanta;
using testfiles::Cell;

namespace {

// A TCP listener on 127.0.0.1 that only counts who connects.
class Listener
{
public:
    Listener()
    {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        if (fd_ >= 0 && ::bind(fd_, reinterpret_cast<sockaddr*>(&address), size) == 0 &&
            ::listen(fd_, 16) == 0 &&
            ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &size) == 0)
            port_ = ntohs(address.sin_port);
    }
    ~Listener() { ::close(fd_); }
    int port() const { return port_; }
    // Connections accepted so far, waiting up to `waitMs` for one.
    int connections(int waitMs)
    {
        pollfd p{fd_, POLLIN, 0};
        while (::poll(&p, 1, waitMs) > 0) {
            const int c = ::accept(fd_, nullptr, nullptr);
            if (c < 0)
                break;
            ::close(c);
            ++accepted_;
            waitMs = 0;
        }
        return accepted_;
    }

private:
    int fd_ = -1;
    int port_ = 0;
    int accepted_ = 0;
};

bool hasLatinWord(const QString& text)
{
    static const QRegularExpression word(QStringLiteral("[A-Za-z]{3,}"));
    return word.match(text).hasMatch();
}

} // namespace

class UntrustedFilesTest : public QObject
{
    Q_OBJECT

    QTemporaryDir dir_{QDir::homePath() + QStringLiteral("/untrusted-XXXXXX")};
    QString path(const QString& name) const { return dir_.filePath(name); }

    // The failure's description, or the first cell's text when it reads.
    QString readFirstCell(const QString& file)
    {
        auto app = defaultEngine().createSpreadsheetApplication();
        try {
            const QString text =
                app->GetObject(file).Worksheets(QStringLiteral("Sheet1")).CellText(1, 1);
            app->Quit();
            return text;
        } catch (const Error& e) {
            return e.description();
        }
    }

private Q_SLOTS:
    // Linked images, styles and sections of the data file and of a template
    // reach nobody; the files still read and the document is still written.
    void nothingLinkedIsFetched()
    {
        Listener listener;
        QVERIFY(listener.port() > 0);
        const QString base = QStringLiteral("http://127.0.0.1:%1").arg(listener.port());
        const QString fods = path(QStringLiteral("links.fods"));
        const QString html = path(QStringLiteral("links.xls"));
        const QString fodt = path(QStringLiteral("links.fodt"));
        testfiles::writeText(fods, QString::fromUtf8(kSpreadsheetLinks).arg(base));
        testfiles::writeText(html, QString::fromUtf8(kHtmlLinks).arg(base));
        testfiles::writeText(fodt, QString::fromUtf8(kTemplateLinks).arg(base));

        QCOMPARE(readFirstCell(fods), QStringLiteral("证书号"));
        QCOMPARE(readFirstCell(html), QStringLiteral("证书号"));
        {
            auto app = defaultEngine().createWordApplication();
            word::Document& doc = app->Documents().Open(fodt, true);
            QCOMPARE(doc.Range(0, 4)->Text(), QStringLiteral("证书号码"));
            doc.SaveAs(path(QStringLiteral("filled.fodt")));
            app->Quit();
        }
        QVERIFY(QFileInfo(path(QStringLiteral("filled.fodt"))).size() > 0);
        QCOMPARE(listener.connections(500), 0);
    }

    // Every format that can lock a file against opening is named as locked,
    // in Chinese words only; a locked template too.
    void lockedFilesNamedAsSuch()
    {
        const QString plain = path(QStringLiteral("plain.xls"));
        testfiles::makeWorkbook(plain, {{Cell::str(QStringLiteral("证书号"))}});
        const QList<QPair<QString, QString>> formats{
            {QStringLiteral("locked.ods"), QStringLiteral("calc8")},
            {QStringLiteral("locked.xlsx"), QStringLiteral("Calc MS Excel 2007 XML")},
            {QStringLiteral("locked.xls"), QStringLiteral("MS Excel 97")}};
        for (const auto& [name, filter] : formats) {
            const QString file = path(name);
            convertFile(plain, file, filter, QStringLiteral("机密123"));
            const QString read = readFirstCell(file);
            // This office writes Office Open XML without the lock it is asked for.
            if (name.endsWith(QLatin1String(".xlsx")) && read == u"证书号") {
                qWarning("the office wrote %s unlocked", qPrintable(name));
                continue;
            }
            QCOMPARE(read, QStringLiteral(
                               "数据文件“%1”设有打开密码，无法读取；请另存为没有密码的文件后重试。")
                               .arg(file));
        }
        const QString document = path(QStringLiteral("plain.doc"));
        const QString locked = path(QStringLiteral("locked.doc"));
        testfiles::makeWordDocument(document, {QStringLiteral("证书号码")});
        convertFile(document, locked, QStringLiteral("MS Word 97"), QStringLiteral("机密123"));
        auto app = defaultEngine().createWordApplication();
        try {
            app->Documents().Open(locked, true);
            QFAIL("a locked document opened");
        } catch (const Error& e) {
            QVERIFY2(e.description().contains(QStringLiteral("设有打开密码")),
                     qPrintable(e.message()));
            QVERIFY2(!hasLatinWord(QString(e.description()).remove(locked)),
                     qPrintable(e.message()));
        }
    }

    // An office may hold only so much: a data file that needs more is
    // refused in plain words, the office that tried is gone with its folder,
    // and the next file reads on a new one.
    void fileBeyondTheMemoryLimitIsRefused()
    {
        EngineOptions options;
        options.callDeadline = std::chrono::seconds(60);
        options.processes = 1;
        options.officeMemoryLimit = qint64(256) << 20;
        setDefaultEngineOptions(options);
        shutdownDefaultEngine();
        const QString bomb = path(QStringLiteral("bomb.fods"));
        testfiles::writeText(bomb, QString::fromUtf8(kMemoryBomb));
        const QString plain = path(QStringLiteral("small.xls"));
        testfiles::makeWorkbook(plain, {{Cell::str(QStringLiteral("证书号"))}});
        QCOMPARE(readFirstCell(plain), QStringLiteral("证书号")); // the office runs within it
        const long office = defaultEngineOfficePid();
        QVERIFY(office > 0);
        const QString folders = QDir::tempPath();
        const auto officeFolders = [&] {
            return QDir(folders).entryList({QStringLiteral("morvanta-office-*")}, QDir::Dirs);
        };
        const QStringList before = officeFolders();

        QCOMPARE(readFirstCell(bomb),
                 QStringLiteral("无法打开“%1”：数据文件过大或已损坏，无法读取。").arg(bomb));
        QTRY_VERIFY(!QFileInfo::exists(QStringLiteral("/proc/%1/status").arg(office)));
        QCOMPARE(readFirstCell(plain), QStringLiteral("证书号"));
        QVERIFY(officeFolders().size() <= before.size());

        setDefaultEngineOptions(EngineOptions{});
        shutdownDefaultEngine();
    }

    // The office writes its configuration and caches into its own folder:
    // the home it was started from stays as it was.
    void officeKeepsOutOfTheHome()
    {
        shutdownDefaultEngine();
        const auto homeEntries = [] {
            QStringList entries;
            QDirIterator it(QDir::homePath(),
                            QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                            QDirIterator::Subdirectories);
            while (it.hasNext())
                entries << it.next();
            entries.sort();
            return entries;
        };
        const QString file = path(QStringLiteral("home.xls"));
        const QStringList before = homeEntries() << file;
        testfiles::makeWorkbook(file, {{Cell::str(QStringLiteral("证书号"))}});
        QCOMPARE(readFirstCell(file), QStringLiteral("证书号"));
        shutdownDefaultEngine();
        QStringList expected = before;
        expected.sort();
        QCOMPARE(homeEntries(), expected);
    }
};

MORVANTA_TEST_MAIN(UntrustedFilesTest)
#include "tst_untrusted.moc"
