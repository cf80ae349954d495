// Quorl EQ in Ardour 7 itself: its VST2 scanner indexes the plug-in, then ardour7-lua (the "None (Dummy)" backend)
// makes a session with a track, inserts the plug-in, reads the names Ardour gives its parameters, sets every entry
// of the four frequency selectors through the controls and through automation, and loads the saved session again
// in a second process. Skipped where Debian's ardour package is not installed.

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <utime.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr const char* kLua = "/usr/bin/ardour7-lua";
constexpr const char* kScanner = "/usr/lib/ardour7/ardour-vst-scanner";
constexpr const char* kArdourLibs = "/usr/lib/ardour7";

const char* const kNames[] = {"HPF",       "LoShelf Freq", "LoShelf Level", "MF 1 Freq", "MF Level 1",
                              "MF 2 Freq", "MF Level 2",   "HiShelf Level", "Gain",      "Oversampling"};
// The four frequency selectors: parameter index and number of entries.
const std::map<int, int> kSelectors = {{0, 6}, {1, 4}, {3, 6}, {5, 7}};

struct CommandResult {
  int status = -1;
  std::string output;
};

CommandResult RunCommand(const std::string& command) {
  CommandResult run;
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return run;
  char buffer[1024];
  while (std::fgets(buffer, sizeof buffer, pipe)) run.output += buffer;
  run.status = pclose(pipe);
  return run;
}

std::string Quoted(const fs::path& path) { return "'" + path.string() + "'"; }

// The lines of the output that start with tag, split into words after it.
std::vector<std::vector<std::string>> Facts(const std::string& output, const std::string& tag) {
  std::vector<std::vector<std::string>> facts;
  std::istringstream lines(output);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.rfind(tag + " ", 0) != 0) continue;
    std::vector<std::string> words;
    std::istringstream in(line.substr(tag.size() + 1));
    std::string word;
    while (in >> word) words.push_back(word);
    facts.push_back(words);
  }
  return facts;
}

class ArdourTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!fs::exists(kLua) || !fs::exists(kScanner)) GTEST_SKIP() << "Ardour 7 is not installed (Debian package ardour)";
#ifdef QUORL_SANITIZED_BUILD
    GTEST_SKIP() << "an uninstrumented host cannot load a sanitizer build of the plug-in";
#endif
    root = fs::path(::testing::TempDir()) / ("quorl-ardour-" + std::to_string(getpid()));
    fs::remove_all(root);
    fs::create_directories(root / "home");
    // Ardour keeps its configuration, scan log and scan cache under these; none of the user's are touched.
    setenv("HOME", (root / "home").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (root / "home" / ".config").c_str(), 1);
    setenv("XDG_CACHE_HOME", (root / "home" / ".cache").c_str(), 1);

    const char* unpacked = std::getenv("QUORL_ARDOUR_VST_DIR");
    if (unpacked != nullptr && unpacked[0] != '\0') {
      vstDir = unpacked;
    } else {
      vstDir = root / "vst";
      fs::create_directories(vstDir);
      fs::copy_file(QUORL_VST2_PLUGIN_PATH, vstDir / "QuorlEQ.so");
    }
    plugin = fs::absolute(vstDir / "QuorlEQ.so");
    ASSERT_TRUE(fs::exists(plugin)) << plugin;
    // Ardour loads only plug-ins its scan saw unchanged since: the file must be older than the scan.
    const utimbuf old{1577836800, 1577836800};  // 2020-01-01
    ASSERT_EQ(utime(plugin.c_str(), &old), 0);
    setenv("LXVST_PATH", vstDir.c_str(), 1);
  }
  void TearDown() override {
    if (!root.empty()) fs::remove_all(root);
  }

  CommandResult Lua(const std::string& mode) {
    return RunCommand(std::string("timeout 120 ") + kLua + " " + QUORL_ARDOUR_SCRIPT + " " + mode + " " +
                      Quoted(root / "session") + " quorl");
  }

  fs::path root, vstDir, plugin;
};

TEST_F(ArdourTest, ShowsEveryParameterByNameAndReachesEveryEntryOfTheSelectors) {
  const CommandResult scan = RunCommand(std::string("LD_LIBRARY_PATH=") + kArdourLibs + " " + kScanner + " -f " +
                              Quoted(plugin));
  ASSERT_EQ(scan.status, 0) << scan.output;

  const CommandResult create = Lua("create");
  ASSERT_EQ(create.status, 0) << create.output;
  ASSERT_NE(create.output.find("\nDONE"), std::string::npos) << create.output;
  ASSERT_NE(create.output.find("PARAMETERS 10\n"), std::string::npos) << create.output;

  // Every parameter under its own name.
  const auto names = Facts(create.output, "NAME");
  ASSERT_EQ(names.size(), 10u) << create.output;
  for (const auto& fact : names) {
    const int index = std::stoi(fact.at(0));
    std::string name;
    for (size_t w = 1; w < fact.size(); ++w) name += (w > 1 ? " " : "") + fact[w];
    EXPECT_EQ(name, kNames[index]) << "parameter " << index;
  }

  // The selectors are stepped controls over their entries; the rest keep Ardour's 0..1 range.
  for (const auto& fact : Facts(create.output, "RANGE")) {
    const int index = std::stoi(fact.at(0));
    const auto selector = kSelectors.find(index);
    const double upper = selector != kSelectors.end() ? selector->second - 1 : 1.0;
    EXPECT_DOUBLE_EQ(std::stod(fact.at(1)), 0.0) << index;
    EXPECT_DOUBLE_EQ(std::stod(fact.at(2)), upper) << index;
    EXPECT_EQ(fact.at(3), selector != kSelectors.end() ? "1" : "0") << index;
  }

  // Every entry, set through the control and played from an automation lane, is the entry the plug-in holds.
  for (const char* tag : {"CONTROL", "AUTOMATION"}) {
    std::map<int, std::set<int>> reached;
    for (const auto& fact : Facts(create.output, tag)) {
      const int index = std::stoi(fact.at(0));
      const int entry = std::stoi(fact.at(1));
      EXPECT_DOUBLE_EQ(std::stod(fact.at(2)), entry) << tag << " parameter " << index << " entry " << entry;
      reached[index].insert(entry);
    }
    for (const auto& [index, entries] : kSelectors)
      EXPECT_EQ(reached[index].size(), static_cast<size_t>(entries)) << tag << " parameter " << index;
  }

  // The saved session, loaded again in a new process, gives the plug-in back what was set.
  const CommandResult recall = Lua("recall");
  ASSERT_EQ(recall.status, 0) << recall.output;
  const auto recalled = Facts(recall.output, "RECALLED");
  ASSERT_EQ(recalled.size(), kSelectors.size()) << recall.output;
  for (const auto& fact : recalled) {
    const int index = std::stoi(fact.at(0));
    EXPECT_DOUBLE_EQ(std::stod(fact.at(1)), kSelectors.at(index) - 2) << "parameter " << index;
  }
}

}  // namespace
