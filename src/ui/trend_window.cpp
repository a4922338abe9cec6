#include "trend_window.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDateTime>
#include <QDateTimeEdit>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

#include "core/time_text.h"
#include "record/record_reader.h"

namespace trelvan {

namespace {

constexpr int kAxisWidth = 64;
constexpr int kTopMargin = 22;    // the legend
constexpr int kBottomMargin = 22; // the time labels
constexpr int kRightMargin = 10;
constexpr std::int64_t kSecondMs = 1000;
constexpr std::int64_t kMinuteMs = 60 * kSecondMs;
constexpr std::int64_t kHourMs = 60 * kMinuteMs;
constexpr std::int64_t kDayMs = 24 * kHourMs;
constexpr std::int64_t kShortestSpanMs = kMinuteMs;
constexpr std::int64_t kLongestSpanMs = 400 * kDayMs;

QColor ChannelColor(int channel) {
  static const QColor kColors[] = {QColor(0x1f, 0x5f, 0xbf), QColor(0x1a, 0x8a, 0x3a), QColor(0xd0, 0x6a, 0x00),
                                   QColor(0x8a, 0x2b, 0xb0)};
  return kColors[std::clamp(channel, 0, 3)];
}

QString Number(double value, const std::string& separator) {
  QString text = QString::number(value, 'g', 6);
  text.replace('.', QString::fromStdString(separator));
  return text;
}

// A step of 1, 2 or 5 times a power of ten that gives about `count` ticks.
double NiceStep(double range, int count) {
  const double raw = range / std::max(count, 1);
  const double power = std::pow(10.0, std::floor(std::log10(raw)));
  for (const double m : {1.0, 2.0, 5.0})
    if (m * power >= raw) return m * power;
  return 10 * power;
}

std::int64_t TimeStep(std::int64_t span, int width) {
  static constexpr std::int64_t kSteps[] = {
      kSecondMs,     5 * kSecondMs, 10 * kSecondMs, 30 * kSecondMs, kMinuteMs, 5 * kMinuteMs,
      10 * kMinuteMs, 30 * kMinuteMs, kHourMs,      3 * kHourMs,    6 * kHourMs, 12 * kHourMs,
      kDayMs,        2 * kDayMs,    7 * kDayMs,     30 * kDayMs};
  const double perPixel = static_cast<double>(span) / std::max(width, 1);
  for (const std::int64_t step : kSteps)
    if (static_cast<double>(step) / perPixel >= 90) return step;
  return 90 * kDayMs;
}

} // namespace

// ---------------------------------------------------------------------------

TrendPlot::TrendPlot(QWidget* parent) : QWidget(parent) {
  setObjectName("TrendPlot");
  setFocusPolicy(Qt::StrongFocus);
  setMouseTracking(true);
  setMinimumSize(400, 200);
  setAttribute(Qt::WA_OpaquePaintEvent);
  const std::int64_t now = NowMs();
  viewFrom_ = now - kHourMs;
  viewTo_ = now;
}

std::optional<std::string> TrendPlot::OpenRecord(const std::filesystem::path& file) {
  RecordReader reader;
  if (auto problem = reader.Open(file)) {
    error_ = *problem;
    db_.Close();
    data_ = {};
    update();
    return problem;
  }
  db_ = std::move(reader.db());
  error_.clear();
  data_ = {};
  loadedChannels_.clear();
  EnsureLoaded();
  update();
  return std::nullopt;
}

void TrendPlot::SetChannels(const std::vector<int>& channels) {
  channels_ = channels;
  EnsureLoaded();
  update();
}

void TrendPlot::SetTemperature(bool on) {
  temperature_ = on;
  EnsureLoaded();
  update();
}

void TrendPlot::SetLimits(const LimitTable& limits) {
  limits_ = limits;
  update();
}

void TrendPlot::SetView(std::int64_t fromMs, std::int64_t toMs) {
  const std::int64_t span = std::clamp(toMs - fromMs, kShortestSpanMs, kLongestSpanMs);
  viewFrom_ = fromMs;
  viewTo_ = fromMs + span;
  EnsureLoaded();
  update();
}

void TrendPlot::Pan(double fraction) {
  const auto shift = static_cast<std::int64_t>(fraction * static_cast<double>(viewTo_ - viewFrom_));
  SetView(viewFrom_ + shift, viewTo_ + shift);
}

void TrendPlot::Zoom(double factor, double anchor) {
  const double span = static_cast<double>(viewTo_ - viewFrom_);
  const double newSpan = std::clamp(span * factor, static_cast<double>(kShortestSpanMs),
                                    static_cast<double>(kLongestSpanMs));
  const double at = static_cast<double>(viewFrom_) + anchor * span;
  const auto from = static_cast<std::int64_t>(at - anchor * newSpan);
  SetView(from, from + static_cast<std::int64_t>(newSpan));
}

void TrendPlot::Reload() {
  Load();
  update();
}

void TrendPlot::EnsureLoaded() {
  if (!db_.isOpen()) return;
  const bool covered = viewFrom_ >= data_.fromMs && viewTo_ <= data_.toMs && data_.toMs > data_.fromMs;
  if (covered && data_.source == TrendSourceFor(viewTo_ - viewFrom_) && loadedChannels_ == channels_ &&
      loadedTemperature_ == temperature_)
    return;
  Load();
}

void TrendPlot::Load() {
  if (!db_.isOpen()) return;
  // A margin on both sides lets panning and zooming out draw from memory; the
  // raw rows get half the margin, they are sixty times as many per minute.
  const std::int64_t span = viewTo_ - viewFrom_;
  const TrendSource source = TrendSourceFor(span);
  const std::int64_t margin = source == TrendSource::Raw ? span / 2 : span;
  std::string error;
  data_ = LoadTrend(db_, viewFrom_ - margin, viewTo_ + margin, channels_, temperature_, source, &error);
  loadedChannels_ = channels_;
  loadedTemperature_ = temperature_;
  error_ = error;
}

std::size_t TrendPlot::UnitCount() const {
  std::vector<std::string> seen;
  for (const TrendSeries& s : data_.series)
    if (std::find(seen.begin(), seen.end(), s.unit) == seen.end()) seen.push_back(s.unit);
  return seen.size();
}

int TrendPlot::plotWidth() const { return PlotRect(UnitCount()).width(); }

QRect TrendPlot::PlotRect(std::size_t axisCount) const {
  const int left = kAxisWidth * static_cast<int>(std::max<std::size_t>(axisCount, 1));
  return QRect(left, kTopMargin, std::max(1, width() - left - kRightMargin),
               std::max(1, height() - kTopMargin - kBottomMargin));
}

std::vector<TrendPlot::Axis> TrendPlot::Axes(const std::vector<std::vector<TrendColumn>>& columns) const {
  std::vector<Axis> axes;
  std::vector<bool> hasRange;
  auto axisOf = [&](const std::string& unit) -> std::size_t {
    for (std::size_t k = 0; k < axes.size(); ++k)
      if (axes[k].unit == unit) return k;
    axes.push_back({unit, 0, 1});
    hasRange.push_back(false);
    return axes.size() - 1;
  };
  auto include = [&](std::size_t k, double lo, double hi) {
    axes[k].low = hasRange[k] ? std::min(axes[k].low, lo) : lo;
    axes[k].high = hasRange[k] ? std::max(axes[k].high, hi) : hi;
    hasRange[k] = true;
  };
  for (std::size_t i = 0; i < data_.series.size(); ++i) {
    const TrendSeries& s = data_.series[i];
    const std::size_t k = axisOf(s.unit);
    for (const TrendColumn& c : columns[i])
      if (c.hasData) include(k, c.min, c.max);
    // The limits of a channel's main value belong on its axis.
    const ChannelLimits& l = limits_[static_cast<std::size_t>(std::clamp(s.channel, 0, 3))];
    if (s.quantity == "main" && (l.unit.empty() || l.unit == s.unit)) {
      if (l.lower) include(k, *l.lower, *l.lower);
      if (l.upper) include(k, *l.upper, *l.upper);
    }
  }
  for (std::size_t k = 0; k < axes.size(); ++k) {
    Axis& a = axes[k];
    if (a.high - a.low <= 0) {
      a.low -= 1;
      a.high += 1;
    } else {
      const double pad = (a.high - a.low) * 0.05;
      a.low -= pad;
      a.high += pad;
    }
  }
  return axes;
}

void TrendPlot::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), Qt::white);
  if (!db_.isOpen() || !error_.empty()) {
    p.setPen(Qt::darkGray);
    p.drawText(rect(), Qt::AlignCenter,
               QString::fromStdString(error_.empty() ? std::string("Keine Aufzeichnung geöffnet") : error_));
    if (!db_.isOpen()) return;
  }
  // Columns first: the axes need the visible extremes.
  const QRect plot = PlotRect(UnitCount());
  const int width = plot.width();
  std::vector<std::vector<TrendColumn>> columns;
  for (const TrendSeries& s : data_.series)
    columns.push_back(DecimateTrend(s.points, viewFrom_, viewTo_, width, TrendGapMs(data_.source)));
  const std::vector<Axis> axes = Axes(columns);
  auto yOf = [&](std::size_t axis, double v) {
    const Axis& a = axes[axis];
    return plot.bottom() - (v - a.low) / (a.high - a.low) * plot.height();
  };
  auto axisIndex = [&](const std::string& unit) {
    for (std::size_t k = 0; k < axes.size(); ++k)
      if (axes[k].unit == unit) return k;
    return std::size_t{0};
  };

  // Time grid and labels, aligned to local time.
  const std::int64_t span = viewTo_ - viewFrom_;
  const std::int64_t step = TimeStep(span, width);
  const std::int64_t offset =
      static_cast<std::int64_t>(QDateTime::fromMSecsSinceEpoch(viewFrom_).offsetFromUtc()) * 1000;
  const QString format = span > kDayMs ? "dd.MM. HH:mm" : step < kMinuteMs ? "HH:mm:ss" : "HH:mm";
  p.setFont(font());
  const QFontMetrics metrics(font());
  for (std::int64_t t = ((viewFrom_ + offset) / step + 1) * step - offset; t < viewTo_; t += step) {
    const double x = plot.left() + static_cast<double>(t - viewFrom_) / static_cast<double>(span) * width;
    p.setPen(QColor(0xe4, 0xe4, 0xe4));
    p.drawLine(QPointF(x, plot.top()), QPointF(x, plot.bottom()));
    p.setPen(Qt::black);
    const QString label = QDateTime::fromMSecsSinceEpoch(t).toString(format);
    p.drawText(QPointF(x - metrics.horizontalAdvance(label) / 2.0, plot.bottom() + metrics.ascent() + 4), label);
  }
  // One axis per unit, the first next to the plot.
  for (std::size_t k = 0; k < axes.size(); ++k) {
    const int x = plot.left() - static_cast<int>(k) * kAxisWidth;
    p.setPen(Qt::black);
    p.drawLine(x, plot.top(), x, plot.bottom());
    const double tick = NiceStep(axes[k].high - axes[k].low, std::max(2, plot.height() / 50));
    for (double v = std::ceil(axes[k].low / tick) * tick; v <= axes[k].high; v += tick) {
      const double y = yOf(k, v);
      if (k == 0) {
        p.setPen(QColor(0xe4, 0xe4, 0xe4));
        p.drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
        p.setPen(Qt::black);
      }
      p.drawLine(QPointF(x - 4, y), QPointF(x, y));
      const QString label = Number(std::abs(v) < tick / 1e6 ? 0.0 : v, decimalSeparator_);
      p.drawText(QRectF(x - kAxisWidth + 2, y - 8, kAxisWidth - 8, 16), Qt::AlignRight | Qt::AlignVCenter, label);
    }
    p.drawText(QRectF(x - kAxisWidth + 2, 2, kAxisWidth - 4, kTopMargin - 4), Qt::AlignRight | Qt::AlignVCenter,
               QString::fromStdString(axes[k].unit));
  }
  p.setClipRect(plot.adjusted(0, -1, 1, 1));
  // Limit lines of the channels shown; their names go on top of the series.
  struct LimitLabel {
    double y;
    QString text;
    QColor colour;
  };
  std::vector<LimitLabel> limitLabels;
  for (std::size_t i = 0; i < data_.series.size(); ++i) {
    const TrendSeries& s = data_.series[i];
    const ChannelLimits& l = limits_[static_cast<std::size_t>(std::clamp(s.channel, 0, 3))];
    if (s.quantity != "main" || !(l.unit.empty() || l.unit == s.unit)) continue;
    QPen pen(ChannelColor(s.channel), 1, Qt::DashLine);
    p.setPen(pen);
    for (const auto& [bound, name] : {std::pair{l.lower, "untere"}, std::pair{l.upper, "obere"}}) {
      if (!bound) continue;
      const double y = yOf(axisIndex(s.unit), *bound);
      p.drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
      limitLabels.push_back({y, QStringLiteral("Kanal %1, %2 Grenze %3 %4")
                                    .arg(s.channel)
                                    .arg(name)
                                    .arg(Number(*bound, decimalSeparator_), QString::fromStdString(s.unit)),
                             ChannelColor(s.channel)});
    }
  }
  // The series: a vertical stroke from minimum to maximum per column, joined
  // to the column before unless a gap lies between.
  std::vector<QLineF> lines;
  for (std::size_t i = 0; i < data_.series.size(); ++i) {
    const TrendSeries& s = data_.series[i];
    const std::size_t axis = axisIndex(s.unit);
    lines.clear();
    double lastX = 0, lastY = 0;
    bool haveLast = false;
    for (int c = 0; c < width; ++c) {
      const TrendColumn& col = columns[i][static_cast<std::size_t>(c)];
      if (!col.hasData) continue;
      const double x = plot.left() + c + 0.5;
      if (col.joinsPrevious && haveLast) lines.emplace_back(lastX, lastY, x, yOf(axis, col.first));
      lines.emplace_back(x, yOf(axis, col.min), x, yOf(axis, col.max));
      lastX = x;
      lastY = yOf(axis, col.last);
      haveLast = true;
    }
    QPen pen(ChannelColor(s.channel), s.quantity == "main" ? 1.5 : 1.0,
             s.quantity == "main" ? Qt::SolidLine : Qt::DotLine);
    p.setPen(pen);
    p.drawLines(lines.data(), static_cast<int>(lines.size()));
  }
  // The limits' names, at the left end of their lines on a light ground; one
  // that would cover another moves along its line.
  std::vector<QRectF> taken;
  for (const LimitLabel& label : limitLabels) {
    QRectF box(plot.left() + 4, label.y - metrics.height() - 1, metrics.horizontalAdvance(label.text) + 6,
               metrics.height());
    for (bool moved = true; moved;) {
      moved = false;
      for (const QRectF& other : taken) {
        if (!box.intersects(other)) continue;
        box.moveLeft(other.right() + 8);
        moved = true;
      }
    }
    taken.push_back(box);
    p.fillRect(box, QColor(255, 255, 255, 200));
    p.setPen(label.colour);
    p.drawText(box, Qt::AlignCenter, label.text);
  }
  p.setClipping(false);
  // Legend: one entry per channel with the units it shows ("Kanal 0 (pH,
  // °C)"); a channel whose instrument changed its type in the view has more.
  // Cut short with "…" where the widget ends.
  std::vector<std::pair<int, QStringList>> entries;
  for (const TrendSeries& s : data_.series) {
    auto entry = std::find_if(entries.begin(), entries.end(), [&](const auto& e) { return e.first == s.channel; });
    if (entry == entries.end()) entry = entries.insert(entries.end(), {s.channel, {}});
    const QString unit = QString::fromStdString(s.unit);
    if (!entry->second.contains(unit)) entry->second << unit;
  }
  int x = plot.left() + 4;
  for (const auto& [channel, units] : entries) {
    const int room = rect().width() - 4 - x;
    if (room < metrics.horizontalAdvance(QStringLiteral("Kanal 0…"))) break;
    const QString text = metrics.elidedText(QStringLiteral("Kanal %1 (%2)").arg(channel).arg(units.join(", ")),
                                            Qt::ElideRight, room);
    p.setPen(ChannelColor(channel));
    p.drawText(QPointF(x, metrics.ascent() + 3), text);
    x += metrics.horizontalAdvance(text) + 16;
  }
  p.setPen(Qt::gray);
  p.drawRect(plot.adjusted(0, 0, -1, -1));
  // Cursor.
  if (cursorColumn_ >= 0 && cursorColumn_ < width) {
    const double cx = plot.left() + cursorColumn_ + 0.5;
    p.setPen(QPen(Qt::black, 1, Qt::DotLine));
    p.drawLine(QPointF(cx, plot.top()), QPointF(cx, plot.bottom()));
    const QStringList rows = cursorText().split('\n');
    int boxWidth = 0;
    for (const QString& row : rows) boxWidth = std::max(boxWidth, metrics.horizontalAdvance(row));
    QRect box(0, plot.top() + 6, boxWidth + 12, static_cast<int>(rows.size()) * metrics.height() + 8);
    box.moveLeft(cx + 8 + box.width() < plot.right() ? static_cast<int>(cx) + 8 : static_cast<int>(cx) - 8 - box.width());
    p.fillRect(box, QColor(255, 255, 240, 230));
    p.setPen(Qt::black);
    p.drawRect(box);
    p.drawText(box.adjusted(6, 4, -6, -4), Qt::AlignLeft | Qt::AlignTop, rows.join('\n'));
  }
}

