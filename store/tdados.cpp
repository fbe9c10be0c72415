#include "store/tdados.h"

#include "core/inifile.h"
#include "core/programpaths.h"
#include "core/prompter.h"
#include "core/versiontools.h"
#include "store/catalogueidentity.h"
#include "store/cataloguelocks.h"
#include "store/dberror.h"
#include "store/dialect.h"
#include "store/schema.h"
#include "store/statement.h"
#include "store/thumbnailplace.h"
#include "store/thumbnailstore.h"
#include "store/transaction.h"

#include <QDir>
#include <QStorageInfo>

namespace {

const QString jet40 = QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=");
const QString jet50 = QStringLiteral("Provider=Microsoft.Jet.OLEDB.5.0;Data Source=");
const QString jet351 = QStringLiteral("Provider=Microsoft.Jet.OLEDB.3.51;Data Source=");
const QString odbcPrefix
    = QStringLiteral("Provider=MSDASQL.1;Connect Timeout=15;Extended Properties=\"DBQ=");
const QString odbcSuffix1 = QStringLiteral(";Driver={Microsoft Access Driver (*.mdb)}\"");
const QString odbcSuffix2 = QStringLiteral(";Driver={Driver do Microsoft Access (*.mdb)}\"");

const QString newerCatalogue
    = QStringLiteral("A versão do programa é mais antiga que o banco de dados.");

// The mount point holding the current folder plays the role of its drive.
QString currentDrive()
{
    QString root = QStorageInfo(QDir::currentPath()).rootPath();
    while (root.size() > 1 && root.endsWith(QLatin1Char('/')))
        root.chop(1);
    return root;
}

} // namespace

TDados::TDados(ProgramPaths &paths, Prompter &prompter, QObject *parent)
    : QObject(parent),
      Conexao(this),
      SQLCmd(Conexao),
      SQLTmp(Conexao),
      TFormats(Conexao, QStringLiteral("Formats"), this),
      TColorDepth(Conexao, QStringLiteral("ColorDepth"), this),
      TResolutions(Conexao, QStringLiteral("Resolutions"), this),
      TCollections(Conexao, QStringLiteral("Collections"), this),
      TCategories(Conexao, QStringLiteral("Categories"), this),
      TPictures(Conexao, QStringLiteral("Pictures"), this),
      TStorages(Conexao, QStringLiteral("Storages"), this),
      TFTPAccounts(Conexao, QStringLiteral("FTPAccounts"), this),
      TSMTPAccount(Conexao, QStringLiteral("SMTPAccount"), this),
      CatalogInfo(Conexao, QStringLiteral("CatalogInfo"), this),
      m_paths(paths),
      m_prompter(prompter)
{
    setObjectName(QStringLiteral("TDados"));
    Conexao.setObjectName(QStringLiteral("Conexao"));
    Conexao.setRequiredTables(Schema::tableNames());
    TFormats.setObjectName(QStringLiteral("TFormats"));
    TColorDepth.setObjectName(QStringLiteral("TColorDepth"));
    TResolutions.setObjectName(QStringLiteral("TResolutions"));
    TCollections.setObjectName(QStringLiteral("TCollections"));
    TCategories.setObjectName(QStringLiteral("TCategories"));
    TPictures.setObjectName(QStringLiteral("TPictures"));
    TStorages.setObjectName(QStringLiteral("TStorages"));
    TFTPAccounts.setObjectName(QStringLiteral("TFTPAccounts"));
    TSMTPAccount.setObjectName(QStringLiteral("TSMTPAccount"));
    CatalogInfo.setObjectName(QStringLiteral("CatalogInfo"));

    TCollections.setSort(QStringLiteral("Name"));
    TCategories.setSort(QStringLiteral("Collection;Name"));
    TPictures.setSort(QStringLiteral("Name"));
    TStorages.setSort(QStringLiteral("Name"));
    installHooks();
}

