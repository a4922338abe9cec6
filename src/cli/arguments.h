#pragma once
// The argument parser every subcommand of trelvan-cli shares, on
// QCommandLineParser: "--opt value" and "--opt=value" both work, an option
// takes a value or none, "-h"/"--help" and "--version" work on every
// subcommand, and so does "--folder DIR". Help and messages are German; the
// help names every option, and each command adds what its output holds and
// what its exit statuses mean.
//
//   Arguments args("scan", "Sucht die Stationen an der Leitung.");
//   args.Option({"device"}, "Gerät statt des Ports aus \"PortCom.dat\".", "PATH");
//   args.Section("Rückgabewerte", "  0  ...");
//   if (const auto exit = args.Parse(arguments)) return *exit;
//   ... args.Value("device") ...

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>
#include <utility>

namespace trelvan::cli {

// Exit statuses every subcommand shares.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1; // the work could not be done; a message says why
inline constexpr int kExitUsage = 2;  // wrong arguments; nothing was done

class Arguments {
 public:
  Arguments(QString command, QString summary);

  // An option; with a `valueName` it takes a value ("PATH"), without it is a switch.
  Arguments& Option(const QStringList& names, const QString& description, const QString& valueName = {});
  // A positional argument ("LOGFILE"); `required` ones must be given.
  Arguments& Positional(const QString& name, const QString& description, bool required = true);
  // A titled block at the end of the help (JSON fields, exit statuses).
  Arguments& Section(const QString& title, const QString& text);

  // Reads the arguments after the subcommand's name. Nothing: run the command.
  // A status: the help or the version was printed (0), or the arguments were
  // wrong and a German message went to stderr (2).
  std::optional<int> Parse(const QStringList& args);

  // The same without printing, for tests: what Parse found.
  enum class Outcome { Run, Help, Version, Error };
  Outcome Read(const QStringList& args);
  const QString& errorText() const { return error_; }
  QString HelpText() const;

  bool IsSet(const QString& name) const { return parser_.isSet(name); }
  QString Value(const QString& name) const { return parser_.value(name); }
  // Every value of an option given more than once, in the order given.
  QStringList Values(const QString& name) const { return parser_.values(name); }
  QStringList Positionals() const { return parser_.positionalArguments(); }
  // A whole number from `lo` to `hi`, or nothing after a German message to
  // stderr. `fallback` when the option is not given.
  std::optional<long long> Number(const QString& name, long long lo, long long hi, long long fallback) const;

  // Says on stderr what is wrong with the arguments and where the help is;
  // returns kExitUsage.
  int Refuse(const QString& message) const;

  // Moves into the folder of --folder DIR, if given; false after a message.
  bool EnterFolder() const;

  // "trelvan-cli 2.19"
  static QString VersionLine();

 private:
  struct Described {
    QStringList names;
    QString valueName;
    QString description;
  };
  QString Diagnose(const QStringList& args) const;
  const Described* Find(const QString& name) const;

  QString command_;
  QString summary_;
  QCommandLineParser parser_;
  QList<Described> options_;
  QList<std::pair<QString, QString>> positionals_; // name, description
  int requiredPositionals_ = 0;
  qsizetype commonCount_ = 0; // --folder, --help, --version: listed last
  QList<std::pair<QString, QString>> sections_;
  QString error_;
};

} // namespace trelvan::cli
