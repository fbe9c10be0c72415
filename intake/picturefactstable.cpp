#include "intake/picturefactstable.h"

#include "store/connection.h"
#include "store/statement.h"

#include <algorithm>

namespace {

const QString tableName = QStringLiteral("PictureFacts");

const char *const createStatements[] = {
    "CREATE TABLE IF NOT EXISTS PictureFacts ("
    " Picture INTEGER NOT NULL PRIMARY KEY REFERENCES Pictures (RecId) ON DELETE CASCADE,"
    " Modified DATETIME,"
    " Drawn INTEGER NOT NULL," // 0 not drawn, 1 fits the view, 2 larger
    " Taken VARCHAR(23),"
    " TakenOffset INTEGER,"
    " Make VARCHAR(200),"
    " Model VARCHAR(200),"
    " Lens VARCHAR(200),"
    " Exposure REAL,"
    " FNumber REAL,"
    " ISO INTEGER,"
    " Focal REAL,"
    " Orientation INTEGER,"
    " Latitude REAL,"
    " Longitude REAL,"
    " Altitude REAL,"
    " Title TEXT,"
    " Keywords TEXT,"
    " Rating INTEGER)",
    // Years, months and days are ranges of this index, and so is a narrowed search.
    "CREATE INDEX IF NOT EXISTS PictureFacts_Taken ON PictureFacts (Taken)",
    // The cameras of the catalogue, for narrowing a search by one.
    "CREATE INDEX IF NOT EXISTS PictureFacts_Camera ON PictureFacts (Make, Model)",
};

// Keywords are stored one a line.
constexpr QChar kKeywordSeparator = QLatin1Char('\n');

QVariant textOrNull(const QString &text)
{
    return text.isEmpty() ? QVariant() : QVariant(text);
}

template<typename T> QVariant valueOrNull(const std::optional<T> &value)
{
    return value ? QVariant::fromValue(*value) : QVariant();
}

} // namespace

QString PictureFactsTable::takenText(const TakenTime &taken)
{
    if (!taken.isValid())
        return QString();
    return taken.date.toString(QStringLiteral("yyyy-MM-dd")) + QLatin1Char('T')
        + taken.time.toString(
            taken.hasSubSeconds ? QStringLiteral("HH:mm:ss.zzz") : QStringLiteral("HH:mm:ss"));
}

TakenTime PictureFactsTable::takenOf(const QString &text, const QVariant &offsetMinutes)
{
    TakenTime t;
    if (text.size() < 19 || text.at(10) != QLatin1Char('T'))
        return t;
    t.date = QDate::fromString(text.left(10), QStringLiteral("yyyy-MM-dd"));
    t.hasSubSeconds = text.size() > 19;
    t.time = QTime::fromString(text.mid(11),
        t.hasSubSeconds ? QStringLiteral("HH:mm:ss.zzz") : QStringLiteral("HH:mm:ss"));
    if (offsetMinutes.isValid() && !offsetMinutes.isNull())
        t.offsetMinutes = offsetMinutes.toInt();
    if (!t.isValid())
        return TakenTime();
    return t;
}

QString PictureFactsTable::periodStart(const QString &prefix)
{
    return prefix;
}

QString PictureFactsTable::periodEnd(const QString &prefix)
{
    // "~" sorts after every character a date text holds.
    return prefix + QLatin1Char('~');
}

bool PictureFactsTable::exists(Connection &connection)
{
    return connection.hasTable(tableName);
}

void PictureFactsTable::createTable(Connection &connection)
{
    for (const char *sql : createStatements)
        connection.exec(QString::fromUtf8(sql));
}

PictureFactsTable::Writer::Writer(Connection &connection) : m_connection(connection) { }

PictureFactsTable::Writer::~Writer() = default;

