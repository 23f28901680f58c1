#pragma once
#include <QAbstractTableModel>
#include <QHash>
#include <QList>
#include <QString>
#include <optional>

namespace karv::app {

// The two-column data behind the certificate tables: one row per label and
// value, stored under the column identifiers "Column1" and "Column2".
class KARVDGDataSource : public QAbstractTableModel {
  Q_OBJECT
 public:
  using Row = QHash<QString, QString>;
  static constexpr const char* kColumns[] = {"Column1", "Column2"};

  using QAbstractTableModel::QAbstractTableModel;

  void reset();
  void addDataItem(const Row& row);
  [[nodiscard]] int numberOfRowsInTableView() const { return rows_ ? static_cast<int>(rows_->size()) : 0; }
  // The value of a row under a column identifier; none when the row lacks it.
  [[nodiscard]] std::optional<QString> objectValue(const QString& columnIdentifier, int row) const;

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

 private:
  std::optional<QList<Row>> rows_;  // made on the first added row
};

}  // namespace karv::app
