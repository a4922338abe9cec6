#pragma once
// "Grenzwerte": per channel an optional lower and upper limit for the main
// value, a hysteresis and the unit they are given in (the family's base
// unit: kOhm, µS, m3/h, …; empty: any). An empty field means no limit.
// "Speichern" checks every row, writes [Limits] of "trelvan.ini" and hands the
// limits to the owner; a row that cannot work is named in a message and
// nothing is saved. Numbers are typed with "," or ".".

#include <QWidget>
#include <array>
#include <filesystem>
#include <string>

#include "core/limits.h"

class QLineEdit;

namespace trelvan {

class Prompter;

class LimitsDialog : public QWidget {
  Q_OBJECT

 public:
  LimitsDialog(std::filesystem::path folder, std::string decimalSeparator, Prompter& prompter,
               QWidget* parent = nullptr);

  // Reads "trelvan.ini" into the fields (the problems of a faulty file are
  // told once) and shows the dialog.
  void Start();
  // "Speichern": true when the limits were saved.
  bool Save();
  void Cancel();

  LimitTable limits() const { return limits_; }

 signals:
  void limitsSaved(const trelvan::LimitTable& limits);

 private:
  struct Row {
    QLineEdit* lower = nullptr;
    QLineEdit* upper = nullptr;
    QLineEdit* hysteresis = nullptr;
    QLineEdit* unit = nullptr;
  };
  void Fill();

  std::filesystem::path folder_;
  std::string separator_;
  Prompter& prompter_;
  LimitTable limits_{};
  std::array<Row, kLimitChannels> rows_{};
};

} // namespace trelvan
