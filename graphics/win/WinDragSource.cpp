#include "graphics/win/WinDragSource.h"

#include "graphics/win/WinFileList.h"
#include "graphics/win/WinText.h"

#include <new>

namespace ondrell::graphics {

FORMATETC FileListFormat()
{
  FORMATETC format{};
  format.cfFormat = CF_HDROP;
  format.ptd = nullptr;
  format.dwAspect = DVASPECT_CONTENT;
  format.lindex = -1;
  format.tymed = TYMED_HGLOBAL;
  return format;
}

namespace DragAndDropHelpers {

namespace {

// The drag block carries two bytes more than the clipboard's after the list's closing NUL.
constexpr size_t kDragBlockExtraBytes = 2 * sizeof(wchar_t);

} // namespace

// ---- DataObject ---------------------------------------------------------------------------------------------

DataObject::DataObject(const FORMATETC& format, std::string path) : mFormat(format), mPath(std::move(path)) {}

HRESULT DataObject::QueryInterface(REFIID riid, void** object)
{
  if (!object)
    return E_POINTER;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDataObject))
  {
    *object = static_cast<IDataObject*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG DataObject::AddRef() { return mRefs.fetch_add(1, std::memory_order_relaxed) + 1; }
// COM ownership: the last release deletes the object.
ULONG DataObject::Release()
{
  const ULONG left = mRefs.fetch_sub(1, std::memory_order_acq_rel) - 1;
  if (left == 0)
    delete this;
  return left;
}

HRESULT DataObject::CheckFormat(const FORMATETC* format) const
{
  if (!format)
    return E_INVALIDARG;
  if (!(format->tymed & TYMED_HGLOBAL) || format->dwAspect != DVASPECT_CONTENT || format->cfFormat != CF_HDROP)
    return DV_E_FORMATETC;
  return S_OK;
}

HRESULT DataObject::GetData(FORMATETC* format, STGMEDIUM* medium)
{
  const HRESULT check = CheckFormat(format);
  if (check != S_OK)
    return check;
  if (!medium)
    return E_INVALIDARG;
  const std::wstring wide = Utf8ToWide(mPath);
  void* block = MakeFileListBlock(wide, false, FileListBytes(wide, kDragBlockExtraBytes));
  if (!block)
    return E_OUTOFMEMORY;
  medium->tymed = TYMED_HGLOBAL;
  medium->hGlobal = static_cast<HGLOBAL>(block);
  medium->pUnkForRelease = nullptr;
  return S_OK;
}

HRESULT DataObject::GetDataHere(FORMATETC*, STGMEDIUM*) { return E_NOTIMPL; }

HRESULT DataObject::QueryGetData(FORMATETC* format) { return CheckFormat(format); }

HRESULT DataObject::GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out)
{
  if (out)
    out->ptd = nullptr;
  return E_NOTIMPL;
}

HRESULT DataObject::SetData(FORMATETC*, STGMEDIUM*, BOOL) { return E_NOTIMPL; }

HRESULT DataObject::EnumFormatEtc(DWORD direction, IEnumFORMATETC** enumerator)
{
  if (!enumerator)
    return E_POINTER;
  *enumerator = nullptr;
  if (direction != DATADIR_GET)
    return E_NOTIMPL;
  *enumerator = new (std::nothrow) EnumFORMATETC(mFormat, 0);
  return *enumerator ? S_OK : E_OUTOFMEMORY;
}

HRESULT DataObject::DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) { return E_NOTIMPL; }
HRESULT DataObject::DUnadvise(DWORD) { return E_NOTIMPL; }
HRESULT DataObject::EnumDAdvise(IEnumSTATDATA**) { return E_NOTIMPL; }

// ---- DropSource ---------------------------------------------------------------------------------------------

