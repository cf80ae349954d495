// The Windows window host in a Win32 host window (under Wine, on an X server of the tests' own): the child window
// and its class, the frame on the screen, display ticks from the window timer and from the vertical-blank thread
// (with a stand-in for the system's display functions), pointer, wheel and key messages, the cursor, resizing, the
// native text field and pop-up menu, and messages with odd parameters.

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <thread>

#include "graphics/win/IGContextWin.h"
#include "graphics/win/WinVBlankThread.h"
#include "tests/graphics/GraphicsTestSupport.h"
// Windows headers last.
#include "tests/graphics_win/WinTestSupport.h"

#include <windowsx.h>

namespace quorl_test {
namespace {

constexpr IRect kKnobRect{100.f, 50.f, 160.f, 110.f};
constexpr IRect kRecorderRect{300.f, 50.f, 400.f, 150.f};
constexpr IRect kKeyRect{0.f, 0.f, 50.f, 40.f};
constexpr const wchar_t* kFakeKmt = L"quorl-fake-d3dkmt.dll";

// A knob bound to a parameter that shows its value as the amount of red.
class ValueKnob : public IKnobControlBase
{
public:
  using IKnobControlBase::IKnobControlBase;
  void Draw(IGContext& g) override
  {
    g.FillRect(IColor(255, static_cast<int>(std::lround(255.0 * GetValue(0))), 40, 40), mRECT);
  }
};

// Records the keys it gets and handles only K.
class KeyRecorder : public IControl
{
public:
  explicit KeyRecorder(const IRect& r) : IControl(r) {}
  bool OnKeyDown(float, float, const IKeyPress& key) override
  {
    keys.push_back(key.VK);
    text += key.utf8;
    return key.VK == 'K';
  }
  void Draw(IGContext& g) override { g.FillRect(IColor(255, 10, 200, 90), mRECT); }
  std::vector<int> keys;
  std::string text;
};

// The window host with a chosen tick source.
class TestContext : public IGContextWin
{
public:
  TestContext(IGEditorDelegate& dlg, float scale, int tickSource, int fps)
    : IGContextWin(dlg, 664, 215, fps, scale)
  {
    if (tickSource == kTimer)
      SetTickSource(false, L"");
    else if (tickSource == kFakeBlanks)
      SetTickSource(true, kFakeKmt);
    else if (tickSource == kNoFunctions)
      SetTickSource(true, L"kernel32.dll");
  }
  enum TickSource { kSystem = 0, kTimer = 1, kFakeBlanks = 2, kNoFunctions = 3 };
};

class WinDelegate : public TestDelegate
{
public:
  explicit WinDelegate(float drawScale = 1.f, int tickSource = TestContext::kTimer, int fps = 60)
  {
    SetMakeGraphicsFunc([this, drawScale, tickSource, fps] {
      return std::make_unique<TestContext>(*this, drawScale, tickSource, fps);
    });
    SetLayoutFunc([this](IGContext* g) {
      background = Attach<RecordingControl>(*g, g->GetBounds());
      background->fill = IColor(255, 30, 30, 36);
      knob = Attach<ValueKnob>(*g, kKnobRect, kLevel);
      recorder = Attach<RecordingControl>(*g, kRecorderRect);
      recorder->fill = IColor(255, 20, 60, 220);
      keyRecorder = Attach<KeyRecorder>(*g, kKeyRect);
      g->EnableMouseOver(true);
      ++layouts;
    });
  }
  bool ResizeEditorFromEditor(int width, int height, bool needsHostResize) override
  {
    TestDelegate::ResizeEditorFromEditor(width, height, needsHostResize);
    return hostResizes;
  }
  IGContextWin* UI() const { return static_cast<IGContextWin*>(GetUI()); }
  HWND Open(const HostWindow& host) { return static_cast<HWND>(OpenWindow(host.ParentHandle())); }

  bool hostResizes = false;
  int layouts = 0;
  RecordingControl* background = nullptr;
  ValueKnob* knob = nullptr;
  RecordingControl* recorder = nullptr;
  KeyRecorder* keyRecorder = nullptr;
};

LPARAM PointParam(float x, float y, float s = 1.f)
{
  return MAKELPARAM(static_cast<int>(std::lround(x * s)), static_cast<int>(std::lround(y * s)));
}

bool ClassRegistered()
{
  WNDCLASSW info{};
  HMODULE module = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&ClassRegistered), &module);
  return GetClassInfoW(module, IGContextWin::kWindowClassName, &info) != FALSE;
}

// Waits until the window shows exactly the context's frame.
::testing::AssertionResult ShowsBuffer(HWND child, IGContextWin& ui)
{
  std::vector<uint32_t> screen;
  int w = 0, h = 0;
  const bool same = WaitUntil([&] {
    screen = Grab(child, w, h);
    return CountDifferences(screen, ToRgb(ui.GetPixels(), ui.GetPixelWidth(), ui.GetPixelHeight())) == 0;
  });
  if (same)
    return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure()
         << CountDifferences(screen, ToRgb(ui.GetPixels(), ui.GetPixelWidth(), ui.GetPixelHeight()))
         << " pixels differ; window " << w << " x " << h << ", frame " << ui.GetPixelWidth() << " x "
         << ui.GetPixelHeight();
}

// ---- Rules ----------------------------------------------------------------------------------------------

TEST(WinRules, DensityFromDpi)
{
  const struct
  {
    unsigned dpi;
    float density;
  } cases[] = {{96, 1.f},  {120, 1.f}, {144, 2.f}, {168, 2.f}, {192, 2.f},
               {240, 3.f}, {288, 3.f}, {72, 1.f},  {40, 1.f},  {0, 1.f}};
  for (const auto& c : cases)
    EXPECT_EQ(IGContextWin::DensityFromDpi(c.dpi), c.density) << c.dpi;
  EXPECT_EQ(IGContextWin::WindowPixelDensity(nullptr), 1.f);
}

TEST(WinRules, MenuItemTexts)
{
  const struct
  {
    int prefix;
    int index;
    const char* text;
    const char* shown;
  } cases[] = {
    {2, 3, "Load", "04: Load"},
    {1, 0, "First", "1: First"},
    {3, 11, "Twelfth", "012: Twelfth"},
    {0, 5, "A&B", "A&&B"},
    {2, 0, "&&", "01: &&&&"},
    {0, 0, "", ""},
    // Cut to 50 characters (after numbering), whole UTF-8 characters only.
    {2, 0, "abcdefghijklmnopqrstuvwxyzabcdefghijklmnopqrstuvwxyz",
     "01: abcdefghijklmnopqrstuvwxyzabcdefghijklmnopqrst"},
    {1, 0, "\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9"
           "\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9"
           "\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9"
           "\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9"
           "\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9",
     "1: \xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9"
     "\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9"
     "\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9"
     "\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9"
     "\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(IGContextWin::MenuItemText(c.prefix, c.index, c.text), c.shown) << c.text;
}

// ---- The window --------------------------------------------------------------------------------------------

TEST(WinWindow, AChildWindowOfTheEditorsPixelSizeInTheHostsWindow)
{
  const struct
  {
    float drawScale;
    int w, h;
  } cases[] = {{1.f, 664, 215}, {1.5f, 996, 322}, {2.f, 1328, 430}};
  for (const auto& c : cases)
  {
    SCOPED_TRACE(c.drawScale);
    HostWindow host(1400, 500);
    WinDelegate dlg(c.drawScale);
    const HWND child = dlg.Open(host);
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(OnlyChild(host.Parent()), child);
    EXPECT_EQ(dlg.UI()->GetWindow(), child);
    wchar_t name[64] = {};
    GetClassNameW(child, name, 64);
    EXPECT_STREQ(name, L"OndrellWndClass");
    EXPECT_EQ(WindowText(child), L"Ondrell");
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongW(child, GWL_STYLE)),
              static_cast<DWORD>(WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN));
    // Created without extended styles; DragAcceptFiles adds the one for dropped files.
    EXPECT_EQ(GetWindowLongW(child, GWL_EXSTYLE), WS_EX_ACCEPTFILES);
    EXPECT_EQ(static_cast<UINT>(GetClassLongW(child, GCL_STYLE)), static_cast<UINT>(CS_DBLCLKS | CS_OWNDC));
    EXPECT_EQ(GetClassLongPtrW(child, GCLP_HCURSOR), 0);
    EXPECT_EQ(GetWindowLongPtrW(child, GWLP_HINSTANCE), reinterpret_cast<LONG_PTR>(dlg.UI()->ModuleHandle()));
    int w = 0, h = 0;
    ASSERT_TRUE(ClientSize(child, w, h));
    EXPECT_EQ(w, c.w);
    EXPECT_EQ(h, c.h);
    RECT inParent{};
    GetWindowRect(child, &inParent);
    MapWindowPoints(HWND_DESKTOP, host.Parent(), reinterpret_cast<POINT*>(&inParent), 2);
    EXPECT_EQ(inParent.left, 0);
    EXPECT_EQ(inParent.top, 0);
    EXPECT_EQ(dlg.UI()->GetPixelWidth(), c.w);
    EXPECT_EQ(dlg.UI()->GetScreenScale(), 1.f);
    EXPECT_STREQ(dlg.UI()->GetPlatformAPIStr(), "win32");
    EXPECT_EQ(dlg.layouts, 1);
    EXPECT_EQ(dlg.opened, 1);
    EXPECT_EQ(GetFocus(), child);
    dlg.CloseWindow();
    EXPECT_FALSE(IsWindow(child));
    EXPECT_TRUE(Children(host.Parent()).empty());
  }
}

