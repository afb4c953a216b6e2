#include "office/officeprocess.h"

#include "office/error.h"
#include "office/files.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QUrl>

#include <array>
#include <atomic>
#include <condition_variable>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <mutex>
#include <sched.h>
#include <string>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace office::detail {

namespace {

// The offices of this program, for the signal handlers: a fixed table, since
// a handler may neither lock nor allocate.
std::array<std::atomic<pid_t>, 32> g_officePids{};

void rememberOffice(pid_t pid)
{
    for (std::atomic<pid_t>& slot : g_officePids) {
        pid_t empty = 0;
        if (slot.compare_exchange_strong(empty, pid))
            return;
    }
}

void forgetOffice(pid_t pid)
{
    for (std::atomic<pid_t>& slot : g_officePids) {
        pid_t expected = pid;
        if (slot.compare_exchange_strong(expected, 0))
            return;
    }
}

// Keeps the new profile quiet and in a Chinese locale: numbers and dates are
// displayed as on a Simplified Chinese desktop; no lock files beside the
// documents, no backups, no recovery data.
const char kProfileSettings[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<oor:items xmlns:oor="http://openoffice.org/2001/registry" xmlns:xs="http://www.w3.org/2001/XMLSchema" xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance">
<item oor:path="/org.openoffice.Setup/L10N"><prop oor:name="ooSetupSystemLocale" oor:op="fuse"><value>zh-CN</value></prop></item>
<item oor:path="/org.openoffice.Office.Common/Misc"><prop oor:name="UseDocumentOOoLockFile" oor:op="fuse"><value>false</value></prop></item>
<item oor:path="/org.openoffice.Office.Common/Misc"><prop oor:name="UseDocumentSystemFileLocking" oor:op="fuse"><value>false</value></prop></item>
<item oor:path="/org.openoffice.Office.Common/Misc"><prop oor:name="UseLocking" oor:op="fuse"><value>false</value></prop></item>
<item oor:path="/org.openoffice.Office.Common/Misc"><prop oor:name="FirstRun" oor:op="fuse"><value>false</value></prop></item>
<item oor:path="/org.openoffice.Office.Common/Misc"><prop oor:name="ShowTipOfTheDay" oor:op="fuse"><value>false</value></prop></item>
<item oor:path="/org.openoffice.Office.Common/Save/Document"><prop oor:name="CreateBackup" oor:op="fuse"><value>false</value></prop></item>
<item oor:path="/org.openoffice.Office.Recovery/AutoSave"><prop oor:name="Enabled" oor:op="fuse"><value>false</value></prop></item>
<item oor:path="/org.openoffice.Office.Recovery/RecoveryInfo"><prop oor:name="Enabled" oor:op="fuse"><value>false</value></prop></item>
)";

// A profile last used by another version makes the office run its graphics
// self-test at start-up (seconds of CPU). Stating that this profile was last
// used by the installed version spares it.
const char kLastVersionSetting[] =
    R"(<item oor:path="/org.openoffice.Setup/Product"><prop oor:name="ooSetupLastVersion" oor:op="fuse"><value>%1</value></prop></item>
)";

// The installed version as major.minor, as the office compares it with the
// profile's: its configuration's ooSetupVersion, else the product name in
// bootstraprc ("LibreOffice 7.4"). Empty when neither says.
QString installedVersion(const QString& programDir)
{
    static const QRegularExpression majorMinor(QStringLiteral("^\\d+\\.\\d+$"));
    QFile xcd(programDir + QStringLiteral("/../share/registry/main.xcd"));
    if (xcd.open(QIODevice::ReadOnly)) {
        const QByteArray text = xcd.readAll();
        const QByteArray prop = "<prop oor:name=\"ooSetupVersion\">";
        const qsizetype at = text.indexOf(prop);
        const qsizetype open = at < 0 ? -1 : text.indexOf("<value>", at + prop.size());
        const qsizetype close = open < 0 ? -1 : text.indexOf("</value>", open);
        if (close > open && close - open < 40) {
            const QString v = QString::fromLatin1(text.mid(open + 7, close - open - 7)).trimmed();
            if (majorMinor.match(v).hasMatch())
                return v;
        }
    }
    QFile bootstraprc(programDir + QStringLiteral("/bootstraprc"));
    if (bootstraprc.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : bootstraprc.readAll().split('\n')) {
            if (!line.startsWith("ProductKey="))
                continue;
            const QString v = QString::fromUtf8(line.mid(11)).trimmed().section(u' ', -1);
            if (majorMinor.match(v).hasMatch())
                return v;
        }
    }
    return {};
}

