// Repaint costs of an editor-sized scene drawn by the Cairo backend into its pixel buffer, headless:
// the background picture, nine film-strip knobs, the oversampling switch and the version text.
//   BM_FullRepaint/1, /2: every control dirty, at draw scale 1 and 2 (target: scale 2 within 4 ms).
//   BM_KnobRepaint: one knob changes value and only its region is repainted (target: within 0.3 ms).

#include "core/IParam.h"
#include "graphics/IControls.h"
#include "graphics/IGContextHeadless.h"
#include "graphics/IGEditorDelegate.h"

#include <benchmark/benchmark.h>

#include <memory>

namespace {

using namespace ondrell;
using namespace ondrell::graphics;

class BenchDelegate : public IGEditorDelegate
{
public:
  BenchDelegate() : IGEditorDelegate(10)
  {
    SetEditorSize(664, 215);
    SetEditorSizeLimits(221, 1992, 71, 645);
    for (int i = 0; i < 9; ++i)
      GetParam(i)->DefineDouble("Level", 0.0, -20.0, 20.0, 0.1, "dB");
    GetParam(9)->DefineBool("Oversampling", false);
  }
  void BeginParamEditFromEditor(int) override {}
  void EndParamEditFromEditor(int) override {}
};

// A knob whose frames lie in a grid of 16 columns (271 frames): the cell for the value, centred in the rect.
class GridKnob : public IKnobControlBase, public IBitmapBase
{
public:
  GridKnob(float x, float y, const IBitmap& bitmap, int paramIdx, int cell)
    : IKnobControlBase(IRect(x, y, x + static_cast<float>(cell), y + static_cast<float>(cell)), paramIdx),
      IBitmapBase(bitmap)
  {
    AttachIControl(this);
  }

  void OnRescale() override { OnRescaleBitmap(*GetUI()); }
  void Draw(IGContext& g) override
  {
    constexpr int kColumns = 16;
    constexpr int kFrames = 271;
    constexpr int kRows = (kColumns + kFrames - 1) / kColumns;
    const int cw = mBitmap.W() / kColumns;
    const int ch = mBitmap.H() / kRows;
    const float l = (mRECT.L + mRECT.R) * 0.5f - static_cast<float>(cw) * 0.5f;
    const float t = (mRECT.T + mRECT.B) * 0.5f - static_cast<float>(ch) * 0.5f;
    const int i = BitmapFrameForValue(GetValue(0), kFrames) - 1;
    g.DrawBitmap(mBitmap, IRect(l, t, l + static_cast<float>(cw), t + static_cast<float>(ch)),
                 cw * (i % kColumns), ch * (i / kColumns), &mBlend);
  }
};

void Layout(IGContext* g)
{
  g->LoadFont("Roboto-Regular", "Roboto-Regular.ttf");
  const IBitmap back = g->LoadBitmap("QEQ_back.png", 1, false);
  const IBitmap small = g->LoadBitmap("smallknob.png", 1, false);
  const IBitmap large = g->LoadBitmap("x271_frame_stack_fixed_again.png", 1, false);
  const IBitmap sw = g->LoadBitmap("QEQ_OS.png", 2, false);
  g->AttachControl(std::make_unique<IBitmapControl>(0.f, 0.f, back));
  const float levelPos[5][2] = {{53, 92}, {270, 139}, {376, 139}, {482, 139}, {581, 80}};
  for (int i = 0; i < 5; ++i)
    g->AttachControl(std::make_unique<GridKnob>(levelPos[i][0], levelPos[i][1], small, i, 47));
  const float freqPos[4][2] = {{158, 50}, {261, 29}, {367, 29}, {471, 29}};
  for (int i = 0; i < 4; ++i)
    g->AttachControl(std::make_unique<GridKnob>(freqPos[i][0], freqPos[i][1], large, 5 + i, 64));
  g->AttachControl(std::make_unique<IBSwitchControl>(173.f, 157.f, sw, 9));
  const IText version(12.f, IColor(255, 230, 230, 230), "Roboto-Regular", EAlign::Near, EVAlign::Middle);
  g->AttachControl(std::make_unique<ITextControl>(IRect(576, 195, 656, 215), "4.1.0", version, COLOR_TRANSPARENT));
}

struct Scene
{
  explicit Scene(float scale)
  {
    dlg.SetMakeGraphicsFunc([this, scale] { return std::make_unique<IGContextHeadless>(dlg, 664, 215, 60, scale); });
    dlg.SetLayoutFunc(Layout);
    dlg.OpenWindow(nullptr);
    ui = static_cast<IGContextHeadless*>(dlg.GetUI());
    for (int i = 0; i < 9; ++i)
      dlg.SendParamValueToEditor(i, 0.1 * i, true);
    ui->Tick();
  }
  ~Scene() { dlg.CloseWindow(); }

  BenchDelegate dlg;
  IGContextHeadless* ui = nullptr;
};

void BM_FullRepaint(benchmark::State& state)
{
  Scene scene(static_cast<float>(state.range(0)));
  for (auto _ : state)
  {
    scene.ui->SetAllControlsDirty();
    benchmark::DoNotOptimize(scene.ui->Tick());
  }
  state.counters["pixels"] =
    static_cast<double>(scene.ui->GetPixelWidth()) * static_cast<double>(scene.ui->GetPixelHeight());
}
BENCHMARK(BM_FullRepaint)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

void BM_KnobRepaint(benchmark::State& state)
{
  Scene scene(1.f);
  double v = 0.0;
  for (auto _ : state)
  {
    // A host value for "MF Level 1": its knob alone is dirty and redrawn over the background.
    v = v >= 1.0 ? 0.0 : v + 0.01;
    scene.dlg.SendParamValueToEditor(2, v, true);
    benchmark::DoNotOptimize(scene.ui->Tick());
  }
}
BENCHMARK(BM_KnobRepaint)->Unit(benchmark::kMicrosecond);

} // namespace
