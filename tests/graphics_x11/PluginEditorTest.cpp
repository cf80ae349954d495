// The editor of the two plug-in files in a host's window on a real X server (Xvfb started by the tests): QuorlEQ.clap
// through its gui extension with the host's timers and descriptor watching, QuorlEQ.so through effEditOpen and
// effEditIdle. What the window shows is compared with the same editor drawn in-process on the windowless context.

#include <dirent.h>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "core/IParam.h"
#include "editor/DisplayScalePreference.h"
#include "editor/QuorlEQEditor.h"
#include "engine/QuorlEQ.h"
#include "graphics/IControl.h"
#include "graphics/IGContextHeadless.h"
#include "tests/clap/ClapTestHost.h"
#include "tests/graphics_x11/XvfbServer.h"
#include "tests/vst2/VstTestHost.h"
#include "vst2/VstAbi.h"
// Xlib's macros last.
#include "tests/graphics_x11/XServerTest.h"

namespace quorl_test {
namespace {

using ondrell::graphics::IControl;
using ondrell::graphics::IGContextHeadless;
using ondrell::graphics::IRect;
using ondrell::test::EventList;
using ondrell::test::HostOptions;
using ondrell::test::Instance;
using ondrell::test::OutEvent;
using ondrell::test::OutputEvents;
using ondrell::test::TestHost;
using ondrell::test::VstTestHost;
namespace vst = ondrell::vst;

constexpr int kParams = 10;
constexpr int kHpf = 0;
constexpr int kMfLevel1 = 4;
constexpr int kGain = 8;
constexpr int kOversampling = 9;

using Values = std::array<double, kParams>;

int OpenDescriptors()
{
  int n = 0;
  if (DIR* dir = opendir("/proc/self/fd"))
  {
    while (readdir(dir))
      ++n;
    closedir(dir);
  }
  return n;
}

// The editor drawn in-process on the windowless context, for these normalised parameter values and this screen
// scale: what the plug-in's window must show, as 0xRRGGBB.
std::vector<uint32_t> ReferenceFrame(const Values& normalised, float density)
{
  ondrell::QuorlEQ eq(ondrell::CreationArgs{});
  for (int i = 0; i < kParams; ++i)
    eq.GetParam(i)->SetNormalised(normalised[static_cast<size_t>(i)]);
  eq.SetMakeGraphicsFunc([&eq, density] {
    auto g = std::make_unique<IGContextHeadless>(eq, ondrell::editor::kEditorWidth, ondrell::editor::kEditorHeight,
                                                 ondrell::editor::kEditorFPS, ondrell::editor::ReadDisplayScale());
    g->SetDisplayDensity(density);
    return g;
  });
  eq.OpenWindow(nullptr);
  auto& ui = dynamic_cast<IGContextHeadless&>(*eq.GetUI());
  ui.Tick();
  const uint8_t* p = ui.GetPixels();
  std::vector<uint32_t> out(static_cast<size_t>(ui.GetPixelWidth()) * static_cast<size_t>(ui.GetPixelHeight()));
  for (size_t i = 0; i < out.size(); ++i)
    out[i] = static_cast<uint32_t>(p[4 * i]) | static_cast<uint32_t>(p[4 * i + 1]) << 8 |
             static_cast<uint32_t>(p[4 * i + 2]) << 16;
  eq.CloseWindow();
  return out;
}

// The rectangle (points) of the editor's control bound to a parameter.
IRect ControlRect(int paramIdx)
{
  ondrell::QuorlEQ eq(ondrell::CreationArgs{});
  eq.SetMakeGraphicsFunc([&eq] { return std::make_unique<IGContextHeadless>(eq, 664, 215, 60, 1.f); });
  eq.OpenWindow(nullptr);
  IRect rect;
  eq.GetUI()->ForAllControls([&](IControl& c) {
    if (c.NVals() > 0 && c.GetParamIdx(0) == paramIdx)
      rect = c.GetRECT();
  });
  eq.CloseWindow();
  return rect;
}

// A parameter's normalised value from its CLAP value (Double parameters are normalised already).
double NormalisedFromClap(int paramIdx, double clapValue)
{
  ondrell::QuorlEQ eq(ondrell::CreationArgs{});
  const ondrell::IParam& param = *eq.GetParam(paramIdx);
  return param.GetKind() == ondrell::ParamKind::Double ? clapValue : param.ToNormalised(clapValue);
}

size_t CountDifferences(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b)
{
  if (a.size() != b.size())
    return std::max(a.size(), b.size());
  size_t n = 0;
  for (size_t i = 0; i < a.size(); ++i)
    n += a[i] != b[i];
  return n;
}

struct VstLibrary
{
  VstLibrary()
  {
    handle = dlopen(QUORL_VST2_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
    if (handle)
      entry = reinterpret_cast<vst::VstEntryProc>(dlsym(handle, "VSTPluginMain"));
  }
  void* handle = nullptr;
  vst::VstEntryProc entry = nullptr;
};

VstLibrary& TheVstLibrary()
{
  static VstLibrary library;
  return library;
}

class PluginEditor : public XServerTest
{
protected:
  void SetUp() override
  {
    XServerTest::SetUp();
    if (IsSkipped() || HasFatalFailure())
      return;
    // A fresh preference folder: every editor starts at draw scale 1.
    std::string folder = (std::filesystem::temp_directory_path() / "quorl-x11-test-XXXXXX").string();
    ASSERT_NE(mkdtemp(folder.data()), nullptr);
    mConfigHome = folder;
    setenv("XDG_CONFIG_HOME", mConfigHome.c_str(), 1);
  }

