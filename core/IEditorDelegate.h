#pragma once
#include <memory>
#include <vector>

#include "core/ByteChunk.h"
#include "core/IParam.h"
#include "core/IPluginProcessor.h"
#include "core/ParamChangeSource.h"

namespace ondrell {

namespace graphics {
struct IKeyPress;  // a key event of the graphics framework
}

// Owner of the parameter list, the editor size and its limits, and the operations through which the editor
// and the plug-in talk to each other; the first class of the plug-in's primary chain.
// Threads: main thread for all, but host automation also calls OnParamChange on the audio thread; owns the parameters.
class IEditorDelegate {
 public:
  // Creates nParams parameters in kind None (none for nParams <= 0).
  explicit IEditorDelegate(int nParams);
  IEditorDelegate(const IEditorDelegate&) = delete;
  IEditorDelegate& operator=(const IEditorDelegate&) = delete;

  // Virtual operations, in slot order.
  virtual ~IEditorDelegate();
  // Default: calls OnEditorOpened and returns null (no native view).
  virtual void* OpenWindow(void* parent);
  // Default: calls OnEditorClosed.
  virtual void CloseWindow();
  virtual void OnParentWindowResized(int /*width*/, int /*height*/) {}
  // Default: sends every parameter's current normalised value to the editor.
  virtual void OnEditorOpened();
  virtual void OnEditorClosed() {}
  // The plug-in's reaction to a new value. Classes overriding it should add
  // `using IEditorDelegate::OnParamChange;` to keep the three-argument form visible.
  virtual void OnParamChange(int /*paramIdx*/) {}
  // Calls OnParamChange(paramIdx). sampleOffset is -1 when the change is not tied to a sample in the block.
  virtual void OnParamChange(int paramIdx, ParamChangeSource source, int sampleOffset);
  virtual void OnParamChangeForEditor(int /*paramIdx*/, ParamChangeSource /*source*/) {}
  // For every parameter in index order: OnParamChange(i, source, -1), then OnParamChangeForEditor(i, source).
  virtual void OnParamsReset(ParamChangeSource source);
  virtual void OnMidiMsgForEditor(const MidiMsg& /*msg*/) {}
  virtual void OnSysExForEditor(const SysExMsg& /*msg*/) {}
  virtual bool OnMessage(int /*messageTag*/, int /*controlTag*/, int /*dataSize*/, const void* /*data*/) { return false; }
  // Default: sends every parameter's current normalised value to the editor.
  virtual void OnStateRestored();
  virtual bool OnHostKeyDown(const graphics::IKeyPress& /*key*/) { return false; }
  virtual bool OnHostKeyUp(const graphics::IKeyPress& /*key*/) { return false; }
  virtual void SetControlValueByTag(int /*controlTag*/, double /*normalised*/) {}
  // Default: OnMessage(messageTag, controlTag, dataSize, data).
  virtual void SendControlMsgByTag(int controlTag, int messageTag, int dataSize, const void* data);
  // OnMessage(messageTag, -1, dataSize, data).
  virtual void SendArbitraryMsgToEditor(int messageTag, int dataSize, const void* data);
  // Default: OnMidiMsgForEditor.
  virtual void SendMidiMsgToEditor(const MidiMsg& msg);
  // Default: OnSysExForEditor.
  virtual void SendSysExToEditor(const SysExMsg& msg);
  // Default: OnParamChangeForEditor(paramIdx, EditorDelegate).
  virtual void SendParamValueToEditor(int paramIdx, double value, bool normalised);
  virtual void BeginParamEditFromEditor(int paramIdx) = 0;
  // Default: sets the parameter from the normalised value and calls OnParamChangeForEditor(paramIdx, UI).
  // An unknown index or a value that is not finite does nothing.
  virtual void SetParamValueFromEditor(int paramIdx, double normalised);
  virtual void EndParamEditFromEditor(int paramIdx) = 0;
  virtual bool ResizeEditorFromEditor(int /*width*/, int /*height*/, bool /*needsHostResize*/) { return false; }
  virtual void SendMidiMsgFromEditor(const MidiMsg& /*msg*/) {}
  virtual void SendSysExFromEditor(const SysExMsg& /*msg*/) {}
  virtual void SendArbitraryMsgFromEditor(int /*messageTag*/, int /*controlTag*/, int /*dataSize*/, const void* /*data*/) {}
  virtual void QueueMidiMsgForProcessor(const MidiMsg& /*msg*/) {}
  virtual void QueueSysExForProcessor(const SysExMsg& /*msg*/) {}
  // Within the limits: true, nothing changed. Otherwise both are clamped into their ranges and false returned.
  virtual bool ConstrainEditorSize(int& width, int& height) const;
  virtual bool SerializeEditorState(ByteChunk& /*chunk*/) const { return true; }
  virtual int UnserializeEditorState(const ByteChunk& /*chunk*/, int startPos) { return startPos; }
  virtual void SetScreenScale(float /*scale*/) {}

  // Parameter access; GetParam is null for an index outside the list.
  IParam* GetParam(int paramIdx);
  const IParam* GetParam(int paramIdx) const;
  int NParams() const { return static_cast<int>(mParams.size()); }

  // Editor size in points and its limits.
  int GetEditorWidth() const { return mEditorWidth; }
  int GetEditorHeight() const { return mEditorHeight; }
  void SetEditorSize(int width, int height);
  // Each pair in either order: the smaller becomes the minimum.
  void SetEditorSizeLimits(int widthA, int widthB, int heightA, int heightB);
  int GetMinWidth() const { return mMinWidth; }
  int GetMaxWidth() const { return mMaxWidth; }
  int GetMinHeight() const { return mMinHeight; }
  int GetMaxHeight() const { return mMaxHeight; }

 private:
  std::vector<std::unique_ptr<IParam>> mParams;
  int mEditorWidth = 0;
  int mEditorHeight = 0;
  int mMinWidth = 10;
  int mMaxWidth = 100000;
  int mMinHeight = 10;
  int mMaxHeight = 100000;
};

}  // namespace ondrell
