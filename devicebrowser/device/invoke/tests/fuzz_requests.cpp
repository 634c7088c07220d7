// Fuzz harness: any request bytes go through the command parser and answer builder against a
// scripted device; the answer stays within bounds and has the shape its command promises. The
// same bytes are also read as item records, the layout the device's contact store keeps.
#include <cstddef>
#include <cstdint>

#include "devicebrowser/device/invoke/core/invoke.h"
#include "devicebrowser/device/invoke/tests/fake_device.h"

using namespace handrel::invoke;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  testing::FakeDevice dev;
  dev.files = {{u"\\a", 0x21}, {u"\\d", 0x10}};
  dev.windows = {{1, 2, u"c", u"t"}};
  dev.root = {{u"Card", 0x110}};
  dev.width = 24;  // small captures keep runs fast
  dev.height = 32;
  uint32_t oid = 0;
  dev.store.Create(handrel::pim::Kind::kContact, oid);
  std::vector<uint8_t> answer = HandleRequest(data, size, dev);
  Request r = ParseRequest(data, size);
  if (r.command == Command::kBrowserInfo && answer.size() != 952) __builtin_trap();
  if ((r.command == Command::kDeleteFile || r.command == Command::kSetAttrib) && answer.size() != 4) __builtin_trap();
  if (r.command == Command::kSnapshot && answer.size() > 54 && (answer[0] != 'B' || answer[1] != 'M')) __builtin_trap();
  if (r.command != Command::kWindows && answer.empty()) __builtin_trap();
  std::vector<handrel::pim::KindedItem> items;
  handrel::pim::ParseItemRecords(data, size, items);
  return 0;
}
