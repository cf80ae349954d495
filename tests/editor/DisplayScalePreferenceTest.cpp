// The display-scale preference file: where it lives, what is read from it (good, odd and broken contents), what is
// written (creating the folders, keeping lines that are not ours, refusing nonsense), and the plug-in's hooks
// that read it when the editor opens and write it when it closes.

#include "EditorTestSupport.h"

#include "editor/DisplayScalePreference.h"
#include "editor/IBGridKnobControls.h"

#include <gtest/gtest.h>
#if !defined(_WIN32)
#include <sys/stat.h>
#endif

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <limits>

using namespace quorl_editor_test;
namespace fs = std::filesystem;
namespace ed = ondrell::editor;

namespace {

using quorl_test::ScopedEnvironment;

class PreferenceTest : public ::testing::Test
{
protected:
  ScopedConfigHome home;
};

#if defined(_WIN32)
constexpr const char* kSubfolder = "\\Ondrell Audio\\Preferences\\";
#else
constexpr const char* kSubfolder = "/Ondrell Audio/Preferences/";
#endif

TEST_F(PreferenceTest, FolderAndFileNames)
{
  EXPECT_EQ(ed::PreferencesFolder(), home.Path().string() + kSubfolder);
  EXPECT_EQ(fs::path(ed::PreferencesFile("QuorlEQ")), home.PrefFile());
  // Characters that cannot be in a file name become underscores.
  EXPECT_EQ(ed::PreferencesFile("a/b\\c:d*e?f\"g<h>i|j"),
            home.Path().string() + kSubfolder + "a_b_c_d_e_f_g_h_i_j-display-scale.txt");
  EXPECT_EQ(ed::PreferencesFile(""), "");
  EXPECT_EQ(ed::PreferencesFile(nullptr), "");
}

#if !defined(_WIN32)
TEST_F(PreferenceTest, TheFolderFollowsTheXdgConfigurationHome)
{
  // Without XDG_CONFIG_HOME (or with a relative one) the folder is under ~/.config; without either, there is none.
  {
    ScopedEnvironment xdg("XDG_CONFIG_HOME", nullptr);
    ScopedEnvironment homeDir("HOME", home.Path().c_str());
    EXPECT_EQ(ed::PreferencesFolder(), home.Path().string() + "/.config/Ondrell Audio/Preferences/");
  }
  {
    ScopedEnvironment xdg("XDG_CONFIG_HOME", "relative/config");
    ScopedEnvironment homeDir("HOME", home.Path().c_str());
    EXPECT_EQ(ed::PreferencesFolder(), home.Path().string() + "/.config/Ondrell Audio/Preferences/");
  }
  {
    ScopedEnvironment xdg("XDG_CONFIG_HOME", "");
    ScopedEnvironment homeDir("HOME", nullptr);
    EXPECT_EQ(ed::PreferencesFolder(), "");
    EXPECT_EQ(ed::PreferencesFile("QuorlEQ"), "");
    float scale = 0.f;
    EXPECT_FALSE(ed::LoadDisplayScale("QuorlEQ", scale));
    EXPECT_FALSE(ed::SaveDisplayScale("QuorlEQ", 1.5f));
    EXPECT_EQ(ed::ReadDisplayScale(), 1.f);
  }
}
#endif

TEST_F(PreferenceTest, ReadingTheStoredScale)
{
  struct Case
  {
    std::string content;
    float read; // ReadDisplayScale: limited to 0.5 ... 4, 1 when nothing can be read
  };
  const Case cases[] = {
    {"1.5", 1.5f},
    {"1.5\n", 1.5f},
    {"1.2500\n", 1.25f},
    {"   1.25   \n", 1.25f},
    {"\t1.25\t", 1.25f},
    {"1.5\r\n", 1.5f},          // written on another system
    {"+1.5\n", 1.5f},
    {"2\nsomething else\n", 2.f}, // only the first line counts
    {"1.5x\n", 1.f},
    {"x1.5\n", 1.f},
    {"1.5 2\n", 1.f},
    {"1,5\n", 1.f},
    {"0\n", 1.f},
    {"-1.5\n", 1.f},
    {"8\n", 4.f},
    {"0.2\n", 0.5f},
    {"nan\n", 1.f},
    {"inf\n", 1.f},
    {"1e400\n", 1.f},           // out of range for a float
    {"1e-3\n", 0.5f},
    {"++1\n", 1.f},
    {"+-1\n", 1.f},
    {"\n1.5\n", 1.f},           // an empty first line
    {"", 1.f},
    {std::string("1.5\0", 4) + "\n", 1.f},
    {std::string(300, ' ') + "1.5\n", 1.f}, // longer than any scale line
    {"\xef\xbb\xbf" "1.5\n", 1.f},
  };
  for (const Case& c : cases)
  {
    SCOPED_TRACE("content \"" + c.content + "\"");
    home.WritePrefFile(c.content);
    EXPECT_FLOAT_EQ(ed::ReadDisplayScale(), c.read);
    float loaded = -7.f;
    const bool ok = ed::LoadDisplayScale("QuorlEQ", loaded);
    // A successful load is the number itself, before the limits.
    if (ok)
      EXPECT_FLOAT_EQ(std::min(4.f, std::max(0.5f, loaded)), c.read);
    else
      EXPECT_EQ(loaded, -7.f);
  }
}

TEST_F(PreferenceTest, MissingFileOrFolderReadsAsOne)
{
  EXPECT_EQ(ed::ReadDisplayScale(), 1.f); // no folder at all
  fs::create_directories(home.PrefFile().parent_path());
  EXPECT_EQ(ed::ReadDisplayScale(), 1.f); // folder, no file
  fs::create_directory(home.PrefFile());  // a folder where the file should be
  EXPECT_EQ(ed::ReadDisplayScale(), 1.f);
  EXPECT_FALSE(ed::SaveDisplayScale("QuorlEQ", 1.5f));
  EXPECT_TRUE(fs::is_directory(home.PrefFile()));
  fs::remove(home.PrefFile());
#if !defined(_WIN32)
  // A pipe where the file should be is not waited on.
  ASSERT_EQ(mkfifo(home.PrefFile().c_str(), 0600), 0);
  EXPECT_EQ(ed::ReadDisplayScale(), 1.f);
#endif
}

TEST_F(PreferenceTest, SavingWritesOneLineAndCreatesTheFolders)
{
  ASSERT_FALSE(fs::exists(home.Path() / "Ondrell Audio"));
  EXPECT_TRUE(ed::SaveDisplayScale("QuorlEQ", 1.75f));
  EXPECT_EQ(home.ReadPrefFile(), "1.7500\n");
  EXPECT_TRUE(ed::SaveDisplayScale("QuorlEQ", 1.1f)); // stored as a float: 1.10000002...
  EXPECT_EQ(home.ReadPrefFile(), "1.1000\n");
  EXPECT_TRUE(ed::SaveDisplayScale("QuorlEQ", 0.33335f));
  EXPECT_EQ(home.ReadPrefFile(), "0.3334\n");
  EXPECT_FLOAT_EQ(ed::ReadDisplayScale(), 0.5f);

  // Each name has its own file.
  EXPECT_TRUE(ed::SaveDisplayScale("Other:Plug", 2.f));
  EXPECT_EQ(home.ReadPrefFile("Other_Plug"), "2.0000\n");
  EXPECT_EQ(home.ReadPrefFile(), "0.3334\n");

  // Nothing but the files is left in the folder (no temporary files).
  int entries = 0;
  for ([[maybe_unused]] const auto& e : fs::directory_iterator(home.PrefFile().parent_path()))
    ++entries;
  EXPECT_EQ(entries, 2);
}

TEST_F(PreferenceTest, SavingKeepsTheLinesAfterTheFirst)
{
  home.WritePrefFile("1.0000\nOtherPlugin 2.0000\nlast line without feed");
  EXPECT_TRUE(ed::SaveDisplayScale("QuorlEQ", 1.25f));
  EXPECT_EQ(home.ReadPrefFile(), "1.2500\nOtherPlugin 2.0000\nlast line without feed");

  // A malformed first line is replaced; the rest stays.
  home.WritePrefFile("garbage\r\nkeep me\n");
  EXPECT_TRUE(ed::SaveDisplayScale("QuorlEQ", 2.f));
  EXPECT_EQ(home.ReadPrefFile(), "2.0000\nkeep me\n");

  // A file of one line without a line feed is simply replaced.
  home.WritePrefFile("1.5");
  EXPECT_TRUE(ed::SaveDisplayScale("QuorlEQ", 1.5f));
  EXPECT_EQ(home.ReadPrefFile(), "1.5000\n");
}

TEST_F(PreferenceTest, SavingRefusesScalesThatAreNotScales)
{
  home.WritePrefFile("1.2500\n");
  for (const float bad : {0.f, -1.f, std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                          -std::numeric_limits<float>::infinity()})
  {
    EXPECT_FALSE(ed::SaveDisplayScale("QuorlEQ", bad)) << bad;
    EXPECT_EQ(home.ReadPrefFile(), "1.2500\n");
  }
  EXPECT_FALSE(ed::SaveDisplayScale("", 1.f));
}

TEST_F(PreferenceTest, SavingWhereNoFolderCanBeMadeFails)
{
  // A file stands where a folder must be: nothing can be created below it.
  home.BlockPreferenceFolder();
  EXPECT_FALSE(ed::SaveDisplayScale("QuorlEQ", 1.5f));
  EXPECT_EQ(ed::ReadDisplayScale(), 1.f);
}

// --- The plug-in's hooks --------------------------------------------------------------------------------------

class EditorScaleHooksTest : public ::testing::Test
{
protected:
  ScopedConfigHome home;
  EditorRig rig;
};

TEST_F(EditorScaleHooksTest, OpensAtTheStoredScaleAndStoresItOnClose)
{
  // Nothing stored: 1, and closing stores it.
  EXPECT_FLOAT_EQ(rig.Open().GetDrawScale(), 1.f);
  rig.Close();
  EXPECT_EQ(home.ReadPrefFile(), "1.0000\n");

  // Another instance stored 1.5 meanwhile: the stored scale wins over the one this delegate remembers.
  home.WritePrefFile("1.5000\n");
  IGContextHeadless& ui = rig.Open();
  EXPECT_FLOAT_EQ(ui.GetDrawScale(), 1.5f);
  EXPECT_FALSE(ui.GetResizingInProcess());
  // Applied as the end of a resize: the pictures are those for pixel scale 2.
  EXPECT_EQ(rig.ControlAs<ondrell::editor::detail::IBGridKnobControl>(6).GetBitmap().GetScale(), 2.f);

  ui.Resize(664, 215, 1.25f, true);
  rig.Close();
  EXPECT_EQ(home.ReadPrefFile(), "1.2500\n");
}

TEST_F(EditorScaleHooksTest, RestoringTheScaleStillSendsEveryParameterToTheEditor)
{
  home.WritePrefFile("2.0000\n");
  rig.plugin->GetParam(3)->SetValue(4.0); // "MF 1 Freq" at "820 Hz"
  rig.plugin->GetParam(8)->SetValue(-5.0);
  rig.Open();
  auto& mid1 = rig.ControlAs<ondrell::editor::detail::IBGridDetentKnobControl>(8);
  ASSERT_EQ(mid1.GetParamIdx(), 3);
  EXPECT_DOUBLE_EQ(mid1.GetValue(), 0.8);
  EXPECT_EQ(mid1.CurrentDetent(), 4);
  ASSERT_EQ(rig.Control(1).GetParamIdx(), 8);
  EXPECT_DOUBLE_EQ(rig.Control(1).GetValue(), 0.5);
  EXPECT_FLOAT_EQ(rig.UI().GetDrawScale(), 2.f);
}

TEST_F(EditorScaleHooksTest, ClosingWithoutAnEditorWritesNothing)
{
  rig.Close();
  EXPECT_FALSE(home.ReadPrefFile().has_value());
}

TEST_F(EditorScaleHooksTest, UnwritablePreferenceDoesNotDisturbTheEditor)
{
  home.BlockPreferenceFolder();
  IGContextHeadless& ui = rig.Open();
  EXPECT_FLOAT_EQ(ui.GetDrawScale(), 1.f);
  ui.Resize(664, 215, 1.5f, true);
  rig.Close();
  EXPECT_EQ(rig.plugin->GetUI(), nullptr);
  EXPECT_FLOAT_EQ(rig.Open().GetDrawScale(), 1.f);
}

} // namespace