QString TrendPlot::cursorText() const {
  const int width = plotWidth();
  if (cursorColumn_ < 0 || cursorColumn_ >= width) return {};
  // The column's time slice, read from the loaded points (not from the last
  // paint, which may show an older view).
  const double perColumn = static_cast<double>(viewTo_ - viewFrom_) / width;
  const auto t0 = viewFrom_ + static_cast<std::int64_t>(cursorColumn_ * perColumn);
  const auto t1 = viewFrom_ + static_cast<std::int64_t>((cursorColumn_ + 1) * perColumn);
  QStringList rows{QDateTime::fromMSecsSinceEpoch((t0 + t1) / 2).toString("dd.MM.yyyy HH:mm:ss")};
  for (const TrendSeries& s : data_.series) {
    auto it = std::lower_bound(s.points.begin(), s.points.end(), t0,
                               [](const TrendPoint& p, std::int64_t t) { return p.timeMs < t; });
    std::optional<std::pair<double, double>> range;
    for (; it != s.points.end() && it->timeMs < t1; ++it) {
      if (it->gap) continue;
      range = range ? std::pair{std::min(range->first, it->min), std::max(range->second, it->max)}
                    : std::pair{it->min, it->max};
    }
    const QString value = !range ? QStringLiteral("–")
                          : range->first == range->second
                              ? Number(range->first, decimalSeparator_)
                              : Number(range->first, decimalSeparator_) + " … " +
                                    Number(range->second, decimalSeparator_);
    rows << QStringLiteral("Kanal %1%2: %3 %4")
                .arg(s.channel)
                .arg(s.quantity == "main" ? QString() : QStringLiteral(" Temperatur"))
                .arg(value, QString::fromStdString(s.unit));
  }
  return rows.join('\n');
}

