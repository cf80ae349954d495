#include "engine/FloatingPointGuard.h"
#include "engine/QuorlEQ.h"
#include "tests/engine/CountingAllocator.h"
#include "tests/engine/PluginRig.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <cmath>
#include <string>
#include <thread>
#include <vector>

using ondrell::FloatingPointGuard;
using ondrell::QuorlEQ;
using namespace quorl_test;

namespace {

struct Stereo
{
  explicit Stereo(size_t n) : left(n), right(n), outLeft(n), outRight(n)
  {
    for (size_t i = 0; i < n; ++i)
    {
      left[i] = 0.6 * std::sin(0.031 * static_cast<double>(i));
      right[i] = 0.4 * std::cos(0.017 * static_cast<double>(i));
    }
  }
  std::vector<double> left, right, outLeft, outRight;
};

} // namespace

// Every path of ProcessBlock - plain, primed, crossfading both ways, oversampled, over-long blocks, NaN recovery
// - and the host's parameter changes on the audio thread run without a heap allocation or a lock.
TEST(RealtimeSafety, ProcessBlockNeitherAllocatesNorLocks)
{
  for (int block : {64, 100, 512})
  {
    PluginRig rig;
    rig.Activate(48000.0, block);
    Stereo io(2048);
    double* inputs[2] = {io.left.data(), io.right.data()};
    double* outputs[2] = {io.outLeft.data(), io.outRight.data()};
    QuorlEQ& plugin = rig.plugin();

    int64_t allocations = 0;
    int64_t locks = 0;
    const auto run = [&](int blocks, int frames, bool inPlace) {
      for (int b = 0; b < blocks; ++b)
      {
        CountingScope scope;
        plugin.Process(inputs, inPlace ? inputs : outputs, 2, 2, frames);
        allocations += scope.allocations();
        locks += scope.locks();
      }
    };
    const auto set = [&](int param, double value) {
      CountingScope scope;
      plugin.SetParameterFromHost(param, value);
      allocations += scope.allocations();
      locks += scope.locks();
    };

    run(4, block, false); // plain, resamplers primed
    set(QuorlEQ::kHighPassFreq, 3);
    set(QuorlEQ::kLowShelfLevel, 6.0);
    set(QuorlEQ::kMid1Level, -6.0);
    set(QuorlEQ::kMid2Level, 3.0);
    set(QuorlEQ::kHighShelfLevel, -6.0);
    set(QuorlEQ::kGain, -2.0);
    run(4, block, false); // gliding
    set(QuorlEQ::kOversampling, 1.0);
    run(6, block, true); // crossfade on, then oversampled, in place
    set(QuorlEQ::kMid2Freq, 6);
    run(4, block, false);
    run(1, 2048, false); // longer than the buffers: silence
    set(QuorlEQ::kOversampling, 0.0);
    run(6, block, false); // crossfade off, then plain and primed
    io.left[3] = std::nan("");
    run(2, block, false); // recovery
    EXPECT_EQ(allocations, 0) << "block " << block;
    EXPECT_EQ(locks, 0) << "block " << block;
  }
}

// A host's reset while active (CLAP calls it on its audio thread) never allocates or locks: with the settings as
// they were, with oversampling off, on, switched on by a change still pending at the reset (so the reset reports
// the new latency) or forced on by offline rendering - and when the render mode or the rate changed since the
// activation, which selects the other prepared oversampler (or relabels the one in use) instead of building one.
TEST(RealtimeSafety, ResetNeitherAllocatesNorLocks)
{
  enum class Mode
  {
    Off,
    On,
    SwitchedOnAtReset,
    Offline,
    BecameOffline,
    BecameRealtime,
    RateChanged,
  };
  for (Mode mode : {Mode::Off, Mode::On, Mode::SwitchedOnAtReset, Mode::Offline, Mode::BecameOffline,
                    Mode::BecameRealtime, Mode::RateChanged})
    for (int block : {64, 512, 2048})
    {
      SCOPED_TRACE("mode " + std::to_string(static_cast<int>(mode)) + ", block " + std::to_string(block));
      PluginRig rig;
      QuorlEQ& plugin = rig.plugin();
      if (mode == Mode::On)
        plugin.SetParameterFromHost(QuorlEQ::kOversampling, 1.0);
      const bool offlineAtStart = mode == Mode::Offline || mode == Mode::BecameRealtime;
      rig.Activate(48000.0, block, offlineAtStart);
      Stereo io(static_cast<size_t>(block));
      double* inputs[2] = {io.left.data(), io.right.data()};
      double* outputs[2] = {io.outLeft.data(), io.outRight.data()};
      for (int b = 0; b < 3; ++b)
        plugin.Process(inputs, outputs, 2, 2, block);
      if (mode == Mode::SwitchedOnAtReset)
        plugin.SetParameterFromHost(QuorlEQ::kOversampling, 1.0);
      if (mode == Mode::BecameOffline)
        plugin.SetRenderingOffline(true);
      if (mode == Mode::BecameRealtime)
        plugin.SetRenderingOffline(false);
      if (mode == Mode::RateChanged)
        plugin.SetSampleRate(96000.0);
      const int reports = plugin.LatencyReports();

      int64_t allocations = 0;
      int64_t locks = 0;
      {
        CountingScope scope;
        plugin.Reset();
        allocations = scope.allocations();
        locks = scope.locks();
      }
      EXPECT_EQ(allocations, 0);
      EXPECT_EQ(locks, 0);
      const bool on = mode != Mode::Off && mode != Mode::BecameRealtime && mode != Mode::RateChanged;
      EXPECT_EQ(rig.engine().OversamplingActive(), on);
      const bool offlineNow = mode == Mode::Offline || mode == Mode::BecameOffline;
      EXPECT_EQ(rig.engine().OversamplerQuality(), offlineNow ? 3 : 2);
      const bool reported = mode == Mode::SwitchedOnAtReset || mode == Mode::BecameOffline
                            || mode == Mode::BecameRealtime;
      EXPECT_EQ(plugin.LatencyReports(), reports + (reported ? 1 : 0));
      EXPECT_EQ(plugin.GetLatency(), on ? rig.engine().OversamplerLatency() : 0);
      // And the blocks after it neither.
      CountingScope scope;
      for (int b = 0; b < 3; ++b)
        plugin.Process(inputs, outputs, 2, 2, block);
      EXPECT_EQ(scope.allocations(), 0);
    }

  // The counter sees what building takes: an activation with another block size sizes new buffers.
  PluginRig rig;
  rig.Activate(48000.0, 512);
  CountingScope scope;
  rig.Activate(48000.0, 4096);
  EXPECT_GT(scope.allocations(), 0);
}

