// The graphics context: hit testing, event routing with capture, hover, wheel, drops and keys, dirty regions,
// resizing with the resize drag and its snap, the screen scale, linked controls, value prompts, and the editor
// delegate's open and close sequences.

#include "GraphicsTestSupport.h"

#include <gtest/gtest.h>

using namespace quorl_test;

namespace {

class ContextTest : public ::testing::Test
{
protected:
  void SetUp() override
  {
    ui = std::make_unique<IGContextHeadless>(dlg, 664, 215, 60, 1.f);
    ui->OnViewInitialized();
    background = Attach<RecordingControl>(*ui, IRect(0, 0, 664, 215));
  }

  TestDelegate dlg;
  std::unique_ptr<IGContextHeadless> ui;
  RecordingControl* background = nullptr;
};

// Emulates the editor's resize corner: a press starts a resize drag, a release asks for a snap to 1.5.
class Corner : public IControl
{
public:
  explicit Corner(const IRect& r) : IControl(r) {}
  void OnMouseDown(float, float, const IMouseMod&) override
  {
    GetUI()->SetResizingInProcess(true);
    GetUI()->SetFreeResize(false);
  }
  void OnMouseUp(float, float, const IMouseMod& mod) override
  {
    if (!mod.S)
      GetUI()->SetPendingSnapScale(1.5f);
  }
  void OnRescale() override { rescaledAt.push_back(GetUI() ? GetUI()->GetDrawScale() : 0.f); }
  void Draw(IGContext&) override {}
  std::vector<float> rescaledAt;
};

} // namespace

TEST_F(ContextTest, HitTestingEdgesAndOrder)
{
  auto* a = Attach<RecordingControl>(*ui, IRect(10, 10, 50, 50));
  auto* b = Attach<RecordingControl>(*ui, IRect(40, 40, 80, 80));
  auto* never = Attach<RecordingControl>(*ui, IRect());

  EXPECT_EQ(ui->GetMouseControl(10, 10, false), a);        // left/top edges are inside
  EXPECT_EQ(ui->GetMouseControl(49.9f, 20, false), a);
  EXPECT_EQ(ui->GetMouseControl(50, 20, false), background); // right edge is outside
  EXPECT_EQ(ui->GetMouseControl(20, 50, false), background); // bottom edge is outside
  EXPECT_EQ(ui->GetMouseControl(45, 45, false), b);         // the later control lies on top
  EXPECT_NE(ui->GetMouseControl(0, 0, false), never);       // an all-zero rectangle is never hit

  a->Hide(true);
  EXPECT_EQ(ui->GetMouseControl(20, 20, false), background);
  a->Hide(false);
  a->SetDisabled(true);
  EXPECT_EQ(ui->GetMouseControl(20, 20, false), background);
  a->SetMEWhenGrayed(true);
  EXPECT_EQ(ui->GetMouseControl(20, 20, false), a);
  a->SetIgnoreMouse(true);
  EXPECT_EQ(ui->GetMouseControl(20, 20, false), background);

  // A text control ignores the mouse.
  Attach<ITextControl>(*ui, IRect(0, 0, 664, 215), "4.1.0");
  EXPECT_EQ(ui->GetMouseControl(300, 100, false), background);
}

TEST_F(ContextTest, PressCapturesTheControlUntilRelease)
{
  auto* a = Attach<RecordingControl>(*ui, IRect(10, 10, 50, 50), kLevel);
  auto* b = Attach<RecordingControl>(*ui, IRect(100, 10, 150, 50));

  ui->OnMouseDown({Mouse(20, 20)});
  EXPECT_TRUE(ui->ControlIsCaptured(a));
  // Dragging over b still goes to a; samples without movement are dropped.
  ui->OnMouseDrag({Mouse(120, 20, 100, 0)});
  ui->OnMouseDrag({Mouse(120, 20, 0, 0)});
  ui->OnMouseUp({Mouse(120, 20)});
  ui->OnMouseDrag({Mouse(125, 20, 5, 0)});

  EXPECT_EQ(a->events, (std::vector<std::string>{"down@20,20", "drag@120,20", "up@120,20"}));
  EXPECT_TRUE(b->events.empty());
  EXPECT_FALSE(ui->ControlIsCaptured());
  // The bound value's edit gesture brackets the press and release.
  ASSERT_EQ(dlg.calls.size(), 2u);
  EXPECT_EQ(dlg.calls[0].what, "begin");
  EXPECT_EQ(dlg.calls[0].paramIdx, kLevel);
  EXPECT_EQ(dlg.calls[1].what, "end");
}

