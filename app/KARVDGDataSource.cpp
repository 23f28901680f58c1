#include "app/KARVDGDataSource.h"

namespace karv::app {

void KARVDGDataSource::reset() {
  if (!rows_) return;
  beginResetModel();
  rows_->clear();
  endResetModel();
}

void KARVDGDataSource::addDataItem(const Row& row) {
  const int at = numberOfRowsInTableView();
  beginInsertRows({}, at, at);
  if (!rows_) rows_.emplace();
  rows_->append(row);
  endInsertRows();
}

std::optional<QString> KARVDGDataSource::objectValue(const QString& columnIdentifier, int row) const {
  if (!rows_ || row < 0 || row >= rows_->size()) return std::nullopt;
  const auto it = (*rows_)[row].constFind(columnIdentifier);
  if (it == (*rows_)[row].constEnd()) return std::nullopt;
  return *it;
}

int KARVDGDataSource::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : numberOfRowsInTableView();
}

int KARVDGDataSource::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : 2; }

QVariant KARVDGDataSource::data(const QModelIndex& index, int role) const {
  if (role != Qt::DisplayRole && role != Qt::AccessibleTextRole) return {};
  if (!index.isValid() || index.column() < 0 || index.column() > 1) return {};
  const auto value = objectValue(QString::fromLatin1(kColumns[index.column()]), index.row());
  return value ? QVariant(*value) : QVariant();
}

QVariant KARVDGDataSource::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation == Qt::Vertical) {
    // A screen reader names each row by its item; the row headers stay blank on the screen.
    if (role != Qt::AccessibleTextRole) return {};
    return objectValue(QString::fromLatin1(kColumns[0]), section).value_or(QString());
  }
  if (role != Qt::DisplayRole) return {};
  return section == 0 ? QStringLiteral("項目") : QStringLiteral("內容");
}

}  // namespace karv::app