HRESULT DropSource::QueryInterface(REFIID riid, void** object)
{
  if (!object)
    return E_POINTER;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDropSource))
  {
    *object = static_cast<IDropSource*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG DropSource::AddRef() { return mRefs.fetch_add(1, std::memory_order_relaxed) + 1; }
// COM ownership: the last release deletes the object.
ULONG DropSource::Release()
{
  const ULONG left = mRefs.fetch_sub(1, std::memory_order_acq_rel) - 1;
  if (left == 0)
    delete this;
  return left;
}

HRESULT DropSource::QueryContinueDrag(BOOL escapePressed, DWORD keyState)
{
  if (escapePressed)
    return DRAGDROP_S_CANCEL;
  if (!(keyState & MK_LBUTTON))
    return DRAGDROP_S_DROP;
  return S_OK;
}

HRESULT DropSource::GiveFeedback(DWORD) { return DRAGDROP_S_USEDEFAULTCURSORS; }

// ---- EnumFORMATETC ------------------------------------------------------------------------------------------

EnumFORMATETC::EnumFORMATETC(const FORMATETC& format, ULONG position) : mFormat(format), mPosition(position) {}

HRESULT EnumFORMATETC::QueryInterface(REFIID riid, void** object)
{
  if (!object)
    return E_POINTER;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IEnumFORMATETC))
  {
    *object = static_cast<IEnumFORMATETC*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG EnumFORMATETC::AddRef() { return mRefs.fetch_add(1, std::memory_order_relaxed) + 1; }
// COM ownership: the last release deletes the object.
ULONG EnumFORMATETC::Release()
{
  const ULONG left = mRefs.fetch_sub(1, std::memory_order_acq_rel) - 1;
  if (left == 0)
    delete this;
  return left;
}

HRESULT EnumFORMATETC::Next(ULONG count, FORMATETC* formats, ULONG* fetched)
{
  if (fetched)
    *fetched = 0;
  if (count == 0)
    return S_OK;
  if (!formats || (count > 1 && !fetched))
    return E_INVALIDARG;
  if (mPosition > 0)
    return S_FALSE;
  formats[0] = mFormat;
  if (mFormat.ptd)
  {
    // The caller frees the copy of a target device with CoTaskMemFree.
    formats[0].ptd = static_cast<DVTARGETDEVICE*>(CoTaskMemAlloc(mFormat.ptd->tdSize));
    if (!formats[0].ptd)
      return E_OUTOFMEMORY;
    CopyMemory(formats[0].ptd, mFormat.ptd, mFormat.ptd->tdSize);
  }
  mPosition = 1;
  if (fetched)
    *fetched = 1;
  return count == 1 ? S_OK : S_FALSE;
}

HRESULT EnumFORMATETC::Skip(ULONG count)
{
  if (mPosition + count > 1)
    return S_FALSE;
  mPosition += count;
  return S_OK;
}

HRESULT EnumFORMATETC::Reset()
{
  mPosition = 0;
  return S_OK;
}

HRESULT EnumFORMATETC::Clone(IEnumFORMATETC** enumerator)
{
  if (!enumerator)
    return E_POINTER;
  *enumerator = new (std::nothrow) EnumFORMATETC(mFormat, mPosition);
  return *enumerator ? S_OK : E_OUTOFMEMORY;
}

} // namespace DragAndDropHelpers

bool DragFileOut(const char* path)
{
  if (!path || !*path)
    return false;
  // Refused when the thread already chose the multithreaded model; then there is nothing to undo either.
  if (FAILED(OleInitialize(nullptr)))
    return false;
  auto* data = new (std::nothrow) DragAndDropHelpers::DataObject(FileListFormat(), path);
  auto* source = new (std::nothrow) DragAndDropHelpers::DropSource();
  HRESULT result = E_OUTOFMEMORY;
  if (data && source)
  {
    DWORD effect = DROPEFFECT_NONE;
    result = DoDragDrop(data, source, DROPEFFECT_COPY, &effect);
  }
  if (data)
    data->Release();
  if (source)
    source->Release();
  OleUninitialize();
  return SUCCEEDED(result);
}

} // namespace ondrell::graphics
