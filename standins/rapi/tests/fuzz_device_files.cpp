// Fuzz harness over what the emulator reads from files and callers: the attribute sidecar, the
// registry store, the script, device paths and find patterns. The first byte picks the target.
// Beyond not crashing, each target checks an invariant: a store serialises to text that parses
// back to the same store, and a mapped path never leaves the root.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "standins/rapi/core/device_path.h"
#include "standins/rapi/core/device_store.h"
#include "standins/rapi/core/fault_script.h"

using namespace rapiemu;

namespace {

std::u16string Utf16Of(const uint8_t* data, size_t size) {
  std::u16string s;
  for (size_t i = 0; i + 1 < size; i += 2) s += static_cast<char16_t>(data[i] | (data[i + 1] << 8));
  return s;
}

void Check(bool condition) {
  if (!condition) std::abort();
}

void CheckMapped(const MappedPath& m, std::u16string_view root) {
  if (!m.ok()) return;
  Check(m.hostPath.starts_with(root));
  std::u16string_view rest = std::u16string_view(m.hostPath).substr(root.size());
  Check(rest.empty() || rest[0] == u'\\');
  Check(rest.find(u':') == std::u16string_view::npos);
  Check(m.devicePath.size() <= kMaxDevicePath);
  // Every component is a plain name: never empty, "." or "..".
  size_t pos = 0;
  while (pos < rest.size()) {
    size_t end = rest.find(u'\\', pos + 1);
    if (end == std::u16string_view::npos) end = rest.size();
    std::u16string_view comp = rest.substr(pos + 1, end - pos - 1);
    Check(!comp.empty() && comp != u"." && comp != u"..");
    pos = end;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  uint8_t target = data[0] % 5;
  std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
  switch (target) {
    case 0: {
      AttributeSidecar s = AttributeSidecar::Parse(text);
      std::string once = s.Serialize();
      AttributeSidecar again = AttributeSidecar::Parse(once);
      Check(again.badLines() == 0 && again.Serialize() == once);
      break;
    }
    case 1: {
      RegistryStore r = RegistryStore::Parse(text);
      std::string once = r.Serialize();
      RegistryStore again = RegistryStore::Parse(once);
      Check(again.badLines() == 0 && again.Serialize() == once);
      break;
    }
    case 2: {
      FaultPlan plan(FaultScript::Parse(text));
      for (int i = 0; i < 16; ++i) {
        plan.OnCall(i % 2 ? "CeReadFile" : "CeWriteFile");
        plan.OnConnectAttempt();
      }
      break;
    }
    case 3: {
      const std::u16string root = u"Z:\\dev";
      std::u16string path = Utf16Of(data + 1, size - 1);
      CheckMapped(MapDevicePath(root, path), root);
      MappedPattern p = MapFindPattern(root, path);
      if (p.ok()) {
        CheckMapped(p.folder, root);
        Check(!p.pattern.empty());
      }
      break;
    }
    default: {
      std::u16string both = Utf16Of(data + 1, size - 1);
      size_t cut = both.find(u'|');
      if (cut != std::u16string::npos) MatchFindPattern(both.substr(0, cut), both.substr(cut + 1));
      break;
    }
  }
  return 0;
}
