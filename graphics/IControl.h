#pragma once

// The base of every editor element: where it draws and where it is hit, a list of values each of which may be
// bound to a plug-in parameter, a text style, a blend, a dirty flag and behaviour flags. It receives the pointer
// events the graphics context routes to it and tells the plug-in about user changes through the delegate.

#include "core/IPluginProcessor.h"
#include "graphics/IGraphicsTypes.h"
#include "graphics/IPopupMenu.h"
#include "graphics/IRect.h"

#include <string>
#include <vector>

namespace ondrell {
class IParam;
}

namespace ondrell::graphics {

class IGContext;
class IGEditorDelegate;

inline constexpr int kNoParameter = -1;
inline constexpr int kNoValIdx = -1;

// Threads: the editor's window thread only. Owns nothing but its own fields; the context owns the control.
class IControl
{
public:
  explicit IControl(const IRect& bounds, int paramIdx = kNoParameter);
  virtual ~IControl() = default;
  IControl(const IControl&) = delete;
  IControl& operator=(const IControl&) = delete;

  // Pointer and key events. The default press only reacts to a right press (a value prompt when allowed);
  // the default double click returns the value under the pointer to its default.
  virtual void OnMouseDown(float x, float y, const IMouseMod& mod);
  virtual void OnMouseUp(float x, float y, const IMouseMod& mod);
  virtual void OnMouseDrag(float x, float y, float dX, float dY, const IMouseMod& mod);
  virtual void OnMouseDblClick(float x, float y, const IMouseMod& mod);
  virtual void OnMouseWheel(float x, float y, const IMouseMod& mod, float delta);
  virtual bool OnKeyDown(float x, float y, const IKeyPress& key);
  virtual bool OnKeyUp(float x, float y, const IKeyPress& key);
  virtual void OnMouseOver(float x, float y, const IMouseMod& mod);
  virtual void OnMouseOut();
  virtual void OnDrop(const char* str);
  // Default: OnDrop with the first path.
  virtual void OnDropMultiple(const std::vector<const char*>& paths);
  virtual bool AcceptsDrops() const { return false; }

  // Lifecycle hooks and messages.
  virtual void OnRescale() {}
  virtual void OnResize() {}
  virtual void OnInit() {}
  virtual void OnAttached() {}
  virtual void OnMsgFromDelegate(int msgTag, int dataSize, const void* data);
  virtual void OnMidi(const MidiMsg& msg);
  virtual void CreateContextMenu(IPopupMenu& menu);
  // Default: a chosen item of a value menu sets the value (when prompts are allowed).
  virtual void OnPopupMenuSelection(IPopupMenu* menu, int valIdx);
  virtual void OnTextEntryCompletion(const char* str, int valIdx);
  virtual void OnContextSelection(int itemSelected);

  virtual void Draw(IGContext& g) = 0;

  // Values and state.
  virtual void SetParamIdx(int paramIdx, int valIdx = 0);
  // 0 with one value, -1 otherwise.
  virtual int GetValIdxForPos(float x, float y) const;
  // Ignored while this control holds the pointer; otherwise a changed value is stored and redrawn.
  virtual void SetValueFromDelegate(double value, int valIdx = 0);
  // A changed value is stored and sent to the plug-in.
  virtual void SetValueFromUserInput(double value, int valIdx = 0);
  virtual void SetValueToDefault(int valIdx = kNoValIdx);
  // Stores the value as given, without clamping.
  virtual void SetValue(double value, int valIdx = 0);
  virtual void SetText(const IText& text) { mText = text; }
  virtual void SetPosition(float x, float y);
  virtual void SetSize(float w, float h);
  virtual void Hide(bool hide);
  virtual void SetDisabled(bool disable);
  virtual void SetIgnoreMouse(bool ignore) { mIgnoreMouse = ignore; }
  virtual bool IsHit(float x, float y) const;
  // Clamps the value (every value for kNoValIdx) to 0..1, marks the control dirty and, with notify, sends each
  // bound value to the plug-in and to the other controls bound to the same parameter.
  virtual void SetDirty(bool notify, int valIdx = kNoValIdx);
  virtual void SetClean() { mDirty = false; }
  virtual bool IsDirty() { return mDirty; }

