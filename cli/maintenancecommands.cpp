#include "cli/maintenancecommands.h"

#include "cli/clicontext.h"
#include "cli/clisession.h"
#include "intake/drivelist.h"
#include "intake/picturerelink.h"
#include "intake/storagefordrive.h"
#include "maintenance/recorddeletion.h"
#include "maintenance/recordsave.h"
#include "maintenance/recordtables.h"
#include "store/dberror.h"
#include "store/tdados.h"

#include <QFileInfo>

#include <optional>

namespace {

const QString kRecId = QStringLiteral("RecId");
const QString kName = QStringLiteral("Name");
const QString kinds = QStringLiteral("collection|category|picture|storage");

std::optional<NodeKind> kindOf(const QString &text)
{
    if (text == QLatin1String("collection"))
        return NodeKind::Collection;
    if (text == QLatin1String("category"))
        return NodeKind::Category;
    if (text == QLatin1String("picture"))
        return NodeKind::Picture;
    if (text == QLatin1String("storage"))
        return NodeKind::Storage;
    return std::nullopt;
}

// A record key as typed: a positive integer.
std::optional<qint64> idOf(const QString &text)
{
    bool ok = false;
    const qint64 id = text.trimmed().toLongLong(&ok);
    return ok && id > 0 ? std::optional<qint64>(id) : std::nullopt;
}

QString kindWord(NodeKind kind)
{
    switch (kind) {
    case NodeKind::Collection: return QStringLiteral("coleção");
    case NodeKind::Category: return QStringLiteral("categoria");
    case NodeKind::Picture: return QStringLiteral("imagem");
    case NodeKind::Storage: return QStringLiteral("local");
    case NodeKind::None: break;
    }
    return QString();
}

// Stands the kind's record set on the row; says so on stderr when there is none.
bool locateRecord(CliContext &cx, TDados &store, NodeKind kind, qint64 id)
{
    if (recordtables::recordSetOf(store, kind).locate(kRecId, id))
        return true;
    cx.err(QStringLiteral("Não há %1 com o número %2.\n").arg(kindWord(kind)).arg(id));
    return false;
}

QString driveEntryOf(const QString &file)
{
    return DriveList::displayName(driveOfPath(QFileInfo(file).absolutePath()));
}

// `new collection NAME | category COLLECTION NAME | storage NAME UNIT | picture FILE`.
class NewCommand : public CliCommand {
public:
    QString name() const override { return QStringLiteral("new"); }
    QString summary() const override
    {
        return QStringLiteral("inclui um registro (%1) e escreve o seu número").arg(kinds);
    }
    QList<CliArgument> arguments() const override
    {
        return { { QStringLiteral("TIPO"), kinds },
            { QStringLiteral("VALORES"),
                QStringLiteral("collection NOME | category COLEÇÃO NOME | storage NOME UNIDADE | "
                               "picture ARQUIVO"),
                CliArgument::Count::Many } };
    }
    QList<QCommandLineOption> options() const override
    {
        return {
            { QStringLiteral("collection"), QStringLiteral("picture: a coleção da imagem"),
                QStringLiteral("ID") },
            { QStringLiteral("category"), QStringLiteral("picture: a categoria da imagem"),
                QStringLiteral("ID") },
            { QStringLiteral("name"),
                QStringLiteral("picture: o nome (sem ela: o do arquivo sem a extensão)"),
                QStringLiteral("NOME") },
        };
    }
    int run(CliContext &cx) override;

private:
    int newPicture(CliContext &cx, const QString &file);
};

int NewCommand::run(CliContext &cx)
{
    QStringList args = cx.arguments();
    const std::optional<NodeKind> kind = kindOf(args.takeFirst());
    if (!kind)
        return cx.usageError(QStringLiteral("new: o TIPO é um de %1").arg(kinds));
    const int wanted = *kind == NodeKind::Category || *kind == NodeKind::Storage ? 2 : 1;
    if (args.size() != wanted)
        return cx.usageError(
            QStringLiteral("new %1: são %2 valores").arg(kindWord(*kind)).arg(wanted));
    const bool pictureOptions = cx.isSet(QStringLiteral("collection"))
        || cx.isSet(QStringLiteral("category")) || cx.isSet(QStringLiteral("name"));
    if (pictureOptions && *kind != NodeKind::Picture)
        return cx.usageError(
            QStringLiteral("new: --collection, --category e --name são de picture"));
    std::optional<qint64> collection;
    if (*kind == NodeKind::Category && !(collection = idOf(args.first())))
        return cx.usageError(
            QStringLiteral("new category: COLEÇÃO não é um número: %1").arg(args.first()));

    CliSession &session = cx.session();
    if (!session.openStore())
        return ExitFailure;
    if (*kind == NodeKind::Picture)
        return newPicture(cx, args.first());

    TDados &store = session.store();
    RecordSet &set = recordtables::recordSetOf(store, *kind);
    RecordSave save(store, session.prompter()); // an insert's transaction begins with its save
    try {
        if (collection && !locateRecord(cx, store, NodeKind::Collection, *collection))
            return ExitFailure;
        set.insert();
        switch (*kind) {
        case NodeKind::Collection: set.setValue(kName, args.at(0)); break;
        case NodeKind::Category:
            set.setValue(QStringLiteral("Collection"), *collection);
            set.setValue(kName, args.at(1));
            break;
        case NodeKind::Storage: {
            QString unit = args.at(1);
            while (unit.size() > 1 && unit.endsWith(QLatin1Char('/')))
                unit.chop(1);
            set.setValue(kName, args.at(0));
            set.setValue(QStringLiteral("Unit"), unit);
            break;
        }
        default: break;
        }
    } catch (const DbError &e) {
        session.prompter().error(e.message());
        save.abandon(*kind);
        return ExitFailure;
    }
    if (!save.save(*kind))
        return ExitFailure;
    cx.out(QString::number(set.asInt(kRecId)) + QLatin1Char('\n'));
    return ExitOk;
}

int NewCommand::newPicture(CliContext &cx, const QString &file)
{
    CliSession &session = cx.session();
    TDados &store = session.store();
    Prompter &prompter = session.prompter();
    std::optional<qint64> collection, category;
    for (auto [option, id] : { std::pair { QStringLiteral("collection"), &collection },
             std::pair { QStringLiteral("category"), &category } }) {
        if (!cx.isSet(option))
            continue;
        *id = idOf(cx.value(option));
        if (!*id)
            return cx.usageError(QStringLiteral("new picture: --%1 não é um número: %2")
                                     .arg(option, cx.value(option)));
    }
    if (const QString refusal = PictureRelink::refusal(file); !refusal.isEmpty()) {
        cx.err(refusal + QLatin1Char('\n'));
        return ExitFailure;
    }
    RecordSet &pictures = store.TPictures;
    RecordSave save(store, prompter); // an insert's transaction begins with its save
    try {
        if (category) {
            if (!locateRecord(cx, store, NodeKind::Category, *category))
                return ExitFailure;
            const qint64 owner = store.TCategories.asInt(QStringLiteral("Collection"));
            if (collection && *collection != owner) {
                cx.err(QStringLiteral("A categoria %1 não é da coleção %2.\n")
                           .arg(*category)
                           .arg(*collection));
                return ExitFailure;
            }
            collection = owner;
        }
        if (collection && !locateRecord(cx, store, NodeKind::Collection, *collection))
            return ExitFailure;
        pictures.insert();
        if (collection) {
            pictures.setValue(QStringLiteral("Collection"), *collection);
            // As the picker does: the collection's first category, or none.
            if (!category) {
                Query &q = store.SQLTmp;
                q.close();
                q.setSql(QStringLiteral(
                    "SELECT RecId FROM Categories WHERE Collection = :COL ORDER BY RecId LIMIT 1"));
                q.setParam(QStringLiteral("COL"), *collection);
                q.open();
                const QVariant first = q.eof() ? QVariant() : q.value(kRecId);
                q.close();
                pictures.setValue(QStringLiteral("Category"), first);
            }
        }
        if (category)
            pictures.setValue(QStringLiteral("Category"), *category);
        if (cx.isSet(QStringLiteral("name")))
            pictures.setValue(kName, cx.value(QStringLiteral("name")));
        PictureRelink::fill(store, file, [&file] { return driveEntryOf(file); });
        PictureRelink::recordDetails(store);
    } catch (const DbError &e) {
        prompter.error(e.message());
        save.abandon(NodeKind::Picture);
        return ExitFailure;
    }
    if (!save.save(NodeKind::Picture))
        return ExitFailure;
    cx.out(QString::number(pictures.asInt(kRecId)) + QLatin1Char('\n'));
    return ExitOk;
}

// Parses "KIND ID" at the head of the arguments; nullopt after a usage error.
struct Target {
    NodeKind kind = NodeKind::None;
    qint64 id = 0;
};
std::optional<Target> targetOf(CliContext &cx, const QString &command, bool *usage)
{
    const QStringList args = cx.arguments();
    *usage = true;
    const std::optional<NodeKind> kind = kindOf(args.value(0));
    if (!kind) {
        cx.usageError(QStringLiteral("%1: o TIPO é um de %2").arg(command, kinds));
        return std::nullopt;
    }
    const std::optional<qint64> id = idOf(args.value(1));
    if (!id) {
        cx.usageError(QStringLiteral("%1: ID não é um número: %2").arg(command, args.value(1)));
        return std::nullopt;
    }
    *usage = false;
    return Target { *kind, *id };
}

// `rename KIND ID NAME`: the page's edit and save of the name.
class RenameCommand : public CliCommand {
public:
    QString name() const override { return QStringLiteral("rename"); }
    QString summary() const override
    {
        return QStringLiteral("dá outro nome a um registro (%1)").arg(kinds);
    }
    QList<CliArgument> arguments() const override
    {
        return { { QStringLiteral("TIPO"), kinds },
            { QStringLiteral("ID"), QStringLiteral("o número do registro") },
            { QStringLiteral("NOME"), QStringLiteral("o nome novo") } };
    }
    int run(CliContext &cx) override
    {
        bool usage = false;
        const std::optional<Target> target = targetOf(cx, name(), &usage);
        if (!target)
            return ExitUsage;
        CliSession &session = cx.session();
        if (!session.openStore())
            return ExitFailure;
        TDados &store = session.store();
        RecordSet &set = recordtables::recordSetOf(store, target->kind);
        RecordSave save(store, session.prompter());
        try {
            if (!locateRecord(cx, store, target->kind, target->id))
                return ExitFailure;
            save.editStarted();
            set.edit();
            set.setValue(kName, cx.arguments().at(2));
        } catch (const DbError &e) {
            session.prompter().error(e.message());
            save.abandon(target->kind);
            return ExitFailure;
        }
        return save.save(target->kind) ? ExitOk : ExitFailure;
    }
};

// Answers the deletion's questions as the options say: every confirmation Yes, the
// picture file's question only with --delete-file, the read-only one only with --force.
class DeletionAnswers : public Prompter {
public:
    DeletionAnswers(Prompter &console, bool deleteFile, bool force)
        : m_console(console), m_deleteFile(deleteFile), m_force(force)
    {
    }
    Button box(Icon icon, const QString &text, Buttons buttons) override
    {
        if (buttons == (Buttons(Yes) | No)) {
            bool yes = true;
            if (text
                == QStringLiteral(
                    "Exclusão do registro confirmada.\rApagar o arquivo físico também?"))
                yes = m_deleteFile;
            else if (icon == Icon::Error && text.startsWith(QStringLiteral("Arquivo "))
                && text.endsWith(QStringLiteral(" somente para leitura!\rApagar assim mesmo?")))
                yes = m_force;
            // The console shows the text and takes the one button offered.
            return m_console.box(icon, text, yes ? Yes : No);
        }
        return m_console.box(icon, text, buttons);
    }
    std::optional<QString> inputText(
        const QString &caption, const QString &prompt, const QString &initial) override
    {
        return m_console.inputText(caption, prompt, initial);
    }
    QString pickFolder(const QString &caption, const QString &start) override
    {
        return m_console.pickFolder(caption, start);
    }
    QString pickFile(const QString &caption, const QString &filter, const QString &start) override
    {
        return m_console.pickFile(caption, filter, start);
    }
    void beep() override { m_console.beep(); }

private:
    Prompter &m_console;
    bool m_deleteFile;
    bool m_force;
};

// `delete KIND ID [--delete-file] [--force]`.
class DeleteCommand : public CliCommand {
public:
    QString name() const override { return QStringLiteral("delete"); }
    QString summary() const override
    {
        return QStringLiteral("exclui um registro (%1) e o que depende dele").arg(kinds);
    }
    QList<CliArgument> arguments() const override
    {
        return { { QStringLiteral("TIPO"), kinds },
            { QStringLiteral("ID"), QStringLiteral("o número do registro") } };
    }
    QList<QCommandLineOption> options() const override
    {
        return {
            { QStringLiteral("delete-file"),
                QStringLiteral("picture: apaga também o arquivo da imagem") },
            { QStringLiteral("force"),
                QStringLiteral("apaga o arquivo mesmo quando ele é somente para leitura") },
        };
    }
    int run(CliContext &cx) override
    {
        bool usage = false;
        const std::optional<Target> target = targetOf(cx, name(), &usage);
        if (!target)
            return ExitUsage;
        CliSession &session = cx.session();
        if (!session.openStore())
            return ExitFailure;
        TDados &store = session.store();
        DeletionAnswers answers(session.prompter(), cx.isSet(QStringLiteral("delete-file")),
            cx.isSet(QStringLiteral("force")));
        try {
            if (!locateRecord(cx, store, target->kind, target->id))
                return ExitFailure;
            RecordDeletion deletion(store, answers);
            return deletion.run(target->kind) ? ExitOk : ExitFailure;
        } catch (const DbError &e) {
            answers.error(e.message());
            return ExitFailure;
        }
    }
};

// `relink PICTURE FILE`: "Localizar" on the picture, then save.
class RelinkCommand : public CliCommand {
public:
    QString name() const override { return QStringLiteral("relink"); }
    QString summary() const override
    {
        return QStringLiteral("liga a imagem a outro arquivo, como \"Localizar\" e gravar");
    }
    QList<CliArgument> arguments() const override
    {
        return { { QStringLiteral("IMAGEM"), QStringLiteral("o número da imagem") },
            { QStringLiteral("ARQUIVO"), QStringLiteral("o arquivo da imagem") } };
    }
    int run(CliContext &cx) override
    {
        const std::optional<qint64> id = idOf(cx.arguments().at(0));
        if (!id)
            return cx.usageError(
                QStringLiteral("relink: IMAGEM não é um número: %1").arg(cx.arguments().at(0)));
        const QString file = cx.arguments().at(1);
        CliSession &session = cx.session();
        if (!session.openStore())
            return ExitFailure;
        if (const QString refusal = PictureRelink::refusal(file); !refusal.isEmpty()) {
            cx.err(refusal + QLatin1Char('\n'));
            return ExitFailure;
        }
        TDados &store = session.store();
        RecordSet &pictures = store.TPictures;
        RecordSave save(store, session.prompter());
        try {
            if (!locateRecord(cx, store, NodeKind::Picture, *id))
                return ExitFailure;
            save.editStarted();
            pictures.edit();
            PictureRelink::fill(
                store, file, [&file] { return driveEntryOf(file); },
                [&save] { save.beforeWrite(); });
            PictureRelink::recordDetails(store);
        } catch (const DbError &e) {
            session.prompter().error(e.message());
            save.abandon(NodeKind::Picture);
            return ExitFailure;
        }
        return save.save(NodeKind::Picture) ? ExitOk : ExitFailure;
    }
};

} // namespace

std::unique_ptr<CliCommand> makeNewCommand()
{
    return std::make_unique<NewCommand>();
}

std::unique_ptr<CliCommand> makeRenameCommand()
{
    return std::make_unique<RenameCommand>();
}

std::unique_ptr<CliCommand> makeDeleteCommand()
{
    return std::make_unique<DeleteCommand>();
}

std::unique_ptr<CliCommand> makeRelinkCommand()
{
    return std::make_unique<RelinkCommand>();
}