void TrendPlot::SetCursorColumn(int column) {
  cursorColumn_ = column;
  update();
  emit cursorMoved(cursorText());
}

void TrendPlot::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  dragStart_ = event->position().toPoint();
  dragFrom_ = viewFrom_;
  setCursor(Qt::ClosedHandCursor);
}

void TrendPlot::mouseMoveEvent(QMouseEvent* event) {
  const QRect plot = PlotRect(UnitCount());
  const int x = static_cast<int>(event->position().x());
  if (dragStart_) {
    const std::int64_t span = viewTo_ - viewFrom_;
    const auto shift = static_cast<std::int64_t>(static_cast<double>(dragStart_->x() - x) *
                                                 static_cast<double>(span) / plot.width());
    SetView(dragFrom_ + shift, dragFrom_ + shift + span);
    emit viewChangedByOperator();
    return;
  }
  SetCursorColumn(x >= plot.left() && x < plot.right() ? x - plot.left() : -1);
}

void TrendPlot::mouseReleaseEvent(QMouseEvent*) {
  dragStart_.reset();
  unsetCursor();
}

void TrendPlot::leaveEvent(QEvent*) {
  if (!dragStart_) SetCursorColumn(-1);
}

void TrendPlot::wheelEvent(QWheelEvent* event) {
  const QRect plot = PlotRect(UnitCount());
  const double anchor = std::clamp((event->position().x() - plot.left()) / plot.width(), 0.0, 1.0);
  const int delta = event->angleDelta().y();
  if (delta == 0) return;
  Zoom(delta > 0 ? 0.8 : 1.25, anchor);
  emit viewChangedByOperator();
}

