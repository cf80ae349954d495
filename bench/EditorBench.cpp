// The Quorl EQ editor on the windowless context, as a host would drive it:
//   BM_EditorOpen/1, /2: open the editor (context, pictures, layout, first full repaint) at draw scale 1 and 2,
//     then close it; pictures come from the shared cache after the first opening only while another editor is
//     open, so each iteration keeps one open to measure the usual case (target: within 20 ms at scale 2).
//   BM_EditorKnobDrag: one drag sample on a level knob and the repaint of its region (target: within 0.5 ms).
//   BM_EditorResizeDrag: one resize-corner drag sample, which rescales and repaints the whole editor at the
//     pictures' current resolution (target: within 8 ms).
// The display-scale preference goes to a temporary folder, never into the user's configuration.

#include "editor/DisplayScalePreference.h"
#include "editor/QuorlEQEditor.h"
#include "engine/QuorlEQ.h"
#include "graphics/IGContextHeadless.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

namespace {

using namespace ondrell;
using namespace ondrell::graphics;

// Points XDG_CONFIG_HOME at a fresh temporary folder for the whole benchmark run and removes it at exit.
class BenchConfigHome
{
public:
  BenchConfigHome()
  {
    std::string pattern = (std::filesystem::temp_directory_path() / "quorl-editor-bench-XXXXXX").string();
    if (mkdtemp(pattern.data()) != nullptr)
    {
      mPath = pattern;
      setenv("XDG_CONFIG_HOME", mPath.c_str(), 1);
    }
  }
  ~BenchConfigHome()
  {
    std::error_code ec;
    if (!mPath.empty())
      std::filesystem::remove_all(mPath, ec);
  }
  bool Ok() const { return !mPath.empty(); }

private:
  std::filesystem::path mPath;
};

bool UseBenchConfigHome()
{
  static BenchConfigHome home;
  return home.Ok();
}

// The plug-in's own editor opens only inside a host's X11 window; here it runs on the windowless context, at the
// same size, frame rate and stored display scale.
void UseWindowlessEditor(QuorlEQ& plugin)
{
  plugin.SetMakeGraphicsFunc([&plugin] {
    return std::make_unique<IGContextHeadless>(plugin, editor::kEditorWidth, editor::kEditorHeight,
                                               editor::kEditorFPS, editor::ReadDisplayScale());
  });
}

IMouseInfo Sample(float x, float y, float dX, float dY)
{
  IMouseInfo info{x, y, dX, dY, {}};
  info.ms.L = true;
  return info;
}

void BM_EditorOpen(benchmark::State& state)
{
  if (!UseBenchConfigHome())
  {
    state.SkipWithError("no temporary folder for the preference file");
    return;
  }
  const float scale = static_cast<float>(state.range(0));
  QuorlEQ keeper{CreationArgs{}}; // keeps the picture cache warm, as another open editor would
  UseWindowlessEditor(keeper);
  keeper.OpenWindow(nullptr);
  keeper.GetUI()->Resize(664, 215, scale, true);
  keeper.GetUI()->EndDragResize();
  QuorlEQ plugin{CreationArgs{}};
  UseWindowlessEditor(plugin);
  for (auto _ : state)
  {
    plugin.OpenWindow(nullptr);
    IGContext* ui = plugin.GetUI();
    ui->Resize(664, 215, scale, true);
    ui->EndDragResize();
    benchmark::DoNotOptimize(static_cast<IGContextHeadless*>(ui)->Tick());
    plugin.CloseWindow();
  }
  keeper.CloseWindow();
}
BENCHMARK(BM_EditorOpen)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

void BM_EditorKnobDrag(benchmark::State& state)
{
  if (!UseBenchConfigHome())
  {
    state.SkipWithError("no temporary folder for the preference file");
    return;
  }
  QuorlEQ plugin{CreationArgs{}};
  UseWindowlessEditor(plugin);
  plugin.OpenWindow(nullptr);
  auto* ui = static_cast<IGContextHeadless*>(plugin.GetUI());
  ui->Tick();
  // The "MF Level 1" knob, pressed at its centre and dragged up and down by one point per sample.
  ui->OnMouseDown({Sample(399.5f, 162.5f, 0.f, 0.f)});
  float dy = -1.f;
  int n = 0;
  for (auto _ : state)
  {
    if (++n % 150 == 0)
      dy = -dy;
    ui->OnMouseDrag({Sample(399.5f, 162.5f, 0.f, dy)});
    benchmark::DoNotOptimize(ui->Tick());
  }
  ui->OnMouseUp({Sample(399.5f, 162.5f, 0.f, 0.f)});
  plugin.CloseWindow();
}
BENCHMARK(BM_EditorKnobDrag)->Unit(benchmark::kMicrosecond);

void BM_EditorResizeDrag(benchmark::State& state)
{
  if (!UseBenchConfigHome())
  {
    state.SkipWithError("no temporary folder for the preference file");
    return;
  }
  QuorlEQ plugin{CreationArgs{}};
  UseWindowlessEditor(plugin);
  plugin.OpenWindow(nullptr);
  auto* ui = static_cast<IGContextHeadless*>(plugin.GetUI());
  ui->Tick();
  ui->OnMouseDown({Sample(650.f, 200.f, 0.f, 0.f)});
  // Alternates between two scales so that every sample resizes.
  bool up = true;
  for (auto _ : state)
  {
    const float target = up ? 1.6f : 1.4f;
    up = !up;
    const float s = ui->GetDrawScale();
    ui->OnMouseDrag({Sample(650.f * target / s, 200.f * target / s, 1.f, 1.f)});
    benchmark::DoNotOptimize(ui->Tick());
  }
  ui->OnMouseUp({Sample(650.f, 200.f, 0.f, 0.f)});
  plugin.CloseWindow();
}
BENCHMARK(BM_EditorResizeDrag)->Unit(benchmark::kMillisecond);

} // namespace
