#include "store/resultmodel.h"

ResultModel::ResultModel(const QStringList &columns, QList<QList<QVariant>> rows, QObject *parent)
    : QAbstractTableModel(parent), m_columns(columns), m_rows(std::move(rows))
{
}

int ResultModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int ResultModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_columns.size());
}

QVariant ResultModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid())
        return QVariant();
    const QVariant value = m_rows.value(index.row()).value(index.column());
    // Numbers line up on the right, as a data grid shows a numeric field.
    if (role == Qt::TextAlignmentRole) {
        const int type = value.metaType().id();
        const bool number
            = type == QMetaType::LongLong || type == QMetaType::Int || type == QMetaType::Double;
        return number ? QVariant(int(Qt::AlignRight | Qt::AlignVCenter)) : QVariant();
    }
    if (role != Qt::DisplayRole && role != Qt::EditRole)
        return QVariant();
    return value;
}

QVariant ResultModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal) {
        const auto set
            = m_headers.constFind({ section, role == Qt::EditRole ? int(Qt::DisplayRole) : role });
        if (set != m_headers.cend())
            return *set;
    }
    if (role != Qt::DisplayRole)
        return QVariant();
    if (orientation == Qt::Horizontal)
        return m_columns.value(section);
    return section + 1;
}

QVariant ResultModel::value(int row, const QString &column) const
{
    for (int c = 0; c < m_columns.size(); ++c) {
        if (m_columns.at(c).compare(column, Qt::CaseInsensitive) == 0)
            return m_rows.value(row).value(c);
    }
    return QVariant();
}

bool ResultModel::setHeaderData(
    int section, Qt::Orientation orientation, const QVariant &value, int role)
{
    if (orientation != Qt::Horizontal || section < 0 || section >= m_columns.size())
        return false;
    m_headers.insert({ section, role == Qt::EditRole ? int(Qt::DisplayRole) : role }, value);
    emit headerDataChanged(orientation, section, section);
    return true;
}
