// MDesktopModule: the device's screen as nine picture files. Listing builds them from the screen
// metrics the plugin learned from the device; copying one takes a screenshot through the
// device-side library at that moment and, for JPG and PNG, encodes it with GDI+.
#include <windows.h>
#include <gdiplus.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "devicebrowser/common/code_pages.h"
#include "devicebrowser/common/console/console.h"
#include "devicebrowser/common/framework/framework.h"
#include "devicebrowser/common/rapi_api.h"
#include "devicebrowser/common/transfer/win/transfer_dialog.h"
#include "devicebrowser/common/transfer/win/transfer_win.h"
#include "devicebrowser/modules/desktop/core/picture_side.h"
#include "devicebrowser/modules/desktop/core/pictures.h"
#include "devicebrowser/modules/desktop/win/memory_stream.h"

namespace {

using handrel::MModuleBase;
using namespace handrel::desktop;
namespace transfer = handrel::transfer;

static_assert(sizeof(void*) == sizeof(uint32_t), "the picture's address travels in a 32-bit field");

constexpr size_t kEncodedStart = 4194304;  // the encoder's first block: 4 MiB
constexpr ULONG kJpegQuality = 75;
constexpr uint32_t kErrorNotEnoughMemory = 8;
// GDI+'s quality parameter of its encoders.
const GUID kEncoderQuality = {0x1d5be4b5, 0xfa4a, 0x452d, {0x9c, 0xdd, 0x5d, 0xb3, 0x51, 0x05, 0xe7, 0xeb}};

uint64_t Ticks(const FILETIME& t) { return (uint64_t{t.dwHighDateTime} << 32) | t.dwLowDateTime; }

std::u16string U16(const std::wstring& s) { return std::u16string(s.begin(), s.end()); }

// The encoder of GDI+ with that MIME type; false when GDI+ has none.
bool FindEncoder(const wchar_t* mime, CLSID& clsid) {
  UINT count = 0, bytes = 0;
  if (Gdiplus::DllExports::GdipGetImageEncodersSize(&count, &bytes) != Gdiplus::Ok || bytes == 0) return false;
  std::vector<uint8_t> buffer(bytes);
  auto* codecs = reinterpret_cast<Gdiplus::ImageCodecInfo*>(buffer.data());
  if (Gdiplus::DllExports::GdipGetImageEncoders(count, bytes, codecs) != Gdiplus::Ok) return false;
  for (UINT i = 0; i < count; ++i) {
    if (codecs[i].MimeType && std::wcscmp(codecs[i].MimeType, mime) == 0) {
      clsid = codecs[i].Clsid;
      return true;
    }
  }
  return false;
}

// GDI+ for the length of one encoding.
class GdiPlusSession {
 public:
  GdiPlusSession() {
    Gdiplus::GdiplusStartupInput input;
    ok_ = Gdiplus::GdiplusStartup(&token_, &input, nullptr) == Gdiplus::Ok;
  }
  ~GdiPlusSession() {
    if (ok_) Gdiplus::GdiplusShutdown(token_);
  }
  bool ok() const { return ok_; }

 private:
  ULONG_PTR token_ = 0;
  bool ok_ = false;
};

class MDesktopModule;

// The device, the encoder and the clocks for one copy.
class Win32PictureSeam : public PictureSeam {
 public:
  Win32PictureSeam(MDesktopModule& module, int opMode) : module_(module), opMode_(opMode) {}
  bool Invoke(const std::u16string& request, std::vector<uint8_t>& answer, uint32_t& status) override;
  bool Reconnect() override;
  bool Encode(PictureFormat format, const std::vector<uint8_t>& bitmap, std::vector<uint8_t>& out,
              uint32_t& error) override;
  uint64_t SystemTime() override {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return Ticks(now);
  }
  uint64_t LocalTime() override {
    FILETIME now, local;
    GetSystemTimeAsFileTime(&now);
    if (!FileTimeToLocalFileTime(&now, &local)) return Ticks(now);
    return Ticks(local);
  }

