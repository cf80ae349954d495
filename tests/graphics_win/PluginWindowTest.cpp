// The editors of the two Windows plug-in files in a Win32 host window, under Wine on an X server of the tests' own:
// QuorlEQ.clap through its gui extension ("win32"), QuorlEQ.dll through effEditOpen with an HWND. What the window
// shows is compared with the same editor drawn in-process on the windowless context; mouse messages on a knob, the
// switch and the resize corner reach the host as gestures and values; twelve rounds of opening and closing leave no
// window, GDI object or thread behind; parents that are no window are refused; without the system's vertical-blank
// wait the editor still draws.

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
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
#include "tests/vst2/VstTestHost.h"
#include "vst2/VstAbi.h"
// Windows headers last.
#include "tests/graphics_win/GdiTracker.h"
#include "tests/graphics_win/WinTestSupport.h"

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
// Set for the further runs of this program: under a Windows version with the vertical-blank thread, and on a
// display of 192 dots per inch.
constexpr const char* kVBlankRunVariable = "QUORL_WINDOWS8_RUN";
constexpr const char* kHighDpiRunVariable = "QUORL_192_DPI_RUN";

bool InFurtherRun()
{
  return std::getenv(kVBlankRunVariable) || std::getenv(kHighDpiRunVariable);
}

using Values = std::array<double, kParams>;

// The editor drawn in-process on the windowless context, for these normalised values and this screen scale: what
// the plug-in's window must show, as 0xRRGGBB.
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
  std::vector<uint32_t> out = ToRgb(ui.GetPixels(), ui.GetPixelWidth(), ui.GetPixelHeight());
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

double NormalisedFromClap(int paramIdx, double clapValue)
{
  ondrell::QuorlEQ eq(ondrell::CreationArgs{});
  const ondrell::IParam& param = *eq.GetParam(paramIdx);
  return param.GetKind() == ondrell::ParamKind::Double ? clapValue : param.ToNormalised(clapValue);
}

std::string PreferenceFile()
{
  return ondrell::editor::PreferencesFile(ondrell::editor::kDisplayScalePrefName);
}

std::string StoredDisplayScale()
{
  std::ifstream in(PreferenceFile());
  std::string line;
  std::getline(in, line);
  return line;
}

void ForgetDisplayScale()
{
  std::error_code ec;
  std::filesystem::remove(std::filesystem::u8path(PreferenceFile()), ec);
}

LPARAM At(float x, float y)
{
  return MAKELPARAM(static_cast<int>(x), static_cast<int>(y));
}

// A press, moves and a release as the system queues them for a window.
void Drag(HWND window, float x, float y, const std::vector<std::pair<float, float>>& to)
{
  PostMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, At(x, y));
  PumpMessages(10);
  for (const auto& [tx, ty] : to)
  {
    PostMessageW(window, WM_MOUSEMOVE, MK_LBUTTON, At(tx, ty));
    PumpMessages(10);
  }
  const auto& [ex, ey] = to.empty() ? std::pair<float, float>(x, y) : to.back();
  PostMessageW(window, WM_LBUTTONUP, 0, At(ex, ey));
  PumpMessages(10);
}

::testing::AssertionResult Shows(HWND child, const std::vector<uint32_t>& frame, const std::function<void()>& step)
{
  std::vector<uint32_t> screen;
  int w = 0, h = 0;
  const bool same = WaitUntil([&] {
    step();
    screen = Grab(child, w, h);
    return CountDifferences(screen, frame) == 0;
  });
  if (same)
    return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << CountDifferences(screen, frame) << " pixels differ (window " << w << " x "
                                       << h << ")";
}

HMODULE LoadedModule(const wchar_t* name)
{
  return GetModuleHandleW(name);
}

// ---- CLAP ------------------------------------------------------------------------------------------------------

class ClapWindow : public ::testing::Test
{
protected:
  void SetUp() override
  {
    ForgetDisplayScale();
    ASSERT_TRUE(ondrell::test::ClapEntry().init(ondrell::test::ClapPath()));
    mInitialised = true;
  }
  void TearDown() override
  {
    if (mInitialised)
      ondrell::test::ClapEntry().deinit();
  }

