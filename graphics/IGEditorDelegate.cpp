#include "graphics/IGEditorDelegate.h"

#include "core/IParam.h"
#include "graphics/IControl.h"
#include "graphics/IGContext.h"

namespace ondrell::graphics {

IGEditorDelegate::IGEditorDelegate(int nParams) : IEditorDelegate(nParams) {}

IGEditorDelegate::~IGEditorDelegate()
{
  mGraphics.reset();
}

void IGEditorDelegate::CloseSequence()
{
  if (mClosing)
    return;
  mClosing = true;
  OnEditorClosed();
  if (mGraphics)
  {
    mLastWidth = mGraphics->Width();
    mLastHeight = mGraphics->Height();
    mLastScale = mGraphics->GetDrawScale();
    mGraphics->CloseWindow();
    mGraphics.reset();
  }
  mClosing = false;
}

void* IGEditorDelegate::OpenWindow(void* parent)
{
  CloseSequence();
  if (!mGraphics)
  {
    mGraphics = CreateGraphics();
    if (mGraphics && mLastWidth != 0 && mLastHeight != 0 && mLastScale != 0.f)
      mGraphics->Resize(mLastWidth, mLastHeight, mLastScale, true);
  }
  return mGraphics ? mGraphics->OpenWindow(parent) : nullptr;
}

void IGEditorDelegate::CloseWindow()
{
  CloseSequence();
}

void IGEditorDelegate::OnParentWindowResized(int width, int height)
{
  if (!mGraphics)
    return;
  float s = mGraphics->GetPlatformWindowScale();
  if (!(s > 0.f))
    s = 1.f;
  mGraphics->Resize(static_cast<int>(static_cast<float>(width) / s), static_cast<int>(static_cast<float>(height) / s),
                    1.f, false);
}

bool IGEditorDelegate::OnHostKeyDown(const IKeyPress& key)
{
  if (!mGraphics)
    return false;
  float x = 0.f, y = 0.f;
  mGraphics->GetMouseLocation(x, y);
  return mGraphics->OnKeyDown(x, y, key);
}

bool IGEditorDelegate::OnHostKeyUp(const IKeyPress& key)
{
  if (!mGraphics)
    return false;
  float x = 0.f, y = 0.f;
  mGraphics->GetMouseLocation(x, y);
  return mGraphics->OnKeyUp(x, y, key);
}

void IGEditorDelegate::SetControlValueByTag(int controlTag, double normalised)
{
  if (!mGraphics)
    return;
  if (IControl* control = mGraphics->GetControlWithTag(controlTag))
    control->SetValueFromDelegate(normalised, 0);
}

void IGEditorDelegate::SendControlMsgByTag(int controlTag, int messageTag, int dataSize, const void* data)
{
  if (!mGraphics)
    return;
  if (IControl* control = mGraphics->GetControlWithTag(controlTag))
    control->OnMsgFromDelegate(messageTag, dataSize, data);
}

void IGEditorDelegate::SendMidiMsgToEditor(const MidiMsg& msg)
{
  if (mGraphics)
  {
    mGraphics->ForAllControls([&msg](IControl& control) {
      if (control.GetWantsMidi())
        control.OnMidi(msg);
    });
  }
  IEditorDelegate::SendMidiMsgToEditor(msg);
}

void IGEditorDelegate::SendParamValueToEditor(int paramIdx, double value, bool normalised)
{
  if (mGraphics)
  {
    if (!normalised)
    {
      const IParam* param = GetParam(paramIdx);
      value = param ? param->ToNormalised(value) : value;
    }
    mGraphics->ForAllControls([paramIdx, value](IControl& control) {
      for (int i = 0; i < control.NVals(); ++i)
      {
        if (control.GetParamIdx(i) == paramIdx)
          control.SetValueFromDelegate(value, i);
      }
    });
  }
  OnParamChangeForEditor(paramIdx, ParamChangeSource::EditorDelegate);
}

bool IGEditorDelegate::SerializeEditorState(ByteChunk& chunk) const
{
  const int32_t width = mGraphics ? mGraphics->Width() : mLastWidth;
  const int32_t height = mGraphics ? mGraphics->Height() : mLastHeight;
  const float scale = mGraphics ? mGraphics->GetDrawScale() : mLastScale;
  const int before = chunk.Size();
  chunk.Append(width);
  chunk.Append(height);
  chunk.Append(scale);
  return chunk.Size() - before == static_cast<int>(2 * sizeof(int32_t) + sizeof(float));
}

int IGEditorDelegate::UnserializeEditorState(const ByteChunk& chunk, int startPos)
{
  int32_t width = 0;
  int32_t height = 0;
  float scale = 0.f;
  int pos = chunk.Read(width, startPos);
  pos = chunk.Read(height, pos);
  pos = chunk.Read(scale, pos);
  if (pos < 0)
    return -1;
  if (mGraphics && width != 0 && height != 0 && scale != 0.f)
  {
    mGraphics->Resize(width, height, scale, true);
  }
  else
  {
    mLastWidth = width;
    mLastHeight = height;
    mLastScale = scale;
  }
  return pos;
}

void IGEditorDelegate::SetScreenScale(float scale)
{
  if (mGraphics)
    mGraphics->SetScreenScale(scale);
}

std::unique_ptr<IGContext> IGEditorDelegate::CreateGraphics()
{
  return mMakeGraphicsFunc ? mMakeGraphicsFunc() : nullptr;
}

void IGEditorDelegate::LayoutUI(IGContext* ui)
{
  if (mLayoutFunc)
    mLayoutFunc(ui);
}

} // namespace ondrell::graphics
