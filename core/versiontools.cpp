#include "core/versiontools.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <cstring>
#include <sys/stat.h>

namespace {

// A fixed version record in the layout of the Windows VS_FIXEDFILEINFO header: signature,
// structure version, then the file version as two 32-bit words.
struct FixedFileInfo {
    uint32_t signature;
    uint32_t strucVersion;
    uint32_t fileVersionMS;
    uint32_t fileVersionLS;
    uint32_t productVersionMS;
    uint32_t productVersionLS;
};

constexpr uint32_t kSignature = 0xFEEF04BDu;
constexpr uint32_t kStrucVersion = 0x00010000u;
constexpr char kVersionSection[] = ".qm_version";

// The record sits in a section of its own, where a reader of this program's file finds it
// whatever the compiler did with the constants above.
[[gnu::used, gnu::section(".qm_version")]] const FixedFileInfo kVersionRecord = {
    kSignature,
    kStrucVersion,
    (uint32_t(QM_VERSION_MAJOR) << 16) | uint32_t(QM_VERSION_MINOR),
    (uint32_t(QM_VERSION_PATCH) << 16) | uint32_t(QM_VERSION_TWEAK),
    (uint32_t(QM_VERSION_MAJOR) << 16) | uint32_t(QM_VERSION_MINOR),
    (uint32_t(QM_VERSION_PATCH) << 16) | uint32_t(QM_VERSION_TWEAK),
};

QString dotted(uint32_t ms, uint32_t ls)
{
    return QStringLiteral("%1.%2.%3.%4")
        .arg(ms >> 16)
        .arg(ms & 0xFFFFu)
        .arg(ls >> 16)
        .arg(ls & 0xFFFFu);
}

uint32_t readLe32(const uchar *p)
{
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

uint64_t readLe(const uchar *p, int bytes)
{
    uint64_t v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = (v << 8) | p[i];
    return v;
}

bool isProgramFile(const QString &path)
{
    if (!QCoreApplication::instance())
        return false;
    const QString self = QFileInfo(QCoreApplication::applicationFilePath()).canonicalFilePath();
    return !self.isEmpty() && QFileInfo(path).canonicalFilePath() == self;
}

bool hasRecordAt(const QByteArray &data, qint64 at)
{
    const auto *p = reinterpret_cast<const uchar *>(data.constData()) + at;
    return at >= 0 && at + qint64(sizeof(FixedFileInfo)) <= data.size() && readLe32(p) == kSignature
        && readLe32(p + 4) == kStrucVersion;
}

// Offset of the version section in a little-endian ELF file: -1 when the file is ELF
// without one (or damaged), -2 when it is not ELF at all.
qint64 elfVersionSection(const QByteArray &data)
{
    const auto *d = reinterpret_cast<const uchar *>(data.constData());
    const qint64 size = data.size();
    if (size < 52
        || memcmp(d,
               "\x7f"
               "ELF",
               4)
            != 0)
        return -2;
    if (d[5] != 1) // big-endian files are not ours
        return -1;
    const bool wide = d[4] == 2;
    const int word = wide ? 8 : 4;
    if (wide && size < 64)
        return -1;
    const uint64_t shoff = readLe(d + (wide ? 0x28 : 0x20), word);
    const uint64_t shentsize = readLe(d + (wide ? 0x3A : 0x2E), 2);
    const uint64_t shnum = readLe(d + (wide ? 0x3C : 0x30), 2);
    const uint64_t shstrndx = readLe(d + (wide ? 0x3E : 0x32), 2);
    const uint64_t entry = wide ? 64 : 40;
    if (shentsize < entry || shstrndx >= shnum || shoff > uint64_t(size)
        || shnum * shentsize > uint64_t(size) - shoff)
        return -1;
    const auto header = [&](uint64_t i) { return d + shoff + i * shentsize; };
    const auto offsetOf = [&](const uchar *h) { return readLe(h + (wide ? 0x18 : 0x10), word); };
    const auto sizeOf = [&](const uchar *h) { return readLe(h + (wide ? 0x20 : 0x14), word); };
    const uchar *names = header(shstrndx);
    const uint64_t namesAt = offsetOf(names);
    const uint64_t namesSize = sizeOf(names);
    if (namesAt > uint64_t(size) || namesSize > uint64_t(size) - namesAt)
        return -1;
    for (uint64_t i = 0; i < shnum; ++i) {
        const uchar *h = header(i);
        const uint64_t name = readLe(h, 4);
        if (name + sizeof kVersionSection > namesSize
            || memcmp(d + namesAt + name, kVersionSection, sizeof kVersionSection) != 0)
            continue;
        const uint64_t at = offsetOf(h);
        if (sizeOf(h) < sizeof(FixedFileInfo) || at > uint64_t(size))
            return -1;
        return qint64(at);
    }
    return -1;
}

QString readVersionRecord(const QString &path)
{
    // Regular files only: opening a FIFO would wait for a writer that never comes.
    struct stat facts;
    if (::stat(QFile::encodeName(path).constData(), &facts) != 0 || !S_ISREG(facts.st_mode))
        return QString();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    const QByteArray data = file.readAll();
    qint64 at = elfVersionSection(data);
    if (at == -2) {
        // Other files carry the record wherever their format put it: the first one counts.
        const QByteArray signature = data.isEmpty() ? QByteArray() : [] {
            QByteArray s(8, '\0');
            for (int i = 0; i < 4; ++i) {
                s[i] = char((kSignature >> (8 * i)) & 0xFF);
                s[4 + i] = char((kStrucVersion >> (8 * i)) & 0xFF);
            }
            return s;
        }();
        at = signature.isEmpty() ? -1 : data.indexOf(signature);
    }
    if (!hasRecordAt(data, at))
        return QString();
    const auto *p = reinterpret_cast<const uchar *>(data.constData()) + at;
    return dotted(readLe32(p + 8), readLe32(p + 12));
}

} // namespace

QString compiledVersion()
{
    return dotted(kVersionRecord.fileVersionMS, kVersionRecord.fileVersionLS);
}

QString GetFileVersion(const QString &path)
{
    // The running program knows its own version; its file is never searched for it.
    if (isProgramFile(path))
        return compiledVersion();
    return readVersionRecord(path);
}

QString windowsVersionName(uint32_t v)
{
    const uint32_t major = v & 0xFFu;
    const uint32_t minor = (v >> 8) & 0xFFu;
    const bool family9x = (v & 0x80000000u) != 0;
    const uint32_t build = (v >> 16) & 0x7FFFu;
    if (!family9x) {
        if (major == 4 && minor == 0)
            return QStringLiteral("Windows® NT 4");
        if (major == 5 && minor == 0)
            return QStringLiteral("Windows® 2000");
        if (major == 5 && minor == 1)
            return QStringLiteral("Windows® XP");
        return QString();
    }
    if (major < 4)
        return QStringLiteral("Windows® NT 3.51");
    if (major == 4 && minor == 0 && build == 950)
        return QStringLiteral("Windows® 95");
    if (major == 4 && minor == 0 && build <= 1080)
        return QStringLiteral("Windows® 95 SP1");
    if (major == 4 && minor <= 9 && build > 1080)
        return QStringLiteral("Windows® 95 OSR2");
    if (major == 4 && minor == 10 && build == 1998)
        return QStringLiteral("Windows® 98");
    if (major == 4 && minor == 10 && build < 2183)
        return QStringLiteral("Windows® 98 SP1");
    if (major == 4 && minor == 10 && build >= 2183)
        return QStringLiteral("Windows® 98 SE");
    if (major == 4 && minor == 90 && build >= 3000)
        return QStringLiteral("Windows® Me");
    return QString();
}

QString systemNameFromOsRelease(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return QString();
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (!line.startsWith(QLatin1String("PRETTY_NAME=")))
            continue;
        QString value = line.mid(12).trimmed();
        if (value.size() >= 2
            && (value.front() == QLatin1Char('"') || value.front() == QLatin1Char('\''))
            && value.back() == value.front())
            value = value.mid(1, value.size() - 2);
        value.replace(QLatin1String("\\\""), QLatin1String("\""));
        value.replace(QLatin1String("\\\\"), QLatin1String("\\"));
        return value;
    }
    return QString();
}

