#pragma once

// The editor delegate of the graphics framework: a base of the plug-in class that makes a fresh graphics
// context when the host opens the editor, runs the plug-in's layout function on it, destroys it when the host
// closes the editor (remembering its size and scale for the next one), and pushes parameter values that change
// outside the editor into the controls bound to them.

#include "core/IEditorDelegate.h"

#include <functional>
#include <memory>

namespace ondrell::graphics {

class IGContext;

// Threads: the host's main (editor) thread, as IEditorDelegate. Owns the graphics context while the editor is
// open.
class IGEditorDelegate : public IEditorDelegate
{
public:
  using MakeGraphicsFunc = std::function<std::unique_ptr<IGContext>()>;
  using LayoutFunc = std::function<void(IGContext* ui)>;

  explicit IGEditorDelegate(int nParams);
  // Destroys the context first.
  ~IGEditorDelegate() override;

  // Always starts from a fresh context, carrying over the size and scale of the last one.
  void* OpenWindow(void* parent) override;
  void CloseWindow() override;
  // The host-given pixel size becomes the point size at draw scale 1.
  void OnParentWindowResized(int width, int height) override;
  bool OnHostKeyDown(const IKeyPress& key) override;
  bool OnHostKeyUp(const IKeyPress& key) override;
  void SetControlValueByTag(int controlTag, double normalised) override;
  void SendControlMsgByTag(int controlTag, int messageTag, int dataSize, const void* data) override;
  void SendMidiMsgToEditor(const MidiMsg& msg) override;
  void SendParamValueToEditor(int paramIdx, double value, bool normalised) override;
  // Width and height (int32) and draw scale (float) of the context, or the remembered ones while closed.
  bool SerializeEditorState(ByteChunk& chunk) const override;
  int UnserializeEditorState(const ByteChunk& chunk, int startPos) override;
  void SetScreenScale(float scale) override;

  // Null without a make-graphics function.
  virtual std::unique_ptr<IGContext> CreateGraphics();
  virtual void LayoutUI(IGContext* ui);

  void SetMakeGraphicsFunc(MakeGraphicsFunc fn) { mMakeGraphicsFunc = std::move(fn); }
  void SetLayoutFunc(LayoutFunc fn) { mLayoutFunc = std::move(fn); }
  // The open editor's context, or null.
  IGContext* GetUI() const { return mGraphics.get(); }

private:
  void CloseSequence();

  MakeGraphicsFunc mMakeGraphicsFunc;
  LayoutFunc mLayoutFunc;
  std::unique_ptr<IGContext> mGraphics;
  int mLastWidth = 0;
  int mLastHeight = 0;
  float mLastScale = 0.f;
  bool mClosing = false;
};

} // namespace ondrell::graphics