  static HostOptions GuiHost()
  {
    HostOptions options;
    options.gui = true;
    return options;
  }
  static Values CurrentValues(const Instance& plugin)
  {
    Values v{};
    for (int i = 0; i < kParams; ++i)
      v[static_cast<size_t>(i)] = NormalisedFromClap(i, plugin.Value(static_cast<clap_id>(i)));
    return v;
  }
  static bool SetParent(const Instance& plugin, HWND parent)
  {
    const auto* gui = plugin.Ext<clap_plugin_gui_t>(CLAP_EXT_GUI);
    clap_window_t window{};
    window.api = CLAP_WINDOW_API_WIN32;
    window.win32 = parent;
    return gui->set_parent(plugin.P(), &window);
  }
  // Creates the plug-in's win32 view in the host's window; child is the view's own window.
  void OpenView(const Instance& plugin, HWND& child)
  {
    const auto* gui = plugin.Ext<clap_plugin_gui_t>(CLAP_EXT_GUI);
    ASSERT_TRUE(gui->create(plugin.P(), CLAP_WINDOW_API_WIN32, false));
    ASSERT_TRUE(SetParent(plugin, host.Parent()));
    child = OnlyChild(host.Parent());
    ASSERT_NE(child, nullptr);
  }
  static std::function<void()> Step(Instance& plugin)
  {
    return [&plugin] {
      PumpMessages(10);
      plugin.Tick();
    };
  }

  HostWindow host{1400, 500};
  bool mInitialised = false;
};

TEST_F(ClapWindow, OpensInTheHostWindowAndShowsTheHostsValues)
{
  TestHost th(GuiHost());
  Instance plugin(th);
  const auto* gui = plugin.Ext<clap_plugin_gui_t>(CLAP_EXT_GUI);
  const auto* params = plugin.Ext<clap_plugin_params_t>(CLAP_EXT_PARAMS);
  const clap_plugin_t* p = plugin.P();
  ASSERT_NE(gui, nullptr);
  // Embedded win32 windows only.
  EXPECT_TRUE(gui->is_api_supported(p, CLAP_WINDOW_API_WIN32, false));
  EXPECT_FALSE(gui->is_api_supported(p, CLAP_WINDOW_API_WIN32, true));
  EXPECT_FALSE(gui->is_api_supported(p, CLAP_WINDOW_API_X11, false));
  EXPECT_FALSE(gui->create(p, CLAP_WINDOW_API_X11, false));

  HWND child = nullptr;
  ASSERT_NO_FATAL_FAILURE(OpenView(plugin, child));
  wchar_t name[64] = {};
  GetClassNameW(child, name, 64);
  EXPECT_STREQ(name, L"OndrellWndClass");
  int w = 0, h = 0;
  ASSERT_TRUE(ClientSize(child, w, h));
  EXPECT_EQ(w, 664);
  EXPECT_EQ(h, 215);
  uint32_t gw = 0, gh = 0;
  ASSERT_TRUE(gui->get_size(p, &gw, &gh));
  EXPECT_EQ(gw, 664u);
  EXPECT_EQ(gh, 215u);
  const auto step = Step(plugin);
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
  const std::vector<uint32_t> frame = ReferenceFrame(values, 1.f);
  EXPECT_GT(CountDifferences(frame, defaults), 1000u);
  EXPECT_TRUE(Shows(child, frame, step));

  // Hidden, the window goes and the editor stores its display scale; shown again it comes back in the same parent.
  ForgetDisplayScale();
  ASSERT_TRUE(gui->hide(p));
  EXPECT_EQ(StoredDisplayScale(), "1.0000");
  EXPECT_TRUE(Children(host.Parent()).empty());
  ASSERT_TRUE(gui->show(p));
  const HWND shown = OnlyChild(host.Parent());
  ASSERT_NE(shown, nullptr);
  EXPECT_TRUE(Shows(shown, frame, step));

  // The host's scale: the window doubles and the host is asked for the room.
  ASSERT_TRUE(gui->set_scale(p, 2.0));
  ASSERT_TRUE(ClientSize(shown, w, h));
  EXPECT_EQ(w, 1328);
  EXPECT_EQ(h, 430);
  ASSERT_FALSE(th.resizes.empty());
  EXPECT_EQ(th.resizes.back(), (std::pair<uint32_t, uint32_t>(1328, 430)));
  // The ticks keep the host's scale although the display's density is 1.
  PumpMessages(200);
  ASSERT_TRUE(ClientSize(shown, w, h));
  EXPECT_EQ(w, 1328);
  EXPECT_TRUE(Shows(shown, ReferenceFrame(values, 2.f), step));
  gui->destroy(p);
  EXPECT_TRUE(Children(host.Parent()).empty());
}