TEST(WinWindow, TheClassIsRegisteredWhileAnEditorWindowIsOpen)
{
  HostWindow host(1400, 500);
  EXPECT_FALSE(ClassRegistered());
  WinDelegate first;
  WinDelegate second;
  ASSERT_NE(first.Open(host), nullptr);
  EXPECT_TRUE(ClassRegistered());
  ASSERT_NE(second.Open(host), nullptr);
  EXPECT_EQ(Children(host.Parent()).size(), 2u);
  first.CloseWindow();
  EXPECT_TRUE(ClassRegistered());
  second.CloseWindow();
  EXPECT_FALSE(ClassRegistered());
}

TEST(WinWindow, OpeningAgainReplacesTheWindowAtItsPlaceAndSize)
{
  HostWindow host(1400, 500);
  WinDelegate dlg;
  const HWND first = dlg.Open(host);
  ASSERT_NE(first, nullptr);
  IGContextWin& ui = *dlg.UI();
  SetWindowPos(first, nullptr, 30, 20, 0, 0, SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOSIZE);
  const HWND second = static_cast<HWND>(ui.OpenWindow(host.ParentHandle()));
  ASSERT_NE(second, nullptr);
  EXPECT_FALSE(IsWindow(first));
  EXPECT_EQ(OnlyChild(host.Parent()), second);
  RECT r{};
  GetWindowRect(second, &r);
  MapWindowPoints(HWND_DESKTOP, host.Parent(), reinterpret_cast<POINT*>(&r), 2);
  EXPECT_EQ(r.left, 30);
  EXPECT_EQ(r.top, 20);
  EXPECT_EQ(r.right - r.left, 664);
  EXPECT_EQ(r.bottom - r.top, 215);
  EXPECT_EQ(dlg.layouts, 2);
  dlg.CloseWindow();
  EXPECT_FALSE(ClassRegistered());
}

TEST(WinWindow, NoWindowInAParentThatIsNotAWindow)
{
  HostWindow host;
  HWND gone = CreateWindowExW(0, L"STATIC", L"", WS_CHILD, 0, 0, 10, 10, host.TopLevel(), nullptr, nullptr, nullptr);
  DestroyWindow(gone);
  const void* parents[] = {nullptr, gone, reinterpret_cast<void*>(static_cast<uintptr_t>(0x7FFF1234))};
  for (const void* parent : parents)
  {
    SCOPED_TRACE(parent);
    WinDelegate dlg;
    EXPECT_EQ(dlg.OpenWindow(const_cast<void*>(parent)), nullptr);
    // The editor was still laid out and told it opened, and holds nothing of the system's.
    EXPECT_EQ(dlg.layouts, 1);
    EXPECT_EQ(dlg.opened, 1);
    ASSERT_NE(dlg.UI(), nullptr);
    EXPECT_EQ(dlg.UI()->GetWindow(), nullptr);
    EXPECT_FALSE(ClassRegistered());
    dlg.CloseWindow();
  }
}

TEST(WinWindow, AParentWindowOfAnotherThreadIsAccepted)
{
  // A host that runs the plug-in's editor thread apart from the thread that made its window.
  HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE quit = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HWND foreign = nullptr;
  std::thread other([&] {
    foreign = CreateWindowExW(0, L"STATIC", L"foreign", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 800, 300, nullptr,
                              nullptr, nullptr, nullptr);
    SetEvent(ready);
    while (MsgWaitForMultipleObjects(1, &quit, FALSE, INFINITE, QS_ALLINPUT) != WAIT_OBJECT_0)
      PumpMessages(0);
    DestroyWindow(foreign);
  });
  WaitForSingleObject(ready, 5000);
  ASSERT_NE(foreign, nullptr);
  {
    WinDelegate dlg;
    const HWND child = static_cast<HWND>(dlg.OpenWindow(foreign));
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(GetParent(child), foreign);
    EXPECT_EQ(GetWindowThreadProcessId(child, nullptr), GetCurrentThreadId());
    EXPECT_TRUE(ShowsBuffer(child, *dlg.UI()));
    dlg.CloseWindow();
    EXPECT_FALSE(IsWindow(child));
  }
  SetEvent(quit);
  other.join();
  CloseHandle(ready);
  CloseHandle(quit);
}

TEST(WinWindow, AParentWindowOfAnotherProgramGetsTheEditor)
{
  // A host that shows its window in one process and runs plug-ins in another.
  const std::wstring title = L"Quorl foreign host " + std::to_wstring(GetCurrentProcessId());
  OtherProgram other(L"window", title);
  ASSERT_TRUE(other.Ready());
  HWND foreign = FindWindowW(nullptr, title.c_str());
  ASSERT_NE(foreign, nullptr);
  DWORD process = 0;
  GetWindowThreadProcessId(foreign, &process);
  ASSERT_NE(process, GetCurrentProcessId());
  {
    WinDelegate dlg;
    const HWND child = static_cast<HWND>(dlg.OpenWindow(foreign));
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(GetParent(child), foreign);
    EXPECT_EQ(OnlyChild(foreign), child);
    // It works as in a window of this program: a press reaches the control.
    SendMessageW(child, WM_LBUTTONDOWN, MK_LBUTTON, PointParam(320.f, 60.f));
    SendMessageW(child, WM_LBUTTONUP, 0, PointParam(320.f, 60.f));
    ASSERT_FALSE(dlg.recorder->events.empty());
    EXPECT_EQ(dlg.recorder->events.front(), "down@320,60");
    dlg.CloseWindow();
    EXPECT_FALSE(IsWindow(child));
    EXPECT_TRUE(Children(foreign).empty());
  }
  EXPECT_EQ(other.Finish(), 0);
}

TEST(WinWindow, AHostThatDestroysItsWindowFirstLeavesNothingRunning)
{
  const int threads = ProcessThreadCount();
  auto host = std::make_unique<HostWindow>();
  WinDelegate dlg(1.f, TestContext::kNoFunctions);
  const HWND child = dlg.Open(*host);
  ASSERT_NE(child, nullptr);
  EXPECT_EQ(ProcessThreadCount(), threads + 1);
  host.reset();
  EXPECT_FALSE(IsWindow(child));
  // The tick thread stopped with the window, and the context knows the window is gone.
  EXPECT_EQ(ProcessThreadCount(), threads);
  EXPECT_EQ(dlg.UI()->GetWindow(), nullptr);
  EXPECT_EQ(dlg.UI()->VBlankThread(), nullptr);
  PumpMessages(50);
  dlg.CloseWindow();
  EXPECT_FALSE(ClassRegistered());
}

// ---- Frames and ticks --------------------------------------------------------------------------------------

TEST(WinTicks, TheWindowShowsTheFrameAndTicksRepaintWhatChanged)
{
  for (int source : {TestContext::kTimer, TestContext::kNoFunctions})
  {
    SCOPED_TRACE(source);
    HostWindow host;
    WinDelegate dlg(1.f, source);
    const HWND child = dlg.Open(host);
    ASSERT_NE(child, nullptr);
    IGContextWin& ui = *dlg.UI();
    EXPECT_EQ(ui.VBlankThread() != nullptr, source == TestContext::kNoFunctions);
    ASSERT_TRUE(ShowsBuffer(child, ui));
    // Wine may expose the window once more after it is first shown.
    PumpMessages(300);
    // The frame holds the controls: the recorder's blue at its centre.
    int w = 0, h = 0;
    const std::vector<uint32_t> screen = Grab(child, w, h);
    EXPECT_EQ(screen[static_cast<size_t>(kRecorderRect.MH()) * static_cast<size_t>(w) +
                     static_cast<size_t>(kRecorderRect.MW())],
              0x143CDCu);

    // A value from the host reaches the knob, and the next tick draws it.
    const int draws = dlg.recorder->draws;
    dlg.SendParamValueToEditor(kLevel, 1.0, true);
    ASSERT_TRUE(WaitUntil([&] {
      const std::vector<uint32_t> now = Grab(child, w, h);
      return now[static_cast<size_t>(kKnobRect.MH()) * static_cast<size_t>(w) + static_cast<size_t>(kKnobRect.MW())] ==
             0xFF2828u;
    }));
    EXPECT_TRUE(ShowsBuffer(child, ui));
    // Only what changed was drawn again.
    EXPECT_EQ(dlg.recorder->draws, draws);
    dlg.CloseWindow();
  }
}

