#pragma once

#include "store/command.h"
#include "store/connection.h"
#include "store/query.h"
#include "store/recordset.h"

#include <QHash>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>

class ProgramPaths;
class Prompter;
class ThumbnailStore;

// The catalogue store: owns the connection and one live record set per table, opens the
// catalogue through the chain of connection strings, checks and upgrades its version,
// guarantees the default rows and gives new rows their defaults.
class TDados : public QObject {
    Q_OBJECT
public:
    TDados(ProgramPaths &paths, Prompter &prompter, QObject *parent = nullptr);
    ~TDados() override;

    // Reads the configuration, tries the connection strings in order (with their boxes),
    // checks the version and opens every table; true when all of it succeeded.
    bool OpenDatabaseAll();
    // Closes every record set, SQLTmp and the connection.
    void CloseDatabaseAll();
    // True when the catalogue may be used; upgrades an older one, refuses a newer one.
    bool CheckDatabaseVersion();
    // The thumbnail file of a picture: thumbnailFolder()/NNNNNNNN.jpg, the key in decimal,
    // zero-filled to 8 digits.
    QString GetThumbnailName(qint64 RecId) const;
    // The folder of this catalogue's thumbnails (ThumbnailPlace): the program's thumbnail
    // folder for the catalogue that owns it, a folder of its own in it for any other. Finding
    // it writes nothing.
    QString thumbnailFolder() const;
    // thumbnailFolder() found again: another process may have given the catalogue its
    // identity since it was first found.
    QString rereadThumbnailFolder();
    // Before a thumbnail is written: gives a writable catalogue that has none its identity
    // (in a transaction of its own, so never while one is open), lets the default catalogue
    // claim an unowned thumbnail folder, and makes the folder. Returns thumbnailFolder().
    // Failures are not reported: the thumbnails then go where thumbnailFolder() said.
    QString prepareThumbnailFolder();
    // The catalogue's thumbnails as kept where its engine keeps them, over thumbnailFolder():
    // what writers tell and readers ask before reading the files.
    std::unique_ptr<ThumbnailStore> thumbnails();
    // Every folder that holds thumbnails of any catalogue used from this program folder.
    QStringList allThumbnailFolders() const;

    // Hooks every record set runs before and after saving a row.
    void ClearNullsBeforePost(RecordSet &dataSet);
    void RefreshAfterPost(RecordSet &dataSet);

    // The connection is open (possibly without tables, after a refused version).
    bool connected() const { return Conexao.isOpen(); }
    // The connection string that opened, e.g. "Provider=Microsoft.Jet.OLEDB.4.0;Data
    // Source=/x/quillomar.mdb;"; empty when closed.
    QString connectionString() const { return Conexao.connectionString(); }
    // The first element of the open connection string, up to and including its ";"
    // ("Provider=PostgreSQL;" for a catalogue on a server).
    QString providerText() const;
    // The server of a catalogue on a server (host, and port when not the usual); empty for
    // a file.
    QString serverText() const;
    // The password for a catalogue on a server (else libpq's own: ~/.pgpass); never kept
    // in the configuration.
    void setCataloguePassword(const QString &password) { m_password = password; }
    // Asked for the password of a server catalogue each time the store opens one (the
    // keyring); what it gives is used when no password was set. Not asked for files.
    void setPasswordSource(std::function<QString(const QString &location)> source)
    {
        m_passwordSource = std::move(source);
    }

    // Asked to store a password the person typed and asked to keep, once the server took
    // it; returns why it could not (empty when stored). Said once per store, however often
    // it fails.
    void setPasswordKeeper(
        std::function<QString(const QString &location, const QString &password)> keeper)
    {
        m_passwordKeeper = std::move(keeper);
    }

    // Off: OpenDatabaseAll takes DatabaseFolder and DatabaseFileName as they are, without
    // reading the configuration file (the command line's --catalogue).
    void setConfigurationEnabled(bool enabled) { m_useConfiguration = enabled; }

    ProgramPaths &paths() const { return m_paths; }
    Prompter &prompter() const { return m_prompter; }

    Connection Conexao;
    Command SQLCmd;
    Query SQLTmp;
    RecordSet TFormats;
    RecordSet TColorDepth;
    RecordSet TResolutions;
    RecordSet TCollections;
    RecordSet TCategories;
    RecordSet TPictures;
    RecordSet TStorages;
    RecordSet TFTPAccounts;
    RecordSet TSMTPAccount;
    RecordSet CatalogInfo;

    qint64 DefaultCollectionId = 0;
    qint64 DefaultCategoryId = 0;
    QString DatabaseVersion;

private:
    bool tryConnect(const QString &connectionString, QString *error);
    bool connectToServer(const QString &location);
    void readConfiguration();
    // Inserts one default row in its own transaction unless the table has gained a row
    // meanwhile; its error is shown, not thrown. After a lock refused it no further default
    // row is tried.
    void insertDefaultRow(RecordSet &dataSet, const std::function<void(RecordSet &)> &fill);
    void installHooks();
    bool isDefaultCatalogue() const;
    QString cataloguePath() const;
    void forgetThumbnailFolder() const { m_thumbnailFolder.clear(); }

    ProgramPaths &m_paths;
    Prompter &m_prompter;
    bool m_useConfiguration = true;
    QString m_password;
    std::function<QString(const QString &)> m_passwordSource;
    std::function<QString(const QString &, const QString &)> m_passwordKeeper;
    // Passwords typed in this session, by user and server: a catalogue opened again (the
    // options, another database on the same server) does not ask twice.
    QHash<QString, QString> m_typedPasswords;
    bool m_keeperFailureSaid = false;
    bool m_defaultRowsLocked = false;
    mutable QString m_thumbnailFolder; // found once per opening
};
