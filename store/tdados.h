#pragma once

#include <QObject>
#include <QString>

class ProgramPaths;
class Prompter;

// Placeholder of the catalogue store until the engine binding lands: it never opens.
class TDados : public QObject
{
    Q_OBJECT
public:
    TDados(ProgramPaths &paths, Prompter &prompter, QObject *parent = nullptr);

    bool OpenDatabaseAll();
    void CloseDatabaseAll();
    bool connected() const { return false; }
    QString connectionString() const { return QString(); }

private:
    ProgramPaths &m_paths;
    Prompter &m_prompter;
};
