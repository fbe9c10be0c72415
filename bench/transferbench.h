#pragma once

// What the transfer benchmarks share: the pictures they send, written as random bytes (so
// no compression on the way can flatter either side) and recorded in the catalogue.

#include "batch/joinkeylist.h"
#include "store/command.h"
#include "store/tdados.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
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

} // namespace transferbench
