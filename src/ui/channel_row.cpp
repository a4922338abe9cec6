#include "channel_row.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QValidator>

#include "core/channel_table.h"

namespace trelvan {

namespace {

// Refuses what "config.txt" cannot carry in a quoted field: a double quote, a
// line break, a character outside Windows-1252. Refusing it while typing is
// kinder than refusing the save.
class QuotedFieldValidator : public QValidator {
 public:
  using QValidator::QValidator;
  State validate(QString& input, int& /*pos*/) const override {
    return QuotedFieldProblem(input.toStdString()).empty() ? Acceptable : Invalid;
  }
};

template <class W>
W* Named(W* widget, const QString& base, int element) {
  widget->setObjectName(QString("%1_%2").arg(base).arg(element));
  return widget;
}

// Keeps a column's width when the rows of a disabled channel hide their
// controls, so the table does not jump about as channels are switched.
void KeepPlaceWhenHidden(QWidget* w) {
  QSizePolicy p = w->sizePolicy();
  p.setRetainSizeWhenHidden(true);
  w->setSizePolicy(p);
}

QString CheckStyle(const QColor& background) {
  return QString("QCheckBox { background-color: %1; padding: 4px; border: 1px solid #808080; }")
      .arg(background.name());
}

void SetTextColour(QLabel* label, const QColor& colour) {
  QPalette p = label->palette();
  p.setColor(QPalette::WindowText, colour);
  label->setPalette(p);
}

} // namespace

void ChannelRow::Build(int channel, QGridLayout& grid, int gridRow, QObject* filter) {
  check = Named(new QCheckBox, "Coche1", channel);
  check->setStyleSheet(CheckStyle(kCheckOff));
  check->setToolTip(QString("Kanal %1 messen").arg(channel));
  grid.addWidget(check, gridRow, 0, Qt::AlignVCenter);

  name = Named(new QLabel(QString("Kanal %1").arg(channel)), "Etiquette1", channel);
  name->setCursor(Qt::PointingHandCursor);
  name->installEventFilter(filter);
  SetTextColour(name, kNameOff);
  grid.addWidget(name, gridRow, 1);

  type = Named(new QComboBox, "ListeTypeMesure", channel);
  type->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  type->setMinimumContentsLength(18);
  grid.addWidget(type, gridRow, 2);

  frame = Named(new QGroupBox, "Frame1", channel);
  auto* frameLayout = new QHBoxLayout(frame);
  frameLayout->setContentsMargins(8, 4, 8, 4);
  address = Named(new QLineEdit, "AdresseStation", channel);
  address->setValidator(new QuotedFieldValidator(address));
  address->setFixedWidth(address->fontMetrics().horizontalAdvance("0000000"));
  address->setToolTip("Stationsadresse 1 bis 14");
  address->installEventFilter(filter);
  frameLayout->addWidget(address);
  frameLayout->addSpacing(12);
  optionGroup = new QButtonGroup(frame);
  for (int e = 0; e < 2; ++e) {
    auto& button = option[static_cast<std::size_t>(e)];
    auto& label = optionLabel[static_cast<std::size_t>(e)];
    button = Named(new QRadioButton, QString("Option%1").arg(channel + 1), e);
    label = Named(new QLabel(e == 0 ? "Master" : "Ext."), QString("Label%1").arg(channel + 1), e);
    label->installEventFilter(filter);
    button->hide();
    label->hide();
    optionGroup->addButton(button, e);
    frameLayout->addWidget(button);
    frameLayout->addWidget(label);
    frameLayout->addSpacing(8);
  }
  frameLayout->addStretch(1);
  grid.addWidget(frame, gridRow, 3);

  marker = Named(new QLineEdit, "Texte2", channel);
  marker->setValidator(new QuotedFieldValidator(marker));
  marker->setMinimumWidth(marker->fontMetrics().horizontalAdvance("M") * 16);
  grid.addWidget(marker, gridRow, 4);

  for (QWidget* w : std::initializer_list<QWidget*>{type, frame, address, marker}) KeepPlaceWhenHidden(w);
}

void ChannelRow::ShowLook(int enabled) {
  const bool on = enabled == 1;
  check->setStyleSheet(CheckStyle(on ? kCheckOn : kCheckOff));
  SetTextColour(name, on ? kNameOn : kNameOff);
  for (QWidget* w : std::initializer_list<QWidget*>{type, frame, address, marker}) w->setVisible(on);
  lookEnabled = enabled;
}

} // namespace trelvan
