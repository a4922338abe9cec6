#include "measurement_window.h"

#include <QCloseEvent>
#include <QDateTime>
#include <QDir>
#include <QFrame>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QTimer>
#include <qdrawutil.h>

#include "comm/measurement_requests.h"
#include "comm/reply_time_setting.h"
#include "comm/serial_line.h"
#include "comm/serial_port.h"
#include "core/geometry.h"
#include "core/time_text.h"
#include "live/reading_outlets.h"
#include "live/value_label.h"

namespace trelvan {

namespace {

constexpr int kReopenIntervalMs = 2000;
// Notices kept in the window's notice line, the newest last.
constexpr int kNoticesShown = 3;

QFont SansFont(double points, bool bold) {
  QFont font = ValueLabel::DesignFont();
  font.setPointSizeF(points);
  font.setBold(bold);
  return font;
}

QString ToDisplay(const std::string& text) {
  // Label texts separate lines by CR LF; a label breaks lines at LF.
  return QString::fromStdString(text).replace("\r\n", "\n");
}

// The red frame around the panel of a gauge whose value is beyond its limits:
// drawn over the panel's edge, clear of the value label inside it.
class AlarmFrame : public QWidget {
 public:
  explicit AlarmFrame(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    hide();
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    constexpr int kWidth = 3;
    QPainter painter(this);
    painter.setPen(QPen(QColor(0xFF, 0, 0), kWidth, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    painter.drawRect(QRectF(rect()).adjusted(kWidth / 2.0, kWidth / 2.0, -kWidth / 2.0, -kWidth / 2.0));
  }
};

void SetTextColour(QWidget* w, const QColor& colour) {
  QPalette p = w->palette();
  p.setColor(QPalette::WindowText, colour);
  w->setPalette(p);
}

} // namespace

QPixmap PanelPixmap(const QPixmap& picture, QSize size) {
  if (picture.isNull() || size.isEmpty()) return {};
  QPixmap out(size);
  out.fill(Qt::transparent);
  QPainter painter(&out);
  const QMargins edge(2, 2, 2, 2);
  qDrawBorderPixmap(&painter, out.rect(), edge, picture);
  return out;
}

F_Mesure::F_Mesure(Station& station, Prompter& prompter, QWidget* parent)
    : QWidget(parent), station_(station), prompter_(prompter), designPanel_(kPanelResource) {
  setObjectName("F_Mesure");
  setWindowTitle(" [ Mesure ]");
  setAutoFillBackground(true);
  QPalette pal = palette();
  pal.setColor(QPalette::Window, QColor(0xC0, 0xC0, 0xC0));
  setPalette(pal);
  resize(Px(11355), Px(7500));
  // The controls stand on a canvas of the window's design size, which stays
  // centred when the window is maximised.
  canvas_ = new QWidget(this);
  canvas_->setObjectName("Canvas");
  canvas_->resize(Px(11355), Px(7500));

  BuildTitle();
  BuildFrame();
  for (int i = 0; i < kChannelCount; ++i) BuildGauge(i);
  BuildStopButton();
  BuildLineStatus();
  ConnectPolling();
}

F_Mesure::~F_Mesure() = default;

int F_Mesure::Px(int twips) const {
  return TwipsToPixels(twips, screen() ? screen()->logicalDotsPerInch() : 96.0);
}

void F_Mesure::BuildTitle() {
  // The title and its grey shadow, the shadow made first so the red text
  // lies on top.
  const std::array<QColor, 2> colours{QColor(255, 0, 0), QColor(128, 128, 128)};
  const std::array<QPoint, 2> places{QPoint(1800, 390), QPoint(1830, 405)};
  for (std::size_t k : {1u, 0u}) {
    auto* label = new QLabel("Suivi des mesures", canvas_);
    label->setObjectName(QString("Etiquette2_%1").arg(k));
    label->setFont(SansFont(13.5, true));
    SetTextColour(label, colours[k]);
    label->setGeometry(Px(places[k].x()), Px(places[k].y()), Px(2805) * 2, Px(375));
    Etiquette2_[k] = label;
  }
}

void F_Mesure::BuildFrame() {
  Cadre1_ = new QFrame(canvas_);
  Cadre1_->setObjectName("Cadre1");
  Cadre1_->setFrameShape(QFrame::Box);
  Cadre1_->setFrameShadow(QFrame::Sunken);
  Cadre1_->setGeometry(Px(design::kFrameLeft), Px(design::kFrameTop), Px(design::kFrameWidth),
                       Px(design::kFrameHeight));
  Dessin2_ = new QLabel(Cadre1_);
  Dessin2_->setObjectName("Dessin2");
  Dessin2_->setGeometry(Px(45), Px(240), Px(9465), Px(6075));
}

void F_Mesure::BuildGauge(int channel) {
  const auto k = static_cast<std::size_t>(channel);
  auto* caption = new QLabel(Cadre1_);
  caption->setObjectName(QString("Etiquette1_%1").arg(channel));
  caption->setFont(SansFont(12, false));
  // Captions end at the panel so that markers of any length stay readable.
  caption->setAlignment(Qt::AlignRight | Qt::AlignTop);
  Etiquette1_[k] = caption;

  auto* panel = new QLabel(Cadre1_);
  panel->setObjectName(QString("Dessin1_%1").arg(channel));
  Dessin1_[k] = panel;

  auto* value = new ValueLabel(Cadre1_);
  value->setObjectName(QString("Etiquette3_%1").arg(channel));
  Etiquette3_[k] = value;

  alarmFrame_[k] = new AlarmFrame(Cadre1_);
  alarmFrame_[k]->setObjectName(QString("AlarmFrame_%1").arg(channel));
}

void F_Mesure::BuildStopButton() {
  Commande1_ = new QPushButton("ABANDON", canvas_);
  Commande1_->setObjectName("Commande1");
  Commande1_->setGeometry(Px(270), Px(6840), Px(1275), Px(465));
  connect(Commande1_, &QPushButton::clicked, this, &F_Mesure::StopAction);
  // Escape stops as the button does; the button's text has no access key.
  auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  connect(escape, &QShortcut::activated, this, &F_Mesure::StopAction);
}

void F_Mesure::BuildLineStatus() {
  lineStatus_ = new QLabel(canvas_);
  lineStatus_->setObjectName("LineStatus");
  lineStatus_->setWordWrap(true);
  SetTextColour(lineStatus_, QColor(160, 0, 0));
  lineStatus_->hide();
  noticeLine_ = new QLabel(canvas_);
  noticeLine_->setObjectName("Meldungen");
  noticeLine_->setWordWrap(true);
  noticeLine_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  noticeLine_->setTextFormat(Qt::PlainText);
  noticeLine_->hide();
}

void F_Mesure::ConnectPolling() {
  timer_ = new QTimer(this);
  timer_->setObjectName("Minuterie1");
  timer_->setInterval(0);
  requests_ = std::make_unique<MeasurementRequests>(*station_.port, station_.sharedResults);
  cycle_ = std::make_unique<PollCycle>(station_, *requests_, [this](const Reading& reading) { ShowReading(reading); });
  cycle_->setStopAction([this] { StopAction(); });
  connect(timer_, &QTimer::timeout, this, &F_Mesure::RunTick);

  reopenTimer_ = new QTimer(this);
  reopenTimer_->setInterval(kReopenIntervalMs);
  connect(reopenTimer_, &QTimer::timeout, this, &F_Mesure::TryReopen);
  connect(station_.port, &SerialPort::lineLost, this, &F_Mesure::OnLineLost);
}

void F_Mesure::ShowReading(const Reading& polled) {
  const auto k = static_cast<std::size_t>(polled.channel);
  // The outlets set the reading's alarm; the label then shows it.
  Reading reading = polled;
  const std::vector<AlarmEvent> events = outlets_ ? outlets_->Take(reading) : std::vector<AlarmEvent>{};
  for (const AlarmEvent& event : events) {
    if (event.raised) raised_[k] = event;
    else if (raised_[k] && raised_[k]->state == event.state) raised_[k].reset();
  }
  ValueLabel* label = Etiquette3_[k];
  label->ShowValue(reading.text);
  alarmFrame_[k]->setVisible(reading.alarm != AlarmState::None && station_.channelTable[reading.channel].isEnabled());
  // The label keeps its text exactly; why it fails, since when no good value
  // came and which limit its value is beyond, the gauge tells on hovering.
  std::string tip = GaugeToolTip(station_.diagnostics, reading.channel, reading.timeMs);
  if (reading.alarm != AlarmState::None) tip = AlarmToolTip(reading) + "\n" + tip;
  label->setToolTip(QString::fromStdString(tip));
  for (const AlarmEvent& event : events) emit alarmEvent(event);
}

std::string F_Mesure::AlarmToolTip(const Reading& reading) const {
  const std::optional<AlarmEvent>& raised = raised_[static_cast<std::size_t>(reading.channel)];
  if (raised && raised->state == reading.alarm)
    return "Grenzwertalarm seit " + IsoLocalTime(raised->timeMs).substr(11, 8) + " – " + raised->text;
  return reading.alarm == AlarmState::High ? "Grenzwertalarm – oberer Grenzwert überschritten"
                                           : "Grenzwertalarm – unterer Grenzwert unterschritten";
}

void F_Mesure::RunTick() {
  using Clock = std::chrono::steady_clock;
  const int passesBefore = cycle_->passCount();
  const Clock::time_point start = Clock::now();
  cycle_->Tick();
  if (cycle_->passCount() != passesBefore) {
    const Clock::time_point passEnd = Clock::now();
    lastPassTime_ = std::chrono::duration_cast<std::chrono::microseconds>(passEnd - start);
    // After the pass, never inside it: the record's commit and what the
    // outlets have to tell.
    if (outlets_) {
      for (const std::string& message : outlets_->EndPass()) ShowNotice(QString::fromStdString(message));
      lastEndPassTime_ = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - passEnd);
    }
    emit passEnded();
  }
  if (loaded_) ApplyChannelVisibility();
}

void F_Mesure::ShowNotice(const QString& text) {
  notices_ << QDateTime::currentDateTime().toString("HH:mm:ss") + "  " + text;
  while (notices_.size() > kNoticesShown) notices_.removeFirst();
  noticeLine_->setText(notices_.join('\n'));
  noticeLine_->show();
}

QString F_Mesure::notices() const { return notices_.join('\n'); }

void F_Mesure::Load() {
  setWindowTitle(QString::fromStdString(station_.AppTitle) + " [ Messung ]");
  Commande1_->setText("Abrechen");
  for (QLabel* title : Etiquette2_) title->setText("messung verfolgung");

  ShowGaugesAsDesigned();
  layout_ = LayoutGauges(station_.channelTable);
  ApplyLayout();
  ApplyChannelVisibility();

  lineLostReported_ = false;
  lineStatus_->hide();
  station_.diagnostics.Reset(); // counters are kept per measurement run
  std::string replyProblem;
  const int replyMs = ConfiguredReplyMs(station_.folder, &replyProblem);
  requests_->SetWaitTimes({replyMs, replyMs});
  if (!replyProblem.empty()) ShowLineMessage(QString::fromStdString(replyProblem));
  OpenLine();
  loaded_ = true;
}

void F_Mesure::OpenLine() {
  // The serial line dialog's "Auslesen" may have left the line open with
  // other choices; the measurement opens it with the stored settings.
  if (station_.port->IsOpen()) ClosePort(*station_.port);
  const PortResult opened = OpenPort(*station_.port, station_.serialSettings);
  if (opened.ok) return;
  ShowLineMessage(opened.message);
  reopenTimer_->start();
}

QString F_Mesure::lineMessage() const { return lineStatus_->isVisible() ? lineStatus_->text() : QString(); }

void F_Mesure::setReopenIntervalMs(int ms) { reopenTimer_->setInterval(ms); }

void F_Mesure::ShowLineMessage(const QString& message) {
  lineStatus_->setText(message);
  lineStatus_->show();
}

void F_Mesure::ShowGaugesAsDesigned() {
  // As a freshly loaded window has them, whatever an earlier measurement
  // made of them: the short panel with its bitmap, an empty value label.
  for (std::size_t k = 0; k < kChannelCount; ++k) {
    Dessin1_[k]->setFrameStyle(QFrame::NoFrame);
    Dessin1_[k]->setPixmap(PanelPixmap(designPanel_, QSize(Px(design::kPanelWidth), Px(design::kPanelHeight))));
    Etiquette3_[k]->clear();
    Etiquette3_[k]->setFont(ValueLabel::DesignFont());
    alarmFrame_[k]->hide();
  }
}

void F_Mesure::ApplyLayout() {
  QPixmap tallPicture(QDir::current().filePath(kPanelPictureFile));
  if (tallPicture.isNull()) tallPicture = designPanel_;
  for (std::size_t k = 0; k < kChannelCount; ++k) {
    const GaugeGeometry& g = layout_.gauges[k];
    Etiquette1_[k]->setGeometry(Px(300), Px(g.captionTop), Px(design::kPanelLeft - 300 - 90),
                                Px(g.tallPanel ? g.labelHeight : design::kCaptionHeight * 3));
    Dessin1_[k]->setGeometry(Px(design::kPanelLeft), Px(g.panelTop), Px(design::kPanelWidth), Px(g.panelHeight));
    Etiquette3_[k]->setGeometry(Px(design::kLabelLeft), Px(g.labelTop), Px(design::kLabelWidth[k]),
                                Px(g.labelHeight));
    alarmFrame_[k]->setGeometry(Dessin1_[k]->geometry());
    if (!g.tallPanel) continue;
    // Multi-line values stand on the panel picture from the working folder,
    // or on the program's own where there is none.
    const QPixmap picture = PanelPixmap(tallPicture, Dessin1_[k]->size());
    if (picture.isNull()) {
      Dessin1_[k]->clear();
      Dessin1_[k]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    } else {
      Dessin1_[k]->setPixmap(picture);
    }
  }
  Cadre1_->resize(Cadre1_->width(), Px(layout_.frameHeight));
  Dessin2_->resize(Dessin2_->width(), Px(layout_.pictureHeight));
  lineStatus_->setGeometry(Px(1800), Cadre1_->geometry().bottom() + Px(120), Px(design::kFrameWidth), Px(600));
  noticeLine_->setGeometry(Px(1800), lineStatus_->geometry().bottom() + Px(60), Px(design::kFrameWidth),
                           noticeLine_->fontMetrics().lineSpacing() * 2 * kNoticesShown);
  Commande1_->move(Px(270), std::max(Px(6840), Cadre1_->geometry().bottom() - Commande1_->height()));
  // Tall gauges push the notice line below the design size: the canvas grows.
  canvas_->resize(canvas_->width(), std::max(Px(7500), noticeLine_->geometry().bottom() + Px(120)));
  CentreCanvas();
}

void F_Mesure::ApplyChannelVisibility() {
  for (int i = 0; i < kChannelCount; ++i) {
    const auto k = static_cast<std::size_t>(i);
    const bool shown = station_.channelTable[i].isEnabled();
    if (shown) Etiquette1_[k]->setText(ToDisplay(station_.channelTable.ChannelCaption[k]));
    Etiquette1_[k]->setVisible(shown);
    Etiquette3_[k]->setVisible(shown);
    Dessin1_[k]->setVisible(shown);
    if (!shown) alarmFrame_[k]->hide();
  }
}

void F_Mesure::CentreCanvas() {
  canvas_->move(std::max(0, (width() - canvas_->width()) / 2), std::max(0, (height() - canvas_->height()) / 2));
}

void F_Mesure::resizeEvent(QResizeEvent* event) {
  CentreCanvas();
  QWidget::resizeEvent(event);
}

void F_Mesure::showEvent(QShowEvent* event) {
  if (loaded_) ApplyChannelVisibility();
  QWidget::showEvent(event);
}

void F_Mesure::OnLineLost(const QString& reason) {
  if (!loaded_) return;
  // Said once for each loss; the channels show their failure texts until the
  // line is back.
  if (!lineLostReported_) {
    lineLostReported_ = true;
    ShowLineMessage(reason);
  }
  reopenTimer_->start();
}

void F_Mesure::TryReopen() {
  if (!loaded_ || station_.port->IsOpen()) {
    reopenTimer_->stop();
    return;
  }
  if (station_.PollBusy) return; // never under a running pass; the next try comes
  if (!OpenPort(*station_.port, station_.serialSettings).ok) return;
  reopenTimer_->stop();
  lineLostReported_ = false;
  lineStatus_->hide();
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
  reopenTimer_->stop();
  station_.StopRequested = true;
  station_.port->InterruptWaits();
  ClosePort(*station_.port);
  loaded_ = false;
}

void F_Mesure::Unload() {
  const bool beep = !station_.PollBusy;
  loaded_ = false;
  reopenTimer_->stop();
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
