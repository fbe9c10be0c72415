#pragma once

#include "store/connection.h"
#include "store/dberror.h"
#include "core/progresssink.h"
#include "store/query.h"
#include "store/schema.h"
#include "core/scriptedprompter.h"
#include "store/tdados.h"
#include "support/catalogfixture.h"
#include "support/testsupport.h"
#include "core/versiontools.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <sys/fsuid.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <memory>

// A catalogue beside a throw-away program, its store opened as the program opens it, and a
// folder tree of real files to scan.
struct ScanFixture {
    CatalogFixture catalog;
    testsupport::ProgramFolder &program = catalog.folder;
    QString catalogue = catalog.path;
    QTemporaryDir treeDir;
    ScriptedPrompter prompter;
    std::unique_ptr<TDados> store;

    explicit ScanFixture(bool open = true)
    {
        if (open)
            openStore();
    }

    bool openStore()
    {
        store = std::make_unique<TDados>(program.paths, prompter);
        store->setConfigurationEnabled(false);
        return store->OpenDatabaseAll();
    }

    QString tree(const QString &relative = QString()) const
    {
        return relative.isEmpty() ? treeDir.path() : treeDir.filePath(relative);
    }
    QByteArray treeBytes(const QByteArray &relative) const
    {
        return QFile::encodeName(treeDir.path()) + '/' + relative;
    }

    // A file of `size` bytes whose last-write time is `mtime` (seconds since the epoch), or
    // now when mtime is 0. The name is raw bytes, so any name can be made.
    static bool writeRaw(const QByteArray &path, qint64 size = 3, qint64 mtime = 0)
    {
        const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0)
            return false;
        bool ok = ::ftruncate(fd, off_t(size)) == 0;
        ::close(fd);
        if (ok && mtime != 0) {
            const struct timespec times[2] = { { time_t(mtime), 0 }, { time_t(mtime), 0 } };
            ok = ::utimensat(AT_FDCWD, path.constData(), times, AT_SYMLINK_NOFOLLOW) == 0;
        }
        return ok;
    }
    bool file(const QString &relative, qint64 size = 3, qint64 mtime = 0) const
    {
        const QString path = tree(relative);
        QDir().mkpath(QFileInfo(path).path());
        return writeRaw(QFile::encodeName(path), size, mtime);
    }
    bool folder(const QString &relative) const { return QDir().mkpath(tree(relative)); }

    // The stored form of a last-write time: local time, even seconds.
    static QString storedTime(qint64 mtime)
    {
        QDateTime t = QDateTime::fromSecsSinceEpoch(mtime).toLocalTime();
        t = t.addSecs(-(t.time().second() % 2));
        return t.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss"));
    }
    static QString storedTimeOf(const QString &path)
    {
        struct stat st;
        if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
            return QString();
        return storedTime(st.st_mtim.tv_sec);
    }

    // Reads through a connection of its own, so that what is checked is what the file holds.
    QList<QVariantMap> rows(const QString &sql) const
    {
        Connection c;
        c.openFile(catalogue);
        Query q(c);
        q.setSql(sql);
        q.open();
        QList<QVariantMap> out;
        while (!q.eof()) {
            QVariantMap row;
            for (const QString &f : q.fieldNames())
                row.insert(f, q.value(f));
            out << row;
            q.next();
        }
        q.close();
        c.close();
        return out;
    }
    QVariant scalar(const QString &sql) const
    {
        const QList<QVariantMap> r = rows(sql);
        return r.isEmpty() ? QVariant() : r.first().first();
    }
    int count(const QString &table) const
    {
        return scalar(QStringLiteral("SELECT count(*) FROM ") + table).toInt();
    }
    QStringList fileNames() const
    {
        QStringList names;
        for (const QVariantMap &r :
            rows(QStringLiteral("SELECT FileName FROM Pictures ORDER BY RecId")))
            names << r.value(QStringLiteral("FileName")).toString();
        return names;
    }
    void exec(const QString &sql) const
    {
        Connection c;
        c.openFile(catalogue);
        c.exec(sql);
        c.close();
    }
    // Makes the catalogue refuse a Pictures row of that file name with that message, as a
    // failing statement of the engine.
    void refuseInsert(const QString &fileName, const QString &message) const
    {
        if (catalog.onServer()) {
            exec(QStringLiteral("CREATE FUNCTION recusa() RETURNS trigger LANGUAGE plpgsql AS $$ "
                                "BEGIN IF NEW.FileName = '%1' THEN RAISE EXCEPTION '%2'; END IF; "
                                "RETURN NEW; END $$")
                     .arg(fileName, message));
            exec(QStringLiteral("CREATE TRIGGER Recusa BEFORE INSERT ON Pictures FOR EACH ROW "
                                "EXECUTE FUNCTION recusa()"));
            return;
        }
        exec(QStringLiteral("CREATE TRIGGER Recusa BEFORE INSERT ON Pictures WHEN NEW.FileName = "
                            "'%1' BEGIN SELECT RAISE(ABORT, '%2'); END")
                 .arg(fileName, message));
    }

    // A server enforces its relations itself and has no file to check.
    QString integrity() const
    {
        if (catalog.onServer())
            return QStringLiteral("ok");
        const QString check = scalar(QStringLiteral("PRAGMA integrity_check")).toString();
        const int orphans = rows(QStringLiteral("PRAGMA foreign_key_check")).size();
        return orphans == 0 ? check : QStringLiteral("%1 rows break a relation").arg(orphans);
    }
};

// Records what the scan reports and lets a test act at the points where the window would
// process its pending messages.
class TestProgress : public ProgressSink {
public:
    void setStatus(const QString &text) override { statuses << text; }
    void pump() override
    {
        ++pumps;
        if (onPump)
            onPump(pumps);
    }
    bool cancelRequested() override { return cancel; }

    QStringList statuses;
    int pumps = 0;
    bool cancel = false;
    std::function<void(int pump)> onPump;
};

// While alive, this thread's file accesses are checked as an ordinary user even when the
// tests run as root (the file-system identity drops root's override of permissions).
class AsOrdinaryUser {
public:
    AsOrdinaryUser()
    {
        if (::geteuid() != 0)
            return;
        ::setfsgid(65534);
        ::setfsuid(65534);
        m_active = ::setfsuid(uid_t(-1)) == 65534;
    }
    ~AsOrdinaryUser()
    {
        if (::geteuid() != 0)
            return;
        ::setfsuid(0);
        ::setfsgid(0);
    }
    // False when running as root and the identity could not be dropped.
    bool effective() const { return ::geteuid() != 0 || m_active; }
    AsOrdinaryUser(const AsOrdinaryUser &) = delete;
    AsOrdinaryUser &operator=(const AsOrdinaryUser &) = delete;

private:
    bool m_active = false;
};