// Started before the office, it reads the office's pid (one line per start)
// until EOF on its stdin (the program has ended or let go of this office),
// then kills the last office and removes what it leaves: the paths listed
// in <folder>/leftovers (socket files, staging folders; NUL-separated, since
// a path may hold a newline) and the folder. rm does not follow a link given
// to it nor any inside a tree.
const char kGuardianScript[] =
    "while read -r p; do o=$p; done; [ -n \"$o\" ] && kill -9 \"$o\" 2>/dev/null; sleep 0.2; "
    "if [ -f \"$1/leftovers\" ]; then xargs -0 -r rm -rf -- < \"$1/leftovers\"; fi; "
    "rm -rf -- \"$1\"";

QString profileUrlOf(const QString& tempDir)
{
    return QUrl::fromLocalFile(tempDir + QStringLiteral("/profile")).toString();
}

std::vector<std::string> officeArguments(const QString& binary, const QString& tempDir,
                                         const QString& pipeName)
{
    const QString profileUrl = profileUrlOf(tempDir);
    // argv[0] must be the full path: the office finds its installation from it.
    return {
        binary.toStdString(),
        "--headless",
        "--invisible",
        "--nologo",
        "--norestore",
        "--nodefault",
        "--nolockcheck",
        "--nofirststartwizard",
        ("-env:UserInstallation=" + profileUrl).toStdString(),
        ("--accept=pipe,name=" + pipeName + ";urp;StarOffice.ComponentContext").toStdString(),
    };
}

std::vector<char*> pointers(std::vector<std::string>& strings)
{
    std::vector<char*> result;
    for (auto& s : strings)
        result.push_back(s.data());
    result.push_back(nullptr);
    return result;
}

// The system's fonts, less the Japanese, Korean and traditional Chinese faces
// of the Noto CJK collections: each repeats the coverage of the simplified
// Chinese face, and the office reads the character map of every face it
// sees while it starts (a third of its start-up).
const char kFontSettings[] = R"(<?xml version="1.0"?>
<!DOCTYPE fontconfig SYSTEM "urn:fontconfig:fonts.dtd">
<fontconfig>
<include ignore_missing="no">/etc/fonts/fonts.conf</include>
<selectfont><rejectfont>
%1</rejectfont></selectfont>
</fontconfig>
)";

QByteArray fontSettings()
{
    QString rejected;
    for (const char* kind : {"Sans", "Serif", "Sans Mono"})
        for (const char* region : {"JP", "KR", "TC", "HK"})
            rejected += QStringLiteral("<pattern><patelt name=\"family\"><string>Noto %1 CJK "
                                       "%2</string></patelt></pattern>\n")
                            .arg(QLatin1String(kind), QLatin1String(region));
    return QString::fromLatin1(kFontSettings).arg(rejected).toUtf8();
}

// Every variable of ours, with TMPDIR pointing into the private folder so
// that the office's own temporary files go where we clean up. A font
// configuration of the caller's own is kept.
std::vector<std::string> officeEnvironment(const QString& tempDir, const QString& fontConfig)
{
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string entry(*e);
        if (entry.rfind("TMPDIR=", 0) == 0 || entry.rfind("SAL_USE_VCLPLUGIN=", 0) == 0)
            continue;
        env.push_back(entry);
    }
    env.push_back(("TMPDIR=" + tempDir + QStringLiteral("/tmp")).toStdString());
    if (!fontConfig.isEmpty() && !qEnvironmentVariableIsSet("FONTCONFIG_FILE") &&
        !qEnvironmentVariableIsSet("FONTCONFIG_PATH"))
        env.push_back(("FONTCONFIG_FILE=" + fontConfig).toStdString());
    env.push_back("SAL_USE_VCLPLUGIN=svp");
    return env;
}

void closeInheritedDescriptors()
{
    ::close_range(3, ~0U, 0);
}

// The parent-death signal follows the thread that forked, not the program:
// an office forked on a worker thread would be killed when that thread ends.
// Offices are therefore forked on one thread that lasts as long as the program.
class LastingThread
{
public:
    LastingThread()
    {
        std::thread([this] { serve(); }).detach(); // ends with the program
    }