  void TearDown() override
  {
    if (!host)
      return;
    XServerTest::TearDown();
    host.reset();
    std::error_code ec;
    std::filesystem::remove_all(mConfigHome, ec);
  }

  // What the editor stored as its display scale when it closed last, or "" when it stored nothing.
  std::filesystem::path PreferenceFile() const
  {
    return std::filesystem::path(mConfigHome) / "Ondrell Audio" / "Preferences" / "QuorlEQ-display-scale.txt";
  }
  std::string StoredDisplayScale() const
  {
    std::ifstream in(PreferenceFile());
    std::string line;
    std::getline(in, line);
    return line;
  }

  // Waits until the window shows exactly the frame, stepping the host's loop in between.
  ::testing::AssertionResult Shows(Window child, const std::vector<uint32_t>& frame, const std::function<void()>& step)
  {
    std::vector<uint32_t> screen;
    int w = 0, h = 0;
    if (WaitUntil(
          [&] {
            screen = host->Grab(child, w, h);
            return CountDifferences(screen, frame) == 0;
          },
          step))
      return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << CountDifferences(screen, frame) << " pixels differ (window " << w << " x "
                                         << h << ")";
  }

  std::string mConfigHome;
};

// ---- CLAP -------------------------------------------------------------------------------------------------------

class ClapEditor : public PluginEditor
{
protected:
  void SetUp() override
  {
    PluginEditor::SetUp();
    if (IsSkipped() || HasFatalFailure())
      return;
    ASSERT_TRUE(ondrell::test::ClapEntry().init(ondrell::test::ClapPath()));
    mEntryInitialised = true;
  }
  void TearDown() override
  {
    if (mEntryInitialised)
      ondrell::test::ClapEntry().deinit();
    PluginEditor::TearDown();
  }

  // The CLAP values of all parameters, normalised.
  static Values CurrentValues(const Instance& plugin)
  {
    Values v{};
    for (int i = 0; i < kParams; ++i)
      v[static_cast<size_t>(i)] = NormalisedFromClap(i, plugin.Value(static_cast<clap_id>(i)));
    return v;
  }

  // Creates the plug-in's x11 view and sets it into a new host window of this size; child is the view's own window.
  void OpenView(const Instance& plugin, int width, int height, Window& child)
  {
    const auto* gui = plugin.Ext<clap_plugin_gui_t>(CLAP_EXT_GUI);
    const clap_plugin_t* p = plugin.P();
    ASSERT_TRUE(gui->create(p, "x11", false));
    const Window parent = host->MakeWindow(width, height);
    clap_window_t window{};
    window.api = "x11";
    window.x11 = parent;
    ASSERT_TRUE(gui->set_parent(p, &window));
    host->Sync();
    child = host->OnlyChild(parent);
    ASSERT_NE(child, 0u);
  }