TDados::~TDados()
{
    CloseDatabaseAll();
}

void TDados::installHooks()
{
    RecordSet *all[] = { &TFormats, &TColorDepth, &TResolutions, &TCollections, &TCategories,
        &TPictures, &TStorages, &TFTPAccounts, &TSMTPAccount, &CatalogInfo };
    for (RecordSet *rs : all) {
        rs->beforePost = [this](RecordSet &d) { ClearNullsBeforePost(d); };
        rs->afterPost = [this](RecordSet &d) { RefreshAfterPost(d); };
    }

    TCollections.afterOpen = [this](RecordSet &d) {
        if (d.isEmpty()) {
            insertDefaultRow(d, [](RecordSet &r) {
                r.setValue(QStringLiteral("Name"), QStringLiteral("(undefined)"));
                r.setValue(QStringLiteral("System"), true);
            });
        }
        if (d.locate(QStringLiteral("System"), true))
            DefaultCollectionId = d.asInt(QStringLiteral("RecId"));
    };
    TCategories.afterOpen = [this](RecordSet &d) {
        if (d.isEmpty()) {
            insertDefaultRow(d, [this](RecordSet &r) {
                r.setValue(QStringLiteral("Collection"), DefaultCollectionId);
                r.setValue(QStringLiteral("Name"), QStringLiteral("(undefined)"));
                r.setValue(QStringLiteral("System"), true);
            });
        }
        if (d.locate(QStringLiteral("System"), true))
            DefaultCategoryId = d.asInt(QStringLiteral("RecId"));
    };
    TStorages.afterOpen = [this](RecordSet &d) {
        if (d.isEmpty()) {
            insertDefaultRow(d, [](RecordSet &r) {
                r.setValue(QStringLiteral("Name"), QStringLiteral("(local)"));
                r.setValue(QStringLiteral("Unit"), currentDrive());
                r.setValue(QStringLiteral("System"), true);
            });
        }
        d.locate(QStringLiteral("System"), true);
    };
    TSMTPAccount.afterOpen = [this](RecordSet &d) {
        if (d.isEmpty())
            insertDefaultRow(d, [](RecordSet &r) { r.setValue(QStringLiteral("Port"), 25); });
    };
    CatalogInfo.afterOpen = [this](RecordSet &d) {
        if (d.isEmpty())
            insertDefaultRow(d, [](RecordSet &) {});
    };

    TCollections.afterInsert = [](RecordSet &d) { d.setValue(QStringLiteral("System"), false); };
    TCategories.afterInsert = [this](RecordSet &d) {
        d.setValue(QStringLiteral("Collection"), DefaultCollectionId);
        d.setValue(QStringLiteral("System"), false);
    };
    TPictures.afterInsert = [this](RecordSet &d) {
        d.setValue(QStringLiteral("Collection"), DefaultCollectionId);
        d.setValue(QStringLiteral("Category"), DefaultCategoryId);
        d.setValue(QStringLiteral("Review"), true);
    };
    TFTPAccounts.afterInsert = [](RecordSet &d) {
        d.setValue(QStringLiteral("Port"), 21);
        d.setValue(QStringLiteral("UseProxyServer"), false);
    };
}

void TDados::insertDefaultRow(RecordSet &dataSet, const std::function<void(RecordSet &)> &fill)
{
    // Nothing can be written to a read-only catalogue; after a row refused for a lock the
    // others would only wait for the same lock and repeat the same message.
    if (m_defaultRowsLocked || Conexao.isReadOnly())
        return;
    try {
        Transaction transaction(Conexao);
        CatalogueLocks::setup(Conexao);
        // Another process starting at the same time may have added the row since the set
        // was read: look again while holding the lock.
        bool taken = false;
        {
            Statement look(Conexao,
                QStringLiteral("SELECT 1 FROM %1 LIMIT 1")
                    .arg(Conexao.dialect().quoted(dataSet.tableName())));
            Statement::Reset done(look);
            taken = look.step();
        }
        if (taken) {
            transaction.rollback();
            dataSet.requery();
            return;
        }
        dataSet.insert();
        fill(dataSet);
        dataSet.post();
        transaction.commit();
    } catch (const DbError &e) {
        m_defaultRowsLocked
            = e.kind() == DbError::Kind::Busy || e.kind() == DbError::Kind::ReadOnly;
        // The transaction has rolled back: show the set without the row.
        try {
            if (dataSet.state() == RecordSet::State::Insert)
                dataSet.cancel();
            else
                dataSet.refresh();
        } catch (const DbError &) {
        }
        m_prompter.error(e.message());
    }
}

