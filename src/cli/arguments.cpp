#include "arguments.h"

#include <QCoreApplication>
#include <QDir>
#include <QTextStream>

#include <algorithm>
#include <string>

#include "core/version.h"
#include "core/working_folder.h"

namespace trelvan::cli {

namespace {

QString Dashed(const QString& name) { return (name.size() == 1 ? "-" : "--") + name; }

const QStringList kHelp{"h", "help"};
constexpr qsizetype kHelpWidth = 100;
const QStringList kVersion{"version"};
const QStringList kFolder{"folder"};

} // namespace

Arguments::Arguments(QString command, QString summary) : command_(std::move(command)), summary_(std::move(summary)) {
  // "-json" reads as "--json"; no option has a one-letter form to run together.
  parser_.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
  Option(kFolder, "In diesem Ordner arbeiten (\"config.txt\", \"PortCom.dat\", \"trelvan.ini\",\n"
                  "Ausgabedateien); sonst im aktuellen Ordner.",
         "DIR");
  Option(kHelp, "Diese Hilfe zeigen.");
  Option(kVersion, "Die Version zeigen.");
}

Arguments& Arguments::Option(const QStringList& names, const QString& description, const QString& valueName) {
  parser_.addOption(QCommandLineOption(names, description, valueName));
  // The options every subcommand has come last in the help.
  const bool common = names == kFolder || names == kHelp || names == kVersion;
  const qsizetype at = common ? options_.size() : std::max<qsizetype>(0, options_.size() - commonCount_);
  options_.insert(at, {names, valueName, description});
  if (common) ++commonCount_;
  return *this;
}

Arguments& Arguments::Positional(const QString& name, const QString& description, bool required) {
  parser_.addPositionalArgument(name, description);
  positionals_.append({name, description});
  if (required) ++requiredPositionals_;
  return *this;
}

Arguments& Arguments::Section(const QString& title, const QString& text) {
  sections_.append({title, text});
  return *this;
}

const Arguments::Described* Arguments::Find(const QString& name) const {
  for (const Described& d : options_)
    if (d.names.contains(name)) return &d;
  return nullptr;
}

Arguments::Outcome Arguments::Read(const QStringList& args) {
  error_.clear();
  const qsizetype end = args.indexOf("--");
  const QStringList options = end < 0 ? args : args.mid(0, end);
  if (options.contains("-h") || options.contains("--help") || options.contains("-help")) return Outcome::Help;
  if (!parser_.parse(QStringList{command_} + args)) {
    error_ = Diagnose(args);
    return Outcome::Error;
  }
  if (parser_.isSet("version")) return Outcome::Version;
  const QStringList given = parser_.positionalArguments();
  if (given.size() > positionals_.size()) {
    error_ = QStringLiteral("unerwartetes Argument \"%1\"").arg(given.at(positionals_.size()));
    return Outcome::Error;
  }
  if (given.size() < requiredPositionals_) {
    error_ = QStringLiteral("%1 fehlt").arg(positionals_.at(given.size()).first);
    return Outcome::Error;
  }
  return Outcome::Run;
}

QString Arguments::Diagnose(const QStringList& args) const {
  const QStringList unknown = parser_.unknownOptionNames();
  if (!unknown.isEmpty()) return QStringLiteral("unbekannte Option %1").arg(Dashed(unknown.front()));
  for (qsizetype i = 0; i < args.size(); ++i) {
    const QString& a = args[i];
    if (a == "--") break;
    if (!a.startsWith('-') || a == "-") continue;
    const QString body = a.mid(a.startsWith("--") ? 2 : 1);
    const qsizetype equals = body.indexOf('=');
    const Described* d = Find(equals < 0 ? body : body.left(equals));
    if (d == nullptr) continue;
    if (d->valueName.isEmpty() && equals >= 0)
      return QStringLiteral("%1 nimmt keinen Wert").arg(Dashed(d->names.back()));
    if (!d->valueName.isEmpty() && equals < 0 && i + 1 == args.size())
      return QStringLiteral("%1 braucht einen Wert (%2)").arg(Dashed(d->names.back()), d->valueName);
  }
  return parser_.errorText();
}

std::optional<int> Arguments::Parse(const QStringList& args) {
  switch (Read(args)) {
    case Outcome::Run: return std::nullopt;
    case Outcome::Help: QTextStream(stdout) << HelpText(); return kExitOk;
    case Outcome::Version: QTextStream(stdout) << VersionLine() << "\n"; return kExitOk;
    case Outcome::Error: break;
  }
  return Refuse(error_);
}

int Arguments::Refuse(const QString& message) const {
  QTextStream(stderr) << "trelvan-cli " << command_ << ": " << message << "\n"
                      << "Hilfe: trelvan-cli " << command_ << " --help\n";
  return kExitUsage;
}

QString Arguments::HelpText() const {
  QString usage = QStringLiteral("Aufruf: trelvan-cli %1 [Optionen]").arg(command_);
  for (qsizetype i = 0; i < positionals_.size(); ++i)
    usage += i < requiredPositionals_ ? " " + positionals_[i].first : " [" + positionals_[i].first + "]";

  QList<std::pair<QString, QString>> rows; // left column, description
  for (const auto& [name, description] : positionals_) rows.append({name, description});
  const qsizetype firstOption = rows.size();
  for (const Described& d : options_) {
    QStringList dashed;
    for (const QString& n : d.names) dashed << Dashed(n);
    rows.append({dashed.join(", ") + (d.valueName.isEmpty() ? "" : " " + d.valueName), d.description});
  }
  qsizetype width = 0;
  for (const auto& row : rows) width = std::max(width, row.first.size());
  width = std::min<qsizetype>(width, 24);

  QString text = usage + "\n\n" + summary_ + "\n";
  // A description flows into the column beside its option, wrapped at
  // kHelpWidth; its own line breaks count as blanks.
  auto put = [&](const std::pair<QString, QString>& row) {
    const QString indent(width + 4, ' ');
    QString line = "  " + row.first;
    line += row.first.size() > width ? "\n" + indent : QString(width - row.first.size() + 2, ' ');
    qsizetype column = row.first.size() > width ? indent.size() : line.size();
    bool first = true;
    for (const QString& word : QString(row.second).replace('\n', ' ').split(' ', Qt::SkipEmptyParts)) {
      if (!first && column + 1 + word.size() > kHelpWidth) {
        line += "\n" + indent;
        column = indent.size();
      } else if (!first) {
        line += ' ';
        ++column;
      }
      line += word;
      column += word.size();
      first = false;
    }
    text += line + "\n";
  };
  if (firstOption > 0) {
    text += "\nArgumente:\n";
    for (qsizetype i = 0; i < firstOption; ++i) put(rows[i]);
  }
  text += "\nOptionen:\n";
  for (qsizetype i = firstOption; i < rows.size(); ++i) put(rows[i]);
  for (const auto& [title, body] : sections_) text += "\n" + title + ":\n" + body + (body.endsWith('\n') ? "" : "\n");
  return text;
}

std::optional<long long> Arguments::Number(const QString& name, long long lo, long long hi,
                                           long long fallback) const {
  if (!IsSet(name)) return fallback;
  bool ok = false;
  const long long n = Value(name).toLongLong(&ok);
  if (ok && n >= lo && n <= hi) return n;
  QTextStream(stderr) << "trelvan-cli " << command_ << ": " << Dashed(name)
                      << QStringLiteral(" erwartet eine ganze Zahl von %1 bis %2, nicht \"%3\"\n")
                             .arg(lo).arg(hi).arg(Value(name));
  return std::nullopt;
}

bool Arguments::EnterFolder() const {
  if (!IsSet("folder")) return true;
  const WorkingFolder folder{Value("folder").toStdString(), WorkingFolder::Source::Option};
  std::string error;
  if (PrepareWorkingFolder(folder, &error) && QDir::setCurrent(Value("folder"))) return true;
  if (error.empty()) error = "Der Ordner " + folder.path.string() + " ist nicht erreichbar.";
  QTextStream(stderr) << "trelvan-cli " << command_ << ": " << QString::fromStdString(error) << "\n";
  return false;
}

QString Arguments::VersionLine() {
  return QCoreApplication::applicationName() + " " + QString(VersionNumber);
}

} // namespace trelvan::cli
