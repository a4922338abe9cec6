#include "value_label.h"

#include <QFontMetrics>
#include <QPainter>
#include <cmath>

#include "core/geometry.h"

namespace trelvan {

namespace {

// The inner margin, as far in from the label's edge as the label stands in
// from the panel's (60 twips: 4 pixels at 96 dpi).
constexpr int kMarginTwips = 60;
// Font sizes in half points: the design size 13.5 pt, the smallest 7 pt.
constexpr int kDesignHalfPoints = 27;
constexpr int kSmallestHalfPoints = 14;

int Margin(const QWidget& w) { return TwipsToPixels(kMarginTwips, w.logicalDpiX()); }

} // namespace

ValueLabel::ValueLabel(QWidget* parent) : QLabel(parent) {
  setFont(DesignFont());
  setTextFormat(Qt::PlainText);
  setAutoFillBackground(true);
  QPalette p = palette();
  p.setColor(QPalette::Window, QColor(0, 0, 0xC0));
  p.setColor(QPalette::WindowText, QColor(0xFF, 0xFF, 0));
  setPalette(p);
}

QFont ValueLabel::DesignFont() {
  QFont font;
  // MS Sans Serif where the system has it, else a sans of about its width.
  font.setFamilies({"MS Sans Serif", "Microsoft Sans Serif", "Arial", "Liberation Sans", "Nimbus Sans",
                    "Helvetica"});
  font.setStyleHint(QFont::SansSerif);
  font.setPointSizeF(kDesignHalfPoints * 0.5);
  font.setBold(true);
  return font;
}

QStringList ValueLabel::DrawnLines(const QString& text) {
  QStringList lines = QString(text).replace("\r\n", "\n").split('\n');
  for (QString& line : lines) {
    qsizetype blanks = 0;
    while (blanks < line.size() && line[blanks] == ' ') ++blanks;
    line.remove(0, blanks);
  }
  return lines;
}

bool ValueLabel::Fits(const QFontMetrics& metrics, const QStringList& lines, QSize room) {
  int widest = 0;
  for (const QString& line : lines) widest = std::max(widest, metrics.horizontalAdvance(line));
  const auto tall = metrics.lineSpacing() * (lines.size() - 1) + metrics.height();
  return widest <= room.width() && tall <= room.height();
}

QFont ValueLabel::FittedFont(const QStringList& lines, QSize room) {
  int size = kDesignHalfPoints;
  while (size > kSmallestHalfPoints && !Fits(QFontMetrics(FontAt(size)), lines, room)) --size;
  return FontAt(size);
}

QSize ValueLabel::TextRoom() const { return size() - QSize(2 * Margin(*this), 0); }

void ValueLabel::ShowValue(const std::string& text) {
  const QString shown = QString::fromStdString(text).replace("\r\n", "\n");
  if (shown == this->text()) return;
  setText(shown);
  Fit();
}

void ValueLabel::Fit() {
  if (text().isEmpty()) return;
  const QStringList lines = DrawnLines(text());
  const QSize room = TextRoom();
  // The size FittedFont would choose, found from the present one: a new value
  // is mostly as wide as the last, so one or two measurements settle it.
  int size = static_cast<int>(std::lround(font().pointSizeF() * 2));
  if (Fits(MetricsAt(size), lines, room)) {
    while (size < kDesignHalfPoints && Fits(MetricsAt(size + 1), lines, room)) ++size;
  } else {
    while (size > kSmallestHalfPoints && !Fits(MetricsAt(--size), lines, room)) {
    }
  }
  if (size * 0.5 != font().pointSizeF()) setFont(FontAt(size));
}

QFont ValueLabel::FontAt(int halfPoints) {
  QFont font = DesignFont();
  font.setPointSizeF(halfPoints * 0.5);
  return font;
}

const QFontMetrics& ValueLabel::MetricsAt(int halfPoints) {
  auto known = metrics_.find(halfPoints);
  if (known == metrics_.end()) known = metrics_.emplace(halfPoints, QFontMetrics(FontAt(halfPoints))).first;
  return known->second;
}

void ValueLabel::resizeEvent(QResizeEvent* event) {
  Fit();
  QLabel::resizeEvent(event);
}

void ValueLabel::paintEvent(QPaintEvent*) {
  // The background is filled by the widget itself (autoFillBackground).
  if (text().isEmpty()) return;
  const QStringList lines = DrawnLines(text());
  QPainter painter(this);
  painter.setFont(font());
  painter.setPen(palette().color(QPalette::WindowText));
  const QFontMetrics metrics(font());
  const int margin = Margin(*this);
  const int block = metrics.lineSpacing() * static_cast<int>(lines.size() - 1) + metrics.height();
  // One line stands in the middle of the label; several start at its top,
  // level with the caption's lines.
  int y = lines.size() == 1 ? (height() - block) / 2 : margin / 2;
  for (const QString& line : lines) {
    painter.drawText(margin, y + metrics.ascent(), line);
    y += metrics.lineSpacing();
  }
}

} // namespace trelvan