void TDados::readConfiguration()
{
    IniFile ini(m_paths.ConfigFile);
    const QString folder = ini.readString(
        QStringLiteral("DATABASE"), QStringLiteral("PATH"), m_paths.DatabaseFolder);
    if (!ini.error().isEmpty()) {
        m_prompter.error(ini.error());
        return;
    }
    const QString file = ini.readString(
        QStringLiteral("DATABASE"), QStringLiteral("FILENAME"), m_paths.DatabaseFileName);
    if (!ini.error().isEmpty()) {
        m_prompter.error(ini.error());
        return;
    }
    m_paths.DatabaseFolder = folder;
    m_paths.DatabaseFileName = file;
}

bool TDados::tryConnect(const QString &connectionString, QString *error)
{
    try {
        Conexao.open(connectionString);
        return true;
    } catch (const DbError &e) {
        *error = e.message();
        return false;
    }
}

// A catalogue on a server: the password given, else one typed before in this session, else
// the keyring's, else libpq's own (~/.pgpass). While the server wants a password, or refuses
// the one given, the person is asked for it; a server that cannot be reached is said in
// Portuguese, and the other providers are not tried (none of them reaches a server).
bool TDados::connectToServer(const QString &location)
{
    const QString user = Connection::serverUser(location);
    const QString server = Connection::serverAddress(location);
    const QString account = user + QLatin1Char('@') + server;
    QString password = m_password;
    if (password.isEmpty())
        password = m_typedPasswords.value(account);
    if (password.isEmpty() && m_passwordSource)
        password = m_passwordSource(location);
    std::optional<Prompter::CataloguePassword> typed;
    for (;;) {
        Conexao.setPassword(password);
        try {
            Conexao.open(jet40 + location + QLatin1Char(';'));
            break;
        } catch (const DbError &e) {
            if (!e.isPasswordFailure() || e.kind() != DbError::Kind::Connection) {
                m_prompter.errorWithDetail(e.message(), e.detail());
                return false;
            }
            QString problem;
            if (e.reach() == DbError::Reach::PasswordRefused) {
                problem = typed ? QStringLiteral("Senha incorreta. Digite-a de novo.")
                                : QStringLiteral("O servidor recusou a senha guardada. Digite a "
                                                 "senha do catálogo.");
            }
            typed = m_prompter.cataloguePassword(user, server, problem);
            if (!typed) {
                // Cancelled, or nobody to ask: the opening fails, saying why.
                m_prompter.errorWithDetail(e.message(), e.detail());
                return false;
            }
            password = typed->password;
        }
    }
    if (!typed)
        return true;
    m_typedPasswords.insert(account, password);
    if (typed->keep && m_passwordKeeper) {
        const QString failure = m_passwordKeeper(location, password);
        if (!failure.isEmpty() && !m_keeperFailureSaid) {
            m_keeperFailureSaid = true;
            m_prompter.boxWithDetail(Prompter::Icon::Warning,
                QStringLiteral("Nenhum chaveiro respondeu: a senha do catálogo não foi guardada "
                               "e vale só até o programa terminar."),
                failure);
        }
    }
    return true;
}

