// The X11 window host against a real X server (Xvfb started by the tests themselves): the child window, its size
// at each screen density, the frame on the screen, pointer, wheel, key, crossing and expose events, the display
// tick, resizing, and closing without leaving anything behind.

#include <dirent.h>
#include <gtest/gtest.h>
#include <poll.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>

#include "core/Timer.h"
#include "graphics/linux/IGContextX11.h"
#include "graphics/linux/X11KeyMap.h"
#include "tests/graphics/GraphicsTestSupport.h"
#include "tests/graphics_x11/XvfbServer.h"
// Xlib's macros last.
#include "tests/graphics_x11/XServerTest.h"
#include <X11/Xutil.h>
#include <X11/keysym.h>

namespace quorl_test {
namespace {

constexpr IRect kKnobRect{100.f, 50.f, 160.f, 110.f};
constexpr IRect kRecorderRect{300.f, 50.f, 400.f, 150.f};
constexpr IRect kKeyRect{0.f, 0.f, 50.f, 40.f};

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

// The test delegate with the window host as its platform and a small layout; it can answer that the host
// resized its window itself.
class X11Delegate : public TestDelegate
{
public:
  explicit X11Delegate(float drawScale = 1.f)
  {
    SetMakeGraphicsFunc([this, drawScale] { return std::make_unique<IGContextX11>(*this, 664, 215, 60, drawScale); });
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
  IGContextX11* UI() const { return static_cast<IGContextX11*>(GetUI()); }

  bool hostResizes = false;
  int layouts = 0;
  RecordingControl* background = nullptr;
  ValueKnob* knob = nullptr;
  RecordingControl* recorder = nullptr;
  KeyRecorder* keyRecorder = nullptr;
};

Window WindowOf(void* handle)
{
  return static_cast<Window>(reinterpret_cast<uintptr_t>(handle));
}

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

// Handles what the server sent the editor, waiting briefly for it to arrive.
void Pump(IGContextX11& ui)
{
  const int fd = ui.GetPlatformEventFd();
  if (fd >= 0)
  {
    pollfd p{fd, POLLIN, 0};
    poll(&p, 1, 5);
  }
  ui.ProcessPlatformEvents();
}

// The context's frame as 0xRRGGBB, the way a 24-bit window shows it.
std::vector<uint32_t> BufferPixels(const IGContextX11& ui)
{
  const uint8_t* p = ui.GetPixels();
  const size_t n = static_cast<size_t>(ui.GetPixelWidth()) * static_cast<size_t>(ui.GetPixelHeight());
  std::vector<uint32_t> out(n);
  for (size_t i = 0; i < n; ++i)
    out[i] = static_cast<uint32_t>(p[4 * i]) | static_cast<uint32_t>(p[4 * i + 1]) << 8 |
             static_cast<uint32_t>(p[4 * i + 2]) << 16;
  return out;
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

// ---- Rules that need no server ------------------------------------------------------------------------------

TEST(X11Rules, DensityFromDpi)
{
  const struct
  {
    double dpi;
    float density;
  } cases[] = {{96.0, 1.f},  {120.0, 1.f}, {144.0, 2.f},  {168.0, 2.f}, {192.0, 2.f}, {240.0, 3.f},
               {288.0, 3.f}, {72.0, 1.f},  {0.0, 1.f},    {-96.0, 1.f}, {NAN, 1.f},   {INFINITY, 1.f}};
  for (const auto& c : cases)
    EXPECT_EQ(IGContextX11::DensityFromDpi(c.dpi), c.density) << c.dpi;
}

TEST(X11Rules, XftDpiFromTheResourceText)
{
  const struct
  {
    const char* text;
    double dpi;
  } cases[] = {{"Xft.dpi:\t144\n", 144.0},
               {"Xft.antialias:\t1\nXft.dpi:\t192\nXft.hinting:\t1\n", 192.0},
               {"Xft.dpi: 120.5\n", 120.5},
               {"*dpi: 110\n", 110.0},
               {"Xft.antialias: 1\n", 0.0},
               {"Xft.dpi: many\n", 0.0},
               {"", 0.0},
               {nullptr, 0.0}};
  for (const auto& c : cases)
    EXPECT_EQ(IGContextX11::DpiFromResources(c.text), c.dpi) << (c.text ? c.text : "(null)");
}

TEST(X11Rules, KeySymbolsBecomeVirtualKeyCodes)
{
  const struct
  {
    KeySym symbol;
    int vk;
  } cases[] = {{XK_a, 'A'},        {XK_Z, 'Z'},        {XK_7, '7'},           {XK_KP_3, 0x63},    {XK_F1, 0x70},
               {XK_F12, 0x7B},     {XK_Return, 0x0D},  {XK_KP_Enter, 0x0D},   {XK_Escape, 0x1B},  {XK_space, 0x20},
               {XK_Left, 0x25},    {XK_Next, 0x22},    {XK_Delete, 0x2E},     {XK_BackSpace, 8},  {XK_Tab, 9},
               {XK_Shift_L, 0x10}, {XK_Control_R, 0x11}, {XK_Alt_L, 0x12},    {XK_minus, 0xBD},   {XK_equal, 0xBB},
               {XK_KP_Add, 0x6B},  {XK_Num_Lock, 0x90}, {XK_eacute, 0},       {NoSymbol, 0}};
  for (const auto& c : cases)
    EXPECT_EQ(VirtualKeyFromKeySym(c.symbol), c.vk) << std::hex << c.symbol;
}

// ---- Against a real server ----------------------------------------------------------------------------------

class X11Window : public XServerTest
{
protected:
  // Opens the delegate's editor in a new host window; returns the child window.
  Window Open(X11Delegate& dlg, Window& parent, int parentW = 700, int parentH = 260)
  {
    parent = host->MakeWindow(parentW, parentH);
    void* view = dlg.OpenWindow(reinterpret_cast<void*>(static_cast<uintptr_t>(parent)));
    host->Sync();
    return WindowOf(view);
  }

  // Ticks until the frame is on the screen and the window shows exactly the context's buffer.
  void ExpectScreenShowsBuffer(X11Delegate& dlg, Window child)
  {
    IGContextX11& ui = *dlg.UI();
    std::vector<uint32_t> screen;
    int w = 0, h = 0;
    const bool same = WaitUntil(
      [&] {
        screen = host->Grab(child, w, h);
        return CountDifferences(screen, BufferPixels(ui)) == 0;
      },
      [&] {
        Pump(ui);
        ui.OnDisplayTick();
      });
    EXPECT_TRUE(same) << CountDifferences(screen, BufferPixels(ui)) << " pixels differ";
    EXPECT_EQ(w, ui.GetPixelWidth());
    EXPECT_EQ(h, ui.GetPixelHeight());
  }
};

TEST_F(X11Window, ChildWindowHasTheEditorSizeAtEachDensity)
{
  const struct
  {
    const char* resources;
    float drawScale;
    float density;
    int w, h;
  } cases[] = {
    {nullptr, 1.f, 1.f, 664, 215},           {"Xft.dpi:\t96\n", 1.f, 1.f, 664, 215},
    {"Xft.dpi:\t120\n", 1.f, 1.f, 664, 215}, {"Xft.dpi:\t144\n", 1.f, 2.f, 1328, 430},
    {"Xft.dpi:\t192\n", 1.f, 2.f, 1328, 430}, {"Xft.dpi:\t240\n", 1.f, 3.f, 1992, 645},
    {"Xft.dpi:\t192\n", 1.5f, 2.f, 1992, 644},
  };
  for (const auto& c : cases)
  {
    SCOPED_TRACE(std::string(c.resources ? c.resources : "no resources") + " draw scale " +
                 std::to_string(c.drawScale));
    host->SetResources(c.resources);
    X11Delegate dlg(c.drawScale);
    Window parent = 0;
    const Window child = Open(dlg, parent, 2000, 700);
    ASSERT_NE(child, 0u);
    EXPECT_EQ(host->Children(parent), std::vector<Window>{child});
    EXPECT_TRUE(host->Viewable(child));
    int w = 0, h = 0, x = -1, y = -1;
    ASSERT_TRUE(host->Size(child, w, h));
    EXPECT_EQ(w, c.w);
    EXPECT_EQ(h, c.h);
    ASSERT_TRUE(host->Position(child, x, y));
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 0);
    EXPECT_EQ(dlg.UI()->GetScreenScale(), c.density);
    EXPECT_EQ(dlg.UI()->GetPixelWidth(), c.w);
    EXPECT_EQ(dlg.UI()->GetPixelHeight(), c.h);
    EXPECT_EQ(dlg.layouts, 1);
    EXPECT_EQ(dlg.opened, 1);
    dlg.CloseWindow();
    EXPECT_TRUE(host->Children(parent).empty());
    host->DestroyWindow(parent);
  }
}

TEST_F(X11Window, TheScreenShowsTheFrameAndExposedPartsAreRepainted)
{
  for (const char* resources : {static_cast<const char*>(nullptr), "Xft.dpi: 192\n"})
  {
    SCOPED_TRACE(resources ? resources : "no resources");
    host->SetResources(resources);
    X11Delegate dlg;
    Window parent = 0;
    const Window child = Open(dlg, parent, 1400, 500);
    ASSERT_NE(child, 0u);
    ExpectScreenShowsBuffer(dlg, child);

    // The frame really holds the controls: the recorder's blue at its centre.
    const float s = dlg.UI()->GetBackingPixelScale();
    const auto buffer = BufferPixels(*dlg.UI());
    const size_t centre = static_cast<size_t>(kRecorderRect.MH() * s) * static_cast<size_t>(dlg.UI()->GetPixelWidth()) +
                          static_cast<size_t>(kRecorderRect.MW() * s);
    EXPECT_EQ(buffer[centre], 0x143CDCu);

    host->Scribble(child, 280, 40, 200, 120);
    int w = 0, h = 0;
    EXPECT_NE(CountDifferences(host->Grab(child, w, h), buffer), 0u);
    ExpectScreenShowsBuffer(dlg, child);
    dlg.CloseWindow();
    host->DestroyWindow(parent);
  }
}

TEST_F(X11Window, DraggingAKnobMovesItsParameterThroughTheDelegate)
{
  X11Delegate dlg;
  Window parent = 0;
  const Window child = Open(dlg, parent);
  ASSERT_NE(child, 0u);
  IGContextX11& ui = *dlg.UI();
  ExpectScreenShowsBuffer(dlg, child);
  const double before = dlg.GetParam(kLevel)->Value();

  const int px = static_cast<int>(kKnobRect.MW());
  const int py = static_cast<int>(kKnobRect.MH());
  host->Button(child, true, Button1, px, py, 0, 1000);
  // Two movements of 24 pixels up, each a tenth of the range with the knob's gearing.
  host->Motion(child, px, py - 24, Button1Mask, 1010);
  ASSERT_TRUE(WaitUntil([&] { return dlg.CallsOf("set").size() == 1; }, [&] { Pump(ui); }));
  host->Motion(child, px, py - 24, Button1Mask, 1020);
  ASSERT_TRUE(WaitUntil([&] { return dlg.CallsOf("set").size() == 2; }, [&] { Pump(ui); }));
  host->Button(child, false, Button1, px, py - 24, Button1Mask, 1030);
  ASSERT_TRUE(WaitUntil([&] { return dlg.CallsOf("end").size() == 1; }, [&] { Pump(ui); }));

  ASSERT_EQ(dlg.CallsOf("begin").size(), 1u);
  EXPECT_EQ(dlg.CallsOf("begin")[0].paramIdx, kLevel);
  const auto sets = dlg.CallsOf("set");
  EXPECT_EQ(sets[0].paramIdx, kLevel);
  EXPECT_NEAR(sets[0].value, 0.6, 1e-9);
  EXPECT_NEAR(sets[1].value, 0.7, 1e-9);
  EXPECT_EQ(dlg.CallsOf("end")[0].paramIdx, kLevel);
  EXPECT_NEAR(dlg.GetParam(kLevel)->Value(), 8.0, 1e-9);
  EXPECT_NE(dlg.GetParam(kLevel)->Value(), before);

  // The knob hid the pointer while dragging and put it back where the press was.
  int x = 0, y = 0;
  ASSERT_TRUE(host->Pointer(child, x, y));
  EXPECT_EQ(x, px);
  EXPECT_EQ(y, py);

  // The new value is drawn and copied to the screen.
  ExpectScreenShowsBuffer(dlg, child);
  const auto buffer = BufferPixels(ui);
  EXPECT_EQ(buffer[static_cast<size_t>(py) * 664 + static_cast<size_t>(px)], 0xB32828u);
  dlg.CloseWindow();
}

TEST_F(X11Window, ClicksWheelAndCrossingReachTheControls)
{
  X11Delegate dlg;
  Window parent = 0;
  const Window child = Open(dlg, parent);
  ASSERT_NE(child, 0u);
  IGContextX11& ui = *dlg.UI();
  const int rx = static_cast<int>(kRecorderRect.MW());
  const int ry = static_cast<int>(kRecorderRect.MH());

  struct Step
  {
    bool press;
    unsigned button;
    int dx;
    unsigned long time;
  };
  // After a double click the control holds no capture, so the release that follows reaches no control.
  const struct
  {
    const char* name;
    std::vector<Step> steps;
    std::vector<std::string> events;
  } cases[] = {
    {"quick second press is a double click",
     {{true, Button1, 0, 1000}, {false, Button1, 0, 1050}, {true, Button1, 1, 1300}, {false, Button1, 1, 1350}},
     {"down@350,100", "up@350,100", "dbl@351,100"}},
    {"a third press starts over",
     {{true, Button1, 0, 5000}, {false, Button1, 0, 5050}, {true, Button1, 0, 5100}, {false, Button1, 0, 5150},
      {true, Button1, 0, 5200}, {false, Button1, 0, 5250}},
     {"down@350,100", "up@350,100", "dbl@350,100", "down@350,100", "up@350,100"}},
    {"slow second press",
     {{true, Button1, 0, 10000}, {false, Button1, 0, 10050}, {true, Button1, 0, 10500}, {false, Button1, 0, 10550}},
     {"down@350,100", "up@350,100", "down@350,100", "up@350,100"}},
    {"second press too far away",
     {{true, Button1, 0, 20000}, {false, Button1, 0, 20050}, {true, Button1, 3, 20100}, {false, Button1, 3, 20150}},
     {"down@350,100", "up@350,100", "down@353,100", "up@353,100"}},
    {"the server clock wrapping around",
     {{true, Button1, 0, 0xFFFFFF00ul}, {false, Button1, 0, 0xFFFFFF10ul}, {true, Button1, 0, 0x10ul},
      {false, Button1, 0, 0x20ul}},
     {"down@350,100", "up@350,100", "dbl@350,100"}},
    {"right button double click",
     {{true, Button3, 0, 25000}, {false, Button3, 0, 25050}, {true, Button3, 0, 25100}, {false, Button3, 0, 25150}},
     {"down@350,100", "up@350,100", "dbl@350,100"}},
    {"middle button presses and releases, never a double click",
     {{true, Button2, 0, 30000}, {false, Button2, 0, 30050}, {true, Button2, 0, 30100}, {false, Button2, 0, 30150}},
     {"down@350,100", "up@350,100", "down@350,100", "up@350,100"}},
    {"wheel away, towards; sideways wheel and extra buttons ignored",
     {{true, Button4, 0, 40000}, {true, Button5, 0, 40100}, {true, 6, 0, 40200}, {true, 7, 0, 40300},
      {true, 8, 0, 40400}, {false, Button4, 0, 40500}, {false, 8, 0, 40600}},
     {"wheel@350,100", "wheel@350,100"}},
  };
  for (const auto& c : cases)
  {
    SCOPED_TRACE(c.name);
    dlg.recorder->events.clear();
    for (const Step& s : c.steps)
    {
      const unsigned held = s.press                ? 0u
                            : s.button == Button1 ? Button1Mask
                            : s.button == Button2 ? Button2Mask
                            : s.button == Button3 ? Button3Mask
                                                  : 0u;
      host->Button(child, s.press, s.button, rx + s.dx, ry, held, s.time);
    }
    // A marker press on another control ends the sequence, so everything before it has been handled.
    host->Button(child, true, Button1, static_cast<int>(kKeyRect.MW()), static_cast<int>(kKeyRect.MH()), 0, 90000);
    host->Button(child, false, Button1, static_cast<int>(kKeyRect.MW()), static_cast<int>(kKeyRect.MH()), Button1Mask,
                 90010);
    for (int i = 0; i < 20; ++i)
      Pump(ui);
    // Releases also update the hovered control; only presses, releases and turns count here.
    std::vector<std::string> events;
    for (const std::string& e : dlg.recorder->events)
      if (e.rfind("over", 0) != 0 && e.rfind("out", 0) != 0)
        events.push_back(e);
    EXPECT_EQ(events, c.events);
  }
  dlg.recorder->events.clear();
  host->Button(child, true, Button4, rx, ry, 0, 50000);
  ASSERT_TRUE(WaitUntil([&] { return !dlg.recorder->events.empty(); }, [&] { Pump(ui); }));
  EXPECT_EQ(dlg.recorder->lastWheel, 1.f);
  host->Button(child, true, Button5, rx, ry, 0, 50100);
  ASSERT_TRUE(WaitUntil([&] { return dlg.recorder->events.size() == 2; }, [&] { Pump(ui); }));
  EXPECT_EQ(dlg.recorder->lastWheel, -1.f);

  // A right press over a bound control neither reaches it nor starts an edit.
  dlg.calls.clear();
  host->Button(child, true, Button3, static_cast<int>(kKnobRect.MW()), static_cast<int>(kKnobRect.MH()), 0, 60000);
  host->Button(child, false, Button3, static_cast<int>(kKnobRect.MW()), static_cast<int>(kKnobRect.MH()),
               Button3Mask, 60010);
  for (int i = 0; i < 20; ++i)
    Pump(ui);
  EXPECT_TRUE(dlg.CallsOf("begin").empty());

  // Entering over a control hovers it; leaving reports the pointer gone.
  dlg.recorder->events.clear();
  host->Crossing(child, true, rx, ry);
  ASSERT_TRUE(WaitUntil([&] { return !dlg.recorder->events.empty(); }, [&] { Pump(ui); }));
  EXPECT_EQ(dlg.recorder->events.front(), "over@350,100");
  host->Crossing(child, false, 700, ry);
  ASSERT_TRUE(WaitUntil([&] { return dlg.recorder->events.size() == 2; }, [&] { Pump(ui); }));
  EXPECT_EQ(dlg.recorder->events.back(), "out@0,0");
  dlg.CloseWindow();
}

TEST_F(X11Window, KeysTheEditorDoesNotHandleGoToTheHostWindow)
{
  X11Delegate dlg;
  Window parent = 0;
  const Window child = Open(dlg, parent);
  ASSERT_NE(child, 0u);
  IGContextX11& ui = *dlg.UI();
  host->HostKeys(parent, std::chrono::milliseconds(0));

  // The key recorder under the point (10, 10) handles K and lets a go on.
  host->Key(child, true, XK_k);
  host->Key(child, true, XK_a, ShiftMask);
  host->Key(child, false, XK_a, ShiftMask);
  ASSERT_TRUE(WaitUntil([&] { return dlg.keyRecorder->keys.size() == 2; }, [&] { Pump(ui); }));
  EXPECT_EQ(dlg.keyRecorder->keys, (std::vector<int>{'K', 'A'}));
  EXPECT_EQ(dlg.keyRecorder->text, "kA");

  // A layout change while the editor is open: a key that now types é gives its text in UTF-8.
  const unsigned eacute = host->MapSpareKey(XK_eacute);
  ASSERT_NE(eacute, 0u);
  host->KeyByCode(child, true, eacute);
  ASSERT_TRUE(WaitUntil([&] { return dlg.keyRecorder->keys.size() == 3; }, [&] { Pump(ui); }));
  EXPECT_EQ(dlg.keyRecorder->keys.back(), 0);
  EXPECT_EQ(dlg.keyRecorder->text, "kA\xC3\xA9");

  auto keys = host->HostKeys(parent, std::chrono::milliseconds(200));
  ASSERT_EQ(keys.size(), 3u);
  EXPECT_EQ(keys[2].keycode, eacute);
  keys.pop_back();
  const unsigned a = XKeysymToKeycode(host->D(), XK_a);
  EXPECT_EQ(keys[0].keycode, a);
  EXPECT_TRUE(keys[0].press);
  EXPECT_EQ(keys[1].keycode, a);
  EXPECT_FALSE(keys[1].press);
  EXPECT_TRUE(keys[0].sent);
  dlg.CloseWindow();
}

TEST_F(X11Window, TheDisplayTickRunsFromTheMainThreadTimers)
{
  X11Delegate dlg;
  Window parent = 0;
  const Window child = Open(dlg, parent);
  ASSERT_NE(child, 0u);
  IGContextX11& ui = *dlg.UI();
  ExpectScreenShowsBuffer(dlg, child);

  // A value from outside the editor reaches the knob; only the pumped timers draw it.
  dlg.SendParamValueToEditor(kLevel, 1.0, true);
  int w = 0, h = 0;
  const size_t at = static_cast<size_t>(kKnobRect.MH()) * 664 + static_cast<size_t>(kKnobRect.MW());
  ASSERT_TRUE(WaitUntil([&] { return host->Grab(child, w, h)[at] == 0xFF2828u; },
                        [&] {
                          std::this_thread::sleep_for(std::chrono::milliseconds(5));
                          ondrell::Timer::PumpMainThreadTimers();
                        }));
  EXPECT_EQ(CountDifferences(host->Grab(child, w, h), BufferPixels(ui)), 0u);
  dlg.CloseWindow();
}

TEST_F(X11Window, ANewXftDpiIsTakenOverOnceNoButtonIsHeld)
{
  X11Delegate dlg;
  Window parent = 0;
  const Window child = Open(dlg, parent);
  ASSERT_NE(child, 0u);
  IGContextX11& ui = *dlg.UI();
  const int rx = static_cast<int>(kRecorderRect.MW());
  const int ry = static_cast<int>(kRecorderRect.MH());

  host->Button(child, true, Button1, rx, ry, 0, 1000);
  ASSERT_TRUE(WaitUntil([&] { return !dlg.recorder->events.empty(); }, [&] { Pump(ui); }));
  host->SetResources("Xft.dpi:\t192\n");
  for (int i = 0; i < 30; ++i)
  {
    Pump(ui);
    ui.OnDisplayTick();
  }
  EXPECT_EQ(ui.GetScreenScale(), 1.f);

  host->Button(child, false, Button1, rx, ry, Button1Mask, 1100);
  ASSERT_TRUE(WaitUntil([&] { return ui.GetScreenScale() == 2.f; }, [&] {
    Pump(ui);
    ui.OnDisplayTick();
  }));
  int w = 0, h = 0;
  ASSERT_TRUE(host->Size(child, w, h));
  EXPECT_EQ(w, 1328);
  EXPECT_EQ(h, 430);
  // The delegate said the host did not resize its window, so the host window grew by as much.
  ASSERT_TRUE(host->Size(parent, w, h));
  EXPECT_EQ(w, 700 + 664);
  EXPECT_EQ(h, 260 + 215);
  ExpectScreenShowsBuffer(dlg, child);

  // A scale the host sets stays while the resolution does not change.
  ui.SetScreenScale(1.f);
  for (int i = 0; i < 5; ++i)
    ui.OnDisplayTick();
  EXPECT_EQ(ui.GetScreenScale(), 1.f);
  ASSERT_TRUE(host->Size(child, w, h));
  EXPECT_EQ(w, 664);
  dlg.CloseWindow();
}

TEST_F(X11Window, ResizingGrowsTheHostWindowOnlyWhenTheHostDidNot)
{
  for (const bool hostResizes : {false, true})
  {
    SCOPED_TRACE(hostResizes ? "host resized" : "host did not resize");
    X11Delegate dlg;
    dlg.hostResizes = hostResizes;
    Window parent = 0;
    // Room for the larger editor either way, so all of it is on the screen.
    const Window child = Open(dlg, parent, 1100, 400);
    ASSERT_NE(child, 0u);
    dlg.UI()->Resize(664, 215, 1.5f);
    host->Sync();
    int w = 0, h = 0;
    ASSERT_TRUE(host->Size(child, w, h));
    EXPECT_EQ(w, 996);
    EXPECT_EQ(h, 322);
    ASSERT_TRUE(host->Size(parent, w, h));
    EXPECT_EQ(w, hostResizes ? 1100 : 1100 + 332);
    EXPECT_EQ(h, hostResizes ? 400 : 400 + 107);
    ExpectScreenShowsBuffer(dlg, child);
    dlg.CloseWindow();
    host->DestroyWindow(parent);
  }
}

TEST_F(X11Window, ClosingAndReopeningLeavesNothingBehind)
{
  X11Delegate dlg;
  const Window parent = host->MakeWindow(700, 260);
  const int descriptors = OpenDescriptors();
  for (int round = 0; round < 12; ++round)
  {
    const Window child = WindowOf(dlg.OpenWindow(reinterpret_cast<void*>(static_cast<uintptr_t>(parent))));
    ASSERT_NE(child, 0u);
    host->Sync();
    EXPECT_EQ(host->Children(parent).size(), 1u);
    dlg.UI()->OnDisplayTick();
    ASSERT_GE(dlg.UI()->GetPlatformEventFd(), 0);
    dlg.CloseWindow();
    host->Sync();
    EXPECT_TRUE(host->Children(parent).empty()) << round;
    EXPECT_EQ(OpenDescriptors(), descriptors) << round;
  }
  // Opening an open editor replaces its window.
  dlg.OpenWindow(reinterpret_cast<void*>(static_cast<uintptr_t>(parent)));
  const Window second = WindowOf(dlg.OpenWindow(reinterpret_cast<void*>(static_cast<uintptr_t>(parent))));
  host->Sync();
  EXPECT_EQ(host->Children(parent), std::vector<Window>{second});
  dlg.CloseWindow();
  EXPECT_EQ(dlg.opened, 14);
  // Closed editors leave no timer behind that could tick into them.
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(ondrell::Timer::PumpMainThreadTimers(), 0);
  EXPECT_EQ(OpenDescriptors(), descriptors);
}

TEST_F(X11Window, WithoutAParentOrAServerThereIsNoView)
{
  const int descriptors = OpenDescriptors();
  const Window gone = host->MakeWindow(100, 100);
  host->DestroyWindow(gone);
  const struct
  {
    const char* name;
    uintptr_t parent;
    bool unsetDisplay;
  } cases[] = {{"no parent", 0, false}, {"a window that does not exist", gone, false},
               {"no X server", 0x1234, true}};
  for (const auto& c : cases)
  {
    SCOPED_TRACE(c.name);
    if (c.unsetDisplay)
      unsetenv("DISPLAY");
    X11Delegate dlg;
    EXPECT_EQ(dlg.OpenWindow(reinterpret_cast<void*>(c.parent)), nullptr);
    // As with a window that could not be made: laid out and told it opened, but nothing runs.
    ASSERT_NE(dlg.UI(), nullptr);
    EXPECT_EQ(dlg.layouts, 1);
    EXPECT_EQ(dlg.opened, 1);
    EXPECT_EQ(dlg.UI()->GetWindow(), nullptr);
    EXPECT_EQ(dlg.UI()->GetPlatformEventFd(), -1);
    EXPECT_FALSE(dlg.UI()->OnDisplayTick());
    dlg.CloseWindow();
    EXPECT_EQ(OpenDescriptors(), descriptors);
    setenv("DISPLAY", sServer->Name().c_str(), 1);
  }
}

TEST_F(X11Window, TheHostMayDestroyItsWindowFirst)
{
  X11Delegate dlg;
  Window parent = 0;
  const Window child = Open(dlg, parent);
  ASSERT_NE(child, 0u);
  IGContextX11& ui = *dlg.UI();
  host->DestroyWindow(parent);
  for (int i = 0; i < 10; ++i)
  {
    Pump(ui);
    EXPECT_FALSE(ui.OnDisplayTick());
  }
  ui.SetMouseCursor(CursorType::Hand);
  ui.Resize(664, 215, 2.f);
  dlg.CloseWindow();
  EXPECT_EQ(dlg.UI(), nullptr);
}

TEST_F(X11Window, LosingTheServerDoesNotEndTheHost)
{
  // The loss is noticed either by the event check before anything is read, or by Xlib in the middle of a request
  // (here a pointer query), where only the editor's own handlers keep it from ending the process.
  for (const bool firstAQuery : {false, true})
  {
    SCOPED_TRACE(firstAQuery ? "noticed by a request" : "noticed by the event check");
    XvfbServer server(800, 600);
    if (!server.Running())
      GTEST_SKIP() << "Xvfb cannot be started";
    // The stand-in host survives its own broken connection too (Xlib's default would end the test).
    const XIOErrorHandler previousIOHandler = XSetIOErrorHandler([](Display*) { return 0; });
    setenv("DISPLAY", server.Name().c_str(), 1);
    X11Delegate dlg;
    {
      XHostHarness doomed(server.Name());
      ASSERT_TRUE(doomed.Connected());
      XSetIOErrorExitHandler(doomed.D(), [](Display*, void*) {}, nullptr);
      const Window parent = doomed.MakeWindow(700, 260);
      ASSERT_NE(dlg.OpenWindow(reinterpret_cast<void*>(static_cast<uintptr_t>(parent))), nullptr);
      IGContextX11& ui = *dlg.UI();
      doomed.Sync();
      ui.OnDisplayTick();
      ui.OnDisplayTick();
      ASSERT_GE(ui.GetPlatformEventFd(), 0);
      // Xlib's own handler for a broken connection ends the process unless the editor's takes the call.
      XSetIOErrorHandler(nullptr);
      server.Kill();
      float x = 0.f, y = 0.f;
      if (firstAQuery)
      {
        ui.GetMouseLocation(x, y);
        EXPECT_EQ(ui.GetPlatformEventFd(), -1);
      }
      for (int i = 0; i < 5; ++i)
      {
        ui.ProcessPlatformEvents();
        EXPECT_FALSE(ui.OnDisplayTick());
      }
      EXPECT_EQ(ui.GetPlatformEventFd(), -1);
      ui.GetMouseLocation(x, y);
      ui.HideMouseCursor(true, true);
      ui.HideMouseCursor(false, true);
      ui.Resize(664, 215, 2.f);
      dlg.CloseWindow();
      XSetIOErrorHandler([](Display*) { return 0; });
    }
    EXPECT_EQ(dlg.UI(), nullptr);
    XSetIOErrorHandler(previousIOHandler);
    setenv("DISPLAY", sServer->Name().c_str(), 1);
  }
}

} // namespace
} // namespace quorl_test
