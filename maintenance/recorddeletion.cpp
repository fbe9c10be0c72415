#include "maintenance/recorddeletion.h"

#include "core/prompter.h"
#include "intake/picturemeasure.h"
#include "maintenance/recordtables.h"
#include "store/tdados.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {
// Only a regular file is ever deleted: a symbolic link is not followed to its target, and
// nothing else (a folder, a device) is a picture's file.
bool isRegularFile(const QByteArray &path, struct stat *info)
{
    return ::lstat(path.constData(), info) == 0 && S_ISREG(info->st_mode);
}

QString prefixOf(NodeKind kind)
{
    switch (kind) {
    case NodeKind::Collection:
        return QStringLiteral("Excluindo uma coleção todas as suas categorias e imagens também "
                              "serão automaticamente excluídas do banco de dados. ");
    case NodeKind::Category:
        return QStringLiteral("Excluindo uma categoria todas as suas imagens também serão "
                              "automaticamente excluídas do banco de dados. ");
    case NodeKind::Storage:
        return QStringLiteral("Excluindo um local todas as suas imagens também serão "
                              "automaticamente excluídas do banco de dados. ");
    case NodeKind::Picture:
    case NodeKind::None: break;
    }
    return QString();
}
} // namespace

bool RecordDeletion::confirm(NodeKind kind)
{
    RecordSet &set = recordtables::recordSetOf(m_store, kind);
    m_prompter.beep();
    if (kind != NodeKind::Picture && set.asBool(QStringLiteral("System"))) {
        m_prompter.beep();
        m_prompter.warning(QStringLiteral("Registro do sistema. Exclusão não permitida."));
        return false;
    }
    if (!m_prompter.confirm(
            prefixOf(kind) + QStringLiteral("Confirmar a exclusão do registro selecionado?")))
        return false;
    FileToDelete.clear();
    m_picture = 0;
    if (kind == NodeKind::Picture) {
        m_picture = set.asInt(QStringLiteral("RecId"));
        FileToDelete = PictureMeasure::picturePath(
            set.asString(QStringLiteral("FullPath")), set.asString(QStringLiteral("FileName")));
        struct stat info;
        if (!isRegularFile(QFile::encodeName(FileToDelete), &info)
            || !m_prompter.confirmDefaultNo(QStringLiteral(
                "Exclusão do registro confirmada.\rApagar o arquivo físico também?")))
            FileToDelete.clear();
    }
    return true;
}

void RecordDeletion::finish(NodeKind kind)
{
    if (kind != NodeKind::Picture)
        return;
    if (!FileToDelete.isEmpty())
        deleteFile(FileToDelete);
    FileToDelete.clear();
    if (m_picture > 0) {
        // Another process may have given the catalogue its thumbnail folder meanwhile.
        m_store.rereadThumbnailFolder();
        QFile::remove(m_store.GetThumbnailName(m_picture));
    }
    m_picture = 0;
}

bool RecordDeletion::run(NodeKind kind)
{
    RecordSet &set = recordtables::recordSetOf(m_store, kind);
    if (set.isEmpty() || !confirm(kind))
        return false;
    set.deleteRecord();
    finish(kind);
    return true;
}

void RecordDeletion::deleteFile(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat info;
    if (!isRegularFile(name, &info))
        return; // gone meanwhile, or no longer a plain file
    if (!(info.st_mode & S_IWUSR)) {
        m_prompter.beep();
        const QString question = QStringLiteral("Arquivo ") + path
            + QStringLiteral(" somente para leitura!\rApagar assim mesmo?");
        if (!m_prompter.confirmDefaultNo(question, Prompter::Icon::Error))
            return;
        if (::chmod(name.constData(), (info.st_mode & 07777) | S_IWUSR) != 0) {
            reportFailure(path, QString::fromLocal8Bit(std::strerror(errno)));
            return;
        }
    }
    if (::unlink(name.constData()) != 0 && errno != ENOENT)
        reportFailure(path, QString::fromLocal8Bit(std::strerror(errno)));
}

// The person asked for the file to go: saying nothing would tell them it is gone.
void RecordDeletion::reportFailure(const QString &path, const QString &reason)
{
    m_prompter.beep();
    m_prompter.warning(
        QStringLiteral("O arquivo ") + path + QStringLiteral(" não pôde ser apagado.\r") + reason);
}