bool TDados::OpenDatabaseAll()
{
    if (Conexao.isOpen())
        CloseDatabaseAll();
    forgetThumbnailFolder();
    if (m_useConfiguration)
        readConfiguration();
    m_defaultRowsLocked = false;
    const QString path = m_paths.databasePath();
    QString error;
    if (Connection::isServerLocation(path)) {
        if (!connectToServer(path))
            return false;
    } else {
        Conexao.setPassword(QString());
    }
    const QString firstGroup[] = { jet40 + path + QLatin1Char(';'), jet50 + path + QLatin1Char(';'),
        jet351 + path + QLatin1Char(';') };
    for (const QString &cs : firstGroup) {
        if (Conexao.isOpen() || tryConnect(cs, &error))
            break;
    }
    if (!Conexao.isOpen() && !m_prompter.ignoreCancel(error))
        return false;
    if (!Conexao.isOpen()) {
        const QString secondGroup[]
            = { odbcPrefix + path + odbcSuffix1, odbcPrefix + path + odbcSuffix2 };
        for (const QString &cs : secondGroup) {
            if (tryConnect(cs, &error))
                break;
        }
        if (!Conexao.isOpen()) {
            m_prompter.error(error);
            return false;
        }
    }

    if (!CheckDatabaseVersion())
        return false;

    RecordSet *order[] = { &TFormats, &TColorDepth, &TResolutions, &TCollections, &TCategories,
        &TPictures, &TStorages, &TFTPAccounts, &TSMTPAccount };
    try {
        for (RecordSet *rs : order) {
            if (!rs->isOpen())
                rs->open();
        }
    } catch (const DbError &e) {
        m_prompter.error(e.message());
        return false;
    }
    return true;
}

void TDados::CloseDatabaseAll()
{
    RecordSet *order[] = { &TSMTPAccount, &TFTPAccounts, &TStorages, &TPictures, &TCategories,
        &TCollections, &TResolutions, &TColorDepth, &TFormats, &CatalogInfo };
    for (RecordSet *rs : order) {
        if (rs->isOpen())
            rs->close();
    }
    if (SQLTmp.isOpen())
        SQLTmp.close();
    Conexao.close();
    forgetThumbnailFolder();
}

bool TDados::CheckDatabaseVersion()
{
    try {
        CatalogInfo.open();
        const QStringList names = CatalogInfo.fieldNames();
        CatalogInfo.close();
        if (!names.contains(QStringLiteral("Version"), Qt::CaseInsensitive)) {
            SQLCmd.setSql(
                QStringLiteral("ALTER TABLE CatalogInfo ADD COLUMN Version Char(20) NULL"));
            SQLCmd.execute();
        }
    } catch (const DbError &e) {
        CatalogInfo.close();
        m_prompter.error(e.message());
        return false;
    }

    QString comparison;
    try {
        CatalogInfo.open();
        DatabaseVersion = CatalogInfo.asString(QStringLiteral("Version")).trimmed();
        comparison = CompareVersions(DatabaseVersion, m_paths.ProgramVersion);
        CatalogInfo.close();
    } catch (const DbError &) {
        CatalogInfo.close(); // unreadable: neither equal nor newer, so it is upgraded
    }

    if (comparison == QLatin1String("GT")) {
        m_prompter.error(newerCatalogue);
        return false;
    }
    if (comparison == QLatin1String("EQ"))
        return true;

    // One transaction, so that an upgrade is never left half done.
    try {
        Transaction transaction(Conexao);
        CatalogueLocks::setup(Conexao);
        if (CompareVersions(DatabaseVersion, QStringLiteral("1.0.0.2")) == QLatin1String("LT")) {
            SQLCmd.setSql(
                QStringLiteral("UPDATE Formats SET Support = :NOVO WHERE Extension = :CHAVE"));
            SQLCmd.setParam(QStringLiteral("CHAVE"), QStringLiteral("png"));
            SQLCmd.setParam(QStringLiteral("NOVO"), true);
            SQLCmd.execute();
        }
        Schema::createMissingIndexes(Conexao);
        SQLCmd.setSql(QStringLiteral("UPDATE CatalogInfo SET Version = :Versao_Corrente"));
        SQLCmd.setParam(QStringLiteral("Versao_Corrente"), m_paths.ProgramVersion);
        SQLCmd.execute();
        transaction.commit();
    } catch (const DbError &e) {
        m_prompter.error(e.message());
        return false;
    }
    return true;
}