 private:
  MDesktopModule& module_;
  int opMode_;
};

class MDesktopModule : public MModuleBase {
 public:
  const char* getShortName() override { return "Desktop"; }
  const char* getTitle() override { return "PPC Desktop"; }

  int Activate() override {
    warned_ = false;
    return MModuleBase::Activate();
  }

  int GetFindData(PluginPanelItemA** items, int* count, int opMode) override {
    beginPanelItems();
    pictures_.clear();
    int32_t width = 0, height = 0, bits = 0;
    if (startup.ScreenMetrics) {
      width = startup.ScreenMetrics[0];
      height = startup.ScreenMetrics[1];
      bits = startup.ScreenMetrics[2];
    }
    if (!BuildPictures(width, height, bits, pictures_)) {
      // Said once each time the user enters the module, not on every re-read of the panel.
      if (!(opMode & handrel::kOpSilent) && !warned_) {
        handrel::ShowMessage(getShortName(), "Only 16bit screens supported now.\nSorry...", nullptr, FMSG_WARNING);
      }
      warned_ = true;
      takePanelItems(items, count);
      return 1;
    }
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    for (const Picture& p : pictures_) {
      // The find-data fields addPanelItem takes: attributes, three times, size high and low.
      uint32_t find[9] = {0, now.dwLowDateTime, now.dwHighDateTime, now.dwLowDateTime, now.dwHighDateTime,
                          now.dwLowDateTime, now.dwHighDateTime, 0, p.estimate};
      std::wstring name(p.name.begin(), p.name.end());
      addPanelItem(name.c_str(), find);
    }
    takePanelItems(items, count);
    for (int i = 0; i < *count && static_cast<size_t>(i) < pictures_.size(); ++i) {
      if (handrel::ItemUserData* data = validUserData((*items)[i])) {
        data->reserved = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&pictures_[static_cast<size_t>(i)]));
      }
    }
    return 1;
  }

  int GetFiles(PluginPanelItemA* items, int count, int move, char* destPath, int opMode) override {
    if (!items || count <= 0 || !destPath) return 0;
    bool silent = (opMode & handrel::kOpSilent) != 0;
    char dest[KEL_NM];
    std::memcpy(dest, destPath, KEL_NM - 1);
    dest[KEL_NM - 1] = '\0';
    if (!silent) {
      if (!AskDestination(items, count, move != 0, dest)) return -1;
      std::memcpy(destPath, dest, std::strlen(dest) + 1);
    }

    std::vector<transfer::SourceItem> sources;
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    for (int i = 0; i < count; ++i) {
      std::u16string name = U16(itemName(items[i]));
      const Picture* picture = FindPicture(pictures_, name);
      if (!picture) continue;  // not one of this listing's pictures
      transfer::SourceItem source;
      source.path = picture->name;
      source.attributes = 0;
      source.size = picture->estimate;
      source.writeTime = Ticks(now);
      sources.push_back(std::move(source));
    }
    if (sources.empty()) return 0;

    Win32PictureSeam seam(*this, opMode);
    PictureSide side(pictures_, seam);
    transfer::LocalFileSide local;
    transfer::ConsoleTransferUi ui("Copy");
    transfer::Options options;
    options.sourceIsDevice = true;
    options.move = move != 0;
    options.mode = static_cast<uint32_t>(opMode);
    transfer::MOperationBase operation(options, side, local, ui);
    std::string target = dest;
    if (target.size() > transfer::kMaxTargetRoot) {
      if (!silent) ui.Show(transfer::Message::kTargetTooLong, u"");
      return 0;
    }
    if (!operation.SetTarget(U16(handrel::FromOem(target)))) return 0;
    if (!operation.BuildList(sources)) return operation.Cancelled() ? -1 : 0;
    return operation.Run();
  }

  std::vector<Picture> pictures_;

 private:
  // The copy or move dialog; false when cancelled. dest (KEL_NM bytes, OEM) in and out.
  static bool AskDestination(PluginPanelItemA* items, int count, bool move, char* dest) {
    std::string destination = dest;
    transfer::AddFolderBackslash(destination);
    char name[KEL_NM + 1];
    std::memcpy(name, items[0].FileName, KEL_NM);
    name[KEL_NM] = '\0';
    if (!transfer::RunTransferDialog(move ? transfer::TransferKind::kMove : transfer::TransferKind::kCopy, name,
                                     count, destination))
      return false;
    size_t n = destination.size() < static_cast<size_t>(KEL_NM) - 1 ? destination.size() : KEL_NM - 1;
    std::memcpy(dest, destination.data(), n);
    dest[n] = '\0';
    return true;
  }

  bool warned_ = false;
};

