#include <gtest/gtest.h>

#include "core/working_folder.h"
#include "support/temp_folder.h"

namespace trelvan {
namespace {

using Source = WorkingFolder::Source;

TEST(WorkingFolder, OptionThenAStationFolderThenTheUserDataFolder) {
  const struct {
    const char* what;
    WorkingFolderInputs inputs;
    const char* path;
    Source source;
  } cases[] = {
      {"--folder wins over a station folder", {"/opt/st", "/work", true, "/x", "/home/u"}, "/opt/st", Source::Option},
      {"a current folder with config.txt", {{}, "/work", true, "/x", "/home/u"}, "/work", Source::Current},
      {"$XDG_DATA_HOME", {{}, "/home/u", false, "/x/data", "/home/u"}, "/x/data/trelvan", Source::UserData},
      {"no $XDG_DATA_HOME", {{}, "/home/u", false, "", "/home/u"}, "/home/u/.local/share/trelvan", Source::UserData},
      {"a relative $XDG_DATA_HOME is ignored", {{}, "/home/u", false, "data", "/home/u"},
       "/home/u/.local/share/trelvan", Source::UserData},
      {"no home at all", {{}, "/", false, "", ""}, "/", Source::Current},
  };
  for (const auto& c : cases) {
    const WorkingFolder chosen = ChooseWorkingFolder(c.inputs);
    EXPECT_EQ(std::pair(chosen.path, chosen.source), std::pair(std::filesystem::path(c.path), c.source)) << c.what;
  }
}

TEST(WorkingFolder, TheUserDataFolderIsCreatedAChosenOneMustExist) {
  testing::TempFolder dir;
  std::string error;
  EXPECT_TRUE(PrepareWorkingFolder({dir / "data/trelvan", Source::UserData}, &error)) << error;
  EXPECT_TRUE(std::filesystem::is_directory(dir / "data/trelvan"));

  EXPECT_FALSE(PrepareWorkingFolder({dir / "absent", Source::Option}, &error));
  EXPECT_NE(error.find("nicht vorhanden"), std::string::npos) << error;
  dir.write("file", "x");
  EXPECT_FALSE(PrepareWorkingFolder({dir / "file", Source::Option}, &error));
  EXPECT_NE(error.find("kein Ordner"), std::string::npos) << error;
}

} // namespace
} // namespace trelvan