TEST(WinTicks, TheSystemsVersionChoosesTheTickSource)
{
  // Windows 8 and later: the vertical-blank thread; before: the window timer (Wine reports Windows 7 by default).
  HostWindow host;
  WinDelegate dlg(1.f, TestContext::kSystem);
  const HWND child = dlg.Open(host);
  ASSERT_NE(child, nullptr);
  EXPECT_EQ(dlg.UI()->VBlankMode(), dlg.UI()->VBlankThread() != nullptr);
  EXPECT_TRUE(ShowsBuffer(child, *dlg.UI()));
  dlg.CloseWindow();
}

TEST(WinTicks, WithoutTheDisplayFunctionsTheThreadTicksEvery16Ms)
{
  for (const wchar_t* library : {L"kernel32.dll", L"quorl-no-such-library.dll"})
  {
    SCOPED_TRACE(library);
    HostWindow host;
    WinDelegate dlg;
    // Made directly, so the tick counter can be watched without a window.
    WinVBlankThread thread(host.TopLevel(), library);
    ASSERT_TRUE(thread.Started());
    ASSERT_TRUE(WaitUntil([&] { return thread.CurrentPacing() == WinVBlankThread::Pacing::Sleeping; }));
    const uint32_t start = thread.Counter();
    Sleep(800);
    const uint32_t ticks = thread.Counter() - start;
    // 50 at exactly 16 ms; Wine's sleeps and this shared machine make it fewer.
    EXPECT_GE(ticks, 25u);
    EXPECT_LE(ticks, 52u);
  }
}

// The stand-in display functions of quorl-fake-d3dkmt.dll.
struct FakeKmt
{
  FakeKmt()
  {
    module = LoadLibraryW(kFakeKmt);
    configure = reinterpret_cast<void (*)(LONG, LONG, DWORD)>(
      reinterpret_cast<void*>(GetProcAddress(module, "FakeKmtConfigure")));
    blank = reinterpret_cast<void (*)()>(reinterpret_cast<void*>(GetProcAddress(module, "FakeKmtBlank")));
    counts = reinterpret_cast<void (*)(int*, int*, int*, int*)>(
      reinterpret_cast<void*>(GetProcAddress(module, "FakeKmtCounts")));
    reset = reinterpret_cast<void (*)()>(reinterpret_cast<void*>(GetProcAddress(module, "FakeKmtReset")));
    if (Loaded())
    {
      configure(0, 0, INFINITE);
      reset();
    }
  }
  ~FakeKmt()
  {
    if (module)
      FreeLibrary(module);
  }
  bool Loaded() const { return module && configure && blank && counts && reset; }
  // Waits return by themselves from now on, so a thread waiting in one can be stopped at once.
  void Release()
  {
    configure(0, 0, 5);
    blank();
  }
  int Opens() const { return Count(0); }
  int Waits() const { return Count(1); }
  int Closes() const { return Count(2); }
  int BadRecords() const { return Count(3); }
  int Count(int which) const
  {
    int c[4] = {};
    counts(&c[0], &c[1], &c[2], &c[3]);
    return c[which];
  }

  HMODULE module = nullptr;
  void (*configure)(LONG, LONG, DWORD) = nullptr;
  void (*blank)() = nullptr;
  void (*counts)(int*, int*, int*, int*) = nullptr;
  void (*reset)() = nullptr;
};

constexpr LONG kStatusFailure = static_cast<LONG>(0xC0000001);

TEST(WinTicks, EachVerticalBlankPostsOneTick)
{
  FakeKmt kmt;
  ASSERT_TRUE(kmt.Loaded());
  HostWindow host;
  WinVBlankThread thread(host.TopLevel(), kFakeKmt);
  ASSERT_TRUE(WaitUntil([&] { return kmt.Waits() == 1; }));
  EXPECT_EQ(thread.CurrentPacing(), WinVBlankThread::Pacing::VerticalBlank);
  EXPECT_EQ(kmt.Opens(), 1);
  EXPECT_EQ(thread.Counter(), 0u);
  for (uint32_t n = 1; n <= 5; ++n)
  {
    kmt.blank();
    ASSERT_TRUE(WaitUntil([&] { return thread.Counter() == n && kmt.Waits() == static_cast<int>(n) + 1; }));
  }
  // Nothing between blanks.
  Sleep(100);
  EXPECT_EQ(thread.Counter(), 5u);
  EXPECT_EQ(kmt.BadRecords(), 0);
  EXPECT_EQ(kmt.Closes(), 0);
  kmt.Release();
}

TEST(WinTicks, AFailedWaitClosesTheAdapterAndTheNextPassOpensItAgain)
{
  FakeKmt kmt;
  ASSERT_TRUE(kmt.Loaded());
  HostWindow host;
  WinVBlankThread thread(host.TopLevel(), kFakeKmt);
  ASSERT_TRUE(WaitUntil([&] { return kmt.Waits() == 1; }));
  kmt.configure(0, kStatusFailure, INFINITE);
  kmt.blank();
  ASSERT_TRUE(WaitUntil([&] { return kmt.Closes() == 1 && kmt.Opens() == 2; }));
  EXPECT_GE(thread.Counter(), 1u);
  kmt.configure(0, 0, INFINITE);
  kmt.blank();
  ASSERT_TRUE(WaitUntil(
    [&] { return kmt.Waits() >= 3 && thread.CurrentPacing() == WinVBlankThread::Pacing::VerticalBlank; }));
  EXPECT_EQ(kmt.BadRecords(), 0);
  kmt.Release();
}

TEST(WinTicks, AnAdapterThatCannotBeOpenedIsTriedOncePerSecondWhileSleepTicksGoOn)
{
  FakeKmt kmt;
  ASSERT_TRUE(kmt.Loaded());
  kmt.configure(kStatusFailure, 0, INFINITE);
  HostWindow host;
  WinVBlankThread thread(host.TopLevel(), kFakeKmt);
  ASSERT_TRUE(WaitUntil([&] { return kmt.Opens() == 1; }));
  const uint32_t start = thread.Counter();
  Sleep(1500);
  // One more attempt after the second passed, and the 16 ms ticks meanwhile.
  EXPECT_EQ(kmt.Opens(), 2);
  EXPECT_GE(thread.Counter() - start, 40u);
  EXPECT_EQ(thread.CurrentPacing(), WinVBlankThread::Pacing::Sleeping);
  kmt.configure(0, 0, INFINITE);
  ASSERT_TRUE(WaitUntil([&] { return thread.CurrentPacing() == WinVBlankThread::Pacing::VerticalBlank; }, 3000));
  EXPECT_EQ(kmt.Waits(), 1);
  EXPECT_EQ(kmt.BadRecords(), 0);
  kmt.Release();
}

TEST(WinTicks, AThreadStuckInTheSystemIsLeftBehindAndEndsWithoutPosting)
{
  FakeKmt kmt;
  ASSERT_TRUE(kmt.Loaded());
  HostWindow host;
  HWND window = CreateWindowExW(0, L"STATIC", L"", WS_CHILD, 0, 0, 10, 10, host.TopLevel(), nullptr, nullptr, nullptr);
  const int threads = ProcessThreadCount();
  auto thread = std::make_unique<WinVBlankThread>(window, kFakeKmt);
  ASSERT_TRUE(WaitUntil([&] { return kmt.Waits() == 1; }));
  const ULONGLONG before = GetTickCount64();
  thread.reset();
  const ULONGLONG waited = GetTickCount64() - before;
  EXPECT_GE(waited, 9900u);
  EXPECT_LT(waited, 12000u);
  EXPECT_EQ(ProcessThreadCount(), threads + 1);
  // The blank comes at last: the thread sees it was told to stop, posts nothing and ends.
  kmt.blank();
  ASSERT_TRUE(WaitUntil([&] { return ProcessThreadCount() == threads; }));
  MSG msg;
  EXPECT_FALSE(PeekMessageW(&msg, window, WinVBlankThread::kTickMessage, WinVBlankThread::kTickMessage, PM_REMOVE));
  EXPECT_EQ(kmt.Closes(), 1);
}

