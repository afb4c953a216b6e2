#include "generator/datafilecheck.h"

#include "common/error.h"
#include "generator/xmlprolog.h"

#include <QByteArray>
#include <QFile>
#include <QtEndian>

#include <algorithm>
#include <vector>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

namespace {

using morvanta::Error;
namespace errc = morvanta::errc;
using datafilecheck::maxMembers;
using datafilecheck::maxUnpackedBytes;

constexpr qint64 headBytes = 64 * 1024;         // more than any honest prolog
constexpr qint64 memberInputCap = 256 * 1024;   // deflated bytes read for one member's head
constexpr quint64 maxDirectoryBytes = 16 << 20; // maxMembers entries with long names
constexpr qint64 endRecordSize = 22;
constexpr qint64 endRecordSearch = endRecordSize + 0xFFFF; // the record and its longest comment

constexpr quint32 localHeaderSignature = 0x04034b50;
constexpr quint32 directorySignature = 0x02014b50;
constexpr quint32 endSignature = 0x06054b50;
constexpr quint32 zip64EndSignature = 0x06064b50;
constexpr quint32 zip64LocatorSignature = 0x07064b50;
constexpr quint32 saturated32 = 0xFFFFFFFF;

quint16 u16(const char* p)
{
    return qFromLittleEndian<quint16>(p);
}
quint32 u32(const char* p)
{
    return qFromLittleEndian<quint32>(p);
}
quint64 u64(const char* p)
{
    return qFromLittleEndian<quint64>(p);
}

struct Member
{
    QByteArray name;
    quint16 method = 0;
    quint64 packed = 0;
    quint64 unpacked = 0;
    quint64 offset = 0; // of the local header, from the start of the package
};

// Where the central directory is: `base` is where the package starts in the
// file (after any leading bytes), offsets count from there.
struct Directory
{
    quint64 offset = 0;
    quint64 size = 0;
    quint64 entries = 0;
    qint64 base = 0;
    qint64 end = 0; // the first byte after the directory's room
};

class FileDescriptor
{
public:
    explicit FileDescriptor(int descriptor) : fd(descriptor) {}
    ~FileDescriptor()
    {
        if (fd >= 0)
            ::close(fd);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    const int fd;
};

class DataFileCheck
{
public:
    explicit DataFileCheck(const QString& filePath) : path(filePath), file(open(filePath))
    {
        struct stat st = {};
        if (::fstat(file.fd, &st) != 0 || !S_ISREG(st.st_mode))
            throw Error(errc::FileNotFound, QStringLiteral("未找到数据文件“%1”。").arg(filePath));
        size = st.st_size;
    }

    void run()
    {
        if (size == 0)
            return; // the office says what an empty file is
        const QByteArray head = bytes(0, std::min(size, headBytes));
        if (head.startsWith("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1"))
            return; // a binary Excel file holds no XML and no package
        const bool zipHead = head.startsWith("PK\x03\x04") || head.startsWith("PK\x05\x06");
        if (const qint64 end = findEndRecord(); end >= 0)
            checkPackage(end);
        else if (zipHead)
            tooBigOrDamaged(); // cut short: a package without its directory
        if (!zipHead) {
            const xmlprolog::Verdict verdict = xmlprolog::scan(head, size <= headBytes);
            if (verdict == xmlprolog::Verdict::Refused || verdict == xmlprolog::Verdict::NeedMore)
                notASpreadsheet();
        }
    }

private:
    const QString path;
    const FileDescriptor file;
    qint64 size = 0;

