#include "diagnose_window.h"

#include <QApplication>
#include <cerrno>
#include <cmath>
#include <tuple>
#include <QClipboard>
#include <QFile>
#include <QFileDialog>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeySequence>
#include <QLabel>
#include <QPainter>
#include <QPaintEvent>
#include <QScreen>
#include <QScrollBar>
#include <QPushButton>
#include <QShortcut>
#include <QStyleOptionSlider>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include "core/system_error.h"
#include "core/time_text.h"

namespace trelvan {

namespace {

// The last failure, a German sentence of any length, comes last and takes
// the room the counters leave; its cell's tooltip holds it whole.
const QStringList kColumns{
    "Kanal", "Station", "Anfragen", "Antworten", "Zeitüber-\nschreitungen", "CRC-Fehler", "Ungültige\nAntworten",
    "Ausnahmen", "Letzter gültiger Wert", "Antwortzeit ms\nzuletzt / min / Mittel / max", "Letzter Fehler"};
constexpr int kLastFailureColumn = 10;

// Counter cells drawn as plain text at a point: the style's item painting
// lays every cell out as a paragraph, which cost more than the rest of the
// window's refresh together.
class CounterCellDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    const bool selected = option.state & QStyle::State_Selected;
    if (selected) painter->fillRect(option.rect, option.palette.brush(QPalette::Highlight));
    painter->setPen(option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
    const QFontMetrics& metrics = option.fontMetrics;
    const int baseline = option.rect.top() + (option.rect.height() + metrics.ascent() - metrics.descent()) / 2;
    painter->save();
    painter->setClipRect(option.rect);
    painter->drawText(QPoint(option.rect.left() + 4, baseline), index.data().toString());
    painter->restore();
    if (option.state & QStyle::State_HasFocus) {
      painter->setPen(QPen(option.palette.color(QPalette::Text), 1, Qt::DotLine));
      painter->drawRect(option.rect.adjusted(0, 0, -1, -1));
    }
  }
};

// Text as it stands, without the shaping that other scripts need: the cells
// and the monitor hold digits, Latin letters and punctuation only.
QFont UnshapedFont(QFont font) {
  font.setStyleStrategy(QFont::PreferNoShaping);
  return font;
}

// A scroll bar that repaints only when what it shows changes: the place and
// size of its slider and which of its ends it is at. Following the monitor's
// end, the slider sits at the bottom at its smallest size once the monitor
// holds a few hundred lines: the range growing and the pages turning then
// need no new picture of the bar, which costs about as much as a page of the
// monitor's text.
class SteadyScrollBar : public QScrollBar {
 public:
  using QScrollBar::QScrollBar;

 protected:
  // Range and value are set one after the other, and in between the slider
  // may stand where it never stays: whether the picture changed is decided
  // once both are set.
  void sliderChange(SliderChange change) override {
    if (change == SliderOrientationChange) {
      QScrollBar::sliderChange(change);
      return;
    }
    if (checking_) return;
    checking_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
          checking_ = false;
          if (Shown() != painted_) update();
        },
        Qt::QueuedConnection);
  }

  void paintEvent(QPaintEvent* event) override {
    painted_ = Shown();
    QScrollBar::paintEvent(event);
  }

 private:
  using Look = std::tuple<QRect, bool, bool>;
  Look Shown() const {
    QStyleOptionSlider option;
    initStyleOption(&option);
    return {style()->subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarSlider, this),
            value() == minimum(), value() == maximum()};
  }
  Look painted_;
  bool checking_ = false;
};

// Without passes, the window refreshes this often; a pass restarts the wait,
// so at the measurement's one pass a second the timer never fires.
constexpr int kIdleRefreshMs = 1200;

// Where the monitor's lines start, in pixels from the viewport's left edge.
constexpr int kTextLeft = 4;

QString Count(std::int64_t n) { return QString::number(n); }

QString Ms(const std::optional<double>& ms) { return ms ? QString::number(*ms, 'f', 1) : QStringLiteral("–"); }

// "13:05:40" of a wall-clock time.
QString TimeOfDay(std::int64_t ms) { return QString::fromStdString(IsoLocalTime(ms).substr(11, 8)); }

} // namespace

