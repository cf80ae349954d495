#include "graphics/PlatformFont.h"

namespace ondrell::graphics {

MemoryFont::MemoryFont(std::span<const unsigned char> bytes, std::shared_ptr<const void> owner, std::string style)
  : mBytes(bytes), mOwner(std::move(owner)), mStyle(std::move(style))
{
}

PlatformFontData MemoryFont::GetFontData() const
{
  PlatformFontData data;
  data.bytes = mBytes;
  data.owner = mOwner;
  // ReadFontFaceInfo refuses every index past the last face, so the search always ends.
  for (int face = 0;; ++face)
  {
    FontFaceInfo info = ReadFontFaceInfo(mBytes, face);
    if (!info.IsValid())
      break;
    if (!info.styleName.empty() && (mStyle.empty() || info.styleName == mStyle))
    {
      data.faceIndex = face;
      data.info = std::move(info);
      break;
    }
  }
  return data;
}

} // namespace ondrell::graphics