TEST_F(ContextTest, RightPressOverABoundControlOffersOnlyItsContextMenu)
{
  auto* bound = Attach<RecordingControl>(*ui, IRect(10, 10, 50, 50), kLevel);
  auto* unbound = Attach<RecordingControl>(*ui, IRect(100, 10, 150, 50));

  ui->OnMouseDown({Mouse(20, 20, 0, 0, Mod(false, false, true))});
  EXPECT_TRUE(bound->events.empty());
  EXPECT_FALSE(ui->ControlIsCaptured());
  EXPECT_EQ(ui->MenusShown(), 0); // no menu items: nothing shown
  EXPECT_TRUE(dlg.calls.empty());

  bound->contextItems = {"Copy", "Paste"};
  ui->SetMenuChooser([](const IPopupMenu& m) { return m.NItems() - 1; });
  ui->OnMouseDown({Mouse(21, 22, 0, 0, Mod(false, false, true))});
  EXPECT_EQ(ui->MenusShown(), 1);
  EXPECT_EQ(ui->LastMenuBounds(), IRect(21, 22, 21, 22));
  EXPECT_EQ(bound->contextChoice, 1);
  EXPECT_TRUE(dlg.calls.empty()); // a context menu opens no edit gesture, so it closes none

  ui->OnMouseDown({Mouse(120, 20, 0, 0, Mod(false, false, true))});
  EXPECT_EQ(unbound->events, (std::vector<std::string>{"down@120,20"}));
}

TEST_F(ContextTest, DoubleClickEitherPressesAgainOrEndsTheCapture)
{
  auto* sw = Attach<TestSwitch>(*ui, IRect(10, 10, 40, 40), kSwitch);
  auto* plain = Attach<RecordingControl>(*ui, IRect(100, 10, 150, 50), kLevel);

  // Treated as a single click: a second press that needs its own release.
  ui->OnMouseDown({Mouse(20, 20)});
  ui->OnMouseUp({Mouse(20, 20)});
  EXPECT_TRUE(ui->OnMouseDblClick(20, 20, Mod()));
  EXPECT_TRUE(ui->ControlIsCaptured(sw));
  ui->OnMouseUp({Mouse(20, 20)});
  EXPECT_EQ(dlg.CallsOf("begin").size(), 2u);
  EXPECT_EQ(dlg.CallsOf("end").size(), 2u);

  ui->OnMouseDown({Mouse(120, 20)});
  ui->OnMouseUp({Mouse(120, 20)});
  plain->SetValue(0.9);
  EXPECT_TRUE(ui->OnMouseDblClick(120, 20, Mod()));
  EXPECT_EQ(plain->events.back(), "dbl@120,20");
  EXPECT_FALSE(ui->ControlIsCaptured());
  // The default double click returns the value to the parameter's default (0 dB is the middle).
  EXPECT_DOUBLE_EQ(plain->GetValue(), 0.5);
  EXPECT_DOUBLE_EQ(dlg.CallsOf("set").back().value, 0.5);

  EXPECT_FALSE(ui->OnMouseDblClick(700, 20, Mod())); // outside every control
}