DiagnoseWindow::DiagnoseWindow(Station& station, Prompter& prompter, QWidget* parent)
    : QWidget(parent), station_(station), prompter_(prompter) {
  setObjectName("Diagnose");
  setWindowTitle(QString::fromStdString(station_.AppTitle) + " [ Diagnose ]");

  table_ = new QTableWidget(kChannelCount, static_cast<int>(kColumns.size()), this);
  table_->setObjectName("Zaehler");
  table_->setFont(UnshapedFont(table_->font()));
  table_->setItemDelegate(new CounterCellDelegate(table_));
  table_->setHorizontalHeaderLabels(kColumns);
  table_->verticalHeader()->hide();
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  // Cells are drawn as they are, neither wrapped nor elided: no text measuring
  // on every refresh.
  table_->setWordWrap(false);
  table_->setTextElideMode(Qt::ElideNone);
  // Columns as wide as their captions or a wide value, fixed: fitting them
  // to the contents every second would measure every cell each time.
  table_->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  table_->horizontalHeader()->setStretchLastSection(true);
  table_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff); // the four channels always fit
  const QStringList wide{"Kanal 0", "247 Master", "99999999", "99999999", "999999", "999999",
                         "999999",  "999999",     "00:00:00", "2000.0 / 2000.0 / 2000.0 / 2000.0", ""};
  for (int i = 0; i < kChannelCount; ++i)
    for (int c = 0; c < table_->columnCount(); ++c) table_->setItem(i, c, new QTableWidgetItem(wide[c]));
  table_->resizeColumnsToContents();
  table_->setColumnWidth(kLastFailureColumn, 240);
  for (int i = 0; i < kChannelCount; ++i) {
    for (int c = 1; c < table_->columnCount(); ++c) table_->item(i, c)->setText(QString());
    table_->item(i, 0)->setText(QStringLiteral("Kanal %1").arg(i));
  }
  int columns = 0;
  for (int c = 0; c < table_->columnCount(); ++c) columns += table_->columnWidth(c);
  const int frame = 2 * table_->frameWidth();
  // As wide as the columns where the screen allows; else the table scrolls
  // sideways and keeps room for its scroll bar.
  const int available = screen() ? screen()->availableGeometry().width() - 40 : 1240;
  const int tableWidth = std::min(columns + frame, available - 24);
  resize(tableWidth + 24, 700);
  table_->setFixedHeight(table_->horizontalHeader()->sizeHint().height() +
                         4 * table_->verticalHeader()->defaultSectionSize() + frame +
                         (columns + frame > tableWidth ? table_->horizontalScrollBar()->sizeHint().height() : 0));

  auto* reset = new QPushButton("Zähler &zurücksetzen", this);
  reset->setObjectName("Zuruecksetzen");
  connect(reset, &QPushButton::clicked, this, &DiagnoseWindow::ResetCounters);

  monitor_ = new FrameMonitor(FrameLog::kDefaultCapacity, this);
  monitor_->setObjectName("Monitor");

  pause_ = new QPushButton("&Anhalten", this);
  pause_->setObjectName("Anhalten");
  connect(pause_, &QPushButton::clicked, this, &DiagnoseWindow::TogglePause);
  auto* clear = new QPushButton("&Leeren", this);
  clear->setObjectName("Leeren");
  connect(clear, &QPushButton::clicked, this, &DiagnoseWindow::ClearMonitor);
  auto* copy = new QPushButton("&Kopieren", this);
  copy->setObjectName("Kopieren");
  connect(copy, &QPushButton::clicked, this, &DiagnoseWindow::CopyMonitor);
  auto* save = new QPushButton("&Speichern …", this);
  save->setObjectName("Speichern");
  connect(save, &QPushButton::clicked, this, &DiagnoseWindow::SaveMonitor);

  auto* monitorLabel = new QLabel("&Rahmenmonitor (Zeit, Richtung > Anfrage / < Antwort, Station, Bytes, Ergebnis):", this);
  monitorLabel->setBuddy(monitor_);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(pause_);
  buttons->addWidget(clear);
  buttons->addWidget(copy);
  buttons->addWidget(save);
  buttons->addStretch();
  auto* top = new QHBoxLayout;
  top->addStretch();
  top->addWidget(reset);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(table_);
  layout->addLayout(top);
  layout->addWidget(monitorLabel);
  layout->addWidget(monitor_, 1);
  layout->addLayout(buttons);

  auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  connect(escape, &QShortcut::activated, this, &QWidget::close);

  timer_ = new QTimer(this);
  timer_->setInterval(kIdleRefreshMs);
  connect(timer_, &QTimer::timeout, this, &DiagnoseWindow::Refresh);
  retry_ = new QTimer(this);
  retry_->setSingleShot(true);
  retry_->setInterval(20);
  connect(retry_, &QTimer::timeout, this, &DiagnoseWindow::Refresh);
}

void DiagnoseWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  FollowVisibility();
}

void DiagnoseWindow::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  FollowVisibility();
}

void DiagnoseWindow::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::WindowStateChange) FollowVisibility();
}

void DiagnoseWindow::FollowVisibility() {
  const bool seen = isVisible() && !isMinimized();
  if (seen == timer_->isActive()) return;
  if (seen) {
    monitorTaken_.invalidate(); // the monitor catches up at once
    Refresh();
    timer_->start();
  } else {
    timer_->stop();
  }
}