QString GetWindowsVersionName()
{
    QString name = systemNameFromOsRelease(QStringLiteral("/etc/os-release"));
    if (name.isEmpty())
        name = systemNameFromOsRelease(QStringLiteral("/usr/lib/os-release"));
    return name;
}

namespace {
// 1-based position of the first "." at or after from, or 0 when there is none.
int nextDot(const QString &s, int from)
{
    const int i = s.indexOf(QLatin1Char('.'), from - 1);
    return i < 0 ? 0 : i + 1;
}

// Inserts zeros at the component starts until both dots stand at the same position.
void alignDots(QString &a, int startA, int &pa, QString &b, int startB, int &pb)
{
    while (pb > pa) {
        a.insert(startA - 1, QLatin1Char('0'));
        ++pa;
    }
    while (pa > pb) {
        b.insert(startB - 1, QLatin1Char('0'));
        ++pb;
    }
}
} // namespace

QString CompareVersions(const QString &A, const QString &B)
{
    QString a = A;
    QString b = B;
    int pa = nextDot(a, 1);
    int pb = nextDot(b, 1);
    int startA = 1;
    int startB = 1;
    alignDots(a, startA, pa, b, startB, pb);
    for (int component = 2; component <= 3; ++component) {
        startA = pa + 1;
        startB = pb + 1;
        // The position stays where it was when no further dot exists.
        const int na = nextDot(a, startA);
        const int nb = nextDot(b, startB);
        if (na)
            pa = na;
        if (nb)
            pb = nb;
        alignDots(a, startA, pa, b, startB, pb);
    }
    // Fourth component: from after the third dot to the end of the text.
    const int fourthA = pa + 1;
    const int fourthB = pb + 1;
    while (b.size() - fourthB + 1 > a.size() - fourthA + 1)
        a.insert(fourthA - 1, QLatin1Char('0'));
    while (a.size() - fourthA + 1 > b.size() - fourthB + 1)
        b.insert(fourthB - 1, QLatin1Char('0'));
    const int c = QString::compare(a, b, Qt::CaseSensitive);
    if (c < 0)
        return QStringLiteral("LT");
    if (c > 0)
        return QStringLiteral("GT");
    return QStringLiteral("EQ");
}
