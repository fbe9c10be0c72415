#pragma once

#include "support/catalogfixture.h"
#include "core/progresssink.h"
#include "core/scriptedprompter.h"
#include "store/tdados.h"

#include <QDir>
#include <QtTest>

// An open store on a fresh catalogue, the scripted prompter, and picture rows that point
// at real files written by the test.
struct BatchFixture {
    CatalogFixture catalog;
    ScriptedPrompter prompter;
    TDados store { catalog.folder.paths, prompter };

    BatchFixture()
    {
        if (!store.OpenDatabaseAll())
            qFatal("catalogue did not open: %s", qPrintable(prompter.boxTexts().join('|')));
    }

    // A Pictures row for folder/fileName; with bytes given the file is written too.
    qint64 picture(
        const QString &folder, const QString &fileName, const QByteArray *bytes = nullptr)
    {
        if (bytes) {
            QDir().mkpath(folder);
            if (!testsupport::writeFile(QDir(folder).filePath(fileName), *bytes))
                qFatal("cannot write %s", qPrintable(fileName));
        }
        return catalog.exec(
            QStringLiteral("INSERT INTO Pictures (Collection, Category, Name, FileName, "
                           "FullPath, FileSize, Created, Modified, FileType, Review) VALUES "
                           "(:C, :K, :N, :F, :P, :S, '2020-01-02T03:04:06', "
                           "'2020-01-02T03:04:06', 'jpg', FALSE)"),
            { { QStringLiteral("C"), store.DefaultCollectionId },
                { QStringLiteral("K"), store.DefaultCategoryId }, { QStringLiteral("N"), fileName },
                { QStringLiteral("F"), fileName }, { QStringLiteral("P"), folder },
                { QStringLiteral("S"), bytes ? bytes->size() : 0 } });
    }
};

// Keeps every status text a run shows.
struct RecordingStatus : ProgressSink {
    QStringList texts;
    int pumps = 0;
    void setStatus(const QString &text) override { texts << text; }
    void pump() override { ++pumps; }
};

// Distinct bytes of a given size, so that a swapped or truncated file shows.
inline QByteArray sampleBytes(int size, char seed)
{
    QByteArray b(size, Qt::Uninitialized);
    quint32 x = quint32(seed) * 2654435761u + 1;
    for (int i = 0; i < size; ++i) {
        x = x * 1103515245u + 12345u;
        b[i] = char(x >> 16);
    }
    return b;
}