TEST_F(ClapWindow, AKnobDraggedWithTheMouseReachesTheHostAsAGesture)
{
  TestHost th(GuiHost());
  Instance plugin(th);
  const auto* params = plugin.Ext<clap_plugin_params_t>(CLAP_EXT_PARAMS);
  HWND child = nullptr;
  ASSERT_NO_FATAL_FAILURE(OpenView(plugin, child));
  const IRect knob = ControlRect(kMfLevel1);
  ASSERT_GT(knob.W(), 0.f);
  const double before = plugin.Value(kMfLevel1);
  Drag(child, knob.MW(), knob.MH(), {{knob.MW(), knob.MH() - 20.f}, {knob.MW(), knob.MH() - 20.f}});
  const double after = plugin.Value(kMfLevel1);
  EXPECT_GT(after, before);
  EXPECT_GT(th.flushRequests, 0);

  EventList none;
  OutputEvents out;
  params->flush(plugin.P(), none.List(), out.List());
  ASSERT_GE(out.events.size(), 3u);
  EXPECT_EQ(out.events.front().type, CLAP_EVENT_PARAM_GESTURE_BEGIN);
  EXPECT_EQ(out.events.front().paramId, static_cast<clap_id>(kMfLevel1));
  EXPECT_EQ(out.events.back().type, CLAP_EVENT_PARAM_GESTURE_END);
  EXPECT_EQ(out.events.back().paramId, static_cast<clap_id>(kMfLevel1));
  const OutEvent& lastValue = out.events[out.events.size() - 2];
  EXPECT_EQ(lastValue.type, CLAP_EVENT_PARAM_VALUE);
  EXPECT_DOUBLE_EQ(lastValue.value, after);
  EXPECT_TRUE(Shows(child, ReferenceFrame(CurrentValues(plugin), 1.f), Step(plugin)));
  plugin.Ext<clap_plugin_gui_t>(CLAP_EXT_GUI)->destroy(plugin.P());
}

TEST_F(ClapWindow, AClickOnTheSwitchTurnsOversamplingOnAndOff)
{
  TestHost th(GuiHost());
  Instance plugin(th);
  const auto* params = plugin.Ext<clap_plugin_params_t>(CLAP_EXT_PARAMS);
  HWND child = nullptr;
  ASSERT_NO_FATAL_FAILURE(OpenView(plugin, child));
  const IRect sw = ControlRect(kOversampling);
  ASSERT_GT(sw.W(), 0.f);
  for (double expected : {1.0, 0.0})
  {
    SCOPED_TRACE(expected);
    Drag(child, sw.MW(), sw.MH(), {});
    EXPECT_EQ(plugin.Value(kOversampling), expected);
    EventList none;
    OutputEvents out;
    params->flush(plugin.P(), none.List(), out.List());
    ASSERT_EQ(out.events.size(), 3u);
    EXPECT_EQ(out.events[0].type, CLAP_EVENT_PARAM_GESTURE_BEGIN);
    EXPECT_EQ(out.events[1].type, CLAP_EVENT_PARAM_VALUE);
    EXPECT_EQ(out.events[1].paramId, static_cast<clap_id>(kOversampling));
    EXPECT_EQ(out.events[1].value, expected);
    EXPECT_EQ(out.events[2].type, CLAP_EVENT_PARAM_GESTURE_END);
    EXPECT_TRUE(Shows(child, ReferenceFrame(CurrentValues(plugin), 1.f), Step(plugin)));
  }
  plugin.Ext<clap_plugin_gui_t>(CLAP_EXT_GUI)->destroy(plugin.P());
}