  bool mEntryInitialised = false;
};

TEST_F(ClapEditor, OpensInTheHostWindowAndShowsTheHostsValues)
{
  HostOptions options;
  options.gui = true;
  options.posixFdSupport = true;
  TestHost th(options);
  const int descriptors = OpenDescriptors();
  {
    Instance plugin(th);
    const auto* gui = plugin.Ext<clap_plugin_gui_t>(CLAP_EXT_GUI);
    const auto* params = plugin.Ext<clap_plugin_params_t>(CLAP_EXT_PARAMS);
    const clap_plugin_t* p = plugin.P();
    const auto step = [&] {
      plugin.DeliverReadyFds();
      plugin.Tick();
    };
    ASSERT_TRUE(gui->create(p, "x11", false));
    ASSERT_EQ(th.timers.size(), 1u); // the idle timer

    // Room for the editor at twice the size, so all of it stays on the screen.
    const Window parent = host->MakeWindow(1400, 500);
    clap_window_t window{};
    window.api = "x11";
    window.x11 = parent;
    ASSERT_TRUE(gui->set_parent(p, &window));
    host->Sync();
    const Window child = host->OnlyChild(parent);
    ASSERT_NE(child, 0u);
    EXPECT_TRUE(host->Viewable(child));
    int w = 0, h = 0;
    ASSERT_TRUE(host->Size(child, w, h));
    EXPECT_EQ(w, 664);
    EXPECT_EQ(h, 215);
    uint32_t gw = 0, gh = 0;
    ASSERT_TRUE(gui->get_size(p, &gw, &gh));
    EXPECT_EQ(gw, 664u);
    EXPECT_EQ(gh, 215u);

    // While the view is open the host pumps the display tick at its period and watches the window's events.
    ASSERT_EQ(th.timers.size(), 2u);
    EXPECT_EQ(th.timerPeriods[th.timers[1]], 15u);
    ASSERT_EQ(th.fds.size(), 1u);
    EXPECT_EQ(th.fds.begin()->second, CLAP_POSIX_FD_READ | CLAP_POSIX_FD_ERROR);

    const std::vector<uint32_t> defaults = ReferenceFrame(CurrentValues(plugin), 1.f);
    EXPECT_TRUE(Shows(child, defaults, step));

    // Values from the host reach the window through the idle and display ticks.
    EventList events;
    events.AddParam(kMfLevel1, 0.8);
    events.AddParam(kHpf, 3.0);
    events.AddParam(kGain, 0.25);
    events.AddParam(kOversampling, 1.0);
    OutputEvents out;
    params->flush(p, events.List(), out.List());
    const Values values = CurrentValues(plugin);
    EXPECT_DOUBLE_EQ(values[kHpf], 0.6);
    const std::vector<uint32_t> frame = ReferenceFrame(values, 1.f);
    EXPECT_GT(CountDifferences(frame, defaults), 1000u);
    EXPECT_TRUE(Shows(child, frame, step));

    // Hidden, the window and the host's watch and timer go, and the editor stores its display scale; shown again it
    // comes back in the same parent.
    std::filesystem::remove(PreferenceFile());
    ASSERT_TRUE(gui->hide(p));
    host->Sync();
    EXPECT_EQ(StoredDisplayScale(), "1.0000");
    EXPECT_TRUE(host->Children(parent).empty());
    EXPECT_TRUE(th.fds.empty());
    EXPECT_EQ(th.timers.size(), 1u);
    ASSERT_TRUE(gui->show(p));
    host->Sync();
    const Window shown = host->OnlyChild(parent);
    ASSERT_NE(shown, 0u);
    EXPECT_EQ(th.fds.size(), 1u);
    EXPECT_EQ(th.timers.size(), 2u);
    EXPECT_TRUE(Shows(shown, frame, step));

    // The host's scale: the window doubles and the host is asked for the room.
    ASSERT_TRUE(gui->set_scale(p, 2.0));
    host->Sync();
    ASSERT_TRUE(host->Size(shown, w, h));
    EXPECT_EQ(w, 1328);
    EXPECT_EQ(h, 430);
    ASSERT_TRUE(gui->get_size(p, &gw, &gh));
    EXPECT_EQ(gw, 1328u);
    EXPECT_EQ(gh, 430u);
    ASSERT_FALSE(th.resizes.empty());
    EXPECT_EQ(th.resizes.back(), (std::pair<uint32_t, uint32_t>(1328, 430)));
    EXPECT_TRUE(Shows(shown, ReferenceFrame(values, 2.f), step));

    gui->destroy(p);
    host->Sync();
    EXPECT_TRUE(host->Children(parent).empty());
    EXPECT_TRUE(th.fds.empty());
    EXPECT_EQ(th.timers.size(), 1u);

    // A scale set before the view exists is used when it opens.
    ASSERT_TRUE(gui->create(p, "x11", false));
    ASSERT_TRUE(gui->set_scale(p, 2.0));
    ASSERT_TRUE(gui->set_parent(p, &window));
    host->Sync();
    const Window scaled = host->OnlyChild(parent);
    ASSERT_NE(scaled, 0u);
    ASSERT_TRUE(host->Size(scaled, w, h));
    EXPECT_EQ(w, 1328);
    EXPECT_TRUE(Shows(scaled, ReferenceFrame(values, 2.f), step));
  }
  // Destroying the plug-in with its view open closes the view and stops every registration.
  host->Sync();
  EXPECT_TRUE(th.fds.empty());
  EXPECT_TRUE(th.timers.empty());
  EXPECT_EQ(OpenDescriptors(), descriptors);
}

TEST_F(ClapEditor, DraggingAKnobIsHandledAsItsEventsArriveAndReachesTheHost)
{
  HostOptions options;
  options.gui = true;
  options.posixFdSupport = true;
  TestHost th(options);
  Instance plugin(th);
  const auto* gui = plugin.Ext<clap_plugin_gui_t>(CLAP_EXT_GUI);
  const auto* params = plugin.Ext<clap_plugin_params_t>(CLAP_EXT_PARAMS);
  const clap_plugin_t* p = plugin.P();
  Window child = 0;
  ASSERT_NO_FATAL_FAILURE(OpenView(plugin, 800, 300, child));

  const IRect knob = ControlRect(kMfLevel1);
  ASSERT_GT(knob.W(), 0.f);
  const int x = static_cast<int>(knob.MW());
  const int y = static_cast<int>(knob.MH());
  const double before = plugin.Value(kMfLevel1);
  host->Button(child, true, Button1, x, y, 0, 1000);
  host->Motion(child, x, y - 20, Button1Mask, 1010);
  host->Motion(child, x, y - 20, Button1Mask, 1020);
  host->Button(child, false, Button1, x, y - 20, Button1Mask, 1030);
  // Only the watched descriptor drives this: the events are handled as they arrive, without a tick.
  ASSERT_TRUE(WaitUntil([&] { return th.flushRequests > 0 && plugin.Value(kMfLevel1) > before; },
                        [&] { plugin.DeliverReadyFds(); }));
  const double after = plugin.Value(kMfLevel1);

  EventList none;
  OutputEvents out;
  params->flush(p, none.List(), out.List());
  ASSERT_GE(out.events.size(), 3u);
  EXPECT_EQ(out.events.front().type, CLAP_EVENT_PARAM_GESTURE_BEGIN);
  EXPECT_EQ(out.events.front().paramId, static_cast<clap_id>(kMfLevel1));
  EXPECT_EQ(out.events.back().type, CLAP_EVENT_PARAM_GESTURE_END);
  EXPECT_EQ(out.events.back().paramId, static_cast<clap_id>(kMfLevel1));
  const OutEvent& lastValue = out.events[out.events.size() - 2];
  EXPECT_EQ(lastValue.type, CLAP_EVENT_PARAM_VALUE);
  EXPECT_EQ(lastValue.paramId, static_cast<clap_id>(kMfLevel1));
  EXPECT_DOUBLE_EQ(lastValue.value, after);

  // The ticks draw the knob at its new value.
  const Values values = CurrentValues(plugin);
  EXPECT_TRUE(Shows(child, ReferenceFrame(values, 1.f), [&] {
    plugin.DeliverReadyFds();
    plugin.Tick();
  }));
  gui->destroy(p);
}

TEST_F(ClapEditor, WithoutHostTimersOrDescriptorsTheMainThreadCallbacksDriveTheWindow)
{
  HostOptions options;
  options.gui = true;
  options.timerSupport = false;
  TestHost th(options);
  Instance plugin(th);
  const auto* gui = plugin.Ext<clap_plugin_gui_t>(CLAP_EXT_GUI);
  const clap_plugin_t* p = plugin.P();
  Window child = 0;
  ASSERT_NO_FATAL_FAILURE(OpenView(plugin, 800, 300, child));
  EXPECT_TRUE(th.timers.empty());
  EXPECT_TRUE(th.fds.empty());

  // The plug-in's helper keeps asking for callbacks; each one pumps the display tick, which also handles the
  // window's events.
  const int asked = th.callbackRequests.load();
  ASSERT_TRUE(WaitUntil([&] { return th.callbackRequests.load() > asked; }, nullptr));
  const IRect knob = ControlRect(kMfLevel1);
  const double before = plugin.Value(kMfLevel1);
  host->Button(child, true, Button1, static_cast<int>(knob.MW()), static_cast<int>(knob.MH()), 0, 1000);
  host->Motion(child, static_cast<int>(knob.MW()), static_cast<int>(knob.MH()) + 30, Button1Mask, 1010);
  host->Button(child, false, Button1, static_cast<int>(knob.MW()), static_cast<int>(knob.MH()) + 30, Button1Mask,
               1020);
  ASSERT_TRUE(WaitUntil([&] { return plugin.Value(kMfLevel1) < before; }, [&] { p->on_main_thread(p); }));
  const Values values = CurrentValues(plugin);
  EXPECT_TRUE(Shows(child, ReferenceFrame(values, 1.f), [&] { p->on_main_thread(p); }));
  gui->destroy(p);
}

TEST_F(ClapEditor, NoViewWithoutARealParentWindow)
{
  HostOptions options;
  options.gui = true;
  options.posixFdSupport = true;
  TestHost th(options);
  Instance plugin(th);
  const auto* gui = plugin.Ext<clap_plugin_gui_t>(CLAP_EXT_GUI);
  const clap_plugin_t* p = plugin.P();
  ASSERT_TRUE(gui->create(p, "x11", false));
  const Window gone = host->MakeWindow(100, 100);
  host->DestroyWindow(gone);
  clap_window_t window{};
  window.api = "x11";
  window.x11 = gone;
  EXPECT_FALSE(gui->set_parent(p, &window));
  EXPECT_FALSE(gui->show(p));
  EXPECT_TRUE(th.fds.empty());
  EXPECT_EQ(th.timers.size(), 1u);
  gui->destroy(p);
}

TEST_F(ClapEditor, AServerThatGoesAwayIsNoLongerWatched)
{
  XvfbServer server(800, 600);
  if (!server.Running())
    GTEST_SKIP() << "Xvfb cannot be started";
  // The stand-in host survives its own broken connection (Xlib's default handler would end the test).
  const XIOErrorHandler previousIOHandler = XSetIOErrorHandler([](Display*) { return 0; });
  setenv("DISPLAY", server.Name().c_str(), 1);
  HostOptions options;
  options.gui = true;
  options.posixFdSupport = true;
  TestHost th(options);
  {
    Instance plugin(th);
    const auto* gui = plugin.Ext<clap_plugin_gui_t>(CLAP_EXT_GUI);
    const clap_plugin_t* p = plugin.P();
    XHostHarness doomed(server.Name());
    ASSERT_TRUE(doomed.Connected());
    XSetIOErrorExitHandler(doomed.D(), [](Display*, void*) {}, nullptr);
    ASSERT_TRUE(gui->create(p, "x11", false));
    clap_window_t window{};
    window.api = "x11";
    window.x11 = doomed.MakeWindow(700, 260);
    ASSERT_TRUE(gui->set_parent(p, &window));
    ASSERT_EQ(th.fds.size(), 1u);
    server.Kill();
    // The broken connection reads as ready; told so, the plug-in stops the watch instead of being told again and
    // again.
    ASSERT_TRUE(WaitUntil([&] { return th.fds.empty(); }, [&] {
      plugin.DeliverReadyFds();
      plugin.Tick();
    }));
    gui->destroy(p);
    EXPECT_EQ(th.timers.size(), 1u);
  }
  XSetIOErrorHandler(previousIOHandler);
  setenv("DISPLAY", sServer->Name().c_str(), 1);
}

// ---- VST2 -------------------------------------------------------------------------------------------------------

class Vst2Editor : public PluginEditor
{
protected:
  void SetUp() override
  {
    PluginEditor::SetUp();
    if (IsSkipped() || HasFatalFailure())
      return;
    ASSERT_NE(TheVstLibrary().entry, nullptr) << dlerror();
    vhost = std::make_unique<VstTestHost>();
    effect = TheVstLibrary().entry(&VstTestHost::Callback);
    ASSERT_NE(effect, nullptr);
    Dispatch(vst::effOpen);
  }
  void TearDown() override
  {
    if (effect)
      Dispatch(vst::effClose);
    effect = nullptr;
    vhost.reset();
    PluginEditor::TearDown();
  }