QString TDados::GetThumbnailName(qint64 RecId) const
{
    return joinPath(
        thumbnailFolder(), QStringLiteral("%1.jpg").arg(RecId, 8, 10, QLatin1Char('0')));
}

QString TDados::cataloguePath() const
{
    return Conexao.isOpen() ? Conexao.filePath() : m_paths.databasePath();
}

bool TDados::isDefaultCatalogue() const
{
    // The file beside the program, not whichever one the configuration names.
    return ThumbnailPlace::sameFile(
        cataloguePath(), joinPath(m_paths.ProgramFolder, m_paths.defaultDatabaseName()));
}

QString TDados::thumbnailFolder() const
{
    if (!m_thumbnailFolder.isEmpty())
        return m_thumbnailFolder;
    ThumbnailPlace::Catalogue catalogue;
    catalogue.file = cataloguePath();
    catalogue.isDefault = isDefaultCatalogue();
    // Kept only when the catalogue could be read: a closed store may yet open another
    // catalogue, and an identity not read (a lock) may be there all the same.
    bool known = false;
    if (Conexao.isOpen()) {
        try {
            catalogue.identity = CatalogueIdentity::read(const_cast<Connection &>(Conexao));
            known = true;
        } catch (const DbError &) {
        }
    }
    const QString folder = ThumbnailPlace::folderOf(m_paths.ThumbnailFolder, catalogue);
    if (known)
        m_thumbnailFolder = folder;
    return folder;
}

QString TDados::rereadThumbnailFolder()
{
    forgetThumbnailFolder();
    return thumbnailFolder();
}

QString TDados::prepareThumbnailFolder()
{
    QString identity;
    if (Conexao.isOpen()) {
        try {
            identity = Conexao.isReadOnly() || Conexao.inTransaction()
                ? CatalogueIdentity::read(Conexao)
                : CatalogueIdentity::ensure(Conexao);
        } catch (const DbError &) {
        }
    }
    if (!identity.isEmpty() && isDefaultCatalogue())
        ThumbnailPlace::claim(m_paths.ThumbnailFolder, identity);
    forgetThumbnailFolder();
    const QString folder = thumbnailFolder();
    QDir().mkpath(folder);
    return folder;
}

std::unique_ptr<ThumbnailStore> TDados::thumbnails()
{
    return ThumbnailStore::of(Conexao, thumbnailFolder());
}

QStringList TDados::allThumbnailFolders() const
{
    return ThumbnailPlace::allFolders(m_paths.ThumbnailFolder);
}

void TDados::ClearNullsBeforePost(RecordSet &dataSet)
{
    for (const QString &field : dataSet.fieldNames()) {
        const RecordSet::FieldKind kind = dataSet.fieldKind(field);
        if (kind != RecordSet::FieldKind::ShortText && kind != RecordSet::FieldKind::LongText)
            continue;
        if (!dataSet.isNull(field) && dataSet.asString(field).isEmpty())
            dataSet.setValue(field, QVariant());
    }
}

void TDados::RefreshAfterPost(RecordSet &dataSet)
{
    if (!Conexao.inTransaction())
        dataSet.refresh();
}

QString TDados::serverText() const
{
    return Conexao.serverHost();
}

QString TDados::providerText() const
{
    const QString cs = connectionString();
    const int semi = cs.indexOf(QLatin1Char(';'));
    return semi < 0 ? cs : cs.left(semi + 1);
}