TEST_F(ClapWindow, TheResizeCornerScalesTheWindowAndTheScaleIsStored)
{
  TestHost th(GuiHost());
  Instance plugin(th);
  const auto* gui = plugin.Ext<clap_plugin_gui_t>(CLAP_EXT_GUI);
  HWND child = nullptr;
  ASSERT_NO_FATAL_FAILURE(OpenView(plugin, child));
  // Pressed in the corner and dragged a quarter further from the editor's top-left: scale 1.25, a snap step.
  Drag(child, 650.f, 205.f, {{700.f, 220.f}, {812.5f, 256.25f}});
  int w = 0, h = 0;
  ASSERT_TRUE(ClientSize(child, w, h));
  EXPECT_EQ(w, 830);
  EXPECT_EQ(h, 268);
  ASSERT_FALSE(th.resizes.empty());
  EXPECT_EQ(th.resizes.back(), (std::pair<uint32_t, uint32_t>(830, 268)));
  uint32_t gw = 0, gh = 0;
  ASSERT_TRUE(gui->get_size(plugin.P(), &gw, &gh));
  EXPECT_EQ(gw, 830u);
  EXPECT_EQ(gh, 268u);
  ASSERT_TRUE(gui->hide(plugin.P()));
  EXPECT_EQ(StoredDisplayScale(), "1.2500");
  // The next editor opens at the stored scale.
  gui->destroy(plugin.P());
  ASSERT_NO_FATAL_FAILURE(OpenView(plugin, child));
  ASSERT_TRUE(ClientSize(child, w, h));
  EXPECT_EQ(w, 830);
  EXPECT_EQ(h, 268);
  EXPECT_TRUE(Shows(child, ReferenceFrame(CurrentValues(plugin), 1.f), Step(plugin)));
  gui->destroy(plugin.P());
  ForgetDisplayScale();
}

TEST_F(ClapWindow, AParentThatIsNoWindowIsRefused)
{
  TestHost th(GuiHost());
  Instance plugin(th);
  const auto* gui = plugin.Ext<clap_plugin_gui_t>(CLAP_EXT_GUI);
  const clap_plugin_t* p = plugin.P();
  // The idle timer starts with the first editor and stays; the display's timer comes and goes with the window.
  ASSERT_TRUE(gui->create(p, CLAP_WINDOW_API_WIN32, false));
  gui->destroy(p);
  const size_t timers = th.timers.size();
  HWND gone = CreateWindowExW(0, L"STATIC", L"", WS_CHILD, 0, 0, 10, 10, host.TopLevel(), nullptr, nullptr, nullptr);
  DestroyWindow(gone);
  for (HWND parent : {gone, reinterpret_cast<HWND>(static_cast<uintptr_t>(0x7FFF1234)), static_cast<HWND>(nullptr)})
  {
    SCOPED_TRACE(parent);
    ASSERT_TRUE(gui->create(p, CLAP_WINDOW_API_WIN32, false));
    EXPECT_FALSE(SetParent(plugin, parent));
    EXPECT_FALSE(gui->show(p));
    EXPECT_EQ(th.timers.size(), timers);
    gui->destroy(p);
  }
  EXPECT_TRUE(Children(host.Parent()).empty());
  // The same instance still opens in a real window afterwards.
  HWND child = nullptr;
  ASSERT_NO_FATAL_FAILURE(OpenView(plugin, child));
  EXPECT_TRUE(Shows(child, ReferenceFrame(CurrentValues(plugin), 1.f), Step(plugin)));
  gui->destroy(p);
}

TEST_F(ClapWindow, DroppedFilesAndMessagesWithOddParametersLeaveTheEditorWorking)
{
  TestHost th(GuiHost());
  Instance plugin(th);
  HWND child = nullptr;
  ASSERT_NO_FATAL_FAILURE(OpenView(plugin, child));
  // A file dropped on the window (no control of this editor takes files), then messages no system would send so.
  const std::wstring path = L"C:\\Samples\\dropped.wav";
  HGLOBAL drop = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, 20 + (path.size() + 2) * sizeof(wchar_t));
  auto* list = static_cast<unsigned char*>(GlobalLock(drop));
  const DWORD header[5] = {20, 300, 100, 0, 1};
  std::memcpy(list, header, sizeof(header));
  std::memcpy(list + 20, path.c_str(), path.size() * sizeof(wchar_t));
  GlobalUnlock(drop);
  PostMessageW(child, WM_DROPFILES, reinterpret_cast<WPARAM>(drop), 0);
  const UINT odd[][3] = {{WM_CREATE, 0, 0x1234}, {WM_TIMER, 7, 0}, {0x0401, 0xFFFFFFFF, 0}, {WM_DROPFILES, 0, 0},
                         {WM_CTLCOLOREDIT, 0, 0}, {WM_MOUSEWHEEL, 0x80000000, 0xFFFFFFFF}, {WM_KEYDOWN, 0, 0}};
  for (const auto& m : odd)
    PostMessageW(child, m[0], m[1], static_cast<LPARAM>(m[2]));
  PumpMessages(100);
  ASSERT_TRUE(IsWindow(child));
  EXPECT_EQ(OnlyChild(host.Parent()), child);
  const IRect sw = ControlRect(kOversampling);
  Drag(child, sw.MW(), sw.MH(), {});
  EXPECT_EQ(plugin.Value(kOversampling), 1.0);
  EXPECT_TRUE(Shows(child, ReferenceFrame(CurrentValues(plugin), 1.f), Step(plugin)));
  plugin.Ext<clap_plugin_gui_t>(CLAP_EXT_GUI)->destroy(plugin.P());
}