void TrendPlot::keyPressEvent(QKeyEvent* event) {
  const bool ctrl = event->modifiers() & Qt::ControlModifier;
  switch (event->key()) {
    case Qt::Key_Left:
    case Qt::Key_Right: {
      const int direction = event->key() == Qt::Key_Left ? -1 : 1;
      if (ctrl) {
        const int width = plotWidth();
        SetCursorColumn(std::clamp(cursorColumn_ < 0 ? width / 2 : cursorColumn_ + direction, 0, width - 1));
        return;
      }
      Pan(0.1 * direction);
      break;
    }
    case Qt::Key_PageUp: Pan(-1); break;
    case Qt::Key_PageDown: Pan(1); break;
    case Qt::Key_Plus:
    case Qt::Key_Up: Zoom(0.8); break;
    case Qt::Key_Minus:
    case Qt::Key_Down: Zoom(1.25); break;
    case Qt::Key_Home: emit returnToNow(); return;
    default: QWidget::keyPressEvent(event); return;
  }
  emit viewChangedByOperator();
}

// ---------------------------------------------------------------------------

TrendWindow::TrendWindow(std::filesystem::path record, QWidget* parent)
    : QWidget(parent), record_(std::move(record)) {
  setObjectName("TrendWindow");
  setWindowTitle("Verlauf");
  auto* layout = new QVBoxLayout(this);

  auto* rangeRow = new QHBoxLayout;
  ranges_ = new QButtonGroup(this);
  const std::pair<Range, const char*> kRanges[] = {{Range::TenMinutes, "10 min"}, {Range::OneHour, "1 h"},
                                                   {Range::OneDay, "24 h"},       {Range::SevenDays, "7 Tage"},
                                                   {Range::Free, "Frei"}};
  for (const auto& [range, text] : kRanges) {
    auto* button = new QPushButton(text, this);
    button->setCheckable(true);
    button->setObjectName(QStringLiteral("Range_%1").arg(static_cast<int>(range)));
    ranges_->addButton(button, static_cast<int>(range));
    rangeRow->addWidget(button);
  }
  ranges_->button(static_cast<int>(range_))->setChecked(true);
  connect(ranges_, &QButtonGroup::idClicked, this, [this](int id) { SelectRange(static_cast<Range>(id)); });
  rangeRow->addSpacing(16);
  auto dateTime = [&](const char* label, const char* name) {
    rangeRow->addWidget(new QLabel(label, this));
    auto* edit = new QDateTimeEdit(this);
    edit->setObjectName(name);
    edit->setDisplayFormat("dd.MM.yyyy HH:mm");
    edit->setCalendarPopup(true);
    rangeRow->addWidget(edit);
    return edit;
  };
  freeFrom_ = dateTime("von", "FreeFrom");
  freeTo_ = dateTime("bis", "FreeTo");
  auto* show = new QPushButton("&Anzeigen", this);
  connect(show, &QPushButton::clicked, this, [this] { SelectRange(Range::Free); });
  rangeRow->addWidget(show);
  rangeRow->addStretch();
  layout->addLayout(rangeRow);

  auto* channelRow = new QHBoxLayout;
  for (int channel = 0; channel < 4; ++channel) {
    auto* box = new QCheckBox(QStringLiteral("Kanal &%1").arg(channel), this);
    box->setObjectName(QStringLiteral("TrendChannel_%1").arg(channel));
    box->setChecked(true);
    QPalette palette = box->palette();
    palette.setColor(QPalette::WindowText, ChannelColor(channel));
    box->setPalette(palette);
    connect(box, &QCheckBox::toggled, this, &TrendWindow::ApplyChannels);
    channelBoxes_[static_cast<std::size_t>(channel)] = box;
    channelRow->addWidget(box);
  }
  temperature_ = new QCheckBox("&Temperatur", this);
  temperature_->setObjectName("TrendTemperature");
  channelRow->addWidget(temperature_);
  live_ = new QCheckBox("&Live", this);
  live_->setObjectName("TrendLive");
  live_->setChecked(true);
  channelRow->addWidget(live_);
  channelRow->addStretch();
  layout->addLayout(channelRow);

  plot_ = new TrendPlot(this);
  layout->addWidget(plot_, 1);
  status_ = new QLabel(this);
  status_->setObjectName("TrendStatus");
  layout->addWidget(status_);

  connect(temperature_, &QCheckBox::toggled, plot_, &TrendPlot::SetTemperature);
  connect(live_, &QCheckBox::toggled, this, [this](bool on) {
    if (on) SelectRange(range_ == Range::Free ? Range::OneHour : range_);
  });
  connect(plot_, &TrendPlot::viewChangedByOperator, this, [this] { live_->setChecked(false); });
  connect(plot_, &TrendPlot::returnToNow, this, [this] { SetLive(true); });
  connect(plot_, &TrendPlot::cursorMoved, status_, &QLabel::setText);

  liveTimer_ = new QTimer(this);
  liveTimer_->setInterval(1000);
  connect(liveTimer_, &QTimer::timeout, this, &TrendWindow::LiveTick);
  resize(1000, 600);
}

