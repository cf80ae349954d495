#pragma once

// APIBitmap is a decoded picture owned by the process-wide bitmap cache; IBitmap is a light handle to one,
// carrying its size in points, its frame layout and the resource name it can be reloaded from.

#include <string>

namespace ondrell::graphics {

// A backend picture: its pixel size, the whole-number resolution it was made for and its draw scale. The
// drawing backend derives from it to hold the pixels.
class APIBitmap
{
public:
  APIBitmap(int width, int height, float scale, float drawScale)
    : mWidth(width), mHeight(height), mScale(scale), mDrawScale(drawScale)
  {
  }
  virtual ~APIBitmap() = default;
  APIBitmap(const APIBitmap&) = delete;
  APIBitmap& operator=(const APIBitmap&) = delete;

  int GetWidth() const { return mWidth; }
  int GetHeight() const { return mHeight; }
  float GetScale() const { return mScale; }
  float GetDrawScale() const { return mDrawScale; }

private:
  int mWidth;
  int mHeight;
  float mScale;
  float mDrawScale;
};

// Does not own the picture. A handle without a picture draws nothing.
class IBitmap
{
public:
  IBitmap() = default;
  // Width and height in points: pixels divided by the picture's scale, truncated.
  IBitmap(APIBitmap* bitmap, int nFrames, bool framesAreHorizontal, std::string name = {})
    : mAPIBitmap(bitmap),
      mW(bitmap ? static_cast<int>(static_cast<float>(bitmap->GetWidth()) / bitmap->GetScale()) : 0),
      mH(bitmap ? static_cast<int>(static_cast<float>(bitmap->GetHeight()) / bitmap->GetScale()) : 0),
      mN(nFrames < 1 ? 1 : nFrames),
      mFramesAreHorizontal(framesAreHorizontal),
      mResourceName(std::move(name))
  {
  }

  APIBitmap* GetAPIBitmap() const { return mAPIBitmap; }
  bool IsValid() const { return mAPIBitmap != nullptr; }
  int W() const { return mW; }
  int H() const { return mH; }
  int N() const { return mN; }
  // Size of one frame in points (integer division).
  int FW() const { return mFramesAreHorizontal ? mW / mN : mW; }
  int FH() const { return mFramesAreHorizontal ? mH : mH / mN; }
  bool GetFramesAreHorizontal() const { return mFramesAreHorizontal; }
  float GetScale() const { return mAPIBitmap ? mAPIBitmap->GetScale() : 1.f; }
  float GetDrawScale() const { return mAPIBitmap ? mAPIBitmap->GetDrawScale() : 1.f; }
  const std::string& GetResourceName() const { return mResourceName; }

private:
  APIBitmap* mAPIBitmap = nullptr;
  int mW = 0;
  int mH = 0;
  int mN = 1;
  bool mFramesAreHorizontal = false;
  std::string mResourceName;
};

} // namespace ondrell::graphics