// Twelve rounds through one plug-in file, counting windows, threads and the GDI objects the file made.
template <typename Open, typename Close>
void TwelveRounds(HMODULE module, HWND parent, const Open& open, const Close& close)
{
  GdiTracker gdi(module);
  ASSERT_GT(gdi.Hooked(), 0);
  const int threads = ProcessThreadCount();
  const int windows = ThreadWindowCount();
  for (int round = 0; round < 12; ++round)
  {
    SCOPED_TRACE(round);
    const HWND child = open();
    ASSERT_NE(child, nullptr);
    PumpMessages(30);
    EXPECT_EQ(OnlyChild(parent), child);
    close();
    EXPECT_FALSE(IsWindow(child));
    EXPECT_TRUE(Children(parent).empty());
    EXPECT_EQ(ThreadWindowCount(), windows);
    EXPECT_EQ(ProcessThreadCount(), threads);
    EXPECT_EQ(GdiTracker::Live(), 0);
  }
  // The counting saw the editor at work: a region for every paint at least.
  EXPECT_GT(GdiTracker::Made(), 12);
}

TEST_F(ClapWindow, TwelveOpenAndCloseRoundsLeaveNothingBehind)
{
  TestHost th(GuiHost());
  Instance plugin(th);
  const auto* gui = plugin.Ext<clap_plugin_gui_t>(CLAP_EXT_GUI);
  const clap_plugin_t* p = plugin.P();
  ASSERT_TRUE(gui->create(p, CLAP_WINDOW_API_WIN32, false));
  gui->destroy(p);
  const size_t timers = th.timers.size();
  TwelveRounds(
    LoadedModule(L"QuorlEQ.clap"), host.Parent(),
    [&] {
      gui->create(p, CLAP_WINDOW_API_WIN32, false);
      SetParent(plugin, host.Parent());
      plugin.Tick();
      return OnlyChild(host.Parent());
    },
    [&] {
      gui->destroy(p);
      EXPECT_EQ(th.timers.size(), timers);
    });
}

// On Windows 8 and later the ticks come from the vertical-blank thread; Wine has no vertical-blank wait, so the
// thread paces itself by sleeping and the editor draws all the same. Runs in the second run of this program, for
// which Wine reports Windows 10.
TEST_F(ClapWindow, WithoutTheVerticalBlankWaitTheThreadsTicksDraw)
{
  if (!std::getenv(kVBlankRunVariable))
    GTEST_SKIP() << "runs in the Windows 10 run of this program";
  const HMODULE gdi32 = GetModuleHandleW(L"gdi32.dll");
  ASSERT_EQ(GetProcAddress(gdi32, "D3DKMTWaitForVerticalBlankEvent"), nullptr);
  TestHost th(GuiHost());
  Instance plugin(th);
  const auto* gui = plugin.Ext<clap_plugin_gui_t>(CLAP_EXT_GUI);
  const auto* params = plugin.Ext<clap_plugin_params_t>(CLAP_EXT_PARAMS);
  // A first editor, so that the threads the system starts on first use are there before counting.
  HWND child = nullptr;
  ASSERT_NO_FATAL_FAILURE(OpenView(plugin, child));
  gui->destroy(plugin.P());
  const int threads = ProcessThreadCount();
  ASSERT_NO_FATAL_FAILURE(OpenView(plugin, child));
  EXPECT_EQ(ProcessThreadCount(), threads + 1);
  EventList events;
  events.AddParam(kGain, 0.9);
  OutputEvents out;
  params->flush(plugin.P(), events.List(), out.List());
  EXPECT_TRUE(Shows(child, ReferenceFrame(CurrentValues(plugin), 1.f), Step(plugin)));
  gui->destroy(plugin.P());
  EXPECT_EQ(ProcessThreadCount(), threads);
}

