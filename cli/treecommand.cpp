#include "cli/treecommand.h"

#include "browser/foldertree.h"
#include "browser/treeloader.h"
#include "browser/treerows.h"
#include "cli/clicommands.h"
#include "cli/linewriter.h"
#include "store/dberror.h"
#include "store/tdados.h"

#include <QByteArray>
#include <QVector>

#include <cerrno>
#include <charconv>
#include <cstring>

namespace {

// Each node of a walk as one line, written as it comes.
class TreePrinter : public TreeLoader::Visitor {
public:
    TreePrinter(int treeNumber, LineWriter &line) : m_treeNumber(treeNumber), m_line(line) { }
    void node(const TreeLoader::Node &n) override
    {
        m_line.number(m_treeNumber);
        m_line.byte('\t');
        m_line.number(n.depth);
        m_line.byte('\t');
        m_line.byte('N');
        m_line.number(int(n.kind));
        m_line.byte('=');
        m_line.number(n.key);
        m_line.byte('\t');
        m_line.name(n.rows.name(n.row, n.depth));
        m_line.byte('\n');
    }

private:
    int m_treeNumber;
    LineWriter &m_line;
};

} // namespace

// Each tree is printed as soon as it is read, and its rows' memory serves the next one.
int runTreeCommand(TDados &store, FILE *out)
{
    LineWriter line(out);
    TreeRows rows;
    const TreeLoader::Which trees[]
        = { TreeLoader::Which::Organisation, TreeLoader::Which::Location };
    for (int t = 0; t < 2; ++t) {
        const std::optional<DbError> failed = TreeLoader::read(store, trees[t], rows);
        if (failed) {
            line.flush();
            std::fflush(out);
            std::fprintf(stderr, "%s\n", failed->message().toLocal8Bit().constData());
            return ExitFailure;
        }
        TreePrinter printer(t + 1, line);
        TreeLoader::walk(rows, trees[t], printer);
    }
    const bool written = line.flush() && std::fflush(out) == 0 && !std::ferror(out);
    if (!written) {
        std::fprintf(stderr, "Não foi possível gravar a saída: %s\n", std::strerror(errno));
        return ExitFailure;
    }
    return ExitOk;
}

namespace {

// The "Pastas" tree of one storage, depth-first: a folder's subfolders, then its pictures.
void printFolders(const FolderTree &tree, const QVector<QVector<FolderTree::Picture>> &pictures,
    int folder, int depth, LineWriter &line)
{
    const auto lead = [&line](int d) {
        line.number(3);
        line.byte('\t');
        line.number(d);
        line.byte('\t');
    };
    for (const int sub : tree.folder(folder).children) {
        lead(depth);
        line.name(FolderTree::folderCode(tree.storage().key, tree.folder(sub).path));
        line.byte('\t');
        line.name(tree.folder(sub).name);
        line.byte('\n');
        printFolders(tree, pictures, sub, depth + 1, line);
    }
    for (const FolderTree::Picture &p : pictures[folder]) {
        lead(depth);
        line.byte('N');
        line.number(int(NodeKind::Picture));
        line.byte('=');
        line.number(p.key);
        line.byte('\t');
        line.name(p.name);
        line.byte('\n');
    }
}

} // namespace

int runFolderTreeCommand(TDados &store, FILE *out)
{
    LineWriter line(out);
    try {
        for (const FolderTree::Storage &storage : FolderTree::storages(store.Conexao)) {
            FolderTree tree;
            tree.read(store.Conexao, storage);
            line.number(3);
            line.byte('\t');
            line.number(0);
            line.byte('\t');
            line.byte('N');
            line.number(int(NodeKind::Storage));
            line.byte('=');
            line.number(storage.key);
            line.byte('\t');
            line.name(storage.name);
            line.byte('\n');
            printFolders(tree, tree.picturesByFolder(store.Conexao), 0, 1, line);
        }
    } catch (const DbError &e) {
        line.flush();
        std::fflush(out);
        std::fprintf(stderr, "%s\n", e.message().toLocal8Bit().constData());
        return ExitFailure;
    }
    const bool written = line.flush() && std::fflush(out) == 0 && !std::ferror(out);
    if (!written) {
        std::fprintf(stderr, "Não foi possível gravar a saída: %s\n", std::strerror(errno));
        return ExitFailure;
    }
    return ExitOk;
}
