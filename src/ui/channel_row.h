#pragma once
// One channel's row of the configuration dialog ConfigW: the check box, the
// channel name, the type list, the address with its Master/Ext. pair in a
// frame, and the marker. The dialog connects the row to the channel table.

#include <QColor>
#include <array>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGridLayout;
class QGroupBox;
class QLabel;
class QLineEdit;
class QObject;
class QRadioButton;

namespace trelvan {

struct ChannelRow {
  // The row look, by `enabled`: check box background and name colour.
  static inline const QColor kCheckOn{0, 255, 0}, kCheckOff{255, 255, 255};
  static inline const QColor kNameOn{0, 0, 255}, kNameOff{128, 128, 128};

  // Makes the controls of `channel` in row `gridRow` of `grid`, named as the
  // dialog names them ("Coche1_2", "Option3_1", ...), with the look of a
  // disabled row but every control shown. `filter` watches the channel name,
  // the option labels and the address field.
  void Build(int channel, QGridLayout& grid, int gridRow, QObject* filter);
  // The look of `enabled` (1: on; anything else: off, the controls hidden).
  void ShowLook(int enabled);

  QCheckBox* check = nullptr;            // Coche1
  QLabel* name = nullptr;                // Etiquette1
  QComboBox* type = nullptr;             // ListeTypeMesure
  QGroupBox* frame = nullptr;            // Frame1
  QLineEdit* address = nullptr;          // AdresseStation
  std::array<QRadioButton*, 2> option{}; // Option<i+1>: Master, Ext.
  std::array<QLabel*, 2> optionLabel{};  // Label<i+1>
  QButtonGroup* optionGroup = nullptr;
  QLineEdit* marker = nullptr;           // Texte2
  int lookEnabled = 0;                   // the `enabled` value the look shows
};

} // namespace trelvan