bool Win32PictureSeam::Invoke(const std::u16string& request, std::vector<uint8_t>& answer, uint32_t& status) {
  answer.clear();
  // The request is the text and its terminator; the remote access interface frees it.
  DWORD size = static_cast<DWORD>((request.size() + 1) * sizeof(char16_t));
  BYTE* buffer = static_cast<BYTE*>(LocalAlloc(LPTR, size));
  if (!buffer) {
    status = static_cast<uint32_t>(E_OUTOFMEMORY);
    return false;
  }
  std::memcpy(buffer, request.c_str(), size);
  DWORD outSize = 0;
  BYTE* out = nullptr;
  HRESULT result = CeRapiInvoke(L"\\Windows\\HandrelInvoke.dll", L"FnBlockMode", size, buffer, &outSize, &out,
                                nullptr, 0);
  status = static_cast<uint32_t>(result);
  if (!out) return false;
  answer.assign(out, out + outSize);
  LocalFree(out);
  return true;
}

bool Win32PictureSeam::Reconnect() { return module_.reconnect() == 1; }

bool Win32PictureSeam::Encode(PictureFormat format, const std::vector<uint8_t>& bitmap, std::vector<uint8_t>& out,
                              uint32_t& error) {
  error = static_cast<uint32_t>(E_FAIL);
  GdiPlusSession gdiplus;
  if (!gdiplus.ok()) return false;
  MemoryStream* in = MemoryStream::OverBytes(bitmap.data(), bitmap.size());
  if (!in) {
    error = kErrorNotEnoughMemory;
    return false;
  }
  Gdiplus::GpImage* image = nullptr;
  Gdiplus::GpStatus loaded = Gdiplus::DllExports::GdipLoadImageFromStream(in, &image);
  bool ok = false;
  if (loaded == Gdiplus::Ok && image) {
    CLSID encoder;
    if (FindEncoder(format == PictureFormat::kJpg ? L"image/jpeg" : L"image/png", encoder)) {
      MemoryStream* encoded = MemoryStream::WithCapacity(kEncodedStart);
      if (!encoded) {
        module_.message(opMode_, "Can't allocate memory");
        error = kErrorNotEnoughMemory;
      } else {
        ULONG quality = kJpegQuality;
        Gdiplus::EncoderParameters parameters;
        parameters.Count = 1;
        parameters.Parameter[0].Guid = kEncoderQuality;
        parameters.Parameter[0].Type = Gdiplus::EncoderParameterValueTypeLong;
        parameters.Parameter[0].NumberOfValues = 1;
        parameters.Parameter[0].Value = &quality;
        if (Gdiplus::DllExports::GdipSaveImageToStream(image, encoded, &encoder, &parameters) == Gdiplus::Ok) {
          const GrowableBlock& block = encoded->Block();
          out.assign(block.Data(), block.Data() + block.Size());
          ok = !out.empty();
        }
        encoded->Release();
      }
    }
    Gdiplus::DllExports::GdipDisposeImage(image);
  }
  in->Release();
  if (ok) error = 0;
  return ok;
}

}  // namespace

MModuleBase* CreateModuleObject() { return new MDesktopModule; }