// The counter itself works, or the test above would prove nothing.
TEST(RealtimeSafety, CountingScopeSeesAllocations)
{
  CountingScope scope;
  auto vector = std::make_unique<std::vector<double>>(100);
  vector->push_back(1.0);
  EXPECT_GE(scope.allocations(), 2);
  if (WatchesCLibrary())
  {
    std::mutex m;
    m.lock();
    m.unlock();
    EXPECT_EQ(scope.locks(), 1);
  }
}

// Flush-to-zero and denormals-are-zero hold inside the block (a denormal input comes out as exactly 0) and the
// caller's floating-point mode is back afterwards, on every path.
TEST(RealtimeSafety, FlushToZeroInsideTheBlockOnly)
{
  // The control bits only: the status bits above the mask are sticky flags any arithmetic may raise.
  const auto control = [] { return FloatingPointGuard::Current() & ~0x3Fu; };
  PluginRig rig;
  rig.Activate(48000.0, 64);
  const unsigned before = control();
  ASSERT_EQ(before & (FloatingPointGuard::kFlushToZero | FloatingPointGuard::kDenormalsAreZero), 0u);

  const std::vector<double> tiny(64, 1e-310);
  const std::vector<double> y = rig.RunMono(tiny, 64);
  for (double v : y)
    ASSERT_EQ(v, 0.0);
  EXPECT_NE(DefaultChain(1e-310), 0.0); // the same sum outside the block keeps the denormal
  EXPECT_EQ(control(), before);

  rig.Set(QuorlEQ::kOversampling, 1.0);
  rig.RunMono(std::vector<double>(64, 0.1), 64); // crossfade
  EXPECT_EQ(control(), before);
  rig.RunMono(std::vector<double>(512, 0.1), 64); // oversampled
  EXPECT_EQ(control(), before);
  rig.RunMono(std::vector<double>(2048, 0.1), 2048); // over-long
  EXPECT_EQ(control(), before);
  rig.RunMono(std::vector<double>(0), 64);
  EXPECT_EQ(control(), before);
}

// Parameters change on another thread (an editor, a state load) and idle ticks run there while the audio thread
// processes: no data race (run under ThreadSanitizer by scripts/sanitize tsan), and by the block after the last
// change every section has exactly the targets of the last values set.
TEST(RealtimeSafety, ParameterChangesFromAnotherThread)
{
  PluginRig rig;
  rig.Activate(48000.0, 64);
  QuorlEQ& plugin = rig.plugin();
  std::atomic<bool> stop{false};
  std::atomic<int> blocks{0};

  std::thread audio([&] {
    std::vector<double> left(64), right(64);
    double* io[2] = {left.data(), right.data()};
    for (int b = 0; !stop.load(std::memory_order_acquire) || b < 50; ++b)
    {
      for (int i = 0; i < 64; ++i)
        left[static_cast<size_t>(i)] = right[static_cast<size_t>(i)] = 0.5 * std::sin(0.01 * (b * 64 + i));
      plugin.Process(io, io, 2, 2, 64);
      blocks.fetch_add(1, std::memory_order_release);
    }
  });

  for (int round = 0; round < 400; ++round)
  {
    plugin.SetParameterFromMainThread(QuorlEQ::kMid1Level, (round % 41) - 20.0);
    plugin.SetParameterFromMainThread(QuorlEQ::kMid2Freq, round % 7);
    plugin.SetParameterFromMainThread(QuorlEQ::kHighPassFreq, round % 6);
    plugin.SetParameterFromMainThread(QuorlEQ::kGain, -(round % 20));
    if (round % 50 == 0)
      plugin.SetParameterFromMainThread(QuorlEQ::kOversampling, (round / 50) % 2);
    plugin.Idle();
    if (round % 16 == 0)
      std::this_thread::yield();
  }
  plugin.SetParameterFromMainThread(QuorlEQ::kMid1Level, 7.5);
  plugin.SetParameterFromMainThread(QuorlEQ::kMid2Freq, 5);
  plugin.SetParameterFromMainThread(QuorlEQ::kGain, -4.0);
  stop.store(true, std::memory_order_release);
  audio.join();
  EXPECT_GE(blocks.load(), 50);
  rig.Run({std::vector<double>(64, 0.0), std::vector<double>(64, 0.0)}, 64); // takes what the last block missed

  const auto& chain = rig.engine().Chain();
  for (int channel = 0; channel < 2; ++channel)
  {
    EXPECT_EQ(chain.Section(ondrell::EqChannelChain::kMid1, channel).TargetGain(), 7.5);
    EXPECT_EQ(chain.Section(ondrell::EqChannelChain::kMid2, channel).TargetFrequency(), 6000.0);
  }
  EXPECT_EQ(chain.GainDb(), -4.0);
}
