// What "config.txt" and "PortCom.dat" do when they are not the plain small
// files the program wrote: a missing or unreadable file gives the defaults and
// a message, and a save replaces the file, and only the file.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "core/channel_table.h"
#include "core/serial_settings.h"
#include "support/temp_folder.h"

namespace trelvan {
namespace {

using testing::TempFolder;

// Both files, loaded and saved through the same mechanism. A load starts from
// values that are not the defaults; loadedDefaults says whether it left them.
struct ConfigFile {
  const char* name;
  std::function<ConfigStatus(const std::filesystem::path&)> load, save;
  std::function<bool()> loadedDefaults;
};

std::vector<ConfigFile> BothFiles(ChannelTable& table, SerialSettings& settings) {
  ChannelTable stored;
  stored[0] = {1, 2, "3", "Becken", false, true};
  SerialSettings storedSettings;
  storedSettings.SetSpeed(2);
  return {
      {"config.txt",
       [&](const auto& folder) { table[0].marker = "vorher"; return LoadChannelTable(table, folder); },
       [stored](const auto& folder) { return SaveChannelTable(stored, folder); },
       [&] { return table.channels == ChannelTable{}.channels; }},
      {"PortCom.dat",
       [&](const auto& folder) { settings.SetSpeed(1); return LoadSerialSettings(settings, folder); },
       [storedSettings](const auto& folder) { return SaveSerialSettings(storedSettings, folder); },
       [&] { return settings == SerialSettings{}; }},
  };
}

TEST(ConfigFiles, BadFilesGiveTheDefaultsAndSaysWhyASaveReplacesOnlyTheFile) {
  using Kind = ConfigStatus::Kind;
  const struct {
    const char* what;
    std::function<void(const std::filesystem::path&)> make;
    Kind kind;
    const char* reason;
  } badFiles[] = {
      {"missing: loading does not create it", [](const auto&) {}, Kind::Missing, ""},
      {"folder", [](const auto& p) { std::filesystem::create_directory(p); }, Kind::IoError, "ist ein Ordner"},
      {"FIFO without a writer", [](const auto& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0600), 0); },
       Kind::IoError, "keine gewöhnliche Datei"},
      {"endless device", [](const auto& p) { std::filesystem::create_symlink("/dev/zero", p); },
       Kind::IoError, "keine gewöhnliche Datei"},
      {"10 MB of digits", [](const auto& p) { std::ofstream(p) << std::string(10'000'000, '1'); },
       Kind::IoError, "größer als 64 KiB"},
  };
  const struct {
    const char* what;
    // Prepares the folder; returns the file that must receive the new bytes.
    std::function<std::filesystem::path(const TempFolder&, const char* name)> prepare;
  } saves[] = {
      {"a link is kept and its target replaced",
       [](const TempFolder& dir, const char* name) {
         std::filesystem::create_directory(dir / "real");
         dir.write(std::string("real/") + name, "old");
         ::chmod((dir / "real" / name).c_str(), 0600);
         std::filesystem::create_symlink(std::filesystem::path("real") / name, dir / name);
         return dir / "real" / name;
       }},
      {"mode 0600 is kept, and a link planted at the old temporary name leads nowhere",
       [](const TempFolder& dir, const char* name) {
         dir.write(name, "old");
         ::chmod((dir / name).c_str(), 0600);
         std::filesystem::create_symlink(dir / "victim", dir / (std::string(name) + ".tmp"));
         return dir / name;
       }},
  };
  ChannelTable table;
  SerialSettings settings;
  for (const ConfigFile& file : BothFiles(table, settings)) {
    for (const auto& c : badFiles) {
      SCOPED_TRACE(std::string(file.name) + ", " + c.what);
      TempFolder dir;
      c.make(dir / file.name);
      const ConfigStatus status = file.load(dir.path());
      EXPECT_EQ(status.kind, c.kind);
      EXPECT_NE(status.message.find(file.name), std::string::npos) << status.message;
      EXPECT_NE(status.message.find(c.reason), std::string::npos) << status.message;
      EXPECT_TRUE(file.loadedDefaults());
      EXPECT_EQ(std::filesystem::exists(dir / file.name), c.kind != Kind::Missing);
    }
    const ConfigStatus status = file.save(TempFolder() / "no-such-folder");
    EXPECT_EQ(status.kind, Kind::IoError) << file.name;
    EXPECT_NE(status.message.find(file.name), std::string::npos) << status.message;
    for (const auto& c : saves) {
      SCOPED_TRACE(std::string(file.name) + ", " + c.what);
      TempFolder dir;
      dir.write("victim", "untouched");
      const std::filesystem::path written = c.prepare(dir, file.name);
      const bool wasLink = std::filesystem::is_symlink(dir / file.name);
      ASSERT_TRUE(file.save(dir.path()).ok());

      EXPECT_EQ(std::filesystem::is_symlink(dir / file.name), wasLink);
      EXPECT_NE(dir.read(std::filesystem::relative(written, dir.path()).string()), "old");
      EXPECT_EQ(std::filesystem::status(written).permissions(), // mode 0600
                std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
      EXPECT_EQ(dir.read("victim"), "untouched");
      EXPECT_TRUE(file.load(dir.path()).ok());
      EXPECT_FALSE(file.loadedDefaults()); // the saved values, read back
    }
  }
}

} // namespace
} // namespace trelvan
