#include "cli/clisession.h"

#include "store/tdados.h"

#include <QFileInfo>

CliSession::CliSession(const QString &catalogue)
    : m_catalogue(catalogue), m_paths(ProgramPaths::forRunningProgram(QStringLiteral("quillomar")))
{
    if (!catalogue.isEmpty()) {
        const QFileInfo info(catalogue);
        m_paths.DatabaseFolder = info.absolutePath();
        m_paths.DatabaseFileName = info.fileName();
    }
    m_store = std::make_unique<TDados>(m_paths, m_prompter);
    m_store->setConfigurationEnabled(catalogue.isEmpty());
}

CliSession::~CliSession() = default;

bool CliSession::openStore()
{
    if (m_store->OpenDatabaseAll() && m_store->connected())
        return true;
    m_prompter.abortBox(QStringLiteral("Banco de dados não conectado."));
    return false;
}
