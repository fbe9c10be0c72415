#include "cataloguegenerator.h"

#include "core/versiontools.h"
#include "store/connection.h"
#include "store/dberror.h"
#include "store/dbvalues.h"
#include "store/schema.h"
#include "store/transaction.h"

#include <QDateTime>
#include <QStringList>
#include <random>
#include <sqlite3.h>

namespace {

const char *const collectionWords[] = { "Viagens", "Família", "Natureza", "Casamentos",
    "Aniversários", "Trabalho", "Escola", "Praias", "Montanhas", "Cidades", "Animais", "Flores",
    "Festas", "Esportes", "Arquitetura", "Retratos", "Carnaval", "Natal", "Férias", "Museus",
    "Concertos", "Jardim", "Reformas", "Carros", "Comida", "Amigos", "Formatura", "Batizados",
    "Pôr do sol", "Rios", "Igrejas", "Fazenda", "Pesca", "Acampamento", "Neve", "Ilhas", "Desfiles",
    "Exposições", "Documentos", "Antigas", "Digitalizadas", "Celular", "Drone", "Macro", "Noturnas",
    "Paisagens", "Eventos", "Clientes", "Projetos" };

const char *const categoryWords[]
    = { "2001", "2002", "2003", "2004", "2005", "2006", "2007", "2008", "2009", "2010", "Janeiro",
          "Fevereiro", "Março", "Abril", "Maio", "Junho", "Julho", "Agosto", "Setembro", "Outubro",
          "Novembro", "Dezembro", "Selecionadas", "Originais", "Editadas", "Rascunhos" };

const char *const places[]
    = { "praia", "serra", "centro", "parque", "lagoa", "cachoeira", "fazenda", "festa", "casa",
          "escritorio", "estadio", "igreja", "mercado", "ponte", "rio", "ilha", "porto", "museu" };

const char *const cameraPrefixes[] = { "IMG_", "DSC", "DSC_", "P", "PICT", "DSCN", "_MG_", "CIMG" };

const char *const extensions[]
    = { "jpg", "jpg", "jpg", "jpg", "jpg", "JPG", "jpeg", "png", "gif", "bmp", "tif", "png" };

[[noreturn]] void failed(sqlite3 *db)
{
    throw DbError(QString::fromUtf8(sqlite3_errmsg(db)), sqlite3_extended_errcode(db));
}

sqlite3_stmt *prepare(sqlite3 *db, const char *sql)
{
    sqlite3_stmt *stmt = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr) != SQLITE_OK)
        failed(db);
    return stmt;
}

void step(sqlite3 *db, sqlite3_stmt *stmt)
{
    if (sqlite3_step(stmt) != SQLITE_DONE)
        failed(db);
    sqlite3_reset(stmt);
    sqlite3_clear_bindings(stmt);
}

void bindText(sqlite3_stmt *stmt, int index, const QByteArray &text)
{
    sqlite3_bind_text(stmt, index, text.constData(), int(text.size()), SQLITE_TRANSIENT);
}

} // namespace