void TrendWindow::Open() {
  if (const auto problem = plot_->OpenRecord(record_)) status_->setText(QString::fromStdString(*problem));
  else status_->clear();
  const std::int64_t now = NowMs();
  freeFrom_->setDateTime(QDateTime::fromMSecsSinceEpoch(now - kDayMs));
  freeTo_->setDateTime(QDateTime::fromMSecsSinceEpoch(now));
  SelectRange(range_);
}

void TrendWindow::SetLimits(const LimitTable& limits) { plot_->SetLimits(limits); }

void TrendWindow::SetDecimalSeparator(const std::string& separator) { plot_->SetDecimalSeparator(separator); }

std::int64_t TrendWindow::SpanOf(Range range) const {
  switch (range) {
    case Range::TenMinutes: return 10 * kMinuteMs;
    case Range::OneHour: return kHourMs;
    case Range::OneDay: return kDayMs;
    case Range::SevenDays: return 7 * kDayMs;
    case Range::Free: break;
  }
  return freeTo_->dateTime().toMSecsSinceEpoch() - freeFrom_->dateTime().toMSecsSinceEpoch();
}

void TrendWindow::SelectRange(Range range) {
  range_ = range;
  if (QAbstractButton* b = ranges_->button(static_cast<int>(range))) b->setChecked(true);
  if (range == Range::Free) {
    ShowFreeRange();
    return;
  }
  const std::int64_t now = NowMs();
  plot_->SetView(now - SpanOf(range), now);
  lastLiveLoad_ = now;
  if (!live_->isChecked()) live_->setChecked(true);
}