TEST_F(ContextTest, HoverWheelDropAndKeys)
{
  auto* a = Attach<RecordingControl>(*ui, IRect(10, 10, 50, 50));
  auto* b = Attach<RecordingControl>(*ui, IRect(100, 10, 150, 50));

  // Mouse-over is off until enabled.
  EXPECT_FALSE(ui->OnMouseOver(20, 20, Mod()));
  ui->EnableMouseOver(true);
  EXPECT_TRUE(ui->OnMouseOver(20, 20, Mod()));
  EXPECT_EQ(ui->GetMouseOverControl(), a);
  EXPECT_EQ(ui->GetMouseOverIdx(), 1);
  EXPECT_TRUE(a->GetMouseIsOver());
  EXPECT_TRUE(ui->OnMouseOver(120, 20, Mod()));
  EXPECT_EQ(a->events.back(), "out@0,0");
  EXPECT_EQ(ui->GetMouseOverControl(), b);
  // The background is never the mouse-over control.
  EXPECT_FALSE(ui->OnMouseOver(300, 150, Mod()));
  EXPECT_EQ(ui->GetMouseOverIdx(), -1);
  EXPECT_TRUE(background->events.empty());

  // Leaving the editor shows the arrow but keeps the current cursor type for re-entry.
  ui->SetMouseCursor(CursorType::SizeNWSE);
  ui->OnMouseOut();
  EXPECT_EQ(ui->GetCursorType(), CursorType::SizeNWSE);
  EXPECT_EQ(ui->GetMouseOverControl(), nullptr);

  EXPECT_TRUE(ui->OnMouseWheel(120, 20, Mod(), -2.f));
  EXPECT_EQ(b->lastWheel, -2.f);
  EXPECT_FALSE(ui->OnMouseWheel(700, 20, Mod(), 1.f));

  ui->OnDrop("/tmp/a.wav", 20, 20);
  EXPECT_EQ(a->dropped, (std::vector<std::string>{"/tmp/a.wav"}));
  ui->OnDropMultiple({"/tmp/b.wav", "/tmp/c.wav"}, 120, 20);
  EXPECT_EQ(b->dropped, (std::vector<std::string>{"/tmp/b.wav"}));

  const IKeyPress key("a", 65);
  EXPECT_FALSE(ui->OnKeyDown(20, 20, key));
  int handled = 0;
  ui->SetKeyHandlerFunc([&](const IKeyPress& k, bool up) {
    handled += up ? 10 : 1;
    return k.VK == 65;
  });
  EXPECT_TRUE(ui->OnKeyDown(20, 20, key));
  EXPECT_TRUE(ui->OnKeyUp(20, 20, key));
  EXPECT_EQ(handled, 11);
}

TEST_F(ContextTest, DirtyRegionsArePaddedAlignedAndMerged)
{
  auto* a = Attach<RecordingControl>(*ui, IRect(53, 92, 100, 139));
  auto* b = Attach<RecordingControl>(*ui, IRect(100, 92, 147, 139));
  ui->SetAllControlsClean();
  IRectList rects;
  EXPECT_FALSE(ui->IsDirty(rects));

  a->SetDirty(false);
  b->SetDirty(false);
  ASSERT_TRUE(ui->IsDirty(rects));
  ASSERT_EQ(rects.Size(), 2);
  EXPECT_EQ(rects.Get(0), IRect(52.25f, 91.25f, 100.75f, 139.75f));

  // One tick: the two aligned, overlapping regions become one, each control drawn once, the background once.
  background->draws = a->draws = b->draws = 0;
  const int frames = ui->FramesDrawn();
  EXPECT_TRUE(ui->Tick());
  EXPECT_EQ(ui->FramesDrawn(), frames + 1);
  EXPECT_EQ(a->draws, 1);
  EXPECT_EQ(b->draws, 1);
  EXPECT_EQ(background->draws, 1);
  EXPECT_FALSE(ui->Tick());
  EXPECT_EQ(a->draws, 1);

  // A hidden control is not drawn, but a hidden background still is.
  a->Hide(true);
  background->Hide(true);
  EXPECT_TRUE(ui->Tick());
  EXPECT_EQ(a->draws, 1);
  EXPECT_EQ(background->draws, 2);
}

