#include <gtest/gtest.h>

#include <memory>

#include "arguments.h"

namespace trelvan::cli {
namespace {

using Outcome = Arguments::Outcome;

std::unique_ptr<Arguments> Scan() {
  auto a = std::make_unique<Arguments>("scan", "Sucht Stationen.");
  a->Option({"reply-ms"}, "Antwortzeit.", "N").Option({"json"}, "JSON Lines.");
  return a;
}

std::unique_ptr<Arguments> Export() {
  auto a = std::make_unique<Arguments>("export", "Exportiert.");
  a->Positional("LOGFILE", "Die Loggerdatei.").Option({"out-dir"}, "Zielordner.", "DIR");
  return a;
}

TEST(Arguments, ReadsBothValueFormsAndRefusesInGerman) {
  // valueOrError: the value of reply-ms/out-dir, the first positional, or a piece of the error
  const struct { std::unique_ptr<Arguments> (*make)(); QStringList args; Outcome outcome; const char* valueOrError; }
      cases[] = {
      {Scan, {"--reply-ms", "500"}, Outcome::Run, "500"},
      {Scan, {"--reply-ms=500", "--json"}, Outcome::Run, "500"},
      {Scan, {"-reply-ms", "500"}, Outcome::Run, "500"},
      {Scan, {"--reply-ms"}, Outcome::Error, "--reply-ms braucht einen Wert (N)"},
      {Scan, {"--json=1"}, Outcome::Error, "--json nimmt keinen Wert"},
      {Scan, {"--bogus"}, Outcome::Error, "unbekannte Option --bogus"},
      {Scan, {"stray"}, Outcome::Error, "unerwartetes Argument \"stray\""},
      {Scan, {"--bogus", "--help"}, Outcome::Help, ""},
      {Scan, {"-h"}, Outcome::Help, ""},
      {Scan, {"--version"}, Outcome::Version, ""},
      {Scan, {"--folder=/tmp"}, Outcome::Run, ""},
      {Export, {"--help"}, Outcome::Help, ""},
      {Export, {"a.log", "--out-dir=x"}, Outcome::Run, "x"},
      {Export, {"--out-dir", "x"}, Outcome::Error, "LOGFILE fehlt"},
      {Export, {"--", "-a.log"}, Outcome::Run, "-a.log"},
  };
  for (const auto& c : cases) {
    const auto made = c.make();
    Arguments& a = *made;
    const std::string args = c.args.join(' ').toStdString();
    ASSERT_EQ(a.Read(c.args), c.outcome) << args << ": " << a.errorText().toStdString();
    if (c.outcome == Outcome::Error) {
      EXPECT_TRUE(a.errorText().contains(c.valueOrError)) << args << ": " << a.errorText().toStdString();
    } else if (c.outcome == Outcome::Run && *c.valueOrError) {
      const QString got = c.make == Scan ? a.Value("reply-ms")
                          : c.args.front() == "--" ? a.Positionals().value(0)
                                                   : a.Value("out-dir");
      EXPECT_EQ(got, c.valueOrError) << args;
    }
  }
}

} // namespace
} // namespace trelvan::cli
