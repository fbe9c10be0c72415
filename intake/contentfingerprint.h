#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <memory>
#include <optional>

// What a picture file's bytes are, to find the same file on several disks: its size, a hash
// of fixed samples of it (start, middle and end; the whole file when it is small), and when
// the file was read whole, a 128-bit hash of all of it. Hashes are XXH3, fast enough to be
// taken while the file is read anyway. Not for telling files apart on purpose made to
// collide: a copy found this way is a candidate the person looks at, never deleted unasked.
struct ContentFingerprint {
    // Bytes in each of the three samples.
    static constexpr qint64 kSampleBytes = 64 * 1024;

    qint64 size = -1;
    quint64 sample = 0;
    QByteArray content; // 16 bytes; empty when only the samples were read

    bool isValid() const { return size >= 0; }
    bool isWhole() const { return !content.isEmpty(); }

    // Of a file's bytes already read whole.
    static ContentFingerprint ofBytes(QByteArrayView bytes);
    // Of a file read whole, in pieces; nothing when it cannot be read.
    static std::optional<ContentFingerprint> ofFile(const QString &path);
    // Of a file read only in part (a RAW file's preview): reads the samples alone.
    static std::optional<ContentFingerprint> sampledFile(const QString &path);
};

// Takes the fingerprint of a file as its bytes go by, in order, for a reader that reads a
// file of known size in pieces.
class ContentHasher {
public:
    explicit ContentHasher(qint64 size);
    ~ContentHasher();
    ContentHasher(const ContentHasher &) = delete;
    ContentHasher &operator=(const ContentHasher &) = delete;

    void add(QByteArrayView bytes);
    // The fingerprint; not valid when the bytes added were not `size` bytes.
    ContentFingerprint finish();

private:
    struct State;
    std::unique_ptr<State> m_state;
};