TEST_F(ClapWindow, BeforeWindows8TheWindowTimerDraws)
{
  if (InFurtherRun())
    GTEST_SKIP() << "runs in the first run of this program";
  TestHost th(GuiHost());
  Instance plugin(th);
  const int threads = ProcessThreadCount();
  HWND child = nullptr;
  ASSERT_NO_FATAL_FAILURE(OpenView(plugin, child));
  EXPECT_EQ(ProcessThreadCount(), threads);
  EXPECT_TRUE(Shows(child, ReferenceFrame(CurrentValues(plugin), 1.f), Step(plugin)));
  plugin.Ext<clap_plugin_gui_t>(CLAP_EXT_GUI)->destroy(plugin.P());
}

// Runs a copy of this program (Wine's per-program settings go by the program's name) with the variable set and only
// the tests of the filter; returns its exit code. Its output goes to this program's.
int RunCopy(const std::wstring& copyName, const char* variable, const std::wstring& filter)
{
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  const std::wstring original(self);
  const std::wstring copy = original.substr(0, original.find_last_of(L"\\/") + 1) + copyName;
  if (!CopyFileW(original.c_str(), copy.c_str(), FALSE))
    return -1;
  SetEnvironmentVariableA(variable, "1");
  std::wstring commandLine = L"\"" + copy + L"\" --gtest_filter=" + filter;
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  const BOOL started =
    CreateProcessW(copy.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process);
  SetEnvironmentVariableA(variable, nullptr);
  DWORD code = static_cast<DWORD>(-1);
  if (started)
  {
    if (WaitForSingleObject(process.hProcess, 120000) == WAIT_OBJECT_0)
      GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
  }
  DeleteFileW(copy.c_str());
  return static_cast<int>(code);
}

bool SetUserValue(const wchar_t* keyPath, const wchar_t* name, DWORD type, const void* data, DWORD size)
{
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, keyPath, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) !=
      ERROR_SUCCESS)
    return false;
  const bool set = RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size) == ERROR_SUCCESS;
  RegCloseKey(key);
  return set;
}

TEST(FurtherRuns, TheVerticalBlankTestsRunUnderWindows10)
{
  if (InFurtherRun())
    GTEST_SKIP() << "this is a further run";
  const std::wstring copyName = L"test_win_plugins_windows10.exe";
  static const wchar_t kVersion[] = L"win10";
  ASSERT_TRUE(SetUserValue((L"Software\\Wine\\AppDefaults\\" + copyName).c_str(), L"Version", REG_SZ, kVersion,
                           sizeof(kVersion)));
  EXPECT_EQ(RunCopy(copyName, kVBlankRunVariable, L"ClapWindow.WithoutTheVerticalBlankWaitTheThreadsTicksDraw"), 0)
    << "the Windows 10 run failed (its output is above)";
}

TEST(FurtherRuns, TheHighResolutionTestsRunAt192Dpi)
{
  if (InFurtherRun())
    GTEST_SKIP() << "this is a further run";
  // The display's resolution, read by each program as it starts; put back afterwards (the window tests have their
  // Wine prefix to themselves, one program at a time).
  const wchar_t* desktop = L"Control Panel\\Desktop";
  DWORD previous = 0;
  DWORD size = sizeof(previous);
  const bool hadValue = RegGetValueW(HKEY_CURRENT_USER, desktop, L"LogPixels", RRF_RT_REG_DWORD, nullptr, &previous,
                                     &size) == ERROR_SUCCESS;
  const DWORD dpi = 192;
  ASSERT_TRUE(SetUserValue(desktop, L"LogPixels", REG_DWORD, &dpi, sizeof(dpi)));
  const int code =
    RunCopy(L"test_win_plugins_192dpi.exe", kHighDpiRunVariable, L"*.AHighResolutionDisplayDoublesTheWindow");
  if (hadValue)
  {
    SetUserValue(desktop, L"LogPixels", REG_DWORD, &previous, sizeof(previous));
  }
  else
  {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, desktop, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS)
    {
      RegDeleteValueW(key, L"LogPixels");
      RegCloseKey(key);
    }
  }
  EXPECT_EQ(code, 0) << "the 192 dpi run failed (its output is above)";
}

