// A minimal COM stream over one growable memory block: how a screenshot reaches GDI+ and how the
// encoded picture comes back. Reading, writing (growing the block), seeking within the capacity
// and setting the size work; every other stream operation answers STG_E_INVALIDFUNCTION.
// Threads: one at a time (the host's).
#pragma once

#include <windows.h>
#include <objidl.h>

#include "devicebrowser/modules/desktop/core/pictures.h"

namespace handrel::desktop {

// COM is made ready for the process once, before the first stream.
void EnsureComInitialised();

class MemoryStream : public IStream {
 public:
  // A stream over someone else's bytes (read only; the bytes must outlive the stream).
  static MemoryStream* OverBytes(const uint8_t* data, size_t size);
  // A stream over a new zeroed block of `capacity` bytes; null when it cannot be allocated.
  static MemoryStream* WithCapacity(size_t capacity);

  const GrowableBlock& Block() const { return block_; }

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  // ISequentialStream
  HRESULT STDMETHODCALLTYPE Read(void* out, ULONG count, ULONG* read) override;
  HRESULT STDMETHODCALLTYPE Write(const void* data, ULONG count, ULONG* written) override;
  // IStream
  HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newPosition) override;
  HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER size) override;
  HRESULT STDMETHODCALLTYPE CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override;
  HRESULT STDMETHODCALLTYPE Commit(DWORD) override;
  HRESULT STDMETHODCALLTYPE Revert() override;
  HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override;
  HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override;
  HRESULT STDMETHODCALLTYPE Stat(STATSTG*, DWORD) override;
  HRESULT STDMETHODCALLTYPE Clone(IStream**) override;

 private:
  MemoryStream() = default;
  virtual ~MemoryStream() = default;
  GrowableBlock block_;
  LONG references_ = 1;
};

}  // namespace handrel::desktop