  // Non-virtual accessors.
  double GetValue(int valIdx = 0) const;
  int GetParamIdx(int valIdx = 0) const;
  int NVals() const { return static_cast<int>(mVals.size()); }
  // The bound parameter of a value, or null.
  const IParam* GetParam(int valIdx = 0) const;
  // The first value index bound to the parameter, or -1.
  int LinkedToParam(int paramIdx) const;
  void RequestValuePrompt(const IRect& bounds, int valIdx);

  const IRect& GetRECT() const { return mRECT; }
  void SetRECT(const IRect& r) { mRECT = r; }
  const IRect& GetTargetRECT() const { return mTargetRECT; }
  void SetTargetRECT(const IRect& r) { mTargetRECT = r; }
  void SetTargetAndDrawRECTs(const IRect& r)
  {
    mRECT = r;
    mTargetRECT = r;
    mMouseIsOver = false;
    OnResize();
  }
  const IText& GetText() const { return mText; }
  const IBlend& GetBlend() const { return mBlend; }
  const std::string& GetGroup() const { return mGroup; }
  void SetGroup(const char* group) { mGroup = group ? group : ""; }
  int GetTextEntryLength() const { return mTextEntryLength; }
  void SetTextEntryLength(int length) { mTextEntryLength = length; }

  bool IsHidden() const { return mHide; }
  bool IsDisabled() const { return mDisabled; }
  bool GetPromptDisabled() const { return mDisablePrompt; }
  void DisablePrompt(bool disable) { mDisablePrompt = disable; }
  bool GetDblAsSingleClick() const { return mDblAsSingleClick; }
  void SetDblAsSingleClick(bool on) { mDblAsSingleClick = on; }
  bool GetMOWhenGrayed() const { return mMOWhenGrayed; }
  void SetMOWhenGrayed(bool on) { mMOWhenGrayed = on; }
  bool GetMEWhenGrayed() const { return mMEWhenGrayed; }
  void SetMEWhenGrayed(bool on) { mMEWhenGrayed = on; }
  bool GetIgnoreMouse() const { return mIgnoreMouse; }
  bool GetWantsMidi() const { return mWantsMidi; }
  void SetWantsMidi(bool on) { mWantsMidi = on; }
  bool GetPromptShowsParamLabel() const { return mPromptShowsParamLabel; }
  void SetPromptShowsParamLabel(bool on) { mPromptShowsParamLabel = on; }
  bool GetMouseIsOver() const { return mMouseIsOver; }

  IGEditorDelegate* GetDelegate() const { return mDelegate; }
  void SetDelegate(IGEditorDelegate& dlg) { mDelegate = &dlg; }
  IGContext* GetUI() const { return mGraphics; }
  void SetGraphics(IGContext* ui) { mGraphics = ui; }

protected:
  struct ParamTuple
  {
    int idx = kNoParameter;
    double value = 0.0;
  };

  IRect mRECT;
  IRect mTargetRECT;
  std::string mGroup;
  IText mText;
  IBlend mBlend{0, 1.f};
  int mTextEntryLength = 7;
  bool mDirty = true;
  bool mHide = false;
  bool mDisabled = false;
  bool mDisablePrompt = true;
  bool mDblAsSingleClick = false;
  bool mMOWhenGrayed = false;
  bool mMEWhenGrayed = false;
  bool mIgnoreMouse = false;
  bool mWantsMidi = false;
  bool mPromptShowsParamLabel = false;
  bool mMouseIsOver = false;

private:
  IGEditorDelegate* mDelegate = nullptr;
  IGContext* mGraphics = nullptr;
  std::vector<ParamTuple> mVals;
};

} // namespace ondrell::graphics
