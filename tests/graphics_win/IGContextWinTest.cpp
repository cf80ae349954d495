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
    {2, 0, "abcdefghijklmnopqrstuvwxyzabcdefghijklmnopqrstuvwxyz", "01: abcdefghijklmnopqrstuvwxyzabcdefghijklmnopqrst"},
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

  // Two blanks before the window thread looks: the first tick is stale and draws nothing, the second draws.
  dlg.recorder->SetDirty(false);
  kmt.blank();
  ASSERT_TRUE(WaitUntil([&] { return ui.VBlankThread()->Counter() == 1; }));
  kmt.blank();
  Sleep(20);
  ASSERT_EQ(ui.VBlankThread()->Counter(), 2u);
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
      EXPECT_TRUE(ShowsBuffer(child, *dlg.UI()));
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

} // namespace
} // namespace quorl_test