    pid_t fork(const std::function<void()>& child)
    {
        std::lock_guard caller(callMutex_);
        std::unique_lock lock(mutex_);
        child_ = &child;
        done_ = false;
        wake_.notify_all();
        wake_.wait(lock, [this] { return done_; });
        return result_;
    }

private:
    void serve()
    {
        std::unique_lock lock(mutex_);
        for (;;) {
            wake_.wait(lock, [this] { return child_ != nullptr; });
            const pid_t pid = ::fork();
            if (pid == 0)
                (*child_)(); // never returns
            result_ = pid;
            child_ = nullptr;
            done_ = true;
            wake_.notify_all();
        }
    }

    std::mutex callMutex_; // one fork at a time
    std::mutex mutex_;
    std::condition_variable wake_;
    const std::function<void()>* child_ = nullptr;
    bool done_ = false;
    pid_t result_ = -1;
};

// Forks; the child runs `child` (which must not return), the parent gets the
// child's id or -1.
pid_t forkOnLastingThread(const std::function<void()>& child)
{
    static LastingThread* thread = new LastingThread; // never destroyed: see above
    return thread->fork(child);
}

} // namespace

QString instanceSocketFile(const QString& profileUrl)
{
    // Named after the MD5 of the profile URL's UTF-16 code units, each byte
    // in hex without a leading zero.
    const QByteArray digest =
        QCryptographicHash::hash(QByteArrayView(reinterpret_cast<const char*>(profileUrl.utf16()),
                                                profileUrl.size() * qsizetype(sizeof(char16_t))),
                                 QCryptographicHash::Md5);
    QString hex;
    for (const char byte : digest)
        hex += QString::number(static_cast<unsigned char>(byte), 16);
    return QStringLiteral("/tmp/OSL_PIPE_%1_SingleOfficeIPC_").arg(::getuid()) + hex;
}

QStringList socketFilesOf(pid_t pid)
{
    // The office listens on socket files under /tmp whatever TMPDIR says; the
    // ones a process holds open are found through /proc.
    QStringList inodes;
    static const QRegularExpression socket(QStringLiteral("^socket:\\[(\\d+)\\]$"));
    const QDir fdDir(QStringLiteral("/proc/%1/fd").arg(pid));
    for (const QString& fd :
         fdDir.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
        char link[64] = {};
        const QByteArray path = QFile::encodeName(fdDir.filePath(fd));
        if (::readlink(path.constData(), link, sizeof link - 1) <= 0)
            continue;
        const auto m = socket.match(QString::fromLatin1(link));
        if (m.hasMatch())
            inodes << m.captured(1);
    }
    QStringList files;
    QFile unix(QStringLiteral("/proc/net/unix"));
    if (inodes.isEmpty() || !unix.open(QIODevice::ReadOnly))
        return files;
    for (const QByteArray& line : unix.readAll().split('\n')) {
        const QList<QByteArray> cols = line.simplified().split(' ');
        if (cols.size() >= 8 && inodes.contains(QString::fromLatin1(cols[6])) &&
            cols[7].startsWith('/'))
            files << QFile::decodeName(cols[7]);
    }
    return files;
}

void killOfficesFromSignalHandler()
{
    for (const std::atomic<pid_t>& slot : g_officePids) {
        const pid_t pid = slot.load();
        if (pid > 0)
            ::kill(pid, SIGKILL);
    }
}

OfficeProcess::OfficeProcess(QString programDir, int cpu)
    : programDir_(std::move(programDir)), cpu_(cpu)
{
}

OfficeProcess::~OfficeProcess()
{
    kill();
}