TEST(WinTicks, OnlyTheNewestTickDraws)
{
  FakeKmt kmt;
  ASSERT_TRUE(kmt.Loaded());
  HostWindow host;
  WinDelegate dlg(1.f, TestContext::kFakeBlanks);
  const HWND child = dlg.Open(host);
  ASSERT_NE(child, nullptr);
  IGContextWin& ui = *dlg.UI();
  ASSERT_NE(ui.VBlankThread(), nullptr);
  ASSERT_TRUE(WaitUntil([&] { return kmt.Waits() == 1; }));
  PumpMessages(50);
  const int draws = dlg.recorder->draws;

  // Two blanks before the window thread looks (no messages are handled meanwhile): the first tick is stale and
  // draws nothing, the second draws.
  dlg.recorder->SetDirty(false);
  const auto counterReaches = [&](uint32_t n) {
    for (int i = 0; i < 500 && ui.VBlankThread()->Counter() != n; ++i)
      Sleep(2);
    return ui.VBlankThread()->Counter() == n;
  };
  kmt.blank();
  ASSERT_TRUE(counterReaches(1));
  kmt.blank();
  ASSERT_TRUE(counterReaches(2));
  ui.OnDisplayTick(1);
  EXPECT_EQ(dlg.recorder->draws, draws);
  ui.OnDisplayTick(2);
  EXPECT_EQ(dlg.recorder->draws, draws + 1);
  // A tick with no new blank behind it has nothing to do.
  dlg.recorder->SetDirty(false);
  ui.OnDisplayTick(7);
  EXPECT_EQ(dlg.recorder->draws, draws + 1);
  kmt.Release();
  const ULONGLONG before = GetTickCount64();
  dlg.CloseWindow();
  // Closing stopped the thread at once and it closed its adapter.
  EXPECT_LT(GetTickCount64() - before, 1000u);
  EXPECT_EQ(kmt.Closes(), 1);
}


// ---- Pointer and wheel -----------------------------------------------------------------------------------

class WinPointer : public ::testing::Test
{
protected:
  void SetUp() override
  {
    child = dlg.Open(host);
    ASSERT_NE(child, nullptr);
    ASSERT_TRUE(ShowsBuffer(child, *dlg.UI()));
  }
  void TearDown() override { dlg.CloseWindow(); }

  // A message as the system queues it, handled by the message loop.
  void Post(UINT msg, WPARAM wParam, float x, float y)
  {
    PostMessageW(child, msg, wParam, PointParam(x, y, dlg.UI()->GetBackingPixelScale()));
    PumpMessages(10);
  }

  HostWindow host{1400, 500};
  WinDelegate dlg;
  HWND child = nullptr;
};

TEST_F(WinPointer, PressDragAndReleaseMoveTheKnobsParameterWhileTheWindowHoldsThePointer)
{
  const float x = kKnobRect.MW();
  const float y = kKnobRect.MH();
  Post(WM_LBUTTONDOWN, MK_LBUTTON, x, y);
  EXPECT_EQ(GetCapture(), child);
  ASSERT_EQ(dlg.CallsOf("begin").size(), 1u);
  EXPECT_EQ(dlg.CallsOf("begin")[0].paramIdx, kLevel);
  // Two movements of 24 pixels up, each a tenth of the range with the knob's gearing; the knob hides the locked
  // pointer, so it is put back where it was pressed after each.
  Post(WM_MOUSEMOVE, MK_LBUTTON, x, y - 24.f);
  Post(WM_MOUSEMOVE, MK_LBUTTON, x, y - 24.f);
  Post(WM_LBUTTONUP, 0, x, y - 24.f);
  EXPECT_EQ(GetCapture(), nullptr);
  const auto sets = dlg.CallsOf("set");
  ASSERT_EQ(sets.size(), 2u);
  EXPECT_NEAR(sets[0].value, 0.6, 1e-9);
  EXPECT_NEAR(sets[1].value, 0.7, 1e-9);
  ASSERT_EQ(dlg.CallsOf("end").size(), 1u);
  EXPECT_NEAR(dlg.GetParam(kLevel)->Value(), 8.0, 1e-9);
  EXPECT_FALSE(dlg.UI()->CursorIsHidden());
  // The pointer is where the press was.
  float px = 0.f, py = 0.f;
  dlg.UI()->GetMouseLocation(px, py);
  EXPECT_NEAR(px, x, 1.f);
  EXPECT_NEAR(py, y, 1.f);
  // The window shows the knob at its new value.
  EXPECT_TRUE(ShowsBuffer(child, *dlg.UI()));
}

TEST_F(WinPointer, EveryButtonsReleaseEndsTheHoldAndReachesTheControl)
{
  const struct
  {
    UINT down, up;
    WPARAM held;
  } buttons[] = {{WM_LBUTTONDOWN, WM_LBUTTONUP, MK_LBUTTON},
                 {WM_MBUTTONDOWN, WM_MBUTTONUP, MK_MBUTTON}};
  for (const auto& b : buttons)
  {
    SCOPED_TRACE(b.down);
    dlg.recorder->events.clear();
    Post(b.down, b.held, 320.f, 60.f);
    EXPECT_EQ(GetCapture(), child);
    Post(b.up, 0, 330.f, 70.f);
    EXPECT_EQ(GetCapture(), nullptr);
    // The release also updates the control under the pointer.
    EXPECT_EQ(dlg.recorder->events, (std::vector<std::string>{"down@320,60", "up@330,70", "over@330,70"}));
  }
  // A right press over a control without a parameter reaches it too.
  dlg.recorder->events.clear();
  Post(WM_RBUTTONDOWN, MK_RBUTTON, 310.f, 55.f);
  Post(WM_RBUTTONUP, 0, 310.f, 55.f);
  EXPECT_EQ(dlg.recorder->events, (std::vector<std::string>{"down@310,55", "up@310,55", "over@310,55"}));
}

TEST_F(WinPointer, DoubleClicksHoverAndLeaving)
{
  Post(WM_LBUTTONDBLCLK, MK_LBUTTON, 350.f, 100.f);
  EXPECT_EQ(dlg.recorder->events, (std::vector<std::string>{"dbl@350,100"}));
  Post(WM_LBUTTONUP, 0, 350.f, 100.f);
  dlg.recorder->events.clear();
  Post(WM_MOUSEMOVE, 0, 360.f, 110.f);
  Post(WM_MOUSELEAVE, 0, 0.f, 0.f);
  ASSERT_GE(dlg.recorder->events.size(), 2u);
  EXPECT_EQ(dlg.recorder->events.front(), "over@360,110");
  EXPECT_EQ(dlg.recorder->events.back(), "out@0,0");
  // Moving with a button held but without the window holding the pointer drags nothing.
  dlg.recorder->events.clear();
  Post(WM_MOUSEMOVE, MK_LBUTTON, 370.f, 120.f);
  EXPECT_TRUE(dlg.recorder->events.empty());
}

TEST_F(WinPointer, PenAndTouchPressesAreIgnoredTheirReleasesAreNot)
{
  // Mouse messages that the system made from a pen carry its signature; the low byte varies.
  SetMessageExtraInfo(static_cast<LPARAM>(0xFF515723));
  SendMessageW(child, WM_LBUTTONDOWN, MK_LBUTTON, PointParam(320.f, 60.f));
  SendMessageW(child, WM_MOUSEMOVE, 0, PointParam(330.f, 60.f));
  EXPECT_EQ(GetCapture(), nullptr);
  EXPECT_TRUE(dlg.recorder->events.empty());
  // While the input comes from a pen the pointer is not moved.
  POINT before{};
  GetCursorPos(&before);
  dlg.UI()->MoveMouseCursor(5.f, 5.f);
  POINT after{};
  GetCursorPos(&after);
  EXPECT_EQ(after.x, before.x);
  EXPECT_EQ(after.y, before.y);
  SetMessageExtraInfo(0);
  SendMessageW(child, WM_LBUTTONDOWN, MK_LBUTTON, PointParam(320.f, 60.f));
  SendMessageW(child, WM_LBUTTONUP, 0, PointParam(320.f, 60.f));
  EXPECT_EQ(dlg.recorder->events, (std::vector<std::string>{"down@320,60", "up@320,60", "over@320,60"}));
}