void generateCatalogue(const QString &path, qint64 pictures, unsigned seed)
{
    Schema::createCatalogue(path, compiledVersion());
    Connection connection;
    connection.openFile(path);
    sqlite3 *db = connection.handle();
    connection.exec(QStringLiteral("PRAGMA cache_size = -65536"));
    std::mt19937 random(seed);
    auto pick = [&](int n) { return int(random() % unsigned(n)); };

    Transaction transaction(connection);
    const int collections = 50;
    const int categoriesPerCollection = 20;
    const int storages = 20;

    sqlite3_stmt *collection
        = prepare(db, "INSERT INTO Collections (RecId, Name, System) VALUES (?, ?, ?)");
    sqlite3_stmt *category = prepare(
        db, "INSERT INTO Categories (RecId, Collection, Name, System) VALUES (?, ?, ?, ?)");
    QList<QByteArray> collectionNames;
    for (int c = 1; c <= collections; ++c) {
        const QByteArray name = c == 1
            ? QByteArray("(undefined)")
            : QByteArray(collectionWords[(c - 2) % std::size(collectionWords)]);
        collectionNames << name;
        sqlite3_bind_int(collection, 1, c);
        bindText(collection, 2, name);
        sqlite3_bind_int(collection, 3, c == 1);
        step(db, collection);
        for (int k = 1; k <= categoriesPerCollection; ++k) {
            const int id = (c - 1) * categoriesPerCollection + k;
            const QByteArray name = (c == 1 && k == 1)
                ? QByteArray("(undefined)")
                : QByteArray(categoryWords[(k - 1 + c) % std::size(categoryWords)])
                    + (k > int(std::size(categoryWords)) ? " 2" : "");
            sqlite3_bind_int(category, 1, id);
            sqlite3_bind_int(category, 2, c);
            bindText(category, 3, name);
            sqlite3_bind_int(category, 4, c == 1 && k == 1);
            step(db, category);
        }
    }
    sqlite3_finalize(collection);
    sqlite3_finalize(category);

    sqlite3_stmt *storage
        = prepare(db, "INSERT INTO Storages (RecId, Name, Unit, System) VALUES (?, ?, ?, ?)");
    QList<QByteArray> units;
    for (int s = 1; s <= storages; ++s) {
        const QByteArray name
            = s == 1 ? QByteArray("(local)") : "FOTOS" + QByteArray::number(1998 + s);
        const QByteArray unit = s == 1 ? QByteArray("/") : "/media/ana/" + name;
        units << unit;
        sqlite3_bind_int(storage, 1, s);
        bindText(storage, 2, name);
        bindText(storage, 3, unit);
        sqlite3_bind_int(storage, 4, 1);
        step(db, storage);
    }
    sqlite3_finalize(storage);

    // Indexes built once over all rows are far cheaper than kept up row by row.
    QStringList indexes, indexNames;
    sqlite3_stmt *list = prepare(db,
        "SELECT name, sql FROM sqlite_master WHERE type = 'index' "
        "AND tbl_name = 'Pictures' AND sql IS NOT NULL");
    while (sqlite3_step(list) == SQLITE_ROW) {
        indexNames << QString::fromUtf8(
            reinterpret_cast<const char *>(sqlite3_column_text(list, 0)));
        indexes << QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(list, 1)));
    }
    sqlite3_finalize(list);
    for (const QString &name : std::as_const(indexNames))
        connection.exec(QStringLiteral("DROP INDEX \"%1\"").arg(name));
    sqlite3_stmt *picture = prepare(db,
        "INSERT INTO Pictures (Collection, Category, Name, FileName, FullPath, FileSize, Created, "
        "Modified, FileType, ColorType, Width, Height, Resolution, Location, KeyWords, Review, "
        "Notes) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
    QDateTime when(QDate(2001, 3, 4), QTime(9, 30, 0));
    for (qint64 i = 0; i < pictures; ++i) {
        const int c = 1 + pick(collections);
        const int k = (c - 1) * categoriesPerCollection + 1 + pick(categoriesPerCollection);
        const int s = 1 + pick(storages);
        const QByteArray ext = extensions[pick(int(std::size(extensions)))];
        QByteArray base;
        if (pick(3) == 0) {
            base = QByteArray(places[pick(int(std::size(places)))]) + '_'
                + QByteArray::number(2001 + pick(20)) + '_'
                + QByteArray::number(pick(1000)).rightJustified(3, '0');
        } else {
            base = QByteArray(cameraPrefixes[pick(int(std::size(cameraPrefixes)))])
                + QByteArray::number(pick(10000)).rightJustified(4, '0');
        }
        const QByteArray fileName = base + '.' + ext;
        const QByteArray folder = units.at(s - 1) + (units.at(s - 1).endsWith('/') ? "" : "/")
            + collectionNames.at(c - 1) + "/" + QByteArray::number(k) + "/";
        when
            = when.addSecs(2 * (1 + pick(600))); // unique and increasing: FileName+Created is a key
        const QByteArray created = dbvalues::toDbDate(when).toUtf8();
        const bool measured = pick(4) != 0;
        sqlite3_bind_int(picture, 1, c);
        sqlite3_bind_int(picture, 2, k);
        bindText(picture, 3, base);
        bindText(picture, 4, fileName);
        bindText(picture, 5, folder);
        sqlite3_bind_int64(picture, 6, 50000 + pick(8000000));
        bindText(picture, 7, created);
        bindText(picture, 8, created);
        bindText(picture, 9, ext.toLower() == "jpeg" ? QByteArray("jpg") : ext.toLower());
        if (measured) {
            sqlite3_bind_int(picture, 10, 3);
            sqlite3_bind_int(picture, 11, 640 + pick(4000));
            sqlite3_bind_int(picture, 12, 480 + pick(3000));
            sqlite3_bind_int(picture, 13, pick(2) ? 72 : 300);
        }
        sqlite3_bind_int(picture, 14, s);
        if (pick(5) == 0) {
            // Notes come with the key words, so the random sequence stays what it was.
            const QByteArray place = places[pick(int(std::size(places)))];
            bindText(picture, 15, place + " família férias");
            bindText(picture, 17, "Fotografada em " + place + ", arquivo revisto");
        }
        sqlite3_bind_int(picture, 16, measured ? 0 : 1);
        step(db, picture);
    }
    sqlite3_finalize(picture);
    for (const QString &sql : std::as_const(indexes))
        connection.exec(sql);
    transaction.commit();
    connection.close();
}