void TrendWindow::ShowFreeRange() {
  const std::int64_t from = freeFrom_->dateTime().toMSecsSinceEpoch();
  const std::int64_t to = freeTo_->dateTime().toMSecsSinceEpoch();
  if (to <= from) {
    status_->setText("Das Ende des Zeitraums muss nach seinem Anfang liegen.");
    return;
  }
  live_->setChecked(false);
  plot_->SetView(from, to);
}

void TrendWindow::SetLive(bool on) {
  live_->setChecked(on);
  if (on) SelectRange(range_ == Range::Free ? Range::OneHour : range_);
}

bool TrendWindow::live() const { return live_->isChecked(); }

void TrendWindow::ApplyChannels() {
  std::vector<int> channels;
  for (int channel = 0; channel < 4; ++channel)
    if (channelBoxes_[static_cast<std::size_t>(channel)]->isChecked()) channels.push_back(channel);
  // None ticked shows none, not all.
  if (channels.empty()) channels.push_back(-1);
  plot_->SetChannels(channels);
}

void TrendWindow::LiveTick() {
  if (!live_->isChecked()) return;
  if (!plot_->isOpen()) {
    // The record may appear once recording starts.
    if (!plot_->OpenRecord(record_)) status_->clear();
  }
  const std::int64_t now = NowMs();
  const std::int64_t span = plot_->viewTo() - plot_->viewFrom();
  // A new reading moves a long view by less than a pixel: read again once
  // the view has moved by a column.
  const std::int64_t every = std::max<std::int64_t>(1000, span / std::max(plot_->plotWidth(), 1));
  if (now - lastLiveLoad_ < every) return;
  lastLiveLoad_ = now;
  plot_->SetView(now - span, now);
  plot_->Reload();
}

void TrendWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  liveTimer_->start();
}

void TrendWindow::hideEvent(QHideEvent* event) {
  liveTimer_->stop();
  QWidget::hideEvent(event);
}

} // namespace trelvan
