#include "intake/picturefilter.h"

#include "store/query.h"

#include <QRegularExpression>
#include <QStringList>

QString PictureFilter::build(const QList<Format> &formats)
{
    QString filter;
    QString all;
    int count = 0;
    for (const Format &format : formats) {
        if (!format.used)
            continue;
        const QString var
            = format.variation.isEmpty() ? QString() : QStringLiteral(";*.") + format.variation;
        if (!filter.isEmpty())
            filter += QLatin1Char('|');
        filter += format.name + QStringLiteral(" (*.") + format.extension + var
            + QStringLiteral(")|*.") + format.extension.toUpper() + var.toUpper();
        if (!all.isEmpty())
            all += QLatin1Char(';');
        all += QStringLiteral("*.") + format.extension.toUpper() + var.toUpper();
        ++count;
    }
    if (count > 1)
        filter = QStringLiteral("Todos as opções de formatos|") + all + QLatin1Char('|') + filter;
    return filter;
}

QString PictureFilter::build(Connection &connection)
{
    QList<Format> formats;
    Query query(connection);
    query.setSql(
        QStringLiteral("SELECT Name, Extension, Variation, Used FROM Formats ORDER BY rowid"));
    query.open();
    while (!query.eof()) {
        Format format;
        format.name = query.asString(QStringLiteral("Name"));
        format.extension = query.asString(QStringLiteral("Extension"));
        format.variation = query.asString(QStringLiteral("Variation"));
        format.used = query.asBool(QStringLiteral("Used"));
        formats.append(format);
        query.next();
    }
    query.close();
    return build(formats);
}

QString PictureFilter::toFileDialogFilter(const QString &filter)
{
    if (filter.isEmpty())
        return QString();
    // QFileDialog reads the patterns from the last parentheses, separated by blanks; the
    // descriptions here carry their own list with ";", which would be taken as one pattern.
    static const QRegularExpression ownList(QStringLiteral("\\s*\\([^()]*\\)\\s*$"));
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList entries;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString description = parts[i];
        description.remove(ownList);
        const QString patterns
            = parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts).join(QLatin1Char(' '));
        entries << description + QStringLiteral(" (") + patterns + QLatin1Char(')');
    }
    return entries.join(QStringLiteral(";;"));
}