TEST_F(ContextTest, ResizeClampsTheScaleAndIgnoresNoChange)
{
  auto* a = Attach<RecordingControl>(*ui, IRect(10, 10, 50, 50));
  const int resizesBefore = a->resizes;
  ui->Resize(664, 215, 1.f);
  EXPECT_EQ(a->resizes, resizesBefore);

  ui->Resize(664, 215, 0.2f);
  EXPECT_EQ(ui->GetDrawScale(), 0.5f);
  EXPECT_EQ(a->resizes, resizesBefore + 1);
  ui->Resize(664, 215, 9.f);
  EXPECT_EQ(ui->GetDrawScale(), 4.f);
  EXPECT_EQ(ui->GetPixelWidth(), 2656);
  // The delegate's limits hold the size.
  ui->Resize(100, 1000, 1.f);
  EXPECT_EQ(ui->Width(), 221);
  EXPECT_EQ(ui->Height(), 645);
  EXPECT_EQ(dlg.resizes.back().w, 221);
  EXPECT_EQ(dlg.resizes.back().h, 645);
  EXPECT_TRUE(dlg.resizes.back().host);
}

TEST_F(ContextTest, ResizeDragFollowsThePointerAndSnapsOnRelease)
{
  auto* knob = Attach<RecordingControl>(*ui, IRect(10, 10, 50, 50));
  auto* corner = Attach<Corner>(*ui, IRect(625, 176, 663, 214));
  corner->rescaledAt.clear();

  ui->OnMouseDown({Mouse(640, 200)});
  EXPECT_TRUE(ui->GetResizingInProcess());
  // Scale = draw scale x pointer / press point, the smaller of the two axes: min(240/200, 704/640).
  ui->OnMouseDrag({Mouse(704, 240, 64, 40)});
  EXPECT_FLOAT_EQ(ui->GetDrawScale(), 1.1f);
  // The next sample arrives in the new points (800 x 300 pixels at 1.1): min(1.5, 1.25).
  ui->OnMouseDrag({Mouse(800.f / 1.1f, 300.f / 1.1f, 10, 10)});
  EXPECT_FLOAT_EQ(ui->GetDrawScale(), 1.25f);
  EXPECT_TRUE(knob->events.empty()); // drag samples never reach controls during a resize drag
  EXPECT_TRUE(corner->rescaledAt.empty()); // pictures are not reloaded during the drag
  EXPECT_TRUE(ui->ControlIsCaptured(corner));

  ui->OnMouseUp({Mouse(727, 272)});
  // The drag ends (rescale at the dragged scale), the snap is applied and the drag ends again.
  ASSERT_EQ(corner->rescaledAt.size(), 2u);
  EXPECT_FLOAT_EQ(corner->rescaledAt[0], 1.25f);
  EXPECT_FLOAT_EQ(corner->rescaledAt[1], 1.5f);
  EXPECT_EQ(ui->GetDrawScale(), 1.5f);
  EXPECT_EQ(ui->GetPendingSnapScale(), 0.f);
  EXPECT_FALSE(ui->GetResizingInProcess());
  EXPECT_EQ(ui->GetPixelWidth(), 996);
  EXPECT_EQ(ui->GetPixelHeight(), 322);
}

TEST_F(ContextTest, ShiftKeepsTheFreeScale)
{
  auto* corner = Attach<Corner>(*ui, IRect(625, 176, 663, 214));
  ui->OnMouseDown({Mouse(640, 200, 0, 0, Mod(true))});
  ui->OnMouseDrag({Mouse(768, 320, 128, 120, Mod(true))});
  EXPECT_TRUE(ui->GetFreeResize());
  ui->OnMouseUp({Mouse(640, 267, 0, 0, Mod(true))});
  EXPECT_FLOAT_EQ(ui->GetDrawScale(), 1.2f);
  EXPECT_FALSE(ui->GetFreeResize());
  EXPECT_EQ(corner->rescaledAt.back(), 1.2f);
}

TEST_F(ContextTest, ScreenScaleRescalesAndParentResizeSetsPointSize)
{
  auto* a = Attach<RecordingControl>(*ui, IRect(10, 10, 50, 50));
  const int before = a->rescales;
  ui->SetScreenScale(2.f);
  EXPECT_EQ(a->rescales, before + 1);
  EXPECT_EQ(ui->GetBackingPixelScale(), 2.f);
  EXPECT_EQ(ui->GetPixelWidth(), 1328);
  EXPECT_EQ(dlg.resizes.back().w, 1328);

  dlg.SetMakeGraphicsFunc([this] { return std::make_unique<IGContextHeadless>(dlg, 664, 215, 60, 1.f); });
  ASSERT_NE(dlg.OpenWindow(nullptr), nullptr);
  dlg.GetUI()->SetScreenScale(2.f);
  dlg.OnParentWindowResized(800, 300);
  EXPECT_EQ(dlg.GetUI()->Width(), 400);
  EXPECT_EQ(dlg.GetUI()->Height(), 150);
  EXPECT_EQ(dlg.GetUI()->GetDrawScale(), 1.f);

  // A density below 1 (a very low dpi) is treated as 1.
  ui->SetScreenScale(0.f);
  EXPECT_EQ(ui->GetScreenScale(), 1.f);
}

