#include "devicebrowser/modules/desktop/win/memory_stream.h"

#include <new>

namespace handrel::desktop {

void EnsureComInitialised() {
  static bool done = false;
  if (done) return;
  // S_FALSE and RPC_E_CHANGED_MODE mean the thread has COM already: good enough for streams.
  CoInitialize(nullptr);
  done = true;
}

MemoryStream* MemoryStream::OverBytes(const uint8_t* data, size_t size) {
  EnsureComInitialised();
  auto* stream = new (std::nothrow) MemoryStream;
  if (stream) stream->block_.Wrap(data, size);
  return stream;
}

MemoryStream* MemoryStream::WithCapacity(size_t capacity) {
  EnsureComInitialised();
  auto* stream = new (std::nothrow) MemoryStream;
  if (stream && !stream->block_.Allocate(capacity)) {
    delete stream;
    return nullptr;
  }
  return stream;
}

HRESULT MemoryStream::QueryInterface(REFIID riid, void** object) {
  if (!object) return E_POINTER;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_ISequentialStream) || IsEqualIID(riid, IID_IStream)) {
    *object = static_cast<IStream*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG MemoryStream::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&references_)); }

ULONG MemoryStream::Release() {
  LONG left = InterlockedDecrement(&references_);
  if (left == 0) delete this;
  return static_cast<ULONG>(left);
}

HRESULT MemoryStream::Read(void* out, ULONG count, ULONG* read) {
  if (!out && count) return STG_E_INVALIDPOINTER;
  size_t n = block_.Read(out, count);
  if (read) *read = static_cast<ULONG>(n);
  return S_OK;
}

HRESULT MemoryStream::Write(const void* data, ULONG count, ULONG* written) {
  if (!data && count) return STG_E_INVALIDPOINTER;
  if (written) *written = 0;
  if (!block_.Write(data, count)) return STG_E_MEDIUMFULL;
  if (written) *written = count;
  return S_OK;
}

HRESULT MemoryStream::Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newPosition) {
  uint64_t position = 0;
  if (origin > STREAM_SEEK_END || !block_.Seek(static_cast<int>(origin), move.QuadPart, position)) {
    return STG_E_INVALIDFUNCTION;
  }
  if (newPosition) newPosition->QuadPart = position;
  return S_OK;
}

HRESULT MemoryStream::SetSize(ULARGE_INTEGER size) {
  return block_.SetSize(size.QuadPart) ? S_OK : STG_E_MEDIUMFULL;
}

HRESULT MemoryStream::CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) {
  return STG_E_INVALIDFUNCTION;
}
HRESULT MemoryStream::Commit(DWORD) { return STG_E_INVALIDFUNCTION; }
HRESULT MemoryStream::Revert() { return STG_E_INVALIDFUNCTION; }
HRESULT MemoryStream::LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) { return STG_E_INVALIDFUNCTION; }
HRESULT MemoryStream::UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) { return STG_E_INVALIDFUNCTION; }
HRESULT MemoryStream::Stat(STATSTG*, DWORD) { return STG_E_INVALIDFUNCTION; }
HRESULT MemoryStream::Clone(IStream**) { return STG_E_INVALIDFUNCTION; }

}  // namespace handrel::desktop
