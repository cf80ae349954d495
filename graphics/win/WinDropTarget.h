#pragma once

// Files dragged into the editor through OLE: the drop target registered for each editor window. It accepts data
// that offers a file list, shows a copy, and on the drop hands the files, at the drop point in editor points, to
// the window's graphics context.

#include "graphics/win/WinApi.h"

#include <ole2.h>

#include <atomic>

namespace ondrell::graphics {

class IGContextWin;

// Threads: OLE calls it on the window's thread (the one that registered it). Owns nothing; the registration holds
// the reference that keeps it alive until RevokeDragDrop, and the context outlives that.
class IGContextWinFileDropTarget final : public IDropTarget
{
public:
  IGContextWinFileDropTarget(HWND window, IGContextWin* context);

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  HRESULT STDMETHODCALLTYPE DragEnter(IDataObject* data, DWORD keyState, POINTL point, DWORD* effect) override;
  HRESULT STDMETHODCALLTYPE DragOver(DWORD keyState, POINTL point, DWORD* effect) override;
  HRESULT STDMETHODCALLTYPE DragLeave() override;
  HRESULT STDMETHODCALLTYPE Drop(IDataObject* data, DWORD keyState, POINTL point, DWORD* effect) override;

  bool Accepting() const { return mAccept; }

private:
  ~IGContextWinFileDropTarget() = default;
  // A copy when the data is accepted and the source offers one; nothing otherwise.
  void SetEffect(DWORD* effect) const;

  std::atomic<ULONG> mRefs{1};
  HWND mWindow;
  IGContextWin* mContext;
  bool mAccept = false;
};

} // namespace ondrell::graphics