TEST_F(WinPointer, WheelNotchesAtThePointersPlace)
{
  const struct
  {
    short delta;
    float notches;
  } cases[] = {{120, 1.f}, {-240, -2.f}, {60, 0.f}, {360, 3.f}};
  for (const auto& c : cases)
  {
    SCOPED_TRACE(c.delta);
    dlg.recorder->events.clear();
    dlg.recorder->lastWheel = 99.f;
    POINT p{340, 90};
    ClientToScreen(child, &p);
    SendMessageW(child, WM_MOUSEWHEEL, MAKEWPARAM(0, c.delta), MAKELPARAM(p.x, p.y));
    EXPECT_EQ(dlg.recorder->events, (std::vector<std::string>{"wheel@340,90"}));
    EXPECT_EQ(dlg.recorder->lastWheel, c.notches);
  }
  // The pointer position is left in the window's points.
  float x = 0.f, y = 0.f;
  SetCursorPos(-1000, -1000);
  dlg.UI()->HideMouseCursor(true, false);
  dlg.UI()->HideMouseCursor(false, false);
  dlg.UI()->GetMouseLocation(x, y);
  EXPECT_LT(x, 1000.f);
}

// ---- Keys and cursor ---------------------------------------------------------------------------------------

LPARAM KeyParam(UINT vk, bool up)
{
  const UINT scan = MapVirtualKeyW(vk, MAPVK_VK_TO_VSC);
  return static_cast<LPARAM>(1 | (scan << 16) | (up ? (3u << 30) : 0u));
}

TEST_F(WinPointer, KeysGoToTheControlUnderThePointerAndOthersToTheHostsWindow)
{
  POINT over{25, 20};
  ClientToScreen(child, &over);
  ASSERT_TRUE(SetCursorPos(over.x, over.y));
  SendMessageW(child, WM_KEYDOWN, 'K', KeyParam('K', false));
  EXPECT_EQ(dlg.keyRecorder->keys, std::vector<int>{'K'});
  EXPECT_EQ(dlg.keyRecorder->text, "k");
  EXPECT_TRUE(host.keys.empty());

  // Not handled: the host's top-level window gets the very same message.
  SendMessageW(child, WM_KEYDOWN, 'J', KeyParam('J', false));
  SendMessageW(child, WM_KEYUP, 'K', KeyParam('K', true));
  ASSERT_EQ(host.keys.size(), 2u);
  EXPECT_EQ(host.keys[0].msg, static_cast<UINT>(WM_KEYDOWN));
  EXPECT_EQ(host.keys[0].wParam, static_cast<WPARAM>('J'));
  EXPECT_EQ(host.keys[0].lParam, KeyParam('J', false));
  EXPECT_EQ(host.keys[1].msg, static_cast<UINT>(WM_KEYUP));
  EXPECT_EQ(host.keys[1].lParam, KeyParam('K', true));

  // A host that passes keys back down gets each one once.
  host.keys.clear();
  host.passKeysTo = child;
  SendMessageW(child, WM_KEYDOWN, VK_F5, KeyParam(VK_F5, false));
  EXPECT_EQ(host.keys.size(), 1u);
  host.passKeysTo = nullptr;

  // Away from every control but the background, nothing handles the key.
  POINT away{600, 200};
  ClientToScreen(child, &away);
  SetCursorPos(away.x, away.y);
  host.keys.clear();
  SendMessageW(child, WM_KEYDOWN, 'K', KeyParam('K', false));
  EXPECT_EQ(host.keys.size(), 1u);
}

TEST_F(WinPointer, CursorShapesByType)
{
  const struct
  {
    int type;
    WORD id;
  } cases[] = {{0, 32512},  {1, 32513},  {2, 32514},  {3, 32515},  {4, 32516},  {5, 32642},
               {6, 32643},  {7, 32644},  {8, 32645},  {9, 32646},  {10, 32648}, {11, 32649},
               {12, 32650}, {13, 32651}, {99, 32512}, {-1, 32512}};
  CursorType previous = dlg.UI()->SetMouseCursor(CursorType::Arrow);
  for (const auto& c : cases)
  {
    SCOPED_TRACE(c.type);
    const CursorType type = static_cast<CursorType>(c.type);
    EXPECT_EQ(dlg.UI()->SetMouseCursor(type), previous);
    EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, MAKEINTRESOURCEW(c.id)));
    EXPECT_EQ(dlg.UI()->GetCursorType(), type);
    previous = type;
  }
}

// The thread's cursor display count, unchanged.
int CursorCount()
{
  ShowCursor(FALSE);
  return ShowCursor(TRUE);
}

TEST_F(WinPointer, AHiddenLockedPointerComesBackWhereItWasHidden)
{
  const int count = CursorCount();
  for (bool lock : {true, false})
  {
    SCOPED_TRACE(lock);
    POINT at{200, 100};
    ClientToScreen(child, &at);
    SetCursorPos(at.x, at.y);
    Post(WM_MOUSEMOVE, 0, 200.f, 100.f);
    dlg.UI()->HideMouseCursor(true, lock);
    EXPECT_TRUE(dlg.UI()->CursorIsHidden());
    EXPECT_EQ(CursorCount(), count - 1);
    // Hiding twice changes nothing.
    dlg.UI()->HideMouseCursor(true, lock);
    EXPECT_EQ(CursorCount(), count - 1);
    SetCursorPos(at.x + 150, at.y + 40);
    dlg.UI()->HideMouseCursor(false);
    EXPECT_FALSE(dlg.UI()->CursorIsHidden());
    EXPECT_EQ(CursorCount(), count);
    POINT now{};
    GetCursorPos(&now);
    EXPECT_EQ(now.x, lock ? at.x : at.x + 150);
    EXPECT_EQ(now.y, lock ? at.y : at.y + 40);
  }
}

TEST(WinCursor, MovingThePointerRoundsToWholePixelsAtTheScale)
{
  HostWindow host(1400, 500);
  WinDelegate dlg(1.5f);
  const HWND child = dlg.Open(host);
  ASSERT_NE(child, nullptr);
  dlg.UI()->MoveMouseCursor(10.3f, 20.5f);
  POINT p{};
  GetCursorPos(&p);
  ScreenToClient(child, &p);
  // 15.45 and 30.75 pixels.
  EXPECT_EQ(p.x, 15);
  EXPECT_EQ(p.y, 31);
  float x = 0.f, y = 0.f;
  dlg.UI()->GetMouseLocation(x, y);
  EXPECT_FLOAT_EQ(x, 10.f);
  EXPECT_FLOAT_EQ(y, 31.f / 1.5f);
  dlg.CloseWindow();
}

// ---- Resizing ----------------------------------------------------------------------------------------------

TEST(WinResize, TheWindowFollowsTheEditorAndTheHostsWindowsGrowWhenTheHostDidNot)
{
  for (bool hostResizes : {false, true})
  {
    SCOPED_TRACE(hostResizes);
    HostWindow host(800, 300, true);
    WinDelegate dlg;
    dlg.hostResizes = hostResizes;
    const HWND child = dlg.Open(host);
    ASSERT_NE(child, nullptr);
    RECT panel{};
    RECT top{};
    GetWindowRect(host.Panel(), &panel);
    GetWindowRect(host.TopLevel(), &top);
    dlg.UI()->Resize(664, 215, 2.f);
    int w = 0, h = 0;
    ASSERT_TRUE(ClientSize(child, w, h));
    EXPECT_EQ(w, 1328);
    EXPECT_EQ(h, 430);
    ASSERT_FALSE(dlg.resizes.empty());
    EXPECT_EQ(dlg.resizes.back().w, 1328);
    EXPECT_EQ(dlg.resizes.back().h, 430);
    RECT panelAfter{};
    RECT topAfter{};
    GetWindowRect(host.Panel(), &panelAfter);
    GetWindowRect(host.TopLevel(), &topAfter);
    const int grown = hostResizes ? 0 : 664;
    EXPECT_EQ(panelAfter.right - panelAfter.left, panel.right - panel.left + grown);
    EXPECT_EQ(panelAfter.bottom - panelAfter.top, panel.bottom - panel.top + (hostResizes ? 0 : 215));
    EXPECT_EQ(topAfter.right - topAfter.left, top.right - top.left + grown);
    EXPECT_EQ(topAfter.bottom - topAfter.top, top.bottom - top.top + (hostResizes ? 0 : 215));
    // (A host that says it resized keeps its windows; the editor then reaches beyond them and is cut off.)
    if (!hostResizes)
    {
      EXPECT_TRUE(ShowsBuffer(child, *dlg.UI()));
    }
    dlg.CloseWindow();
  }
}

