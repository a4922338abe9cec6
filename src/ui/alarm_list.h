#pragma once
// The alarm list: every limit crossed or left again, newest first, with time,
// channel, value and limit. A raised alarm stays marked until the operator
// acknowledges it ("Quittieren" for the selected rows, "Alle quittieren");
// the list keeps the last kMaxEntries entries.

#include <QWidget>
#include <cstdint>
#include <deque>
#include <string>

#include "core/reading.h"

class QLabel;
class QPushButton;
class QTableWidget;

namespace trelvan {

class AlarmList : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kMaxEntries = 1000;

  explicit AlarmList(QWidget* parent = nullptr);

  // One event of the limit watch; a raise is unacknowledged until the
  // operator acknowledges it.
  void Add(const AlarmEvent& event);
  void AcknowledgeSelected();
  void AcknowledgeAll();

  int unacknowledged() const;
  int entries() const { return static_cast<int>(entries_.size()); }

 signals:
  // The number of raised alarms not yet acknowledged changed (for a menu
  // entry or a status line that shows it).
  void unacknowledgedChanged(int count);

 private:
  struct Entry {
    AlarmEvent event;
    bool acknowledged = false;
    std::int64_t acknowledgedMs = 0;
  };
  void Acknowledge(std::size_t index, std::int64_t nowMs);
  void FillRow(int row);
  void UpdateSummary();

  std::deque<Entry> entries_; // newest first
  QTableWidget* table_ = nullptr;
  QLabel* summary_ = nullptr;
  QPushButton* acknowledge_ = nullptr;
  QPushButton* acknowledgeAll_ = nullptr;
};

} // namespace trelvan