    // Non-blocking, so that a FIFO swapped in for the file cannot hold the open.
    static int open(const QString& filePath)
    {
        const int fd = ::open(QFile::encodeName(filePath).constData(),
                              O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
        if (fd >= 0)
            return fd;
        if (errno == EACCES || errno == EPERM)
            throw Error(errc::PermissionDenied,
                        QStringLiteral("没有读取数据文件“%1”的权限。").arg(filePath));
        throw Error(errc::FileNotFound, QStringLiteral("未找到数据文件“%1”。").arg(filePath));
    }

    [[noreturn]] void tooBigOrDamaged() const
    {
        throw Error(errc::NotASpreadsheet,
                    QStringLiteral("数据文件“%1”过大或已损坏，无法读取。").arg(path));
    }

    [[noreturn]] void notASpreadsheet() const
    {
        throw Error(errc::NotASpreadsheet,
                    QStringLiteral("数据文件“%1”已损坏或不是电子表格，无法读取。").arg(path));
    }

    // Exactly `length` bytes at `offset`; a file shorter than its own
    // directory says is damaged.
    QByteArray bytes(qint64 offset, qint64 length) const
    {
        if (offset < 0 || length < 0 || offset > size || length > size - offset)
            tooBigOrDamaged();
        QByteArray buffer(length, Qt::Uninitialized);
        qint64 done = 0;
        while (done < length) {
            const ssize_t got = ::pread(file.fd, buffer.data() + done,
                                        static_cast<size_t>(length - done), offset + done);
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                tooBigOrDamaged();
            done += got;
        }
        return buffer;
    }

    // The end record nearest the file's end, as zip readers take it; -1 when none.
    qint64 findEndRecord() const
    {
        if (size < endRecordSize)
            return -1;
        const qint64 start = size - std::min(size, endRecordSearch);
        const QByteArray tail = bytes(start, size - start);
        const qsizetype at = tail.lastIndexOf("PK\x05\x06", tail.size() - endRecordSize);
        return at < 0 ? -1 : start + at;
    }

    Directory readEndRecord(qint64 at) const
    {
        const QByteArray record = bytes(at, endRecordSize);
        const char* e = record.constData();
        Directory d;
        quint64 disk = u16(e + 4), directoryDisk = u16(e + 6), entriesHere = u16(e + 8);
        d.entries = u16(e + 10);
        d.size = u32(e + 12);
        d.offset = u32(e + 16);
        d.end = at;
        const qint64 locatorAt = at - 20;
        QByteArray locator;
        if (locatorAt >= 0)
            locator = bytes(locatorAt, 20);
        if (locatorAt >= 0 && u32(locator.constData()) == zip64LocatorSignature) {
            const quint64 recordAt = u64(locator.constData() + 8);
            if (recordAt > quint64(locatorAt) || quint64(locatorAt) - recordAt < 56)
                tooBigOrDamaged();
            const QByteArray z = bytes(qint64(recordAt), 56);
            const char* r = z.constData();
            if (u32(r) != zip64EndSignature)
                tooBigOrDamaged();
            // The 64-bit fields stand for the saturated 32-bit ones; two
            // readers must not find two different directories.
            auto take = [&](quint64& field, quint64 wide, quint64 full) {
                if (field != full && field != wide)
                    tooBigOrDamaged();
                field = wide;
            };
            take(disk, u32(r + 16), 0xFFFF);
            take(directoryDisk, u32(r + 20), 0xFFFF);
            take(entriesHere, u64(r + 24), 0xFFFF);
            take(d.entries, u64(r + 32), 0xFFFF);
            take(d.size, u64(r + 40), saturated32);
            take(d.offset, u64(r + 48), saturated32);
            d.end = qint64(recordAt);
        } else if (d.size + d.offset > quint64(at)) {
            tooBigOrDamaged();
        } else {
            d.base = at - qint64(d.size + d.offset); // leading bytes before the package
        }
        if (disk != 0 || directoryDisk != 0 || entriesHere != d.entries)
            tooBigOrDamaged(); // spanned archives are no data files
        return d;
    }

    // The 64-bit sizes and offset of an entry whose 32-bit ones are saturated.
    void readZip64Extra(Member& m, const char* extra, qsizetype length) const
    {
        const bool needUnpacked = m.unpacked == saturated32, needPacked = m.packed == saturated32,
                   needOffset = m.offset == saturated32;
        if (!needUnpacked && !needPacked && !needOffset)
            return;
        for (qsizetype at = 0; at + 4 <= length;) {
            const quint16 id = u16(extra + at), fieldSize = u16(extra + at + 2);
            const char* field = extra + at + 4;
            at += 4 + fieldSize;
            if (at > length)
                break;
            if (id != 0x0001)
                continue;
            const qsizetype wanted = 8 * (int(needUnpacked) + int(needPacked) + int(needOffset));
            if (fieldSize < wanted)
                tooBigOrDamaged();
            if (needUnpacked)
                m.unpacked = u64(field), field += 8;
            if (needPacked)
                m.packed = u64(field), field += 8;
            if (needOffset)
                m.offset = u64(field);
            return;
        }
        tooBigOrDamaged();
    }

    std::vector<Member> readDirectory(const Directory& d) const
    {
        if (d.entries > quint64(maxMembers) || d.size > maxDirectoryBytes)
            tooBigOrDamaged();
        if (d.offset > quint64(d.end - d.base) || d.size > quint64(d.end - d.base) - d.offset)
            tooBigOrDamaged();
        const QByteArray directory = bytes(d.base + qint64(d.offset), qint64(d.size));
        const char* p = directory.constData();
        std::vector<Member> members;
        quint64 unpackedTotal = 0;
        qsizetype at = 0;
        for (quint64 n = 0; n < d.entries; ++n) {
            if (directory.size() - at < 46 || u32(p + at) != directorySignature)
                tooBigOrDamaged();
            const char* e = p + at;
            const qsizetype nameLength = u16(e + 28), extraLength = u16(e + 30),
                            commentLength = u16(e + 32);
            if (directory.size() - at - 46 < nameLength + extraLength + commentLength)
                tooBigOrDamaged();
            Member m;
            m.method = u16(e + 10);
            m.packed = u32(e + 20);
            m.unpacked = u32(e + 24);
            m.offset = u32(e + 42);
            m.name = QByteArray(e + 46, nameLength);
            readZip64Extra(m, e + 46 + nameLength, extraLength);
            if (m.unpacked > maxUnpackedBytes - unpackedTotal)
                tooBigOrDamaged(); // declared far beyond any certificate list
            unpackedTotal += m.unpacked;
            members.push_back(std::move(m));
            at += 46 + nameLength + extraLength + commentLength;
        }
        return members;
    }

    void checkPackage(qint64 endRecordAt) const
    {
        const Directory d = readEndRecord(endRecordAt);
        std::vector<Member> members = readDirectory(d);
        std::sort(members.begin(), members.end(),
                  [](const Member& a, const Member& b) { return a.offset < b.offset; });
        // Every member lies in a room of its own before the directory: no
        // reader can then find other data under one name than this check.
        for (std::size_t k = 0; k < members.size(); ++k) {
            const Member& m = members[k];
            const quint64 roomEnd = k + 1 < members.size() ? members[k + 1].offset : d.offset;
            if (m.offset > roomEnd || roomEnd - m.offset < 30 + quint64(m.name.size()))
                tooBigOrDamaged();
            const qint64 headerAt = d.base + qint64(m.offset);
            const QByteArray header = bytes(headerAt, 30 + m.name.size());
            const char* h = header.constData();
            if (u32(h) != localHeaderSignature || u16(h + 26) != m.name.size() ||
                header.sliced(30) != m.name)
                tooBigOrDamaged();
            const quint64 dataOffset = m.offset + 30 + quint64(m.name.size()) + u16(h + 28);
            if (dataOffset > roomEnd || m.packed > roomEnd - dataOffset)
                tooBigOrDamaged();
            checkMemberHead(m, d.base + qint64(dataOffset));
        }
    }

    // The start of a member as a reader unpacks it, judged like a flat XML
    // file. Whatever a member's flags, method or declared size say, its bytes
    // are looked at: a reader that takes them differently must not find
    // unseen markup there.
    void checkMemberHead(const Member& m, qint64 dataAt) const
    {
        if (m.packed == 0)
            return;
        xmlprolog::Verdict verdict;
        if (m.method == Z_DEFLATED) {
            verdict = inflatedHead(dataAt, m.packed);
        } else {
            const qint64 length = qint64(std::min<quint64>(m.packed, headBytes));
            verdict = xmlprolog::scan(bytes(dataAt, length), m.packed <= quint64(headBytes));
        }
        if (verdict == xmlprolog::Verdict::Refused || verdict == xmlprolog::Verdict::NeedMore)
            notASpreadsheet();
    }

    // Unpacks a deflated member a few kilobytes at a time, only as far as the
    // judgement needs, from at most memberInputCap packed bytes.
    xmlprolog::Verdict inflatedHead(qint64 dataAt, quint64 packed) const
    {
        z_stream z = {};
        if (inflateInit2(&z, -MAX_WBITS) != Z_OK)
            tooBigOrDamaged();
        struct End
        {
            z_stream& z;
            ~End() { inflateEnd(&z); }
        } end{z};
        const qint64 readable = qint64(std::min<quint64>(packed, memberInputCap));
        qint64 read = 0;
        QByteArray input, output;
        qint64 want = 4096;
        bool ended = false;
        for (;;) {
            while (!ended && output.size() < want) {
                if (z.avail_in == 0) {
                    if (read >= readable)
                        break;
                    input = bytes(dataAt + read, std::min<qint64>(16 * 1024, readable - read));
                    read += input.size();
                    z.next_in = reinterpret_cast<Bytef*>(input.data());
                    z.avail_in = uInt(input.size());
                }
                const qsizetype had = output.size();
                output.resize(want);
                z.next_out = reinterpret_cast<Bytef*>(output.data() + had);
                z.avail_out = uInt(want - had);
                const int status = inflate(&z, Z_NO_FLUSH);
                output.resize(want - z.avail_out);
                // At the stream's end or at damage, a reader gets no further either.
                ended = status != Z_OK;
            }
            const bool whole = ended || (z.avail_in == 0 && quint64(read) >= packed);
            const xmlprolog::Verdict verdict = xmlprolog::scan(output, whole);
            if (verdict != xmlprolog::Verdict::NeedMore || whole || output.size() < want ||
                want >= headBytes)
                return verdict;
            want = std::min(want * 4, headBytes);
        }
    }
};

} // namespace

void checkDataFile(const QString& path)
{
    DataFileCheck(path).run();
}
