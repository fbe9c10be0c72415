#pragma once

// What the transfer benchmarks share: the pictures they send, written as random bytes (so
// no compression on the way can flatter either side) and recorded in the catalogue.

#include "batch/joinkeylist.h"
#include "store/command.h"
#include "store/tdados.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QStringList>

#include <algorithm>
#include <vector>

namespace transferbench {

inline double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

inline void emptyFolder(const QString &path)
{
    QDir dir(path);
    for (const QString &name : dir.entryList(QDir::Files))
        dir.remove(name);
}

struct Pictures {
    QStringList names;
    PictureKeys keys;
};

// `files` pictures of `size` bytes in `folder`, each a row of the default collection.
inline Pictures addRandomPictures(TDados &store, const QString &folder, int files, int size)
{
    Pictures p;
    QRandomGenerator random(42);
    for (int i = 0; i < files; ++i) {
        const QString name = QString::asprintf("foto%03d.jpg", i);
        QByteArray bytes(size, Qt::Uninitialized);
        random.fillRange(reinterpret_cast<quint32 *>(bytes.data()), size / 4);
        QFile f(QDir(folder).filePath(name));
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != size)
            qFatal("cannot write the pictures");
        Command c(store.Conexao);
        c.setSql(QStringLiteral("INSERT INTO Pictures (Collection, Category, Name, FileName, "
                                "FullPath, FileSize, FileType, Review) VALUES (:C, :K, :N, :N, "
                                ":P, :S, 'jpg', 0)"));
        c.setParam("C", store.DefaultCollectionId);
        c.setParam("K", store.DefaultCategoryId);
        c.setParam("N", name);
        c.setParam("P", folder);
        c.setParam("S", size);
        c.execute();
        p.names << name;
        p.keys << p.keys.size() + 1;
    }
    return p;
}

// A self-signed certificate for 127.0.0.1 (folder/cert.pem, its key folder/key.pem), made
// by the openssl tool; trusted by the program through QUILLOMAR_CA_BUNDLE and by curl
// through --cacert.
inline QString makeCertificate(const QString &folder)
{
    const QString cert = QDir(folder).filePath("cert.pem"), key = QDir(folder).filePath("key.pem");
    QProcess openssl;
    openssl.start("openssl",
        { "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
            "-keyout", key, "-out", cert, "-days", "2", "-subj", "/CN=127.0.0.1", "-addext",
            "subjectAltName=IP:127.0.0.1" });
    if (!openssl.waitForFinished(60000) || openssl.exitCode() != 0)
        qFatal("openssl failed: %s", openssl.readAllStandardError().constData());
    qputenv("QUILLOMAR_CA_BUNDLE", QFile::encodeName(cert));
    return cert;
}

// The options every transfer benchmark takes: --rounds N --files N --size BYTES, --tls.
struct Options {
    int rounds;
    int files;
    int size;
    bool tls = false;
};

inline Options options(const QStringList &args, Options o)
{
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == "--tls")
            o.tls = true;
        else if (i + 1 < args.size() && args[i] == "--rounds")
            o.rounds = args[++i].toInt();
        else if (i + 1 < args.size() && args[i] == "--files")
            o.files = args[++i].toInt();
        else if (i + 1 < args.size() && args[i] == "--size")
            o.size = args[++i].toInt();
    }
    return o;
}

} // namespace transferbench
