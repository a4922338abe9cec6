#include "value_label.h"

#include <QFontMetrics>
#include <QPainter>

#include "core/geometry.h"

namespace trelvan {

namespace {

// The inner margin, as far in from the label's edge as the label stands in
// from the panel's (60 twips: 4 pixels at 96 dpi).
constexpr int kMarginTwips = 60;
constexpr double kDesignPoints = 13.5;

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
  font.setPointSizeF(kDesignPoints);
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
  QFont font = DesignFont();
  for (double points = font.pointSizeF(); points >= 7; points -= 0.5) {
    font.setPointSizeF(points);
    if (Fits(QFontMetrics(font), lines, room)) break;
  }
  return font;
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
  // A value that fits at the design size keeps the font it has: measured with
  // the label's own font, whose glyphs are at hand, rather than a new one.
  if (font().pointSizeF() == kDesignPoints && Fits(fontMetrics(), lines, TextRoom())) return;
  setFont(FittedFont(lines, TextRoom()));
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
