// The memory stream as GDI+ and other COM callers use it: a picture larger than the encoder's
// first 4 MiB block saved into it and read back, and the stream's answers to what it does not do.
#include <windows.h>
#include <gdiplus.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "devicebrowser/modules/desktop/win/memory_stream.h"

namespace handrel::desktop {
namespace {

constexpr size_t kFirstBlock = 4194304;

CLSID PngEncoder() {
  UINT count = 0, bytes = 0;
  Gdiplus::DllExports::GdipGetImageEncodersSize(&count, &bytes);
  std::vector<uint8_t> buffer(bytes);
  auto* codecs = reinterpret_cast<Gdiplus::ImageCodecInfo*>(buffer.data());
  Gdiplus::DllExports::GdipGetImageEncoders(count, bytes, codecs);
  for (UINT i = 0; i < count; ++i)
    if (wcscmp(codecs[i].MimeType, L"image/png") == 0) return codecs[i].Clsid;
  ADD_FAILURE() << "no PNG encoder";
  return CLSID{};
}

TEST(MemoryStream, APictureLargerThanTheFirstBlockGrowsItByTheRuleAndComesBackWhole) {
  Gdiplus::GdiplusStartupInput input;
  ULONG_PTR token = 0;
  ASSERT_EQ(Gdiplus::GdiplusStartup(&token, &input, nullptr), Gdiplus::Ok);
  // Noise does not compress: its PNG is larger than 4 MiB.
  const int side = 1400;
  std::vector<uint32_t> pixels(static_cast<size_t>(side) * side);
  uint32_t seed = 12345;
  for (uint32_t& p : pixels) {
    seed = seed * 1664525u + 1013904223u;
    p = seed >> 8;
  }
  Gdiplus::GpBitmap* source = nullptr;
  ASSERT_EQ(Gdiplus::DllExports::GdipCreateBitmapFromScan0(side, side, side * 4, PixelFormat32bppRGB,
                                                          reinterpret_cast<BYTE*>(pixels.data()), &source),
            Gdiplus::Ok);
  MemoryStream* stream = MemoryStream::WithCapacity(kFirstBlock);
  ASSERT_NE(stream, nullptr);
  CLSID png = PngEncoder();
  ASSERT_EQ(Gdiplus::DllExports::GdipSaveImageToStream(source, stream, &png, nullptr), Gdiplus::Ok);
  const GrowableBlock& block = stream->Block();
  ASSERT_GT(block.Size(), kFirstBlock);
  // Each growth added 256 KiB (the encoder writes in pieces far smaller than that).
  EXPECT_EQ((block.Capacity() - kFirstBlock) % GrowableBlock::kMinGrowth, 0u);
  EXPECT_LT(block.Capacity() - block.Size(), GrowableBlock::kMinGrowth);

  // Read back through a stream over the bytes: the same pixels.
  std::vector<uint8_t> saved(block.Data(), block.Data() + block.Size());
  MemoryStream* reader = MemoryStream::OverBytes(saved.data(), saved.size());
  Gdiplus::GpImage* back = nullptr;
  ASSERT_EQ(Gdiplus::DllExports::GdipLoadImageFromStream(reader, &back), Gdiplus::Ok);
  int mismatches = 0;
  for (int y = 0; y < side; y += 7) {
    for (int x = 0; x < side; x += 5) {
      Gdiplus::ARGB got = 0;
      Gdiplus::DllExports::GdipBitmapGetPixel(static_cast<Gdiplus::GpBitmap*>(back), x, y, &got);
      if ((got & 0xFFFFFF) != (pixels[static_cast<size_t>(y) * side + x] & 0xFFFFFF)) ++mismatches;
    }
  }
  EXPECT_EQ(mismatches, 0);
  Gdiplus::DllExports::GdipDisposeImage(back);
  Gdiplus::DllExports::GdipDisposeImage(source);
  EXPECT_EQ(reader->Release(), 0u);
  EXPECT_EQ(stream->Release(), 0u);
  Gdiplus::GdiplusShutdown(token);
}

TEST(MemoryStream, WhatTheStreamDoesNotDoIsAnsweredAsAnUnsupportedFunction) {
  MemoryStream* stream = MemoryStream::WithCapacity(16);
  ASSERT_NE(stream, nullptr);
  IStream* asStream = nullptr;
  ASSERT_EQ(stream->QueryInterface(IID_IStream, reinterpret_cast<void**>(&asStream)), S_OK);
  ISequentialStream* sequential = nullptr;
  ASSERT_EQ(stream->QueryInterface(IID_ISequentialStream, reinterpret_cast<void**>(&sequential)), S_OK);
  IUnknown* unknown = nullptr;
  ASSERT_EQ(stream->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
  void* other = reinterpret_cast<void*>(1);
  EXPECT_EQ(stream->QueryInterface(IID_IStorage, &other), E_NOINTERFACE);
  EXPECT_EQ(other, nullptr);

  const HRESULT unsupported = static_cast<HRESULT>(0x80030001);
  STATSTG stat{};
  ULARGE_INTEGER any{};
  IStream* clone = nullptr;
  EXPECT_EQ(stream->Stat(&stat, STATFLAG_NONAME), unsupported);
  EXPECT_EQ(stream->Clone(&clone), unsupported);
  EXPECT_EQ(stream->CopyTo(asStream, any, nullptr, nullptr), unsupported);
  EXPECT_EQ(stream->Commit(0), unsupported);
  EXPECT_EQ(stream->Revert(), unsupported);
  EXPECT_EQ(stream->LockRegion(any, any, 0), unsupported);
  EXPECT_EQ(stream->UnlockRegion(any, any, 0), unsupported);

  // Writing, seeking and reading back; a seek past the capacity is refused and moves nothing.
  ULONG done = 0;
  ASSERT_EQ(stream->Write("picture", 7, &done), S_OK);
  EXPECT_EQ(done, 7u);
  LARGE_INTEGER to{};
  ULARGE_INTEGER at{};
  to.QuadPart = 17;
  EXPECT_NE(stream->Seek(to, STREAM_SEEK_SET, &at), S_OK);
  to.QuadPart = -7;
  ASSERT_EQ(stream->Seek(to, STREAM_SEEK_END, &at), S_OK);
  EXPECT_EQ(at.QuadPart, 0u);
  char back[16] = {};
  ASSERT_EQ(stream->Read(back, sizeof back, &done), S_OK);
  EXPECT_EQ(done, 7u);
  EXPECT_STREQ(back, "picture");
  ULARGE_INTEGER size{};
  size.QuadPart = 3;
  ASSERT_EQ(stream->SetSize(size), S_OK);
  EXPECT_EQ(stream->Block().Size(), 3u);

  // Someone else's bytes are read, never written.
  MemoryStream* reader = MemoryStream::OverBytes(reinterpret_cast<const uint8_t*>("abc"), 3);
  EXPECT_NE(reader->Write("x", 1, &done), S_OK);
  EXPECT_EQ(done, 0u);
  EXPECT_EQ(reader->Release(), 0u);

  // Four references taken, four given back, then the stream is gone.
  asStream->Release();
  sequential->Release();
  unknown->Release();
  EXPECT_EQ(stream->Release(), 0u);
}

}  // namespace
}  // namespace handrel::desktop
