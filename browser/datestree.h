#pragma once

#include "browser/nodekind.h"
#include "browser/textarena.h"

#include <QAbstractItemModel>
#include <QIcon>
#include <QString>
#include <QVector>

#include <vector>

class Connection;

// The "Datas" tree: the catalogue's pictures by the date their photo was taken, years, then
// months, then days, then the pictures (in the order they were taken), with the pictures
// whose date is not known (their file not examined yet, or saying none) under "Sem data" at
// the end. Every group shows how many pictures it holds. Levels are read as they are opened
// (canFetchMore/fetchMore), so a million pictures open at once: reload() reads the years,
// and expanding a node reads the level below it, each one statement over the index of the
// dates taken. A picture node stands for its picture as in the other trees: its node code
// is "N3=" and its key.
class DatesTree : public QAbstractItemModel {
    Q_OBJECT
public:
    enum class Level : quint8 { Year, Month, Day, Undated, Picture };

    // Roles beyond Qt's: the level, the number of pictures under a node, its period.
    enum Role { LevelRole = Qt::UserRole + 1, CountRole, PeriodRole, CodeRole };

    explicit DatesTree(Connection &connection, QObject *parent = nullptr);
    ~DatesTree() override;

    // Reads the years (and how many pictures have no date) again, forgetting every level
    // read below them: one model reset. Throws DbError (the tree is then empty).
    void reload();
    void clear();

    Level level(const QModelIndex &index) const;
    // "N3=1234" for a picture; invalid for a group.
    NodeCode nodeCode(const QModelIndex &index) const;
    // The pictures under a group (1 for a picture).
    int count(const QModelIndex &index) const;
    // "2019", "2019-07" or "2019-07-04" for a year, month or day; empty otherwise.
    QString period(const QModelIndex &index) const;
    // The node of a picture, reading the levels above it as needed; invalid when the
    // picture is not in the catalogue. Throws DbError.
    QModelIndex indexOfPicture(qint64 key);

    // Icons by the node's kind: index 1 for a group, 2 for a picture (as in the other trees).
    void setIcons(const QVector<QIcon> &icons) { m_icons = icons; }

    // The display name of a month (1 to 12): "Janeiro".
    static QString monthName(int month);
    // The text "Sem data".
    static QString undatedText();

    QModelIndex index(int row, int column, const QModelIndex &parent = {}) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    bool hasChildren(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    bool canFetchMore(const QModelIndex &parent) const override;
    void fetchMore(const QModelIndex &parent) override;

signals:
    // An engine failure while reading a level on demand; the level stays unread.
    void loadFailed(const QString &message);

private:
    struct Group {
        Level level = Level::Year;
        int parent = -1; // group index; -1 at the top
        int row = 0;
        QString period; // "2019", "2019-07", "2019-07-04"; empty for "Sem data"
        int count = 0;
        bool fetched = false;
        QVector<int> groups; // child groups, in order
        qsizetype firstPicture = 0; // into the picture arrays
        int pictures = 0;
    };

    // The group of an index, or -1 for a picture (or an invalid index).
    int groupOf(const QModelIndex &index) const;
    int childCount(int group) const;
    bool isPictureRow(int parentGroup, int row) const;
    void load(int group); // reads the level below a group; throws DbError
    void loadGroups(int group, int prefixLength, Level level);
    // The periods of `length` characters within a period ("" for all), with their counts.
    std::vector<std::pair<QString, int>> periodsIn(const QString &period, int length);
    void loadPictures(int group);
    QModelIndex indexOfGroup(int group) const;
    QString label(const Group &g) const;

    Connection &m_connection;
    std::vector<Group> m_groups;
    QVector<int> m_top; // top groups: the years, then "Sem data"
    QVector<qint64> m_pictureKeys;
    QVector<TextArena::Span> m_pictureNames;
    TextArena m_names;
    QVector<QIcon> m_icons;
};