void PictureFactsTable::Writer::record(const Entry &entry)
{
    if (!m_put) {
        createTable(m_connection);
        m_put = std::make_unique<Statement>(m_connection,
            QStringLiteral("INSERT INTO PictureFacts (Picture, Modified, Drawn, Taken,"
                           " TakenOffset, Make, Model, Lens, Exposure, FNumber, ISO, Focal,"
                           " Orientation, Latitude, Longitude, Altitude, Title, Keywords, Rating)"
                           " VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13, ?14,"
                           " ?15, ?16, ?17, ?18, ?19)"
                           " ON CONFLICT (Picture) DO UPDATE SET Modified = excluded.Modified,"
                           " Drawn = excluded.Drawn, Taken = excluded.Taken,"
                           " TakenOffset = excluded.TakenOffset, Make = excluded.Make,"
                           " Model = excluded.Model, Lens = excluded.Lens,"
                           " Exposure = excluded.Exposure, FNumber = excluded.FNumber,"
                           " ISO = excluded.ISO, Focal = excluded.Focal,"
                           " Orientation = excluded.Orientation, Latitude = excluded.Latitude,"
                           " Longitude = excluded.Longitude, Altitude = excluded.Altitude,"
                           " Title = excluded.Title, Keywords = excluded.Keywords,"
                           " Rating = excluded.Rating"),
            Statement::Lifetime::Persistent);
    }
    const PhotoFacts &f = entry.facts;
    Statement &put = *m_put;
    put.bindInteger(1, entry.picture);
    put.bind(2, entry.modified);
    put.bindInteger(3, int(entry.drawn));
    if (f.taken && f.taken->isValid()) {
        put.bindText(4, takenText(*f.taken));
        put.bind(5, valueOrNull(f.taken->offsetMinutes));
    } else {
        put.bindNull(4);
        put.bindNull(5);
    }
    put.bind(6, textOrNull(f.make));
    put.bind(7, textOrNull(f.model));
    put.bind(8, textOrNull(f.lens));
    put.bind(9, valueOrNull(f.exposureSeconds));
    put.bind(10, valueOrNull(f.fNumber));
    put.bind(11, valueOrNull(f.iso));
    put.bind(12, valueOrNull(f.focalLengthMm));
    put.bind(13, valueOrNull(f.orientation));
    put.bind(14, valueOrNull(f.latitude));
    put.bind(15, valueOrNull(f.longitude));
    put.bind(16, valueOrNull(f.altitudeMetres));
    put.bind(17, textOrNull(f.title));
    QStringList keywords;
    for (const QString &k : f.keywords) {
        // One a line: a line break inside a keyword would make two.
        QString one = k;
        one.replace(QLatin1Char('\r'), QLatin1Char(' '))
            .replace(kKeywordSeparator, QLatin1Char(' '));
        keywords << one;
    }
    put.bind(18, textOrNull(keywords.join(kKeywordSeparator)));
    put.bind(19, valueOrNull(f.rating));
    put.exec();
}

std::optional<PhotoFacts> PictureFactsTable::read(Connection &connection, qint64 picture)
{
    if (!exists(connection))
        return std::nullopt;
    Statement look(connection,
        QStringLiteral("SELECT Taken, TakenOffset, Make, Model, Lens, Exposure, FNumber, ISO,"
                       " Focal, Orientation, Latitude, Longitude, Altitude, Title, Keywords,"
                       " Rating FROM PictureFacts WHERE Picture = ?1"));
    Statement::Reset done(look);
    look.bindInteger(1, picture);
    if (!look.step())
        return std::nullopt;
    PhotoFacts f;
    const auto real = [&look](int column) {
        return look.isNull(column) ? std::optional<double>() : look.real(column);
    };
    const auto integer = [&look](int column) {
        return look.isNull(column) ? std::optional<int>() : int(look.integer(column));
    };
    if (!look.isNull(0)) {
        const TakenTime t = takenOf(look.text(0), look.value(1));
        if (t.isValid())
            f.taken = t;
    }
    f.make = look.text(2);
    f.model = look.text(3);
    f.lens = look.text(4);
    f.exposureSeconds = real(5);
    f.fNumber = real(6);
    f.iso = integer(7);
    f.focalLengthMm = real(8);
    f.orientation = integer(9);
    f.latitude = real(10);
    f.longitude = real(11);
    f.altitudeMetres = real(12);
    f.title = look.text(13);
    if (!look.isNull(14))
        f.keywords = look.text(14).split(kKeywordSeparator, Qt::SkipEmptyParts);
    f.rating = integer(15);
    return f;
}

std::optional<PictureFactsTable::Drawn> PictureFactsTable::examinedAsNow(
    Connection &connection, qint64 picture)
{
    if (!exists(connection))
        return std::nullopt;
    Statement look(connection,
        QStringLiteral("SELECT F.Drawn FROM PictureFacts F JOIN Pictures P ON P.RecId = F.Picture"
                       " WHERE F.Picture = ?1 AND F.Modified IS NOT DISTINCT FROM P.Modified"));
    Statement::Reset done(look);
    look.bindInteger(1, picture);
    if (!look.step())
        return std::nullopt;
    return Drawn(std::clamp<qint64>(look.integer(0), 0, 2));
}
