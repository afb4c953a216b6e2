#include "office/officeprocess.h"

#include "common/error.h"
#include "common/files.h"
#include "office/officeprofile.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <mutex>
#include <sched.h>
#include <string>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace office::detail {

namespace {

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

// The variables that say where a program keeps its files; the office gets
// its own, inside the private folder.
constexpr const char* kOwnVariables[] = {
    "TMPDIR=",          "SAL_USE_VCLPLUGIN=", "HOME=",
    "XDG_CONFIG_HOME=", "XDG_CACHE_HOME=",    "XDG_DATA_HOME=",
    "XDG_STATE_HOME=",  "XDG_RUNTIME_DIR=",   "GSETTINGS_BACKEND=",
    "DCONF_PROFILE=",
};

// Every variable of ours but those above. TMPDIR points into the private
// folder so that the office's own temporary files go where we clean up; so
// do its home, configuration, cache and runtime folders, and the settings
// that would go through dconf stay in memory: the office never writes into
// the operator's home. A font configuration of the caller's own is kept.
std::vector<std::string> officeEnvironment(const QString& tempDir, const QString& fontConfig)
{
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string entry(*e);
        bool own = false;
        for (const char* name : kOwnVariables)
            own = own || entry.rfind(name, 0) == 0;
        if (!own)
            env.push_back(entry);
    }
    const QString home = tempDir + QStringLiteral("/home");
    env.push_back(("TMPDIR=" + tempDir + QStringLiteral("/tmp")).toStdString());
    env.push_back(("HOME=" + home).toStdString());
    env.push_back(("XDG_CONFIG_HOME=" + home + QStringLiteral("/.config")).toStdString());
    env.push_back(("XDG_CACHE_HOME=" + home + QStringLiteral("/.cache")).toStdString());
    env.push_back(("XDG_DATA_HOME=" + home + QStringLiteral("/.local/share")).toStdString());
    env.push_back(("XDG_STATE_HOME=" + home + QStringLiteral("/.local/state")).toStdString());
    env.push_back(("XDG_RUNTIME_DIR=" + tempDir + QStringLiteral("/runtime")).toStdString());
    env.push_back("GSETTINGS_BACKEND=memory");
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

qint64 defaultMemoryLimit()
{
    const qint64 floor = qint64(2) << 30;
    const long pages = ::sysconf(_SC_PHYS_PAGES);
    const long pageSize = ::sysconf(_SC_PAGESIZE);
    if (pages <= 0 || pageSize <= 0)
        return floor;
    return std::max(floor, qint64(pages) * pageSize / 4);
}

qint64 peakResidentOf(pid_t pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (pid <= 0 || !status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:")) // "VmHWM:   123456 kB"
            return line.mid(6).trimmed().split(' ').value(0).toLongLong() * 1024;
    return 0;
}

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

OfficeProcess::OfficeProcess(QString programDir, int cpu, qint64 memoryLimit)
    : programDir_(std::move(programDir)), cpu_(cpu),
      memoryLimit_(memoryLimit > 0 ? memoryLimit : defaultMemoryLimit())
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
        throw morvanta::Error(morvanta::errc::OfficeNotInstalled,
                              QStringLiteral("未找到 LibreOffice（%1 不存在或不可执行），请安装 "
                                             "libreoffice-writer 和 libreoffice-calc。")
                                  .arg(binary));

    // The bridge writes to the office over a socket: should the office die
    // meanwhile, the write must fail, and the call with it, instead of
    // SIGPIPE ending the whole program.
    ::signal(SIGPIPE, SIG_IGN);

    makeGuardedTempDir();
    // Both socket files are known before the office makes them: the one it
    // makes first, for its single-instance check, appears while it starts,
    // long before it accepts a connection, and a kill in between must not
    // leave it behind.
    pipeName_ = QStringLiteral("morvanta-%1-%2")
                    .arg(::getpid())
                    .arg(QRandomGenerator::global()->generate64(), 0, 16);
    addLeftover(QStringLiteral("/tmp/OSL_PIPE_%1_").arg(::getuid()) + pipeName_);
    addLeftover(instanceSocketFile(profileUrlOf(tempDir_)));
    // Its own scratch, home and runtime folders (see officeEnvironment).
    for (const char* folder : {"/tmp", "/home", "/runtime"})
        QDir().mkpath(tempDir_ + QLatin1String(folder));
    writeProfile(tempDir_, programDir_);
    // Without its own file the office sees the system's configuration.
    fontConfig_ = writeFontConfig(tempDir_);

    launch();
}

void OfficeProcess::makeGuardedTempDir()
{
    // The name is chosen, and handed to a guardian started first, before the
    // folder exists: from the mkdir on, a kill at any moment finds the guardian
    // waiting to remove it.
    static const char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    for (int attempt = 0;; ++attempt) {
        QString name = QDir::tempPath() + QStringLiteral("/morvanta-office-");
        for (int i = 0; i < 12; ++i)
            name += QLatin1Char(kLetters[QRandomGenerator::global()->bounded(62)]);
        guardian_.setFolder(name);
        guardian_.start();
        if (::mkdir(QFile::encodeName(name).constData(), 0700) == 0) {
            tempDir_ = name;
            OfficeGuardian::journal(tempDir_);
            return;
        }
        const int err = errno;
        // Someone else's folder, or none: the guardian must not remove it.
        guardian_.stop();
        guardian_.setFolder(QString());
        if (err != EEXIST || attempt == 8)
            throw morvanta::Error(
                morvanta::errc::PermissionDenied,
                QStringLiteral("无法在 %1 中建立办公组件的临时文件夹。").arg(QDir::tempPath()));
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
    // The office's data (heap and private writable mappings, not its code nor
    // the address space it merely reserves) stays below the limit: a file
    // that would need more fails to load or ends that office, never the
    // machine.
    const rlimit dataLimit{static_cast<rlim_t>(memoryLimit_), static_cast<rlim_t>(memoryLimit_)};

    const pid_t child = forkOnLastingThread([&] {
        // Only async-signal-safe calls from here on. The office dies with us,
        // even when we are killed with SIGKILL.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent)
            ::_exit(127);
        ::setpgid(0, 0); // a Ctrl+C in the terminal reaches us, not the office directly
        if (cpu_ >= 0)   // every thread of the office inherits it
            ::sched_setaffinity(0, sizeof cpus, &cpus);
        ::setrlimit(RLIMIT_DATA, &dataLimit);
        ::dup2(devNull, 0);
        ::dup2(devNull, 1);
        ::dup2(devNull, 2);
        closeInheritedDescriptors();
        ::execve(binary.c_str(), argv.data(), envp.data());
        ::_exit(127);
    });
    if (child < 0) {
        ::close(devNull);
        throw morvanta::Error(morvanta::errc::OfficeNotInstalled,
                              QStringLiteral("无法启动 LibreOffice：系统不允许创建新进程。"));
    }
    ::close(devNull);
    pid_ = child;
    exitCode_ = -1;
    exitSignal_ = 0;
    rememberOffice(child);
    guardian_.watch(child);
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
    guardian_.watch(0); // reaped: its pid may be another process's from now on
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
    guardian_.addLeftover(path);
}

void OfficeProcess::removeLeftover(const QString& path)
{
    guardian_.removeLeftover(path);
}

void OfficeProcess::kill()
{
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
        forgetOffice(pid_);
        guardian_.watch(0);
        pid_ = 0;
    }
    // Removed while the guardian still waits: should the program be killed
    // half-way, the guardian removes the rest. Stopped only once nothing is left.
    guardian_.removeLeftovers();
    removeTempDir();
    guardian_.stop();
}

void OfficeProcess::removeTempDir()
{
    if (!tempDir_.isEmpty()) {
        morvanta::removeTree(tempDir_);
        tempDir_.clear();
    }
}

} // namespace office::detail
