#pragma once

// Dragging one file out of the editor: the OLE data object that offers the file as a file list, the drop source
// that follows the left button and Escape, the enumerator of the data object's one format, and the modal drag.
// The COM objects start with one reference and delete themselves when the last one is released.

#include "graphics/win/WinApi.h"

#include <ole2.h>

#include <atomic>
#include <string>

namespace ondrell::graphics {

// The one format used: a file list in global memory, content aspect, no target device.
FORMATETC FileListFormat();

namespace DragAndDropHelpers {

// Threads: OLE calls it on the thread that runs the drag. Owns the path.
class DataObject final : public IDataObject
{
public:
  DataObject(const FORMATETC& format, std::string path);

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  HRESULT STDMETHODCALLTYPE GetData(FORMATETC* format, STGMEDIUM* medium) override;
  HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC* format, STGMEDIUM* medium) override;
  HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC* format) override;
  HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC* in, FORMATETC* out) override;
  HRESULT STDMETHODCALLTYPE SetData(FORMATETC* format, STGMEDIUM* medium, BOOL release) override;
  HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD direction, IEnumFORMATETC** enumerator) override;
  HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC* format, DWORD flags, IAdviseSink* sink, DWORD* connection) override;
  HRESULT STDMETHODCALLTYPE DUnadvise(DWORD connection) override;
  HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA** enumerator) override;

private:
  ~DataObject() = default;
  // S_OK for the served format; E_INVALIDARG for none, DV_E_FORMATETC for any other.
  HRESULT CheckFormat(const FORMATETC* format) const;

  std::atomic<ULONG> mRefs{1};
  FORMATETC mFormat;
  std::string mPath;
};

// Threads: OLE calls it on the thread that runs the drag. Owns nothing.
class DropSource final : public IDropSource
{
public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  HRESULT STDMETHODCALLTYPE QueryContinueDrag(BOOL escapePressed, DWORD keyState) override;
  HRESULT STDMETHODCALLTYPE GiveFeedback(DWORD effect) override;

private:
  ~DropSource() = default;
  std::atomic<ULONG> mRefs{1};
};

// Threads: whoever enumerates; one enumerator is used by one thread. Owns its copy of the format.
class EnumFORMATETC final : public IEnumFORMATETC
{
public:
  EnumFORMATETC(const FORMATETC& format, ULONG position = 0);

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  HRESULT STDMETHODCALLTYPE Next(ULONG count, FORMATETC* formats, ULONG* fetched) override;
  HRESULT STDMETHODCALLTYPE Skip(ULONG count) override;
  HRESULT STDMETHODCALLTYPE Reset() override;
  HRESULT STDMETHODCALLTYPE Clone(IEnumFORMATETC** enumerator) override;

private:
  ~EnumFORMATETC() = default;
  std::atomic<ULONG> mRefs{1};
  FORMATETC mFormat;
  ULONG mPosition;
};

} // namespace DragAndDropHelpers

// Drags the file out with OLE's modal drag loop, offering a copy; true when the drag ended without an error
// (dropped or cancelled). False for an empty path or when OLE cannot be used on this thread.
bool DragFileOut(const char* path);

} // namespace ondrell::graphics
