#include "intake/contentfingerprint.h"

#include <QFile>

#include <algorithm>
#include <array>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#define XXH_INLINE_ALL
#include <xxhash.h>

namespace {

struct Span {
    qint64 from = 0;
    qint64 to = 0; // past the end
};

// The three samples of a file of that size; a small file is sampled whole, in one.
std::array<Span, 3> samplesOf(qint64 size)
{
    const qint64 n = ContentFingerprint::kSampleBytes;
    if (size <= 3 * n)
        return { Span { 0, size }, Span {}, Span {} };
    const qint64 middle = size / 2 - n / 2;
    return { Span { 0, n }, Span { middle, middle + n }, Span { size - n, size } };
}

// The size seeds the sample hash: files of other sizes never share it.
quint64 seedOf(qint64 size)
{
    return quint64(size);
}

QByteArray digestBytes(const XXH128_hash_t &digest)
{
    XXH128_canonical_t canonical;
    XXH128_canonicalFromHash(&canonical, digest);
    return QByteArray(reinterpret_cast<const char *>(canonical.digest), sizeof canonical.digest);
}

class Fd {
public:
    explicit Fd(const QString &path)
        : m_fd(::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK))
    {
    }
    ~Fd()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    int get() const { return m_fd; }
    // The size of a regular file; -1 for anything else (a FIFO would never end).
    qint64 regularSize() const
    {
        struct stat st;
        if (m_fd < 0 || ::fstat(m_fd, &st) != 0 || !S_ISREG(st.st_mode))
            return -1;
        return qint64(st.st_size);
    }

private:
    int m_fd;
};

bool readAt(int fd, char *into, qint64 bytes, qint64 offset)
{
    while (bytes > 0) {
        const ssize_t n = ::pread(fd, into, size_t(bytes), off_t(offset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        into += n;
        bytes -= n;
        offset += n;
    }
    return true;
}

} // namespace

struct ContentHasher::State {
    qint64 size = 0;
    qint64 seen = 0;
    std::array<Span, 3> samples;
    XXH3_state_t *sample = XXH3_createState();
    XXH3_state_t *whole = XXH3_createState();
    ~State()
    {
        XXH3_freeState(sample);
        XXH3_freeState(whole);
    }
};

ContentHasher::ContentHasher(qint64 size) : m_state(std::make_unique<State>())
{
    m_state->size = size;
    m_state->samples = samplesOf(size);
    XXH3_64bits_reset_withSeed(m_state->sample, seedOf(size));
    XXH3_128bits_reset(m_state->whole);
}

ContentHasher::~ContentHasher() = default;

void ContentHasher::add(QByteArrayView bytes)
{
    State &s = *m_state;
    const qint64 from = s.seen;
    const qint64 to = from + bytes.size();
    // The samples lie in file order, so taking each one's part of these bytes in turn feeds
    // the sample hash in file order too.
    for (const Span &span : s.samples) {
        const qint64 a = std::max(from, span.from);
        const qint64 b = std::min(to, span.to);
        if (a < b)
            XXH3_64bits_update(s.sample, bytes.data() + (a - from), size_t(b - a));
    }
    XXH3_128bits_update(s.whole, bytes.data(), size_t(bytes.size()));
    s.seen = to;
}

ContentFingerprint ContentHasher::finish()
{
    State &s = *m_state;
    ContentFingerprint f;
    if (s.seen != s.size)
        return f;
    f.size = s.size;
    f.sample = XXH3_64bits_digest(s.sample);
    f.content = digestBytes(XXH3_128bits_digest(s.whole));
    return f;
}

ContentFingerprint ContentFingerprint::ofBytes(QByteArrayView bytes)
{
    ContentFingerprint f;
    f.size = bytes.size();
    XXH3_state_t *sample = XXH3_createState();
    XXH3_64bits_reset_withSeed(sample, seedOf(f.size));
    for (const Span &span : samplesOf(f.size)) {
        if (span.to > span.from)
            XXH3_64bits_update(sample, bytes.data() + span.from, size_t(span.to - span.from));
    }
    f.sample = XXH3_64bits_digest(sample);
    XXH3_freeState(sample);
    f.content = digestBytes(XXH3_128bits(bytes.data(), size_t(bytes.size())));
    return f;
}

std::optional<ContentFingerprint> ContentFingerprint::ofFile(const QString &path)
{
    const Fd fd(path);
    const qint64 size = fd.regularSize();
    if (size < 0)
        return std::nullopt;
    ContentHasher hasher(size);
    QByteArray buffer(1 << 20, Qt::Uninitialized);
    for (qint64 offset = 0; offset < size;) {
        const qint64 piece = std::min<qint64>(buffer.size(), size - offset);
        if (!readAt(fd.get(), buffer.data(), piece, offset))
            return std::nullopt;
        hasher.add(QByteArrayView(buffer.constData(), piece));
        offset += piece;
    }
    const ContentFingerprint f = hasher.finish();
    if (!f.isValid())
        return std::nullopt;
    return f;
}

std::optional<ContentFingerprint> ContentFingerprint::sampledFile(const QString &path)
{
    const Fd fd(path);
    const qint64 size = fd.regularSize();
    if (size < 0)
        return std::nullopt;
    // A small file's samples are the whole of it.
    if (size <= 3 * kSampleBytes)
        return ofFile(path);
    ContentFingerprint f;
    f.size = size;
    XXH3_state_t *sample = XXH3_createState();
    XXH3_64bits_reset_withSeed(sample, seedOf(size));
    QByteArray buffer(int(kSampleBytes), Qt::Uninitialized);
    bool ok = true;
    for (const Span &span : samplesOf(size)) {
        for (qint64 at = span.from; ok && at < span.to;) {
            const qint64 piece = std::min<qint64>(buffer.size(), span.to - at);
            ok = readAt(fd.get(), buffer.data(), piece, at);
            if (ok)
                XXH3_64bits_update(sample, buffer.constData(), size_t(piece));
            at += piece;
        }
    }
    f.sample = XXH3_64bits_digest(sample);
    XXH3_freeState(sample);
    if (!ok)
        return std::nullopt;
    return f;
}
