#include "cli/clisession.h"

#include "batch/cataloguepassword.h"
#include "store/tdados.h"


CliSession::CliSession(const QString &catalogue)
    : m_catalogue(catalogue), m_paths(ProgramPaths::forRunningProgram(QStringLiteral("quillomar")))
{
    if (!catalogue.isEmpty())
        Connection::splitLocation(catalogue, &m_paths.DatabaseFolder, &m_paths.DatabaseFileName);
    m_store = std::make_unique<TDados>(m_paths, m_prompter);
    m_store->setConfigurationEnabled(catalogue.isEmpty());
    m_store->setPasswordSource(&cataloguepassword::fromKeyring);
}

void CliSession::setCataloguePassword(const QString &password)
{
    m_store->setCataloguePassword(password);
}

CliSession::~CliSession() = default;

bool CliSession::openStore()
{
    const int boxes = m_prompter.boxCount();
    if (!m_store->OpenDatabaseAll() || !m_store->connected()) {
        m_prompter.abortBox(QStringLiteral("Banco de dados não conectado."));
        return false;
    }
    // The window goes on after a box it showed while opening (a default row that could not
    // be written, a configuration that could not be read); a command would then work on a
    // catalogue other than the one asked for, or on one without its default rows.
    return m_prompter.boxCount() == boxes;
}
