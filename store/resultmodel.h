#pragma once

#include <QAbstractTableModel>
#include <QHash>
#include <QList>
#include <QStringList>
#include <QVariant>

// A finished query's rows held for a grid: read-only, detached from the file, columns
// headed by their names (aliases included).
class ResultModel : public QAbstractTableModel {
    Q_OBJECT
public:
    ResultModel(const QStringList &columns, QList<QList<QVariant>> rows, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(
        int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    // A column title's text or alignment as a grid wants it shown.
    bool setHeaderData(int section, Qt::Orientation orientation, const QVariant &value,
        int role = Qt::EditRole) override;

    QStringList columnNames() const { return m_columns; }
    // The value of a row by column name (case ignored); invalid for null or unknown.
    QVariant value(int row, const QString &column) const;

private:
    QStringList m_columns;
    QList<QList<QVariant>> m_rows;
    QHash<QPair<int, int>, QVariant> m_headers; // (section, role) set by setHeaderData
};