void OfficeProcess::start()
{
    const QString binary = programDir_ + QStringLiteral("/soffice.bin");
    if (!QFileInfo(binary).isExecutable())
        throw Error(errc::OfficeNotInstalled,
                    QStringLiteral("未找到 LibreOffice（%1 不存在或不可执行），请安装 "
                                   "libreoffice-writer 和 libreoffice-calc。")
                        .arg(binary));

    // The bridge writes to the office over a socket: should the office die
    // meanwhile, the write must fail, and the call with it, instead of
    // SIGPIPE ending the whole program.
    ::signal(SIGPIPE, SIG_IGN);

    QByteArray pattern =
        QFile::encodeName(QDir::tempPath() + QStringLiteral("/morvanta-office-XXXXXX"));
    if (!::mkdtemp(pattern.data()))
        throw Error(errc::PermissionDenied,
                    QStringLiteral("无法在 %1 中建立办公组件的临时文件夹。").arg(QDir::tempPath()));
    tempDir_ = QFile::decodeName(pattern);
    journal(tempDir_);
    QDir().mkpath(tempDir_ + QStringLiteral("/profile/user"));
    QDir().mkpath(tempDir_ + QStringLiteral("/tmp"));
    QFile settings(tempDir_ + QStringLiteral("/profile/user/registrymodifications.xcu"));
    if (settings.open(QIODevice::WriteOnly)) {
        settings.write(kProfileSettings);
        if (const QString version = installedVersion(programDir_); !version.isEmpty())
            settings.write(QString::fromLatin1(kLastVersionSetting).arg(version).toUtf8());
        settings.write("</oor:items>\n");
    }
    settings.close();
    markExtensionsSynchronized();
    // Without its own file the office sees the system's configuration.
    fontConfig_.clear();
    if (QFileInfo::exists(QStringLiteral("/etc/fonts/fonts.conf"))) {
        QFile fonts(tempDir_ + QStringLiteral("/fonts.conf"));
        if (fonts.open(QIODevice::WriteOnly) && fonts.write(fontSettings()) > 0 && fonts.flush())
            fontConfig_ = fonts.fileName();
    }

    pipeName_ = QStringLiteral("morvanta-%1-%2")
                    .arg(::getpid())
                    .arg(QRandomGenerator::global()->generate64(), 0, 16);
    // Both socket files are known before the office makes them: the one it
    // makes first, for its single-instance check, appears while it starts,
    // long before it accepts a connection, and a kill in between must not
    // leave it behind.
    addLeftover(QStringLiteral("/tmp/OSL_PIPE_%1_").arg(::getuid()) + pipeName_);
    addLeftover(instanceSocketFile(profileUrlOf(tempDir_)));
    startGuardian(); // first: a kill right after the launch is cleaned up too
    launch();
}

void OfficeProcess::markExtensionsSynchronized()
{
    // A new profile makes the office synchronise its extensions and exit with
    // 81 to be started again, which costs a second start. Stating that the
    // profile belongs to this build spares it; should the office still ask,
    // start-up handles the 81.
    QFile versionrc(programDir_ + QStringLiteral("/versionrc"));
    if (!versionrc.open(QIODevice::ReadOnly))
        return;
    for (const QByteArray& line : versionrc.readAll().split('\n')) {
        if (!line.startsWith("buildid="))
            continue;
        QDir().mkpath(tempDir_ + QStringLiteral("/profile/user/extensions"));
        QFile buildid(tempDir_ + QStringLiteral("/profile/user/extensions/buildid"));
        if (buildid.open(QIODevice::WriteOnly))
            buildid.write(line.mid(8).trimmed());
        return;
    }
}

void OfficeProcess::restart()
{
    launch();
}

void OfficeProcess::launch()
{
    const QString binaryPath = programDir_ + QStringLiteral("/soffice.bin");
    const std::string binary = binaryPath.toStdString();
    std::vector<std::string> args = officeArguments(binaryPath, tempDir_, pipeName_);
    std::vector<std::string> env = officeEnvironment(tempDir_, fontConfig_);
    std::vector<char*> argv = pointers(args);
    std::vector<char*> envp = pointers(env);
    const int devNull = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    const pid_t parent = ::getpid();
    cpu_set_t cpus;
    CPU_ZERO(&cpus);
    if (cpu_ >= 0)
        CPU_SET(cpu_, &cpus);

    const pid_t child = forkOnLastingThread([&] {
        // Only async-signal-safe calls from here on. The office dies with us,
        // even when we are killed with SIGKILL.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent)
            ::_exit(127);
        ::setpgid(0, 0); // a Ctrl+C in the terminal reaches us, not the office directly
        if (cpu_ >= 0)   // every thread of the office inherits it
            ::sched_setaffinity(0, sizeof cpus, &cpus);
        ::dup2(devNull, 0);
        ::dup2(devNull, 1);
        ::dup2(devNull, 2);
        closeInheritedDescriptors();
        ::execve(binary.c_str(), argv.data(), envp.data());
        ::_exit(127);
    });
    if (child < 0) {
        ::close(devNull);
        throw Error(errc::OfficeNotInstalled,
                    QStringLiteral("无法启动 LibreOffice：系统不允许创建新进程。"));
    }
    ::close(devNull);
    pid_ = child;
    exitCode_ = -1;
    exitSignal_ = 0;
    rememberOffice(child);
    if (lifelineFd_ >= 0) {
        const std::string line = std::to_string(child) + '\n';
        // A socket, not a pipe: a guardian gone must not end us with SIGPIPE.
        [[maybe_unused]] const auto sent =
            ::send(lifelineFd_, line.data(), line.size(), MSG_NOSIGNAL);
    }
}

