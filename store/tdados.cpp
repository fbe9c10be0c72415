#include "tdados.h"

#include "programpaths.h"
#include "prompter.h"

// Interim bodies while the store is written: it never opens.
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
}
TDados::~TDados() = default;
bool TDados::OpenDatabaseAll() { return false; }
void TDados::CloseDatabaseAll() {}
bool TDados::CheckDatabaseVersion() { return false; }
QString TDados::GetThumbnailName(qint64) const { return QString(); }
void TDados::ClearNullsBeforePost(RecordSet &) {}
void TDados::RefreshAfterPost(RecordSet &) {}
QString TDados::providerText() const { return QString(); }
bool TDados::tryConnect(const QString &) { return false; }
void TDados::insertDefaultRow(RecordSet &, const std::function<void(RecordSet &)> &) {}
void TDados::installHooks() {}
