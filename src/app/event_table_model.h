// The listing grid's model over the loaded song's SysEx messages. Nothing is
// copied or prepared per row: every text and colour is asked of the listing
// functions that the command-line companion prints with, when the view draws
// that cell, so a load of 100 000 messages or a change of view costs only the
// rows on screen.
#pragma once

#include <QAbstractTableModel>
#include <cstdint>

#include "analysis/listing.h"
#include "analysis/value_meanings.h"
#include "model/song.h"

namespace mertovan {

class EventTableModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  // `song` and `view` stay the caller's and are read at every draw: a new
  // song is put in the same place and announced by SetDataRows.
  EventTableModel(const Song& song, const ViewMode& view, QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

  // The grid's data rows (the header row not counted). Row r shows event r
  // while there is one; rows past the last event are blank.
  void SetDataRows(int rows);
  // Column 0 of data rows 1 to n shows the row number.
  void NumberRows(int n);
  // The view changed or the event count is 0: column 7's header and the
  // texts are asked for again; with no events row 1 is blanked, its number too.
  void ShowEvents();

  // The event a data row shows, or null for a blank row.
  const Tsys* EventAt(int row) const;
  // What a row's value means, as "Pan: L16" (event name and meaning), or an
  // empty text where the value says it all. The tooltip of the row's Event
  // and Value cells. The meanings are worked out when first asked for after
  // a change of rows, never at load.
  QString MeaningTip(int row) const;

 private:
  const SysExList& List() const { return song_.sysEx; }

  const Song& song_;
  const ViewMode& view_;
  int rows_ = 0;
  int numberedRows_ = 0;
  bool firstRowBlanked_ = false;
  mutable ListMeanings meanings_;
};

}  // namespace mertovan