TEST_F(ClapWindow, AHighResolutionDisplayDoublesTheWindow)
{
  if (!std::getenv(kHighDpiRunVariable))
    GTEST_SKIP() << "runs in the 192 dpi run of this program";
  TestHost th(GuiHost());
  Instance plugin(th);
  const auto* gui = plugin.Ext<clap_plugin_gui_t>(CLAP_EXT_GUI);
  HWND child = nullptr;
  ASSERT_NO_FATAL_FAILURE(OpenView(plugin, child));
  int w = 0, h = 0;
  ASSERT_TRUE(ClientSize(child, w, h));
  EXPECT_EQ(w, 1328);
  EXPECT_EQ(h, 430);
  uint32_t gw = 0, gh = 0;
  ASSERT_TRUE(gui->get_size(plugin.P(), &gw, &gh));
  EXPECT_EQ(gw, 1328u);
  EXPECT_EQ(gh, 430u);
  ASSERT_FALSE(th.resizes.empty());
  EXPECT_EQ(th.resizes.back(), (std::pair<uint32_t, uint32_t>(1328, 430)));
  EXPECT_TRUE(Shows(child, ReferenceFrame(CurrentValues(plugin), 2.f), Step(plugin)));
  gui->destroy(plugin.P());
}

// ---- VST2 ------------------------------------------------------------------------------------------------------

struct VstLibrary
{
  VstLibrary()
  {
    module = LoadLibraryW(WindowsPath(QUORL_VST2_PLUGIN_PATH).c_str());
    if (module)
    {
      entry = reinterpret_cast<vst::VstEntryProc>(reinterpret_cast<void*>(GetProcAddress(module, "VSTPluginMain")));
      legacy = reinterpret_cast<vst::VstEntryProc>(reinterpret_cast<void*>(GetProcAddress(module, "main")));
    }
  }
  HMODULE module = nullptr;
  vst::VstEntryProc entry = nullptr;
  vst::VstEntryProc legacy = nullptr;
};

VstLibrary& TheVstLibrary()
{
  static VstLibrary library;
  return library;
}

class VstWindow : public ::testing::Test
{
protected:
  void SetUp() override
  {
    ForgetDisplayScale();
    ASSERT_NE(TheVstLibrary().entry, nullptr);
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
  }
  vst::VstIntPtr Dispatch(int32_t opcode, int32_t index = 0, vst::VstIntPtr value = 0, void* ptr = nullptr)
  {
    return effect->dispatcher(effect, opcode, index, value, ptr, 0.f);
  }
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
  std::function<void()> Idle()
  {
    return [this] {
      PumpMessages(10);
      Dispatch(vst::effEditIdle);
    };
  }

  HostWindow host{1400, 500};
  std::unique_ptr<VstTestHost> vhost;
  vst::VstEffect* effect = nullptr;
};

TEST_F(VstWindow, BothEntryPointsAreExported)
{
  EXPECT_NE(TheVstLibrary().legacy, nullptr);
}

TEST_F(VstWindow, OpensInTheHostWindowAndReportsGesturesOfTheKnobAndTheSwitch)
{
  vst::ERect* rect = nullptr;
  ASSERT_EQ(Dispatch(vst::effEditGetRect, 0, 0, &rect), 1);
  EXPECT_EQ(rect->right, 664);
  EXPECT_EQ(rect->bottom, 215);
  ASSERT_EQ(Dispatch(vst::effEditOpen, 0, 0, host.Parent()), 1);
  const HWND child = OnlyChild(host.Parent());
  ASSERT_NE(child, nullptr);
  int w = 0, h = 0;
  ASSERT_TRUE(ClientSize(child, w, h));
  EXPECT_EQ(w, 664);
  EXPECT_EQ(h, 215);
  EXPECT_TRUE(Shows(child, ReferenceFrame(CurrentValues(), 1.f), Idle()));

  vhost->ClearCalls();
  const IRect knob = ControlRect(kMfLevel1);
  const float before = effect->getParameter(effect, kMfLevel1);
  Drag(child, knob.MW(), knob.MH(), {{knob.MW(), knob.MH() - 20.f}});
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
  ASSERT_EQ(ends.size(), 1u);
  EXPECT_EQ(ends[0].index, kMfLevel1);

  vhost->ClearCalls();
  const IRect sw = ControlRect(kOversampling);
  Drag(child, sw.MW(), sw.MH(), {});
  EXPECT_EQ(effect->getParameter(effect, kOversampling), 1.f);
  ASSERT_EQ(CallsOf(vst::audioMasterAutomate).size(), 1u);
  EXPECT_EQ(CallsOf(vst::audioMasterAutomate)[0].index, kOversampling);
  EXPECT_EQ(CallsOf(vst::audioMasterAutomate)[0].opt, 1.f);
  EXPECT_EQ(CallsOf(vst::audioMasterBeginEdit).size(), 1u);
  EXPECT_EQ(CallsOf(vst::audioMasterEndEdit).size(), 1u);
  EXPECT_TRUE(Shows(child, ReferenceFrame(CurrentValues(), 1.f), Idle()));

  ASSERT_EQ(Dispatch(vst::effEditClose), 1);
  EXPECT_EQ(StoredDisplayScale(), "1.0000");
  EXPECT_TRUE(Children(host.Parent()).empty());
  // A closed editor ignores idle calls.
  Dispatch(vst::effEditIdle);
}