TEST_F(ContextTest, LinkedControlsFollowAUserChange)
{
  auto* a = Attach<RecordingControl>(*ui, IRect(10, 10, 50, 50), kLevel);
  auto* b = Attach<RecordingControl>(*ui, IRect(100, 10, 150, 50), kLevel);
  auto* other = Attach<RecordingControl>(*ui, IRect(200, 10, 250, 50), kSteps);
  a->SetValueFromUserInput(0.75);
  EXPECT_EQ(b->GetValue(), 0.75);
  EXPECT_EQ(other->GetValue(), 0.0);
  ASSERT_EQ(dlg.CallsOf("set").size(), 1u);
  EXPECT_EQ(dlg.CallsOf("set")[0].paramIdx, kLevel);
  EXPECT_DOUBLE_EQ(dlg.GetParam(kLevel)->Value(), 10.0);
}

TEST_F(ContextTest, ValuePromptByTextEntry)
{
  auto* c = Attach<RecordingControl>(*ui, IRect(10, 10, 50, 50), kLevel);
  c->DisablePrompt(false);
  c->SetPromptShowsParamLabel(true);
  c->SetValueFromUserInput(dlg.GetParam(kLevel)->ToNormalised(-3.5));
  dlg.calls.clear();

  c->RequestValuePrompt(IRect(10, 22, 50, 38), 0);
  ASSERT_TRUE(ui->TextEntryIsOpen());
  EXPECT_EQ(ui->GetControlInTextEntry(), c);
  EXPECT_EQ(ui->LastTextEntry().str, "-3.5 dB");
  EXPECT_EQ(ui->LastTextEntry().paramIdx, kLevel);
  EXPECT_EQ(ui->LastTextEntry().length, 7);

  ui->SubmitTextEntry("12.3 dB and more"); // cut to the field's 7 characters
  EXPECT_EQ(ui->GetControlInTextEntry(), nullptr);
  const double expected = (123 * 0.1 + 20.0) / 40.0; // parsed, then on the 0.1 steps
  EXPECT_NEAR(c->GetValue(), expected, 1e-12);
  ASSERT_EQ(dlg.CallsOf("set").size(), 1u);
  EXPECT_NEAR(dlg.GetParam(kLevel)->Value(), 12.3, 1e-12);

  // Without a parameter the text goes to the control itself.
  auto* free = Attach<RecordingControl>(*ui, IRect(100, 10, 150, 50));
  ui->CreateTextEntry(*free, IText(), IRect(100, 10, 150, 50), "abc", 0);
  ui->SubmitTextEntry("hello");
  EXPECT_EQ(free->completedText, "hello");

  // Prompts are disabled by default: the request does nothing.
  auto* quiet = Attach<RecordingControl>(*ui, IRect(200, 10, 250, 50), kLevel);
  quiet->RequestValuePrompt(quiet->GetRECT(), 0);
  EXPECT_FALSE(ui->TextEntryIsOpen());
}

