#include "graphics/win/WinDropTarget.h"

#include "graphics/win/IGContextWin.h"
#include "graphics/win/WinDragSource.h"
#include "graphics/win/WinFileList.h"

#include <shellapi.h>

namespace ondrell::graphics {

IGContextWinFileDropTarget::IGContextWinFileDropTarget(HWND window, IGContextWin* context)
  : mWindow(window), mContext(context)
{
}

HRESULT IGContextWinFileDropTarget::QueryInterface(REFIID riid, void** object)
{
  if (!object)
    return E_POINTER;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDropTarget))
  {
    *object = static_cast<IDropTarget*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG IGContextWinFileDropTarget::AddRef() { return mRefs.fetch_add(1, std::memory_order_relaxed) + 1; }

// COM ownership: the last release deletes the object.
ULONG IGContextWinFileDropTarget::Release()
{
  const ULONG left = mRefs.fetch_sub(1, std::memory_order_acq_rel) - 1;
  if (left == 0)
    delete this;
  return left;
}

void IGContextWinFileDropTarget::SetEffect(DWORD* effect) const
{
  if (effect)
    *effect = mAccept && (*effect & DROPEFFECT_COPY) ? DROPEFFECT_COPY : DROPEFFECT_NONE;
}

HRESULT IGContextWinFileDropTarget::DragEnter(IDataObject* data, DWORD, POINTL, DWORD* effect)
{
  FORMATETC format = FileListFormat();
  mAccept = data && data->QueryGetData(&format) == S_OK;
  SetEffect(effect);
  return S_OK;
}

HRESULT IGContextWinFileDropTarget::DragOver(DWORD, POINTL, DWORD* effect)
{
  SetEffect(effect);
  return S_OK;
}

HRESULT IGContextWinFileDropTarget::DragLeave()
{
  mAccept = false;
  return S_OK;
}

HRESULT IGContextWinFileDropTarget::Drop(IDataObject* data, DWORD, POINTL point, DWORD* effect)
{
  bool dropped = false;
  if (mAccept && data && mWindow && mContext)
  {
    FORMATETC format = FileListFormat();
    STGMEDIUM medium{};
    if (data->GetData(&format, &medium) == S_OK)
    {
      std::vector<std::string> paths;
      if (medium.tymed == TYMED_HGLOBAL && medium.hGlobal)
      {
        // DragQueryFileW reads the list through the handle itself.
        paths = ReadDroppedFiles(static_cast<HDROP>(medium.hGlobal), 0);
      }
      ReleaseStgMedium(&medium);
      if (!paths.empty())
      {
        POINT p{point.x, point.y};
        ScreenToClient(mWindow, &p);
        const float s = mContext->GetBackingPixelScale();
        mContext->DropFiles(paths, static_cast<float>(p.x) / s, static_cast<float>(p.y) / s);
        dropped = true;
      }
    }
  }
  if (effect)
    *effect = dropped && (*effect & DROPEFFECT_COPY) ? DROPEFFECT_COPY : DROPEFFECT_NONE;
  mAccept = false;
  return S_OK;
}

} // namespace ondrell::graphics