void OfficeProcess::startGuardian()
{
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0)
        return;
    const std::string dir = tempDir_.toStdString();
    const int devNull = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    const pid_t child = ::fork();
    if (child == 0) {
        ::setpgid(0, 0); // outlives a terminal's Ctrl+C long enough to clean up
        ::dup2(fds[0], 0);
        ::dup2(devNull, 1);
        ::dup2(devNull, 2);
        closeInheritedDescriptors();
        ::execl("/bin/sh", "sh", "-c", kGuardianScript, "sh", dir.c_str(),
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(devNull);
    ::close(fds[0]);
    if (child < 0) {
        ::close(fds[1]);
        return;
    }
    guardianPid_ = child;
    lifelineFd_ = fds[1];
}

void OfficeProcess::stopGuardian()
{
    if (guardianPid_ > 0) {
        ::kill(guardianPid_, SIGKILL);
        ::waitpid(guardianPid_, nullptr, 0);
        guardianPid_ = 0;
    }
    if (lifelineFd_ >= 0) {
        ::close(lifelineFd_);
        lifelineFd_ = -1;
    }
}

bool OfficeProcess::isRunning()
{
    if (pid_ <= 0)
        return false;
    int status = 0;
    const pid_t r = ::waitpid(pid_, &status, WNOHANG);
    if (r == 0)
        return true;
    exitCode_ = (r == pid_ && WIFEXITED(status)) ? WEXITSTATUS(status) : -1;
    exitSignal_ = (r == pid_ && WIFSIGNALED(status)) ? WTERMSIG(status) : 0;
    forgetOffice(pid_);
    pid_ = 0;
    return false;
}

bool OfficeProcess::waitForEnd(int limitMs)
{
    // Polled: the process is reaped by isRunning() alone.
    for (int waited = 0; isRunning(); waited += 10) {
        if (waited >= limitMs)
            return false;
        ::usleep(10000);
    }
    return true;
}

QString OfficeProcess::endDescription() const
{
    if (exitSignal_ == 0)
        return QStringLiteral("退出码 %1").arg(exitCode_);
    const char* name = ::sigabbrev_np(exitSignal_);
    return name ? QStringLiteral("被信号 %1（SIG%2）结束")
                      .arg(exitSignal_)
                      .arg(QLatin1StringView(name))
                : QStringLiteral("被信号 %1 结束").arg(exitSignal_);
}

void OfficeProcess::recordSocketFiles()
{
    if (pid_ > 0)
        for (const QString& file : socketFilesOf(pid_))
            addLeftover(file);
}

void OfficeProcess::addLeftover(const QString& path)
{
    if (tempDir_.isEmpty() || leftovers_.contains(path))
        return;
    leftovers_ << path;
    writeLeftovers();
    journal(path);
}

void OfficeProcess::journal(const QString& path)
{
    // Where MORVANTA_LEFTOVER_JOURNAL names a file, every path that must not
    // outlive the program is appended to it (NUL-separated), so that a test
    // run can check afterwards that none of them is left.
    static const QByteArray file = qgetenv("MORVANTA_LEFTOVER_JOURNAL");
    if (file.isEmpty())
        return;
    const int fd = ::open(file.constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    const QByteArray entry = QFile::encodeName(path) + '\0';
    [[maybe_unused]] const auto written = ::write(fd, entry.constData(), entry.size());
    ::close(fd);
}

void OfficeProcess::removeLeftover(const QString& path)
{
    if (leftovers_.removeAll(path) > 0)
        writeLeftovers();
}

void OfficeProcess::writeLeftovers()
{
    // Replaced whole by a rename, so the guardian never reads half a list.
    QByteArray text;
    for (const QString& path : std::as_const(leftovers_))
        text += QFile::encodeName(path) + '\0';
    const QString list = tempDir_ + QStringLiteral("/leftovers");
    QFile next(list + QStringLiteral(".new"));
    if (next.open(QIODevice::WriteOnly | QIODevice::Truncate) && next.write(text) == text.size()) {
        next.close();
        ::rename(QFile::encodeName(next.fileName()).constData(),
                 QFile::encodeName(list).constData());
    }
}

void OfficeProcess::kill()
{
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
        forgetOffice(pid_);
        pid_ = 0;
    }
    stopGuardian();
    for (const QString& path : std::as_const(leftovers_))
        removeTree(path);
    leftovers_.clear();
    removeTempDir();
}

void OfficeProcess::removeTempDir()
{
    if (!tempDir_.isEmpty()) {
        removeTree(tempDir_);
        tempDir_.clear();
    }
}

} // namespace office::detail