TEST_F(ContextTest, ValuePromptByMenuForEnumeration)
{
  auto* c = Attach<RecordingControl>(*ui, IRect(10, 10, 50, 50), kHPF);
  c->DisablePrompt(false);
  c->SetValueFromUserInput(0.6); // entry 3 of 0..5: "80 Hz"
  dlg.calls.clear();

  std::vector<std::string> items;
  std::string checked;
  ui->SetMenuChooser([&](const IPopupMenu& m) {
    for (int i = 0; i < m.NItems(); ++i)
    {
      items.emplace_back(m.GetItemText(i));
      if (m.IsItemChecked(i))
        checked = m.GetItemText(i);
    }
    EXPECT_EQ(m.GetTitle(), "HPF");
    return 5;
  });
  // A left press opens it here (the control's own choice): the gesture begun by the press ends with the menu.
  ui->OnMouseDown({Mouse(20, 20)});
  c->RequestValuePrompt(c->GetRECT(), 0);
  EXPECT_EQ(items, (std::vector<std::string>{"Off", "30 Hz", "50 Hz", "80 Hz", "160 Hz", "300 Hz"}));
  EXPECT_EQ(checked, "80 Hz");
  EXPECT_DOUBLE_EQ(c->GetValue(), 1.0);
  EXPECT_FALSE(ui->ControlIsCaptured());
  ASSERT_EQ(dlg.calls.size(), 3u);
  EXPECT_EQ(dlg.calls[0].what, "begin");
  EXPECT_EQ(dlg.calls[1].what, "set");
  EXPECT_EQ(dlg.calls[2].what, "end");
}

TEST_F(ContextTest, AttachRefusesATagInUseAndLeavesTheControlWithTheCaller)
{
  std::unique_ptr<IControl> first = std::make_unique<RecordingControl>(IRect(0, 0, 10, 10));
  std::unique_ptr<IControl> second = std::make_unique<RecordingControl>(IRect(0, 0, 10, 10));
  IControl* attached = ui->AttachControl(std::move(first), 7);
  EXPECT_EQ(ui->GetControlWithTag(7), attached);
  EXPECT_EQ(ui->AttachControl(std::move(second), 7), nullptr);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(ui->NControls(), 2);
  EXPECT_EQ(ui->GetControlWithTag(8), nullptr);

  // A control learns its context and delegate before its hooks run.
  EXPECT_EQ(attached->GetUI(), ui.get());
  EXPECT_EQ(attached->GetDelegate(), &dlg);

  dlg.SetMakeGraphicsFunc([this] { return std::make_unique<IGContextHeadless>(dlg, 664, 215); });
  ASSERT_NE(dlg.OpenWindow(nullptr), nullptr);
  auto* tagged = Attach<RecordingControl>(*dlg.GetUI(), IRect(0, 0, 10, 10));
  dlg.GetUI()->AttachControl(std::make_unique<RecordingControl>(IRect(0, 0, 5, 5)), 3);
  dlg.SetControlValueByTag(3, 0.25);
  EXPECT_EQ(dlg.GetUI()->GetControlWithTag(3)->GetValue(), 0.25);
  EXPECT_EQ(tagged->GetValue(), 0.0);
}

