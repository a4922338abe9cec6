#include "measurement_window.h"

#include <QCloseEvent>
#include <QFontMetrics>
#include <QFrame>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QShortcut>
#include <QScreen>
#include <QTimer>

#include "comm/measurement_requests.h"
#include "comm/reply_time_setting.h"
#include "comm/serial_line.h"
#include "comm/serial_port.h"
#include "core/geometry.h"
#include "live/asset_files.h"

namespace trelvan {

namespace {

constexpr const char* kPanelPicture = "instrum1.bmp";

QFont SansFont(double points, bool bold) {
  QFont font("MS Sans Serif");
  font.setStyleHint(QFont::SansSerif);
  font.setPointSizeF(points);
  font.setBold(bold);
  return font;
}

QString ToDisplay(const std::string& text) {
  // Label texts separate lines by CR LF; a label breaks lines at LF.
  return QString::fromStdString(text).replace("\r\n", "\n");
}

} // namespace

F_Mesure::F_Mesure(Station& station, Prompter& prompter, QWidget* parent)
    : QWidget(parent), station_(station), prompter_(prompter) {
  setObjectName("F_Mesure");
  setWindowTitle(" [ Mesure ]");
  setAutoFillBackground(true);
  QPalette pal = palette();
  pal.setColor(QPalette::Window, QColor(0xC0, 0xC0, 0xC0));
  setPalette(pal);

  const double dpi = screen() ? screen()->logicalDotsPerInch() : 96.0;
  auto px = [dpi](int twips) { return TwipsToPixels(twips, dpi); };
  resize(px(11355), px(7500));
  // The controls stand on a canvas of the window's design size, which stays
  // centred when the window is maximised.
  canvas_ = new QWidget(this);
  canvas_->setObjectName("Canvas");
  canvas_->resize(px(11355), px(7500));

  // The title and its grey shadow, drawn first so the red text lies on top.
  const std::array<QColor, 2> titleColours{QColor(255, 0, 0), QColor(128, 128, 128)};
  const std::array<QPoint, 2> titlePlaces{QPoint(1800, 390), QPoint(1830, 405)};
  for (int k : {1, 0}) {
    auto* label = new QLabel("Suivi des mesures", canvas_);
    label->setObjectName(QString("Etiquette2_%1").arg(k));
    label->setFont(SansFont(13.5, true));
    QPalette p = label->palette();
    p.setColor(QPalette::WindowText, titleColours[static_cast<std::size_t>(k)]);
    label->setPalette(p);
    label->setGeometry(px(titlePlaces[static_cast<std::size_t>(k)].x()),
                       px(titlePlaces[static_cast<std::size_t>(k)].y()), px(2805) * 2, px(375));
    Etiquette2_[static_cast<std::size_t>(k)] = label;
  }

  Cadre1_ = new QFrame(canvas_);
  Cadre1_->setObjectName("Cadre1");
  Cadre1_->setFrameShape(QFrame::Box);
  Cadre1_->setFrameShadow(QFrame::Sunken);
  Cadre1_->setGeometry(px(design::kFrameLeft), px(design::kFrameTop), px(design::kFrameWidth),
                       px(design::kFrameHeight));

  Dessin2_ = new QLabel(Cadre1_);
  Dessin2_->setObjectName("Dessin2");
  Dessin2_->setGeometry(px(45), px(240), px(9465), px(6075));

  const QPixmap panel(":/live/instrum1.bmp");
  for (int i = 0; i < kChannelCount; ++i) {
    const auto k = static_cast<std::size_t>(i);
    auto* caption = new QLabel(Cadre1_);
    caption->setObjectName(QString("Etiquette1_%1").arg(i));
    caption->setFont(SansFont(12, false));
    // Captions end at the panel so that markers of any length stay readable.
    caption->setAlignment(Qt::AlignRight | Qt::AlignTop);
    Etiquette1_[k] = caption;

    auto* picture = new QLabel(Cadre1_);
    picture->setObjectName(QString("Dessin1_%1").arg(i));
    picture->setScaledContents(true);
    picture->setPixmap(panel);
    Dessin1_[k] = picture;

    auto* value = new QLabel(Cadre1_);
    value->setObjectName(QString("Etiquette3_%1").arg(i));
    value->setFont(SansFont(13.5, true));
    value->setAutoFillBackground(true);
    QPalette p = value->palette();
    p.setColor(QPalette::Window, QColor(0, 0, 0xC0));
    p.setColor(QPalette::WindowText, QColor(0xFF, 0xFF, 0));
    value->setPalette(p);
    value->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    value->setTextFormat(Qt::PlainText);
    Etiquette3_[k] = value;
  }

  Commande1_ = new QPushButton("ABANDON", canvas_);
  Commande1_->setObjectName("Commande1");
  Commande1_->setGeometry(px(270), px(6840), px(1275), px(465));
  connect(Commande1_, &QPushButton::clicked, this, &F_Mesure::StopAction);
  // Escape stops as the button does; the button's text has no access key.
  auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  connect(escape, &QShortcut::activated, this, &F_Mesure::StopAction);

  lineStatus_ = new QLabel(canvas_);
  lineStatus_->setObjectName("LineStatus");
  lineStatus_->setWordWrap(true);
  QPalette sp = lineStatus_->palette();
  sp.setColor(QPalette::WindowText, QColor(160, 0, 0));
  lineStatus_->setPalette(sp);
  lineStatus_->hide();

  timer_ = new QTimer(this);
  timer_->setObjectName("Minuterie1");
  timer_->setInterval(0);

  requests_ = std::make_unique<MeasurementRequests>(*station_.port, station_.sharedResults);
  cycle_ = std::make_unique<PollCycle>(station_, *requests_, [this](const Reading& reading) {
    ShowLabel(reading.channel, reading.text);
    // The label keeps the Parts' text; why it fails, and since when no good
    // value came, the gauge tells on hovering.
    Etiquette3_[static_cast<std::size_t>(reading.channel)]->setToolTip(
        QString::fromStdString(GaugeToolTip(station_.diagnostics, reading.channel, reading.timeMs)));
  });
  cycle_->setStopAction([this] { StopAction(); });
  connect(timer_, &QTimer::timeout, this, [this] {
    cycle_->Tick();
    if (loaded_) ApplyChannelVisibility();
  });
  connect(station_.port, &SerialPort::lineLost, this, &F_Mesure::OnLineLost);
}

F_Mesure::~F_Mesure() = default;

void F_Mesure::Load() {
  setWindowTitle(QString::fromStdString(station_.AppTitle) + " [ Messung ]");
  Commande1_->setText("Abrechen");
  for (QLabel* title : Etiquette2_) title->setText("messung verfolgung");
  for (QLabel* value : Etiquette3_) value->clear();

  layout_ = LayoutGauges(station_.channelTable);
  ApplyLayout();
  ApplyChannelVisibility();

  lineLostReported_ = false;
  station_.diagnostics.Reset(); // counters are kept per measurement run
  std::string replyProblem;
  const int replyMs = ConfiguredReplyMs(station_.folder, &replyProblem);
  requests_->SetWaitTimes({replyMs, replyMs});
  // The serial line dialog's "Auslesen" may have left the line open with
  // other choices; the measurement opens it with the stored settings.
  if (station_.port->IsOpen()) ClosePort(*station_.port);
  const PortResult opened = OpenPort(*station_.port, station_.serialSettings);
  if (opened.ok && !replyProblem.empty()) {
    lineStatus_->setText(QString::fromStdString(replyProblem));
    lineStatus_->show();
  } else if (opened.ok) {
    lineStatus_->hide();
  } else {
    lineStatus_->setText(opened.message);
    lineStatus_->show();
  }
  loaded_ = true;
}

QString F_Mesure::lineMessage() const { return lineStatus_->isVisible() ? lineStatus_->text() : QString(); }

void F_Mesure::ApplyLayout() {
  const double dpi = screen() ? screen()->logicalDotsPerInch() : 96.0;
  auto px = [dpi](int twips) { return TwipsToPixels(twips, dpi); };
  const QString tallPicture = FindAssetFile(kPanelPicture);
  for (int i = 0; i < kChannelCount; ++i) {
    const auto k = static_cast<std::size_t>(i);
    const GaugeGeometry& g = layout_.gauges[k];
    Etiquette1_[k]->setGeometry(px(300), px(g.captionTop), px(design::kPanelLeft - 300 - 90),
                                px(g.tallPanel ? g.labelHeight : design::kCaptionHeight * 3));
    Dessin1_[k]->setGeometry(px(design::kPanelLeft), px(g.panelTop), px(design::kPanelWidth),
                             px(g.panelHeight));
    Etiquette3_[k]->setGeometry(px(design::kLabelLeft), px(g.labelTop),
                                px(design::kLabelWidth[k]), px(g.labelHeight));
    // A multi-line value starts level with its caption, so the volume lines
    // stand beside "Tages Volumen" and "Gesamtvolumen".
    Etiquette3_[k]->setAlignment(Qt::AlignLeft | (g.tallPanel ? Qt::AlignTop : Qt::AlignVCenter));
    if (g.tallPanel) {
      // Multi-line values stand on the panel picture loaded from its file;
      // without the file the gauge shows on a plain panel.
      QPixmap picture;
      if (!tallPicture.isEmpty()) picture.load(tallPicture);
      if (picture.isNull()) {
        Dessin1_[k]->clear();
        Dessin1_[k]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
      } else {
        Dessin1_[k]->setPixmap(picture);
      }
    }
  }
  Cadre1_->resize(Cadre1_->width(), px(layout_.frameHeight));
  Dessin2_->resize(Dessin2_->width(), px(layout_.pictureHeight));
  lineStatus_->setGeometry(px(1800), Cadre1_->geometry().bottom() + px(120), px(design::kFrameWidth), px(600));
  Commande1_->move(px(270), std::max(px(6840), Cadre1_->geometry().bottom() - Commande1_->height()));
}

void F_Mesure::ApplyChannelVisibility() {
  for (int i = 0; i < kChannelCount; ++i) {
    const auto k = static_cast<std::size_t>(i);
    const bool shown = station_.channelTable[i].isEnabled();
    if (shown) Etiquette1_[k]->setText(ToDisplay(station_.channelTable.ChannelCaption[k]));
    Etiquette1_[k]->setVisible(shown);
    Etiquette3_[k]->setVisible(shown);
    Dessin1_[k]->setVisible(shown);
  }
}

void F_Mesure::resizeEvent(QResizeEvent* event) {
  canvas_->move(std::max(0, (width() - canvas_->width()) / 2), std::max(0, (height() - canvas_->height()) / 2));
  QWidget::resizeEvent(event);
}

void F_Mesure::showEvent(QShowEvent* event) {
  if (loaded_) ApplyChannelVisibility();
  QWidget::showEvent(event);
}

void F_Mesure::ShowLabel(int channel, const std::string& text) {
  QLabel* label = Etiquette3_[static_cast<std::size_t>(channel)];
  const QString shown = ToDisplay(text);
  // The value font is 13.5 pt bold; where the system's sans font runs wider
  // than the panel, the text is set smaller rather than cut off.
  QFont font = SansFont(13.5, true);
  const int room = label->width() - 4;
  for (double points = 13.5; points > 7; points -= 0.5) {
    font.setPointSizeF(points);
    const QFontMetrics metrics(font);
    int widest = 0;
    for (const QString& line : shown.split('\n')) widest = std::max(widest, metrics.horizontalAdvance(line));
    if (widest <= room) break;
  }
  label->setFont(font);
  label->setText(shown);
}

void F_Mesure::OnLineLost(const QString& reason) {
  if (!loaded_) return;
  // Reported once per measurement; the channels show their failure texts
  // until the measurement is started again with the device back.
  if (!lineLostReported_) {
    lineLostReported_ = true;
    lineStatus_->setText(reason);
    lineStatus_->show();
  }
}

void F_Mesure::StartPolling(int intervalMs) {
  timer_->setInterval(intervalMs);
  timer_->start();
}

void F_Mesure::StopAction() {
  station_.StopRequested = true;
  if (station_.PollBusy) {
    requests_->InterruptHoldWait(); // a reply under way is still shown
    return;                         // the next tick completes the stop
  }
  timer_->stop();
  ClosePort(*station_.port);
  Unload();
  emit unloaded();
}

void F_Mesure::Shutdown() {
  timer_->stop();
  station_.StopRequested = true;
  station_.port->InterruptWaits();
  ClosePort(*station_.port);
  loaded_ = false;
}

void F_Mesure::Unload() {
  const bool beep = !station_.PollBusy;
  loaded_ = false;
  hide();
  if (beep) prompter_.beep();
}

void F_Mesure::closeEvent(QCloseEvent* event) {
  if (!loaded_) {
    event->accept();
    return;
  }
  if (!prompter_.ask(PromptIcon::Question, "Wollen sie die Anvendung verlassen ?",
                     windowTitle().toStdString())) {
    event->ignore(); // polling goes on
    return;
  }
  Shutdown();
  event->accept();
  emit quitRequested();
}

} // namespace trelvan
