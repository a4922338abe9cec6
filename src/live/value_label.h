#pragma once
// The value label of a gauge (Etiquette3): yellow bold text on dark blue. It
// keeps the poll cycle's text as written (text(), lines ending in LF where the
// poll cycle writes CR LF), and draws it with
// a small inner margin, every line from the same column: a pattern's leading
// blanks pad a line on the instrument's display, here they would only make
// the lines of one value start at different places. Where the system's sans
// font runs wider than the label, the text is set smaller rather than cut off.

#include <QFont>
#include <QFontMetrics>
#include <QLabel>
#include <QStringList>
#include <map>

namespace trelvan {

class ValueLabel : public QLabel {
  Q_OBJECT
 public:
  explicit ValueLabel(QWidget* parent = nullptr);

  // The text as the poll cycle writes it, lines separated by CR LF.
  void ShowValue(const std::string& text);

  // The label's font at design size (13.5 pt bold).
  static QFont DesignFont();
  // The lines as drawn: split at line ends, leading blanks removed.
  static QStringList DrawnLines(const QString& text);
  // The largest size from the design size down in half points (not below
  // 7 pt) at which `lines` fit into `room`.
  static QFont FittedFont(const QStringList& lines, QSize room);
  static bool Fits(const QFontMetrics& metrics, const QStringList& lines, QSize room);
  // The room the text has: the label less the inner margin left and right.
  QSize TextRoom() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void Fit();
  static QFont FontAt(int halfPoints);
  // The metrics of each size the label has measured, kept: a new font's
  // first measurement looks its glyphs up afresh.
  const QFontMetrics& MetricsAt(int halfPoints);

  std::map<int, QFontMetrics> metrics_;
};

} // namespace trelvan
