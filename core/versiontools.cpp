#include "core/versiontools.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <cstring>

namespace {

// A fixed version record in the layout of the Windows VS_FIXEDFILEINFO header: signature,
// structure version, then the file version as two 32-bit words. Kept in the executable so
// that GetFileVersion reads this program like any other program file.
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

[[gnu::used]] const FixedFileInfo kVersionRecord = {
    kSignature,
    kStrucVersion,
    (uint32_t(QM_VERSION_MAJOR) << 16) | uint32_t(QM_VERSION_MINOR),
    (uint32_t(QM_VERSION_PATCH) << 16) | uint32_t(QM_VERSION_TWEAK),
    (uint32_t(QM_VERSION_MAJOR) << 16) | uint32_t(QM_VERSION_MINOR),
    (uint32_t(QM_VERSION_PATCH) << 16) | uint32_t(QM_VERSION_TWEAK),
};

constexpr uint32_t kMask = 0x5A5A5A5Au;
volatile uint32_t s_maskedSignature = kSignature ^ kMask;
volatile uint32_t s_maskedStrucVersion = kStrucVersion ^ kMask;

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

bool isProgramFile(const QString &path)
{
    if (!QCoreApplication::instance())
        return false;
    const QString self = QFileInfo(QCoreApplication::applicationFilePath()).canonicalFilePath();
    return !self.isEmpty() && QFileInfo(path).canonicalFilePath() == self;
}

QString readVersionRecord(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    const qint64 size = file.size();
    if (size < qint64(sizeof(FixedFileInfo)))
        return QString();
    uchar *data = file.map(0, size);
    QByteArray copy;
    if (!data) {
        copy = file.readAll();
        data = reinterpret_cast<uchar *>(copy.data());
    }
    // Built at run time: a literal pattern would itself appear in this program's code
    // and be found before the real record.
    uchar sig[8];
    const uint32_t words[2] = { s_maskedSignature ^ kMask, s_maskedStrucVersion ^ kMask };
    for (int i = 0; i < 8; ++i)
        sig[i] = uchar((words[i / 4] >> (8 * (i % 4))) & 0xFF);
    const uchar *p = data;
    const uchar *end = data + size - sizeof(FixedFileInfo);
    QString result;
    while (p <= end) {
        const void *hit = memmem(p, size_t(end - p) + 8, sig, sizeof sig);
        if (!hit)
            break;
        const uchar *h = static_cast<const uchar *>(hit);
        if (h > end)
            break;
        result = dotted(readLe32(h + 8), readLe32(h + 12));
        break;
    }
    return result;
}

} // namespace

QString compiledVersion()
{
    return dotted(kVersionRecord.fileVersionMS, kVersionRecord.fileVersionLS);
}

QString GetFileVersion(const QString &path)
{
    const QString found = readVersionRecord(path);
    if (!found.isEmpty())
        return found;
    return isProgramFile(path) ? compiledVersion() : QString();
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