TEST(EditorDelegate, OpenAndCloseSequencesKeepSizeAndScale)
{
  TestDelegate dlg;
  EXPECT_EQ(dlg.OpenWindow(nullptr), nullptr); // no make-graphics function: no editor
  EXPECT_EQ(dlg.closed, 1);                     // the close sequence ran all the same

  int contexts = 0;
  int layouts = 0;
  dlg.SetMakeGraphicsFunc([&] {
    ++contexts;
    return std::make_unique<IGContextHeadless>(dlg, 664, 215, 60, 1.f);
  });
  dlg.SetLayoutFunc([&](IGContext* ui) {
    ++layouts;
    ui->AttachControl(std::make_unique<RecordingControl>(IRect(0, 0, 664, 215)));
    ui->AttachControl(std::make_unique<RecordingControl>(IRect(10, 10, 50, 50), kLevel));
  });
  dlg.GetParam(kLevel)->SetValue(10.0);

  void* window = dlg.OpenWindow(nullptr);
  ASSERT_NE(window, nullptr);
  IGContext* first = dlg.GetUI();
  EXPECT_EQ(layouts, 1);
  EXPECT_EQ(dlg.opened, 1);
  EXPECT_EQ(dlg.closed, 2); // every opening starts with the close sequence
  // Opening pushes the current values into the controls.
  EXPECT_DOUBLE_EQ(first->GetControl(1)->GetValue(), 0.75);

  first->Resize(664, 215, 1.75f);
  // Opening again without closing: a fresh context with the same size and scale.
  ASSERT_NE(dlg.OpenWindow(nullptr), nullptr);
  EXPECT_EQ(contexts, 2);
  EXPECT_EQ(layouts, 2);
  EXPECT_EQ(dlg.closed, 3);
  EXPECT_EQ(dlg.GetUI()->GetDrawScale(), 1.75f);

  dlg.CloseWindow();
  EXPECT_EQ(dlg.GetUI(), nullptr);
  EXPECT_EQ(dlg.closed, 4);

  // Editor state while closed: the remembered size and scale.
  ByteChunk chunk;
  EXPECT_TRUE(dlg.SerializeEditorState(chunk));
  int32_t w = 0, h = 0;
  float s = 0.f;
  int pos = chunk.Read(w, 0);
  pos = chunk.Read(h, pos);
  pos = chunk.Read(s, pos);
  EXPECT_EQ(pos, 12);
  EXPECT_EQ(w, 664);
  EXPECT_EQ(h, 215);
  EXPECT_EQ(s, 1.75f);

  ByteChunk other;
  other.Append(int32_t(700));
  other.Append(int32_t(300));
  other.Append(1.25f);
  EXPECT_EQ(dlg.UnserializeEditorState(other, 0), 12);
  ByteChunk shortChunk;
  shortChunk.Append(int32_t(700));
  EXPECT_EQ(dlg.UnserializeEditorState(shortChunk, 0), -1);
  ASSERT_NE(dlg.OpenWindow(nullptr), nullptr);
  EXPECT_EQ(dlg.GetUI()->Width(), 700);
  EXPECT_EQ(dlg.GetUI()->GetDrawScale(), 1.25f);
}

TEST(EditorDelegate, HostValuesReachBoundControlsUnlessDragged)
{
  TestDelegate dlg;
  dlg.SetMakeGraphicsFunc([&] { return std::make_unique<IGContextHeadless>(dlg, 664, 215); });
  RecordingControl* level = nullptr;
  dlg.SetLayoutFunc([&](IGContext* ui) {
    ui->AttachControl(std::make_unique<RecordingControl>(IRect(0, 0, 664, 215)));
    level = static_cast<RecordingControl*>(
      ui->AttachControl(std::make_unique<RecordingControl>(IRect(10, 10, 50, 50), kLevel)));
  });
  ASSERT_NE(dlg.OpenWindow(nullptr), nullptr);
  auto* ui = static_cast<IGContextHeadless*>(dlg.GetUI());
  ui->SetAllControlsClean();
  dlg.editorDelegateNotices.clear();

  dlg.SendParamValueToEditor(kLevel, -10.0, false); // real units: 0.25 normalised
  EXPECT_DOUBLE_EQ(level->GetValue(), 0.25);
  EXPECT_TRUE(level->IsDirty());
  EXPECT_EQ(dlg.editorDelegateNotices, (std::vector<int>{kLevel}));

  // Same value again: no redraw.
  level->SetClean();
  dlg.SendParamValueToEditor(kLevel, 0.25, true);
  EXPECT_FALSE(level->IsDirty());

  // While the control holds the pointer, host values are ignored; after release they apply.
  ui->OnMouseDown({Mouse(20, 20)});
  dlg.SendParamValueToEditor(kLevel, 0.9, true);
  EXPECT_DOUBLE_EQ(level->GetValue(), 0.25);
  ui->OnMouseUp({Mouse(20, 20)});
  dlg.SendParamValueToEditor(kLevel, 0.9, true);
  EXPECT_DOUBLE_EQ(level->GetValue(), 0.9);

  dlg.CloseWindow();
  dlg.SendParamValueToEditor(kLevel, 0.1, true); // no editor: only the notice
  EXPECT_EQ(dlg.editorDelegateNotices.size(), 5u);
}

TEST(DisplayTick, PeriodForTheFrameRate)
{
  const struct
  {
    int fps;
    int periodMs;
  } cases[] = {{60, 15}, {50, 20}, {30, 33}, {24, 41}, {120, 15}, {0, 1000}, {-5, 1000}};
  for (const auto& c : cases)
    EXPECT_EQ(IGContext::DisplayTickPeriodMs(c.fps), c.periodMs) << c.fps;
}
