#include "app/event_table_model.h"

#include <QColor>
#include <algorithm>

#include "analysis/listing.h"

namespace mertovan {

namespace {

QString Text(std::string_view s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }

}  // namespace

EventTableModel::EventTableModel(const Song& song, const ViewMode& view, QObject* parent)
    : QAbstractTableModel(parent), song_(song), view_(view) {}

int EventTableModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : rows_; }

int EventTableModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kListingColumns;
}

const Tsys* EventTableModel::EventAt(int row) const {
  // The song may have been replaced by a shorter one (an empty one after a
  // failed load) before the rows follow; a row that outlives its event shows
  // blank rather than reading past the list.
  if (row < 0 || row >= rows_ || size_t(row) >= List().size()) return nullptr;
  return &List().events[size_t(row)];
}

QVariant EventTableModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rows_ || index.column() >= kListingColumns) return {};
  const int row = index.row();
  const int column = index.column();
  if (role == Qt::DisplayRole) {
    if (column == 0) {
      const bool numbered = row < numberedRows_ && !(row == 0 && firstRowBlanked_);
      return numbered ? QVariant(QString::number(row + 1)) : QVariant(QString());
    }
    const Tsys* e = EventAt(row);
    if (!e) return QString();
    return QString::fromStdString(CellText(List(), *e, column, view_));
  }
  if (role == Qt::ToolTipRole) {
    if (column != 5 && column != 6) return {};
    const QString tip = MeaningTip(row);
    return tip.isEmpty() ? QVariant() : QVariant(tip);
  }
  if (role == Qt::ForegroundRole) {
    const Tsys* e = EventAt(row);
    return QColor::fromRgb(e ? TextColour(*e) : kConvertedText);
  }
  return {};
}

QString EventTableModel::MeaningTip(int row) const {
  const Tsys* e = EventAt(row);
  if (!e) return {};
  const std::string meaning = meanings_.Meaning(List(), size_t(row));
  if (meaning.empty()) return {};
  return Text(e->eventName).trimmed() + QStringLiteral(": ") + QString::fromStdString(meaning);
}

QVariant EventTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role != Qt::DisplayRole) return {};
  if (orientation == Qt::Horizontal) {
    if (section < 0 || section >= kListingColumns) return {};
    return Text(ColumnHeader(section, view_));
  }
  return section >= 0 && section < rows_ ? QVariant(QString::number(section + 1)) : QVariant();
}

Qt::ItemFlags EventTableModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

void EventTableModel::SetDataRows(int rows) {
  beginResetModel();
  // New rows are new events: their meanings are worked out again when asked.
  meanings_.Clear();
  rows_ = std::max(rows, 0);
  numberedRows_ = std::min(numberedRows_, rows_);
  endResetModel();
}

void EventTableModel::NumberRows(int n) {
  numberedRows_ = std::clamp(n, numberedRows_, rows_);
  if (n >= 1) firstRowBlanked_ = false;
  if (rows_ > 0) emit dataChanged(index(0, 0), index(rows_ - 1, 0), {Qt::DisplayRole});
}

void EventTableModel::ShowEvents() {
  firstRowBlanked_ = List().size() == 0;
  emit headerDataChanged(Qt::Horizontal, kListingColumns - 1, kListingColumns - 1);
  if (rows_ > 0) emit dataChanged(index(0, 0), index(rows_ - 1, kListingColumns - 1));
}

}  // namespace mertovan
