// Costs on the host's main thread of the X11 window host showing the Quorl EQ editor in a parent window, on the X
// server named by $DISPLAY (each benchmark reports an error without one; run under Xvfb, e.g. xvfb-run):
//   BM_X11IdleTick: a display tick with nothing to draw (the event check and the dirty scan).
//   BM_X11KnobTick: a host value moves "MF Level 1"; the tick repaints that knob and copies it to the window.
//   BM_X11FullFrame/1, /2: every control dirty, repainted and copied, at draw scale 1 and 2.

#include "engine/QuorlEQ.h"
#include "graphics/linux/IGContextX11.h"

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <memory>
#include <string>

// Xlib's macros last.
#include <X11/Xlib.h>

namespace {

using namespace ondrell;
using namespace ondrell::graphics;

// The host's connection, open for the whole run: an X server with no client left resets itself and refuses
// connections meanwhile, which would fail the next benchmark's opening.
Display* HostDisplay()
{
  static Display* display = XOpenDisplay(nullptr);
  return display;
}

class Scene
{
public:
  explicit Scene(float drawScale)
  {
    // Closing the editor stores its display scale: into a scratch folder, never the user's configuration.
    std::string folder = (std::filesystem::temp_directory_path() / "quorl-bench-XXXXXX").string();
    if (mkdtemp(folder.data()))
    {
      mConfigHome = folder;
      if (const char* previous = std::getenv("XDG_CONFIG_HOME"))
        mPreviousConfigHome = previous;
      setenv("XDG_CONFIG_HOME", mConfigHome.c_str(), 1);
    }
    mDisplay = HostDisplay();
    if (!mDisplay)
      return;
    mParent = XCreateSimpleWindow(mDisplay, DefaultRootWindow(mDisplay), 0, 0, 1400, 500, 0, 0, 0);
    XMapWindow(mDisplay, mParent);
    XSync(mDisplay, False);
    void* view = mPlugin.OpenWindow(reinterpret_cast<void*>(static_cast<uintptr_t>(mParent)));
    if (!view)
      return;
    ui = static_cast<IGContextX11*>(mPlugin.GetUI());
    if (drawScale != 1.f)
    {
      // As the resize corner ends a drag, so the pictures are loaded for the new scale.
      ui->SetResizingInProcess(true);
      ui->Resize(664, 215, drawScale);
      ui->EndDragResize();
    }
    ui->OnDisplayTick();
  }

  ~Scene()
  {
    mPlugin.CloseWindow();
    if (mDisplay)
    {
      XDestroyWindow(mDisplay, mParent);
      XSync(mDisplay, False);
    }
    if (!mConfigHome.empty())
    {
      if (mPreviousConfigHome.empty())
        unsetenv("XDG_CONFIG_HOME");
      else
        setenv("XDG_CONFIG_HOME", mPreviousConfigHome.c_str(), 1);
      std::error_code ec;
      std::filesystem::remove_all(mConfigHome, ec);
    }
  }

  QuorlEQ& Plugin() { return mPlugin; }
  IGContextX11* ui = nullptr;

private:
  std::string mConfigHome;
  std::string mPreviousConfigHome;
  QuorlEQ mPlugin{CreationArgs{}};
  Display* mDisplay = nullptr;
  Window mParent = 0;
};

void BM_X11IdleTick(benchmark::State& state)
{
  Scene scene(1.f);
  if (!scene.ui)
  {
    state.SkipWithError("no X server to open the editor on ($DISPLAY)");
    return;
  }
  for (auto _ : state)
    benchmark::DoNotOptimize(scene.ui->OnDisplayTick());
}
BENCHMARK(BM_X11IdleTick)->Unit(benchmark::kMicrosecond);

void BM_X11KnobTick(benchmark::State& state)
{
  Scene scene(1.f);
  if (!scene.ui)
  {
    state.SkipWithError("no X server to open the editor on ($DISPLAY)");
    return;
  }
  double v = 0.0;
  for (auto _ : state)
  {
    v = v >= 1.0 ? 0.0 : v + 0.01;
    scene.Plugin().SendParamValueToEditor(4, v, true);
    benchmark::DoNotOptimize(scene.ui->OnDisplayTick());
  }
}
BENCHMARK(BM_X11KnobTick)->Unit(benchmark::kMicrosecond);

void BM_X11FullFrame(benchmark::State& state)
{
  Scene scene(static_cast<float>(state.range(0)));
  if (!scene.ui)
  {
    state.SkipWithError("no X server to open the editor on ($DISPLAY)");
    return;
  }
  for (auto _ : state)
  {
    scene.ui->SetAllControlsDirty();
    benchmark::DoNotOptimize(scene.ui->OnDisplayTick());
  }
  state.counters["pixels"] =
    static_cast<double>(scene.ui->GetPixelWidth()) * static_cast<double>(scene.ui->GetPixelHeight());
}
BENCHMARK(BM_X11FullFrame)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

} // namespace
