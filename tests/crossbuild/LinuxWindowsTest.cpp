// The Linux and the Windows build side by side: the same demo render through QuorlEQ.clap of each (the Windows
// one with the Windows quorl-host.exe under Wine), compared sample by sample, and states saved by either build
// loaded by the other. Skipped when the Windows build is not there (scripts/build-windows makes it).

#include "tests/support/TestSystem.h"
#include "tools/host/AudioFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

const fs::path kWindowsBuild = QUORL_WINDOWS_BUILD_DIR;

// The demo's settings (scripts/demo).
const std::vector<std::string> kSettings = {"--set", "HPF=80 Hz", "--set", "MF Level 1=6 dB",
                                            "--set", "HiShelf Level=-4 dB"};

std::string ReadText(const fs::path& path)
{
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

class LinuxWindows : public ::testing::Test
{
protected:
  void SetUp() override
  {
    for (const char* file : {"run-windows-program", "quorl-host.exe", "QuorlEQ.clap"})
    {
      if (!fs::exists(kWindowsBuild / file))
        GTEST_SKIP() << "no Windows build in " << kWindowsBuild << " (scripts/build-windows makes it)";
    }
    mDir = quorl_test::MakeTemporaryFolder("quorl-linux-windows-");
    ASSERT_EQ(quorl_test::RunProgram(QUORL_HOST_PATH, {"sweep", Path("sweep.wav"), "--seconds", "1", "--level", "-12"},
                                     Path("sweep.log")),
              0);
  }
  void TearDown() override
  {
    std::error_code ec;
    if (!mDir.empty())
      fs::remove_all(mDir, ec);
  }

  std::string Path(const std::string& name) const { return (mDir / name).string(); }

  // quorl-host of the Linux build with its QuorlEQ.clap, or of the Windows build with its DLL under Wine.
  int Linux(std::vector<std::string> arguments, const std::string& log)
  {
    arguments.insert(arguments.begin() + 1, QUORL_CLAP_PATH);
    return quorl_test::RunProgram(QUORL_HOST_PATH, arguments, Path(log));
  }
  int Windows(std::vector<std::string> arguments, const std::string& log)
  {
    arguments.insert(arguments.begin(), (kWindowsBuild / "quorl-host.exe").string());
    arguments.insert(arguments.begin() + 2, (kWindowsBuild / "QuorlEQ.clap").string());
    return quorl_test::RunProgram((kWindowsBuild / "run-windows-program").string(), arguments, Path(log));
  }

  std::vector<std::string> Render(const std::string& out, const std::string& state, bool offline) const
  {
    std::vector<std::string> a = {"render", Path("sweep.wav"), Path(out)};
    a.insert(a.end(), kSettings.begin(), kSettings.end());
    a.insert(a.end(), {"--compensate-latency", "--save-state", Path(state)});
    if (offline)
      a.push_back("--offline");
    return a;
  }

  // The largest difference between the samples of two renders; -1 when they cannot be compared.
  double LargestDifference(const std::string& a, const std::string& b) const
  {
    ondrell::host::AudioData x, y;
    std::string error;
    if (!ondrell::host::ReadAudioFile(Path(a), x, error) || !ondrell::host::ReadAudioFile(Path(b), y, error) ||
        x.channels.size() != y.channels.size() || x.Frames() != y.Frames() || x.Frames() == 0)
      return -1.0;
    double largest = 0.0;
    for (size_t c = 0; c < x.channels.size(); ++c)
      for (size_t i = 0; i < x.Frames(); ++i)
        largest = std::max(largest, std::abs(x.channels[c][i] - y.channels[c][i]));
    return largest;
  }

  fs::path mDir;
};

TEST_F(LinuxWindows, TheDemoRendersTheSameThroughBothBuilds)
{
  ASSERT_EQ(Linux(Render("linux.wav", "linux.state", false), "linux.log"), 0);
  ASSERT_EQ(Windows(Render("windows.wav", "windows.state", false), "windows.log"), 0) << ReadText(Path("windows.log"));
  // The same code, compiled without contraction or fast-math by both compilers, on the same SSE2 arithmetic.
  EXPECT_EQ(LargestDifference("linux.wav", "windows.wav"), 0.0);

  // Offline rendering oversamples through libsoxr, whose Debian build and the Windows cross build pick their
  // own code paths: close, not identical.
  ASSERT_EQ(Linux(Render("linux-offline.wav", "linux-offline.state", true), "linux-offline.log"), 0);
  ASSERT_EQ(Windows(Render("windows-offline.wav", "windows-offline.state", true), "windows-offline.log"), 0);
  const double offline = LargestDifference("linux-offline.wav", "windows-offline.wav");
  std::printf("[ offline  ] largest difference between the Linux and Windows renders %.3g\n", offline);
  EXPECT_GE(offline, 0.0);
  EXPECT_LT(offline, 1e-6);
}

TEST_F(LinuxWindows, AStateSavedByEitherBuildLoadsInTheOther)
{
  ASSERT_EQ(Linux(Render("linux.wav", "linux.state", false), "linux.log"), 0);
  ASSERT_EQ(Windows(Render("windows.wav", "windows.state", false), "windows.log"), 0);
  EXPECT_EQ(ReadText(Path("linux.state")), ReadText(Path("windows.state")));
  EXPECT_EQ(fs::file_size(Path("linux.state")), 80u);

  // Each build lists the other's state with the demo's settings, exactly as it lists its own.
  ASSERT_EQ(Windows({"params", "--load-state", Path("linux.state")}, "windows-reads-linux.txt"), 0);
  ASSERT_EQ(Linux({"params", "--load-state", Path("windows.state")}, "linux-reads-windows.txt"), 0);
  ASSERT_EQ(Linux({"params", "--load-state", Path("linux.state")}, "linux-reads-linux.txt"), 0);
  const std::string listing = ReadText(Path("linux-reads-linux.txt"));
  for (const char* shown : {"HPF                  80 Hz", "MF Level 1           6.0 dB", "HiShelf Level        -4.0 dB"})
    EXPECT_NE(listing.find(shown), std::string::npos) << shown << " in\n" << listing;
  EXPECT_EQ(ReadText(Path("linux-reads-windows.txt")), listing);
  // Wine's console ends lines with CR LF.
  std::string windowsListing = ReadText(Path("windows-reads-linux.txt"));
  windowsListing.erase(std::remove(windowsListing.begin(), windowsListing.end(), '\r'), windowsListing.end());
  EXPECT_EQ(windowsListing, listing);
}

} // namespace