TEST_F(VstWindow, TheResizeCornerGrowsTheWindowAndAsksTheHost)
{
  ASSERT_EQ(Dispatch(vst::effEditOpen, 0, 0, host.Parent()), 1);
  const HWND child = OnlyChild(host.Parent());
  ASSERT_NE(child, nullptr);
  Drag(child, 650.f, 205.f, {{812.5f, 256.25f}});
  int w = 0, h = 0;
  ASSERT_TRUE(ClientSize(child, w, h));
  EXPECT_EQ(w, 830);
  EXPECT_EQ(h, 268);
  const auto sizes = CallsOf(vst::audioMasterSizeWindow);
  ASSERT_FALSE(sizes.empty());
  EXPECT_EQ(sizes.back().index, 830);
  EXPECT_EQ(sizes.back().value, 268);
  ASSERT_EQ(Dispatch(vst::effEditClose), 1);
  EXPECT_EQ(StoredDisplayScale(), "1.2500");
  ForgetDisplayScale();
}

TEST_F(VstWindow, AHighResolutionDisplayDoublesTheWindow)
{
  if (!std::getenv(kHighDpiRunVariable))
    GTEST_SKIP() << "runs in the 192 dpi run of this program";
  ASSERT_EQ(Dispatch(vst::effEditOpen, 0, 0, host.Parent()), 1);
  const HWND child = OnlyChild(host.Parent());
  ASSERT_NE(child, nullptr);
  int w = 0, h = 0;
  ASSERT_TRUE(ClientSize(child, w, h));
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
  EXPECT_TRUE(Shows(child, ReferenceFrame(CurrentValues(), 2.f), Idle()));
  ASSERT_EQ(Dispatch(vst::effEditClose), 1);
}

TEST_F(VstWindow, AParentThatIsNoWindowIsRefused)
{
  HWND gone = CreateWindowExW(0, L"STATIC", L"", WS_CHILD, 0, 0, 10, 10, host.TopLevel(), nullptr, nullptr, nullptr);
  DestroyWindow(gone);
  EXPECT_EQ(Dispatch(vst::effEditOpen, 0, 0, gone), 0);
  EXPECT_EQ(Dispatch(vst::effEditOpen, 0, 0, reinterpret_cast<void*>(static_cast<uintptr_t>(0x7FFF1234))), 0);
  EXPECT_EQ(Dispatch(vst::effEditOpen, 0, 0, nullptr), 0);
  Dispatch(vst::effEditIdle);
  EXPECT_EQ(Dispatch(vst::effEditClose), 1);
  EXPECT_TRUE(Children(host.Parent()).empty());
}

TEST_F(VstWindow, TwelveOpenAndCloseRoundsLeaveNothingBehind)
{
  TwelveRounds(
    TheVstLibrary().module, host.Parent(),
    [&] {
      Dispatch(vst::effEditOpen, 0, 0, host.Parent());
      Dispatch(vst::effEditIdle);
      return OnlyChild(host.Parent());
    },
    [&] { EXPECT_EQ(Dispatch(vst::effEditClose), 1); });
}

} // namespace
} // namespace quorl_test
