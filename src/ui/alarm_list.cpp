#include "alarm_list.h"

#include <QDateTime>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <set>

#include "core/time_text.h"

namespace trelvan {

namespace {

enum Column { kTime, kChannel, kState, kMessage, kAcknowledged, kColumns };

QString Time(std::int64_t ms) { return QDateTime::fromMSecsSinceEpoch(ms).toString("dd.MM.yyyy HH:mm:ss"); }

} // namespace

AlarmList::AlarmList(QWidget* parent) : QWidget(parent) {
  setObjectName("AlarmList");
  setWindowTitle("Alarme");
  auto* layout = new QVBoxLayout(this);
  summary_ = new QLabel(this);
  summary_->setObjectName("AlarmSummary");
  layout->addWidget(summary_);
  table_ = new QTableWidget(0, kColumns, this);
  table_->setObjectName("AlarmTable");
  table_->setHorizontalHeaderLabels({"Zeit", "Kanal", "Zustand", "Meldung", "Quittiert"});
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->verticalHeader()->hide();
  table_->setWordWrap(false);
  table_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  table_->horizontalHeader()->setSectionResizeMode(kMessage, QHeaderView::Stretch);
  layout->addWidget(table_, 1);
  auto* buttons = new QHBoxLayout;
  acknowledge_ = new QPushButton("&Quittieren", this);
  acknowledge_->setObjectName("Acknowledge");
  acknowledgeAll_ = new QPushButton("&Alle quittieren", this);
  acknowledgeAll_->setObjectName("AcknowledgeAll");
  buttons->addWidget(acknowledge_);
  buttons->addWidget(acknowledgeAll_);
  buttons->addStretch();
  layout->addLayout(buttons);
  connect(acknowledge_, &QPushButton::clicked, this, &AlarmList::AcknowledgeSelected);
  connect(acknowledgeAll_, &QPushButton::clicked, this, &AlarmList::AcknowledgeAll);
  resize(980, 360); // the message column shows a whole message
  UpdateSummary();
}

int AlarmList::unacknowledged() const {
  int n = 0;
  for (const Entry& e : entries_) n += e.event.raised && !e.acknowledged;
  return n;
}

void AlarmList::Add(const AlarmEvent& event) {
  const int before = unacknowledged();
  // A clearing needs no acknowledgement: it is the good news.
  entries_.push_front({event, !event.raised, 0});
  table_->insertRow(0);
  while (entries_.size() > kMaxEntries) {
    entries_.pop_back();
    table_->removeRow(table_->rowCount() - 1);
  }
  FillRow(0);
  UpdateSummary();
  if (unacknowledged() != before) emit unacknowledgedChanged(unacknowledged());
}

void AlarmList::Acknowledge(std::size_t index, std::int64_t nowMs) {
  Entry& e = entries_[index];
  if (e.acknowledged) return;
  e.acknowledged = true;
  e.acknowledgedMs = nowMs;
}

void AlarmList::AcknowledgeSelected() {
  const int before = unacknowledged();
  std::set<int> rows;
  for (const QModelIndex& index : table_->selectionModel()->selectedRows()) rows.insert(index.row());
  const std::int64_t now = NowMs();
  for (const int row : rows) {
    if (row < 0 || static_cast<std::size_t>(row) >= entries_.size()) continue;
    Acknowledge(static_cast<std::size_t>(row), now);
    FillRow(row);
  }
  UpdateSummary();
  if (unacknowledged() != before) emit unacknowledgedChanged(unacknowledged());
}

void AlarmList::AcknowledgeAll() {
  const int before = unacknowledged();
  const std::int64_t now = NowMs();
  for (std::size_t k = 0; k < entries_.size(); ++k) {
    if (entries_[k].acknowledged) continue;
    Acknowledge(k, now);
    FillRow(static_cast<int>(k));
  }
  UpdateSummary();
  if (unacknowledged() != before) emit unacknowledgedChanged(unacknowledged());
}

void AlarmList::FillRow(int row) {
  const Entry& e = entries_[static_cast<std::size_t>(row)];
  const QString state = e.event.raised ? (e.event.state == AlarmState::High ? "über Grenzwert" : "unter Grenzwert")
                                       : "wieder im Bereich";
  const QString texts[kColumns] = {Time(e.event.timeMs), QString::number(e.event.channel), state,
                                   QString::fromStdString(e.event.text),
                                   !e.event.raised ? QString() : e.acknowledged ? Time(e.acknowledgedMs) : "nein"};
  for (int c = 0; c < kColumns; ++c) {
    auto* item = table_->item(row, c);
    if (!item) {
      item = new QTableWidgetItem;
      table_->setItem(row, c, item);
    }
    item->setText(texts[c]);
    QFont f = item->font();
    f.setBold(e.event.raised && !e.acknowledged);
    item->setFont(f);
    item->setForeground(e.event.raised ? QColor(0xb0, 0x00, 0x00) : QColor(0x1a, 0x6a, 0x2a));
  }
}

void AlarmList::UpdateSummary() {
  const int open = unacknowledged();
  summary_->setText(open == 0   ? QStringLiteral("Keine offenen Alarme")
                    : open == 1 ? QStringLiteral("1 Alarm nicht quittiert")
                                : QStringLiteral("%1 Alarme nicht quittiert").arg(open));
  acknowledgeAll_->setEnabled(open > 0);
}

} // namespace trelvan