void DiagnoseWindow::PassEnded() {
  if (!timer_->isActive()) return; // not shown, or minimised
  Refresh();
  timer_->start(); // the next refresh by timer only if no pass comes first
}

void DiagnoseWindow::Refresh() {
  // Never in the middle of a pass: the pass is not held up by painting, and
  // its frames come into the monitor together, in one picture.
  if (station_.PollBusy) {
    if (!retry_->isActive()) retry_->start();
    return;
  }
  RefreshTable();
  if (!paused_ && !(monitorTaken_.isValid() && monitorTaken_.elapsed() < monitorIntervalMs_)) RefreshMonitor();
}

void DiagnoseWindow::RefreshTable() {
  const ChannelDiagnostics& d = station_.diagnostics;
  for (int i = 0; i < kChannelCount; ++i) {
    const ChannelCounters& c = d.channels[static_cast<std::size_t>(i)];
    const auto& last = d.lastReading[i];
    const QStringList cells{
        QStringLiteral("Kanal %1").arg(i),
        last ? QStringLiteral("%1 %2").arg(last->station).arg(last->block == Block::Master ? "Master" : "Ext.")
             : QString(),
        Count(c.requests),
        Count(c.answers),
        Count(c.timeOuts),
        Count(c.crcErrors),
        Count(c.badReplies),
        Count(c.exceptions),
        c.lastGoodMs ? TimeOfDay(*c.lastGoodMs) : QString(),
        QStringLiteral("%1 / %2 / %3 / %4").arg(Ms(c.replyLastMs), Ms(c.replyMinMs), Ms(c.replyMeanMs()), Ms(c.replyMaxMs)),
        c.lastFailureMs ? TimeOfDay(*c.lastFailureMs) + "  " + QString::fromStdString(c.lastFailure) : QString(),
    };
    for (int col = 0; col < cells.size(); ++col) {
      QTableWidgetItem* item = table_->item(i, col);
      if (item->text() == cells[col]) continue;
      item->setText(cells[col]);
      if (col == kLastFailureColumn) item->setToolTip(cells[col]);
    }
  }
}

void DiagnoseWindow::RefreshMonitor() {
  monitorTaken_.start();
  const std::vector<FrameRecord> records = station_.frames.Since(shownUpTo_);
  if (records.empty()) return;
  QStringList lines;
  lines.reserve(static_cast<int>(records.size()));
  for (const FrameRecord& r : records) lines << QString::fromStdString(FrameLine(r));
  shownUpTo_ = records.back().sequence;
  monitor_->Append(lines);
}

void DiagnoseWindow::ResetCounters() {
  station_.diagnostics.Reset();
  RefreshTable();
}

void DiagnoseWindow::TogglePause() {
  paused_ = !paused_;
  pause_->setText(paused_ ? "&Fortsetzen" : "&Anhalten");
  if (!paused_) RefreshMonitor();
}

void DiagnoseWindow::ClearMonitor() {
  monitor_->Clear();
  shownUpTo_ = station_.frames.lastSequence();
}

void DiagnoseWindow::CopyMonitor() { QApplication::clipboard()->setText(monitor_->Text()); }

bool DiagnoseWindow::SaveMonitorTo(const QString& path, QString* error) {
  QFile file(path);
  const QByteArray text = monitor_->Text().toUtf8();
  if (file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(text) == text.size() && file.flush()) return true;
  if (error) {
    *error = QStringLiteral("Der Rahmenmonitor lässt sich nicht in \"%1\" speichern: %2")
                 .arg(path, QString::fromStdString(SystemErrorText(errno)));
  }
  return false;
}

void DiagnoseWindow::SaveMonitor() {
  const QString path = QFileDialog::getSaveFileName(this, "Rahmenmonitor speichern", "rahmen.txt", "Text (*.txt)");
  if (path.isEmpty()) return;
  QString error;
  if (!SaveMonitorTo(path, &error)) prompter_.tell(PromptIcon::Warning, error.toStdString());
}

FrameMonitor::FrameMonitor(std::size_t capacity, QWidget* parent) : QAbstractScrollArea(parent), capacity_(capacity) {
  setFont(UnshapedFont(QFontDatabase::systemFont(QFontDatabase::FixedFont)));
  setFocusPolicy(Qt::StrongFocus);
  viewport()->setAutoFillBackground(true);
  viewport()->setBackgroundRole(QPalette::Base);
  setVerticalScrollBar(new SteadyScrollBar(Qt::Vertical, this));
  verticalScrollBar()->setSingleStep(1);
}

int FrameMonitor::LineHeight() const { return fontMetrics().lineSpacing(); }

