#pragma once

// A decoded picture as the drawing backend made it, owned by the process-wide bitmap cache. The backend derives
// from it to keep its own image object alive; the cache only needs the numbers and the virtual destructor.

namespace ondrell::graphics {

class APIBitmap
{
public:
  // handle: the backend's image object (not owned here), width and height in pixels, scale: the whole-number
  // resolution the picture was made for, drawScale: the draw scale it was rendered at (1 for decoded files).
  APIBitmap(void* handle, int width, int height, float scale, float drawScale)
    : mHandle(handle), mWidth(width), mHeight(height), mScale(scale), mDrawScale(drawScale)
  {
  }
  APIBitmap(const APIBitmap&) = delete;
  APIBitmap& operator=(const APIBitmap&) = delete;
  virtual ~APIBitmap() = default;

  void* GetBitmap() const { return mHandle; }
  int GetWidth() const { return mWidth; }
  int GetHeight() const { return mHeight; }
  float GetScale() const { return mScale; }
  float GetDrawScale() const { return mDrawScale; }

protected:
  void SetHandle(void* handle) { mHandle = handle; }

private:
  void* mHandle;
  int mWidth;
  int mHeight;
  float mScale;
  float mDrawScale;
};

} // namespace ondrell::graphics