TEST(WinResize, AHostsTopLevelWindowGrowsButNothingAboveIt)
{
  HostWindow host(800, 300);
  WinDelegate dlg;
  const HWND child = dlg.Open(host);
  ASSERT_NE(child, nullptr);
  RECT top{};
  GetWindowRect(host.TopLevel(), &top);
  dlg.UI()->Resize(664, 215, 1.5f);
  RECT after{};
  GetWindowRect(host.TopLevel(), &after);
  EXPECT_EQ(after.right - after.left, top.right - top.left + 996 - 664);
  EXPECT_EQ(after.bottom - after.top, top.bottom - top.top + 322 - 215);
  dlg.CloseWindow();
}


// ---- Text field --------------------------------------------------------------------------------------------

constexpr IRect kFieldRect{450.f, 50.f, 550.f, 80.f};

class WinTextEntry : public WinPointer
{
protected:
  // A control bound to the parameter (or to none) whose value prompt the test opens.
  RecordingControl* Prompted(int paramIdx)
  {
    auto* control = Attach<RecordingControl>(*dlg.UI(), kFieldRect, paramIdx);
    control->DisablePrompt(false);
    return control;
  }
  // The value prompt of a Double or Int parameter; a text entry without one.
  HWND OpenField(int paramIdx)
  {
    RecordingControl* control = Prompted(paramIdx);
    if (paramIdx >= 0)
      dlg.UI()->PromptUserInput(*control, kFieldRect, 0);
    else
      dlg.UI()->CreateTextEntry(*control, control->GetText(), kFieldRect, "", kNoValIdx);
    return dlg.UI()->GetTextField();
  }
  // A text entry for the control's value whatever its parameter (a switch's prompt would be a menu).
  HWND OpenEntry(int paramIdx)
  {
    RecordingControl* control = Prompted(paramIdx);
    dlg.UI()->CreateTextEntry(*control, control->GetText(), kFieldRect, "", paramIdx >= 0 ? 0 : kNoValIdx);
    return dlg.UI()->GetTextField();
  }
  void Type(HWND field, const wchar_t* text)
  {
    for (const wchar_t* c = text; *c; ++c)
      SendMessageW(field, WM_CHAR, *c, 1);
  }
  bool Closes(HWND field)
  {
    return WaitUntil([&] { return !IsWindow(field) && dlg.UI()->GetTextField() == nullptr; });
  }
};

TEST_F(WinTextEntry, AFieldOverTheControlTakesANumberAndEnterCommitsIt)
{
  const HWND field = OpenField(kLevel);
  ASSERT_NE(field, nullptr);
  wchar_t name[16] = {};
  GetClassNameW(field, name, 16);
  EXPECT_EQ(std::wstring(name), L"Edit");
  EXPECT_EQ(GetParent(field), child);
  EXPECT_EQ(GetDlgCtrlID(field), 99);
  EXPECT_EQ(static_cast<DWORD>(GetWindowLongW(field, GWL_STYLE)) & 0x56000085u, 0x56000085u);
  RECT r{};
  GetWindowRect(field, &r);
  MapWindowPoints(HWND_DESKTOP, child, reinterpret_cast<POINT*>(&r), 2);
  EXPECT_EQ(r.left, 450);
  EXPECT_EQ(r.top, 50);
  EXPECT_EQ(r.right - r.left, 101);
  EXPECT_EQ(r.bottom - r.top, 31);
  // The value's text, all of it selected, in a font of the style's size.
  const std::wstring initial = WindowText(field);
  EXPECT_EQ(initial, L"0.0");
  DWORD start = 99, end = 99;
  SendMessageW(field, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  EXPECT_EQ(start, 0u);
  EXPECT_EQ(end, initial.size());
  const auto font = reinterpret_cast<HFONT>(SendMessageW(field, WM_GETFONT, 0, 0));
  ASSERT_NE(font, nullptr);
  LOGFONTW description{};
  ASSERT_NE(GetObjectW(font, sizeof(description), &description), 0);
  EXPECT_EQ(description.lfHeight, 14);
  EXPECT_EQ(dlg.UI()->GetTextEntryState(), IGContextWin::kTextIdle);
  EXPECT_EQ(GetFocus(), field);

  // Typed key by key; the letter is dropped.
  Type(field, L"-12.5x");
  EXPECT_EQ(WindowText(field), L"-12.5");
  SendMessageW(field, WM_KEYDOWN, VK_RETURN, KeyParam(VK_RETURN, false));
  EXPECT_EQ(dlg.UI()->GetTextEntryState(), IGContextWin::kTextCommit);
  ASSERT_TRUE(Closes(field));
  EXPECT_EQ(GetObjectType(font), 0u);
  EXPECT_NEAR(dlg.GetParam(kLevel)->Value(), -12.5, 1e-9);
  ASSERT_FALSE(dlg.CallsOf("set").empty());
  EXPECT_NEAR(dlg.CallsOf("set").back().value, 0.1875, 1e-9);
  EXPECT_EQ(dlg.UI()->GetControlInTextEntry(), nullptr);
  EXPECT_EQ(dlg.UI()->GetTextEntryState(), IGContextWin::kTextIdle);
}

TEST_F(WinTextEntry, TheParametersKindDecidesWhichCharactersPass)
{
  const struct
  {
    int paramIdx;
    const wchar_t* typed;
    const wchar_t* kept;
  } cases[] = {
    {kLevel, L"1a.5e", L"1.5"},
    {kSteps, L"3.x-+", L"3-+"},
    {kSwitch, L"1a.", L"1"},
    // Backspace always works.
    {kSteps, L"34\b", L"3"},
    // A text without a parameter keeps everything but line breaks and Escape.
    {-1, L"ab.1\r\n\x1B", L"ab.1"},
  };
  for (const auto& c : cases)
  {
    SCOPED_TRACE(testing::Message() << c.paramIdx);
    const HWND field = OpenEntry(c.paramIdx);
    ASSERT_NE(field, nullptr);
    Type(field, c.typed);
    EXPECT_EQ(WindowText(field), c.kept);
    dlg.UI()->CancelTextEntry();
    ASSERT_TRUE(Closes(field));
  }
}

TEST_F(WinTextEntry, WhatEndsTheFieldCommitsOrCancelsIt)
{
  enum Ending
  {
    kEnter,
    kEscape,
    kPressOnEditor,
    kPressWhileFocused,
    kRightPressWhileFocused,
    kWheel,
    kFocusElsewhere,
    kAccelerator,
    kCancelCall
  };
  const struct
  {
    Ending ending;
    bool commits;
  } cases[] = {{kEnter, true},          {kEscape, false},     {kPressOnEditor, true},
               {kPressWhileFocused, false}, {kRightPressWhileFocused, false}, {kWheel, false},
               {kFocusElsewhere, true}, {kAccelerator, true}, {kCancelCall, false}};
  for (const auto& c : cases)
  {
    SCOPED_TRACE(static_cast<int>(c.ending));
    dlg.GetParam(kLevel)->SetValue(0.0);
    dlg.calls.clear();
    const HWND field = OpenField(kLevel);
    ASSERT_NE(field, nullptr);
    Type(field, L"5");
    switch (c.ending)
    {
      case kEnter: SendMessageW(field, WM_KEYDOWN, VK_RETURN, KeyParam(VK_RETURN, false)); break;
      case kEscape: SendMessageW(field, WM_KEYDOWN, VK_ESCAPE, KeyParam(VK_ESCAPE, false)); break;
      case kPressOnEditor: Post(WM_LBUTTONDOWN, MK_LBUTTON, 320.f, 60.f); break;
      case kPressWhileFocused:
      case kRightPressWhileFocused:
        SendMessageW(field, WM_SETFOCUS, 0, 0);
        EXPECT_EQ(dlg.UI()->GetTextEntryState(), IGContextWin::kTextFocused);
        Post(c.ending == kPressWhileFocused ? WM_LBUTTONDOWN : WM_RBUTTONDOWN, 0, 320.f, 60.f);
        // The press did not reach the editor.
        EXPECT_TRUE(dlg.recorder->events.empty());
        break;
      case kWheel: SendMessageW(child, WM_MOUSEWHEEL, MAKEWPARAM(0, 120), 0); break;
      case kFocusElsewhere: SetFocus(host.TopLevel()); break;
      case kAccelerator: SendMessageW(field, WM_COMMAND, MAKEWPARAM(0, 1), 0); break;
      case kCancelCall: dlg.UI()->CancelTextEntry(); break;
    }
    ASSERT_TRUE(Closes(field));
    EXPECT_EQ(dlg.GetParam(kLevel)->Value(), c.commits ? 5.0 : 0.0);
    EXPECT_EQ(dlg.CallsOf("set").size(), c.commits ? 1u : 0u);
    EXPECT_EQ(dlg.UI()->GetControlInTextEntry(), nullptr);
    dlg.recorder->events.clear();
  }
}

TEST_F(WinTextEntry, TheFieldsFontIsTheStylesFontAtThePixelSize)
{
  IGContextWin& ui = *dlg.UI();
  ASSERT_TRUE(ui.LoadFont("Roboto-Regular", "Roboto-Regular.ttf"));
  LOGFONTW system{};
  GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof(system), &system);
  const struct
  {
    const char* font;
    float size;
    const wchar_t* face;
  } cases[] = {{"Roboto-Regular", 14.f, L"Roboto"}, {"Roboto-Regular", 20.f, L"Roboto"}, {"NoSuchFont", 12.f, nullptr}};
  for (const auto& c : cases)
  {
    SCOPED_TRACE(c.font);
    RecordingControl* control = Prompted(kNoParameter);
    IText style;
    style.SetFont(c.font);
    style.size = c.size;
    ui.CreateTextEntry(*control, style, kFieldRect, "x", kNoValIdx);
    const HWND field = ui.GetTextField();
    ASSERT_NE(field, nullptr);
    LOGFONTW description{};
    ASSERT_NE(GetObjectW(reinterpret_cast<HFONT>(SendMessageW(field, WM_GETFONT, 0, 0)), sizeof(description),
                         &description),
              0);
    // A font without a native one gets the system's font for dialogs.
    EXPECT_STREQ(description.lfFaceName, c.face ? c.face : system.lfFaceName);
    EXPECT_EQ(description.lfHeight, static_cast<LONG>(c.size));
    ui.CancelTextEntry();
    ASSERT_TRUE(Closes(field));
  }
}

