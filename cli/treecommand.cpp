#include "cli/treecommand.h"

#include "browser/catalogtree.h"
#include "cli/clicommands.h"
#include "store/dberror.h"
#include "store/tdados.h"
#include "browser/treeloader.h"

QString escapeTreeName(const QString &name)
{
    QString out;
    out.reserve(name.size());
    for (QChar c : name) {
        if (c == QLatin1Char('\\'))
            out += QLatin1String("\\\\");
        else if (c == QLatin1Char('\t'))
            out += QLatin1String("\\t");
        else if (c == QLatin1Char('\n'))
            out += QLatin1String("\\n");
        else
            out += c;
    }
    return out;
}

void printTree(int treeNumber, const CatalogTree &tree, FILE *out)
{
    QByteArray buffer;
    buffer.reserve(1 << 16);
    // Depth by walking the parents would cost O(depth) per node; creation order lets it
    // be carried along instead.
    QVector<int> depth(tree.count());
    for (int i = 0; i < tree.count(); ++i) {
        const int p = tree.parentOf(i);
        depth[i] = p < 0 ? 0 : depth[p] + 1;
        buffer += QByteArray::number(treeNumber);
        buffer += '\t';
        buffer += QByteArray::number(depth[i]);
        buffer += '\t';
        buffer += tree.code(i).toLatin1();
        buffer += '\t';
        buffer += escapeTreeName(tree.name(i)).toUtf8();
        buffer += '\n';
        if (buffer.size() > (1 << 16) - 512) {
            std::fwrite(buffer.constData(), 1, size_t(buffer.size()), out);
            buffer.clear();
        }
    }
    std::fwrite(buffer.constData(), 1, size_t(buffer.size()), out);
}

int runTreeCommand(TDados &store, FILE *out)
{
    CatalogTree organisation;
    CatalogTree location;
    TreeLoader::Selection none;
    TreeLoader::Found found;
    try {
        TreeLoader::loadOrganisation(store, organisation, none, found);
        TreeLoader::loadLocation(store, location, none, found);
    } catch (const DbError &e) {
        std::fprintf(stderr, "%s\n", e.message().toLocal8Bit().constData());
        return ExitFailure;
    }
    printTree(1, organisation, out);
    printTree(2, location, out);
    std::fflush(out);
    return ExitOk;
}