int FrameMonitor::VisibleLines() const { return std::max(1, viewport()->height() / LineHeight()); }

void FrameMonitor::UpdateScrollBars(int pageTop) {
  QScrollBar* v = verticalScrollBar();
  v->setPageStep(VisibleLines());
  v->setRange(0, std::max({0, static_cast<int>(lines_.size()) - VisibleLines(), pageTop}));
  QScrollBar* h = horizontalScrollBar();
  h->setPageStep(viewport()->width());
  h->setSingleStep(fontMetrics().averageCharWidth());
  h->setRange(0, std::max(0, widest_ + 8 - viewport()->width()));
}

void FrameMonitor::Append(const QStringList& lines) {
  if (lines.isEmpty() || capacity_ == 0) return;
  QScrollBar* v = verticalScrollBar();
  const bool following = v->value() == v->maximum();
  const int firstShown = v->value();
  // A fixed-pitch font: the width of a line is its length, without laying it
  // out. The advance is fractional (7.2 pixels, say): rounded, a line of 95
  // characters would come out 19 pixels short.
  const qreal charWidth = QFontMetricsF(font()).horizontalAdvance(QLatin1Char('0'));
  for (const QString& line : lines) {
    lines_.push_back(line);
    widest_ = std::max(widest_, static_cast<int>(std::ceil(charWidth * static_cast<qreal>(line.size()))));
  }
  const auto dropped = static_cast<int>(lines_.size() > capacity_ ? lines_.size() - capacity_ : 0);
  lines_.erase(lines_.begin(), lines_.begin() + dropped);
  const int added = std::min(static_cast<int>(lines.size()), static_cast<int>(lines_.size()));
  const int rows = VisibleLines();
  int top = std::max(0, firstShown - dropped); // the same lines as before
  if (following) {
    // Following the end, the monitor turns pages: the page stands still
    // while new lines fit below, then turns so that its last quarter comes
    // to the top and the new lines follow it. The picture moves once a page
    // instead of with every pass, and the lines stand still to be read.
    const int n = static_cast<int>(lines_.size());
    const int turn = std::max(1, rows - rows / 4);
    if (n > top + rows) top += (n - top - rows + turn - 1) / turn * turn;
  }
  // The picture is moved below, not by scrollContentsBy. The scroll bar's
  // signals must still reach the scroll area: it shows the bar when the
  // range grows.
  placing_ = true;
  UpdateScrollBars(following ? top : 0);
  v->setValue(top);
  placing_ = false;
  // The lines shown moved up by `shift` rows: the picture is moved as much
  // and only the rows that then show something new are drawn.
  const int shift = v->value() + dropped - firstShown;
  if (shift < 0 || shift >= rows) {
    viewport()->update();
    return;
  }
  // Right of the longest line the picture is blank: it need not move.
  const int inked = std::clamp(kTextLeft + widest_ - horizontalScrollBar()->value() + 2, 0, viewport()->width());
  if (shift > 0) viewport()->scroll(0, -shift * LineHeight(), QRect(0, 0, inked, viewport()->height()));
  // Only the rows of the new lines: below them a turned page is blank.
  const int firstNewRow = std::max(0, static_cast<int>(lines_.size()) - added - v->value());
  const int endRow = std::min(rows + 1, static_cast<int>(lines_.size()) - v->value()); // a partly shown last row too
  if (firstNewRow < endRow)
    viewport()->update(0, firstNewRow * LineHeight(), inked, (endRow - firstNewRow) * LineHeight());
}

void FrameMonitor::Clear() {
  lines_.clear();
  widest_ = 0;
  UpdateScrollBars();
  viewport()->update();
}

QString FrameMonitor::Text() const {
  QString text;
  for (const QString& line : lines_) text += line + '\n';
  return text;
}

void FrameMonitor::paintEvent(QPaintEvent* event) {
  QPainter painter(viewport());
  const int height = LineHeight();
  const int ascent = fontMetrics().ascent();
  const int first = verticalScrollBar()->value();
  const int x = kTextLeft - horizontalScrollBar()->value();
  const int top = event->rect().top() / height;
  const int bottom = event->rect().bottom() / height;
  for (int row = top; row <= bottom; ++row) {
    const auto index = static_cast<std::size_t>(first + row);
    if (index >= lines_.size()) break;
    painter.drawText(x, row * height + ascent, lines_[index]);
  }
}

void FrameMonitor::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  const bool following = verticalScrollBar()->value() == verticalScrollBar()->maximum();
  UpdateScrollBars();
  if (following) verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}

void FrameMonitor::scrollContentsBy(int dx, int dy) {
  if (!placing_) viewport()->scroll(dx, dy * LineHeight());
}

} // namespace trelvan