  vst::VstIntPtr Dispatch(int32_t opcode, int32_t index = 0, vst::VstIntPtr value = 0, void* ptr = nullptr)
  {
    return effect->dispatcher(effect, opcode, index, value, ptr, 0.f);
  }
  void* AsParent(Window window) { return reinterpret_cast<void*>(static_cast<uintptr_t>(window)); }
  Values CurrentValues()
  {
    Values v{};
    for (int i = 0; i < kParams; ++i)
      v[static_cast<size_t>(i)] = effect->getParameter(effect, i);
    return v;
  }
  std::vector<ondrell::test::HostCallRecord> CallsOf(int32_t opcode)
  {
    std::vector<ondrell::test::HostCallRecord> out;
    for (const auto& c : vhost->Calls())
      if (c.opcode == opcode)
        out.push_back(c);
    return out;
  }

  std::unique_ptr<VstTestHost> vhost;
  vst::VstEffect* effect = nullptr;
};

TEST_F(Vst2Editor, OpensInTheHostWindowAndReportsAKnobGesture)
{
  vst::ERect* rect = nullptr;
  ASSERT_EQ(Dispatch(vst::effEditGetRect, 0, 0, &rect), 1);
  EXPECT_EQ(rect->right, 664);
  EXPECT_EQ(rect->bottom, 215);
  const int descriptors = OpenDescriptors();
  const Window parent = host->MakeWindow(800, 300);
  ASSERT_EQ(Dispatch(vst::effEditOpen, 0, 0, AsParent(parent)), 1);
  host->Sync();
  const Window child = host->OnlyChild(parent);
  ASSERT_NE(child, 0u);
  int w = 0, h = 0;
  ASSERT_TRUE(host->Size(child, w, h));
  EXPECT_EQ(w, 664);
  EXPECT_EQ(h, 215);
  const auto idle = [&] { Dispatch(vst::effEditIdle); };
  EXPECT_TRUE(Shows(child, ReferenceFrame(CurrentValues(), 1.f), idle));

  // The host's idle calls handle the window's events too.
  vhost->ClearCalls();
  const IRect knob = ControlRect(kMfLevel1);
  const int x = static_cast<int>(knob.MW());
  const int y = static_cast<int>(knob.MH());
  const float before = effect->getParameter(effect, kMfLevel1);
  host->Button(child, true, Button1, x, y, 0, 1000);
  host->Motion(child, x, y - 20, Button1Mask, 1010);
  host->Button(child, false, Button1, x, y - 20, Button1Mask, 1020);
  ASSERT_TRUE(WaitUntil([&] { return vhost->Count(vst::audioMasterEndEdit) == 1; }, idle));
  const float after = effect->getParameter(effect, kMfLevel1);
  EXPECT_GT(after, before);
  const auto begins = CallsOf(vst::audioMasterBeginEdit);
  const auto automates = CallsOf(vst::audioMasterAutomate);
  const auto ends = CallsOf(vst::audioMasterEndEdit);
  ASSERT_EQ(begins.size(), 1u);
  EXPECT_EQ(begins[0].index, kMfLevel1);
  ASSERT_FALSE(automates.empty());
  EXPECT_EQ(automates.back().index, kMfLevel1);
  EXPECT_FLOAT_EQ(automates.back().opt, after);
  EXPECT_EQ(ends[0].index, kMfLevel1);
  EXPECT_TRUE(Shows(child, ReferenceFrame(CurrentValues(), 1.f), idle));

  // Closing and opening again, several times, leaves nothing behind; closing stores the display scale.
  for (int round = 0; round < 5; ++round)
  {
    std::filesystem::remove(PreferenceFile());
    ASSERT_EQ(Dispatch(vst::effEditClose), 1);
    host->Sync();
    EXPECT_EQ(StoredDisplayScale(), "1.0000");
    EXPECT_TRUE(host->Children(parent).empty());
    EXPECT_EQ(OpenDescriptors(), descriptors);
    ASSERT_EQ(Dispatch(vst::effEditOpen, 0, 0, AsParent(parent)), 1);
    host->Sync();
    ASSERT_NE(host->OnlyChild(parent), 0u);
    Dispatch(vst::effEditIdle);
  }
  EXPECT_TRUE(Shows(host->OnlyChild(parent), ReferenceFrame(CurrentValues(), 1.f), idle));
  ASSERT_EQ(Dispatch(vst::effEditClose), 1);
  EXPECT_EQ(OpenDescriptors(), descriptors);
  // A closed editor ignores idle calls.
  Dispatch(vst::effEditIdle);
}

TEST_F(Vst2Editor, AHiDpiDisplayDoublesTheWindowAndAHostThatCannotResizeIsGrownForIt)
{
  vhost->sizeWindowAnswer = 0;
  host->SetResources("Xft.dpi:\t192\n");
  const Window parent = host->MakeWindow(1400, 500);
  ASSERT_EQ(Dispatch(vst::effEditOpen, 0, 0, AsParent(parent)), 1);
  host->Sync();
  const Window child = host->OnlyChild(parent);
  ASSERT_NE(child, 0u);
  int w = 0, h = 0;
  ASSERT_TRUE(host->Size(child, w, h));
  EXPECT_EQ(w, 1328);
  EXPECT_EQ(h, 430);
  const auto sizes = CallsOf(vst::audioMasterSizeWindow);
  ASSERT_FALSE(sizes.empty());
  EXPECT_EQ(sizes.back().index, 1328);
  EXPECT_EQ(sizes.back().value, 430);
  vst::ERect* rect = nullptr;
  ASSERT_EQ(Dispatch(vst::effEditGetRect, 0, 0, &rect), 1);
  EXPECT_EQ(rect->right, 1328);
  EXPECT_EQ(rect->bottom, 430);
  const auto idle = [&] { Dispatch(vst::effEditIdle); };
  EXPECT_TRUE(Shows(child, ReferenceFrame(CurrentValues(), 2.f), idle));

  // The display goes back to 96 dpi while the editor is open: the window shrinks and, as the host did not resize
  // its window, the host window shrinks with it.
  host->SetResources("Xft.dpi:\t96\n");
  ASSERT_TRUE(WaitUntil(
    [&] {
      host->Size(child, w, h);
      return w == 664;
    },
    idle));
  EXPECT_EQ(h, 215);
  ASSERT_TRUE(host->Size(parent, w, h));
  EXPECT_EQ(w, 1400 - 664);
  EXPECT_EQ(h, 500 - 215);
  EXPECT_TRUE(Shows(child, ReferenceFrame(CurrentValues(), 1.f), idle));
  ASSERT_EQ(Dispatch(vst::effEditClose), 1);
}

TEST_F(Vst2Editor, NoViewInAWindowThatDoesNotExist)
{
  const Window gone = host->MakeWindow(100, 100);
  host->DestroyWindow(gone);
  EXPECT_EQ(Dispatch(vst::effEditOpen, 0, 0, AsParent(gone)), 0);
  Dispatch(vst::effEditIdle);
  EXPECT_EQ(Dispatch(vst::effEditClose), 1);
}

} // namespace
} // namespace quorl_test