TEST_F(WinTextEntry, ACommittedTextIsAtMost255Characters)
{
  RecordingControl* control = Prompted(kNoParameter);
  control->SetTextEntryLength(1000);
  dlg.UI()->CreateTextEntry(*control, control->GetText(), kFieldRect, "", kNoValIdx);
  const HWND field = dlg.UI()->GetTextField();
  ASSERT_NE(field, nullptr);
  const std::wstring text(300, L'w');
  SendMessageW(field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
  SendMessageW(field, WM_KEYDOWN, VK_RETURN, KeyParam(VK_RETURN, false));
  ASSERT_TRUE(Closes(field));
  EXPECT_EQ(control->completedText, std::string(255, 'w'));
}

TEST_F(WinTextEntry, TheFieldShowsTheStylesEntryColoursAlsoWhileFocused)
{
  RecordingControl* control = Prompted(kNoParameter);
  IText style;
  style.textEntryBGColor = IColor(255, 10, 20, 30);
  style.textEntryFGColor = IColor(128, 200, 210, 220);
  dlg.UI()->CreateTextEntry(*control, style, kFieldRect, "x", kNoValIdx);
  const HWND field = dlg.UI()->GetTextField();
  ASSERT_NE(field, nullptr);
  HDC dc = CreateCompatibleDC(nullptr);
  for (bool focused : {false, true})
  {
    SCOPED_TRACE(focused);
    if (focused)
      SendMessageW(field, WM_SETFOCUS, 0, 0);
    SetBkColor(dc, RGB(1, 1, 1));
    const LRESULT brush =
      SendMessageW(child, WM_CTLCOLOREDIT, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(field));
    EXPECT_EQ(brush, reinterpret_cast<LRESULT>(GetStockObject(DC_BRUSH)));
    EXPECT_EQ(GetBkColor(dc), RGB(10, 20, 30));
    EXPECT_EQ(GetTextColor(dc), RGB(200, 210, 220));
    EXPECT_EQ(GetDCBrushColor(dc), RGB(10, 20, 30));
    EXPECT_EQ(GetBkMode(dc), OPAQUE);
  }
  // Not the field: the system's answer.
  EXPECT_NE(SendMessageW(child, WM_CTLCOLOREDIT, reinterpret_cast<WPARAM>(dc), 0),
            reinterpret_cast<LRESULT>(GetStockObject(DC_BRUSH)));
  DeleteDC(dc);
  dlg.UI()->CancelTextEntry();
  ASSERT_TRUE(Closes(field));
}

TEST(WinTextEntryWithoutWindow, EndsAtOnce)
{
  WinDelegate dlg;
  ASSERT_EQ(dlg.OpenWindow(nullptr), nullptr);
  IGContextWin& ui = *dlg.UI();
  auto* control = Attach<RecordingControl>(ui, kFieldRect, kLevel);
  ui.PromptUserInput(*control, kFieldRect, 0);
  EXPECT_EQ(ui.GetTextField(), nullptr);
  EXPECT_EQ(ui.GetControlInTextEntry(), nullptr);
  dlg.CloseWindow();
}

// ---- Pop-up menu -------------------------------------------------------------------------------------------

struct NativeItem
{
  std::wstring text;
  UINT state;
  HMENU submenu;
};

std::vector<NativeItem> ReadMenu(HMENU menu)
{
  std::vector<NativeItem> items;
  for (int i = 0; i < GetMenuItemCount(menu); ++i)
  {
    wchar_t text[128] = {};
    GetMenuStringW(menu, static_cast<UINT>(i), text, 128, MF_BYPOSITION);
    items.push_back({text, GetMenuState(menu, static_cast<UINT>(i), MF_BYPOSITION), GetSubMenu(menu, i)});
  }
  return items;
}

// The open menu's window, once its menu is up.
HWND OpenMenuWindow()
{
  HWND window = FindThreadWindow(L"#32768");
  return window && SendMessageW(window, MN_GETHMENU, 0, 0) ? window : nullptr;
}

void PressKeys(HWND window, std::initializer_list<WPARAM> keys)
{
  for (const WPARAM key : keys)
    PostMessageW(window, WM_KEYDOWN, key, 0);
}

TEST_F(WinTextEntry, AValueMenuShowsTheChoicesAtTheControlAndTheChosenOneSetsTheParameter)
{
  RecordingControl* control = Prompted(kHPF);
  std::vector<NativeItem> items;
  RECT at{};
  ModalHelper helper([&] {
    HWND menu = OpenMenuWindow();
    if (!menu)
      return false;
    items = ReadMenu(reinterpret_cast<HMENU>(SendMessageW(menu, MN_GETHMENU, 0, 0)));
    GetWindowRect(menu, &at);
    PressKeys(menu, {VK_DOWN, VK_DOWN, VK_DOWN, VK_DOWN, VK_RETURN});
    return true;
  });
  dlg.UI()->PromptUserInput(*control, kFieldRect, 0);
  ASSERT_TRUE(helper.Done());
  ASSERT_EQ(items.size(), 6u);
  const wchar_t* texts[] = {L"Off", L"30 Hz", L"50 Hz", L"80 Hz", L"160 Hz", L"300 Hz"};
  for (size_t i = 0; i < items.size(); ++i)
  {
    EXPECT_EQ(items[i].text, texts[i]);
    EXPECT_EQ((items[i].state & MF_CHECKED) != 0, i == 0) << i;
  }
  // At the rectangle's lower-left corner.
  POINT corner{450, 80};
  ClientToScreen(child, &corner);
  EXPECT_EQ(at.left, corner.x);
  EXPECT_EQ(at.top, corner.y);
  EXPECT_EQ(dlg.GetParam(kHPF)->Value(), 3.0);
  // The press that would open such a menu began an edit; the menu's end closes it.
  EXPECT_FALSE(dlg.CallsOf("end").empty());
}

TEST_F(WinTextEntry, NothingChosenLeavesTheValueAndTheWholeWindowIsRedrawn)
{
  RecordingControl* control = Prompted(kHPF);
  ModalHelper helper([&] {
    HWND menu = OpenMenuWindow();
    if (menu)
      PressKeys(menu, {VK_ESCAPE});
    return menu != nullptr;
  });
  ValidateRect(child, nullptr);
  dlg.UI()->PromptUserInput(*control, kFieldRect, 0);
  ASSERT_TRUE(helper.Done());
  EXPECT_EQ(dlg.GetParam(kHPF)->Value(), 0.0);
  EXPECT_TRUE(dlg.CallsOf("set").empty());
  RECT update{};
  ASSERT_TRUE(GetUpdateRect(child, &update, FALSE));
  EXPECT_EQ(update.left, 0);
  EXPECT_EQ(update.top, 0);
  EXPECT_EQ(update.right, 664);
  EXPECT_EQ(update.bottom, 215);
}

TEST_F(WinTextEntry, TheMenuModelBecomesTheNativeMenu)
{
  IPopupMenu menu;
  menu.SetPrefix(2);
  menu.SetColumnLength(3);
  menu.AddItem("Load");
  menu.AddSeparator();
  menu.AddItem("Grey", IPopupMenu::kGreyed);
  menu.AddItem("Off", IPopupMenu::kDisabled);
  menu.AddItem("Tick", IPopupMenu::kChecked);
  auto more = std::make_unique<IPopupMenu>();
  more->AddItem("Inner A");
  more->AddItem("Inner B");
  menu.AddSubmenu("More", std::move(more));
  menu.AddItem("A&B");
  std::vector<NativeItem> items;
  std::vector<NativeItem> inner;
  ModalHelper helper([&] {
    HWND window = OpenMenuWindow();
    if (!window)
      return false;
    items = ReadMenu(reinterpret_cast<HMENU>(SendMessageW(window, MN_GETHMENU, 0, 0)));
    if (items.size() > 5 && items[5].submenu)
      inner = ReadMenu(items[5].submenu);
    PressKeys(window, {VK_ESCAPE});
    return true;
  });
  bool isAsync = true;
  EXPECT_EQ(dlg.UI()->CreatePlatformPopupMenu(menu, kFieldRect, isAsync), nullptr);
  EXPECT_FALSE(isAsync);
  ASSERT_TRUE(helper.Done());
  ASSERT_EQ(items.size(), 7u);
  EXPECT_EQ(items[0].text, L"01: Load");
  EXPECT_EQ(items[0].state & (MF_GRAYED | MF_DISABLED | MF_CHECKED | MF_MENUBARBREAK), 0u);
  EXPECT_TRUE(items[1].state & MF_SEPARATOR);
  EXPECT_EQ(items[2].text, L"03: Grey");
  EXPECT_TRUE(items[2].state & MF_GRAYED);
  EXPECT_EQ(items[3].text, L"04: Off");
  EXPECT_TRUE(items[3].state & MF_DISABLED);
  // Every third item starts a new column.
  EXPECT_TRUE(items[3].state & MF_MENUBARBREAK);
  EXPECT_TRUE(items[4].state & MF_CHECKED);
  EXPECT_FALSE(items[4].state & MF_MENUBARBREAK);
  EXPECT_EQ(items[5].text, L"06: More");
  ASSERT_NE(items[5].submenu, nullptr);
  EXPECT_EQ(items[6].text, L"07: A&&B");
  EXPECT_TRUE(items[6].state & MF_MENUBARBREAK);
  ASSERT_EQ(inner.size(), 2u);
  EXPECT_EQ(inner[0].text, L"Inner A");
  EXPECT_EQ(inner[1].text, L"Inner B");
}

TEST_F(WinTextEntry, AChoiceInASubmenuIsFoundInThatMenu)
{
  IPopupMenu menu;
  menu.AddItem("First");
  auto more = std::make_unique<IPopupMenu>();
  more->AddItem("X");
  more->AddItem("Y");
  IPopupMenu* inner = menu.AddSubmenu("More", std::move(more))->GetSubmenu();
  menu.AddItem("Last");
  ModalHelper helper([&] {
    HWND window = OpenMenuWindow();
    if (window)
      PressKeys(window, {VK_DOWN, VK_DOWN, VK_RIGHT, VK_DOWN, VK_RETURN});
    return window != nullptr;
  });
  bool isAsync = true;
  IPopupMenu* chosen = dlg.UI()->CreatePlatformPopupMenu(menu, kFieldRect, isAsync);
  ASSERT_TRUE(helper.Done());
  EXPECT_EQ(chosen, inner);
  EXPECT_EQ(inner->GetChosenItemIdx(), 1);
  EXPECT_EQ(menu.GetChosenItemIdx(), -1);
}


// ---- Odd input and many rounds -----------------------------------------------------------------------------

TEST_F(WinPointer, MessagesWithOddParametersChangeNothing)
{
  const int layouts = dlg.layouts;
  const struct
  {
    UINT msg;
    WPARAM wParam;
    LPARAM lParam;
  } messages[] = {
    // A second creation message, with nothing or with garbage.
    {WM_CREATE, 0, 0},
    {WM_CREATE, 0, static_cast<LPARAM>(0x1234)},
    // Timers that are not the display timer, a tick that is not from this window's thread.
    {WM_TIMER, 7, 0},
    {WM_TIMER, 2, 0},
    {WinVBlankThread::kTickMessage, 0xFFFFFFFFu, 0},
    {WM_CTLCOLOREDIT, 0, 0},
    {WM_CTLCOLOREDIT, 0, reinterpret_cast<LPARAM>(child)},
    {WM_MOUSEWHEEL, MAKEWPARAM(0, 0x8000), MAKELPARAM(0x8000, 0x7FFF)},
    {WM_MOUSEMOVE, 0xFFFF, static_cast<LPARAM>(0xFFFFFFFF)},
    {WM_LBUTTONDBLCLK, 0, MAKELPARAM(0xFFFF, 0xFFFF)},
    {WM_LBUTTONUP, 0, MAKELPARAM(0x7FFF, 0x7FFF)},
    {WM_MBUTTONUP, 0, 0},
    {WM_MOUSELEAVE, 0, 0},
    {WM_DROPFILES, 0, 0},
    {WM_KEYDOWN, 0, 0},
    {WM_KEYUP, 0xFFFF, static_cast<LPARAM>(-1)},
    {WM_PAINT, 0, 0},
    {WM_SETCURSOR, 0, 0},
    {WM_GETDLGCODE, 0, 0},
    {WM_ERASEBKGND, 0, 0},
  };
  for (const auto& m : messages)
  {
    SCOPED_TRACE(m.msg);
    SendMessageW(child, m.msg, m.wParam, m.lParam);
  }
  PostMessageW(child, WM_LBUTTONUP, 0, 0);
  PumpMessages(50);
  EXPECT_EQ(dlg.layouts, layouts);
  EXPECT_EQ(dlg.UI()->GetWindow(), child);
  EXPECT_EQ(GetCapture(), nullptr);
  // Still working: a host value is drawn.
  dlg.SendParamValueToEditor(kLevel, 0.25, true);
  EXPECT_TRUE(WaitUntil([&] {
    int w = 0, h = 0;
    const auto now = Grab(child, w, h);
    return now.size() > 0 &&
           now[static_cast<size_t>(kKnobRect.MH()) * static_cast<size_t>(w) + static_cast<size_t>(kKnobRect.MW())] ==
             0x402828u;
  }));
  EXPECT_TRUE(ShowsBuffer(child, *dlg.UI()));
  EXPECT_EQ(SendMessageW(child, WM_GETDLGCODE, 0, 0), DLGC_WANTALLKEYS);
}

TEST(WinRounds, TwelveOpenAndCloseRoundsLeaveNoWindowOrThreadBehind)
{
  HostWindow host;
  const int threads = ProcessThreadCount();
  const int windows = ThreadWindowCount();
  for (int source : {TestContext::kTimer, TestContext::kNoFunctions})
  {
    SCOPED_TRACE(source);
    WinDelegate dlg(1.f, source);
    for (int round = 0; round < 12; ++round)
    {
      const HWND child = dlg.Open(host);
      ASSERT_NE(child, nullptr);
      EXPECT_EQ(ProcessThreadCount(), threads + (source == TestContext::kNoFunctions ? 1 : 0));
      EXPECT_TRUE(ShowsBuffer(child, *dlg.UI()));
      // A text field with its font, open as the window closes.
      auto* control = Attach<RecordingControl>(*dlg.UI(), kRecorderRect, kLevel);
      dlg.UI()->CreateTextEntry(*control, control->GetText(), kRecorderRect, "1", 0);
      const HWND field = dlg.UI()->GetTextField();
      ASSERT_NE(field, nullptr);
      const auto font = reinterpret_cast<HFONT>(SendMessageW(field, WM_GETFONT, 0, 0));
      dlg.CloseWindow();
      EXPECT_FALSE(IsWindow(child));
      EXPECT_FALSE(IsWindow(field));
      EXPECT_EQ(GetObjectType(font), 0u);
      EXPECT_TRUE(Children(host.Parent()).empty());
      EXPECT_EQ(ThreadWindowCount(), windows);
      EXPECT_EQ(ProcessThreadCount(), threads);
      EXPECT_FALSE(ClassRegistered());
    }
  }
}

} // namespace
} // namespace quorl_test
