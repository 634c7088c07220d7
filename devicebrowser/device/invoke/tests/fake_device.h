// A scripted device for the core's tests and the fuzzer: files as a map of paths to
// attributes, windows and input as lists, a PIM store in memory. Every call is recorded.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "devicebrowser/device/invoke/core/invoke.h"

namespace handrel::invoke::testing {

class MemoryPimStore : public pim::Store {
 public:
  std::map<uint32_t, std::pair<pim::Kind, pim::Item>> items;
  uint32_t nextOid = 0x100;
  uint32_t failList = 0, failSave = 0, failCreate = 0, failDelete = 0;

  uint32_t List(pim::Kind kind, std::vector<pim::Item>& out) override {
    if (failList) return failList;
    for (auto& [oid, ki] : items)
      if (ki.first == kind) out.push_back(ki.second);
    return 0;
  }
  uint32_t Get(pim::Kind kind, uint32_t oid, pim::Item& item) override {
    auto it = items.find(oid);
    if (it == items.end() || it->second.first != kind) return 0x80070490;  // element not found
    item = it->second.second;
    return 0;
  }
  uint32_t Create(pim::Kind kind, uint32_t& oid) override {
    if (failCreate) return failCreate;
    oid = nextOid++;
    items[oid] = {kind, pim::Item{oid, {}}};
    return 0;
  }
  uint32_t SetField(pim::Kind, pim::Item& item, uint32_t field, const pim::Value& value) override {
    if (value.text.empty())
      item.fields.erase(field);
    else
      item.fields[field] = value;
    return 0;
  }
  uint32_t Save(pim::Kind kind, const pim::Item& item) override {
    if (failSave) return failSave;
    items[item.oid] = {kind, item};
    return 0;
  }
  uint32_t Delete(pim::Kind, uint32_t oid) override {
    if (failDelete) return failDelete;
    items.erase(oid);
    return 0;
  }
};

class FakeDevice : public InvokeDevice {
 public:
  uint32_t lastError = 0;
  uint32_t width = 240, height = 320, bits = 16;
  std::map<std::u16string, uint32_t> files;  // path -> attributes
  std::vector<DirEntry> root;
  std::vector<WindowInfo> windows;
  bool windowsFail = false, captureFail = false, postTextFail = false, desktopPresent = true;
  uint32_t attributeMask = 0xFFFFFFFF;  // bits the file system keeps on SetAttributes
  std::vector<std::string> log;
  std::vector<BmpLayout> captures;
  MemoryPimStore store;

  uint32_t LastError() override { return lastError; }
  OsVersion Version() override { return {5, 2, 21234, 3, u"Build 21234"}; }
  MemoryStatus Memory() override { return {40, 64u << 20, 30u << 20, 0, 0, 32u << 20, 20u << 20}; }
  PowerStatus Power() override { return {1, 8, 87, 3600, 7200, 1, 100, 10, 20}; }
  void Screen(uint32_t& w, uint32_t& h, uint32_t& b) override {
    w = width;
    h = height;
    b = bits;
  }
  bool FreeSpace(const std::u16string& path, DiskSpace& space) override {
    if (path == u"\\") {
      space = {1000, 4000, 1500};
      return true;
    }
    space = {uint64_t{path.size()} << 32, 2000, 300};
    return true;
  }
  bool RootEntries(std::vector<DirEntry>& entries) override {
    entries = root;
    return true;
  }
  bool Capture(const BmpLayout& layout, uint8_t* table, uint8_t* pixels) override {
    captures.push_back(layout);
    if (captureFail) {
      lastError = 8;
      return false;
    }
    for (size_t i = 0; i < layout.tableSize; ++i) table[i] = static_cast<uint8_t>(i);
    for (size_t i = 0; i < layout.pixelSize; ++i) pixels[i] = static_cast<uint8_t>(i * 7);
    return true;
  }
  bool Windows(std::vector<WindowInfo>& out) override {
    if (windowsFail) return false;
    out = windows;
    return true;
  }
  bool ActivateWindow(uint32_t h) override {
    log.push_back("activate " + std::to_string(h));
    for (auto& w : windows)
      if (w.handle == h) return true;
    lastError = 1400;  // invalid window handle
    return false;
  }
  bool ShowDesktop() override {
    log.push_back("desktop");
    lastError = 1400;
    return desktopPresent;
  }
  bool DestroyWindow(uint32_t h) override {
    log.push_back("destroy " + std::to_string(h));
    return true;
  }
  void PostChar(uint32_t state, char16_t ch) override {
    log.push_back("char " + std::to_string(state) + " " + std::to_string(ch));
  }
  void KeyEvent(uint8_t vk, uint8_t scan, uint32_t flags, uint32_t extra) override {
    log.push_back("key " + std::to_string(vk) + " " + std::to_string(scan) + " " + std::to_string(flags) + " " +
                  std::to_string(extra));
  }
  void MouseEvent(uint32_t flags, uint32_t x, uint32_t y, uint32_t wheel, uint32_t extra) override {
    log.push_back("mouse " + std::to_string(flags) + " " + std::to_string(x) + " " + std::to_string(y) + " " +
                  std::to_string(wheel) + " " + std::to_string(extra));
  }
  bool PostText(const std::u16string& text) override {
    std::string s;
    for (char16_t c : text) s.push_back(c < 128 ? static_cast<char>(c) : '?');
    log.push_back("text " + s);
    if (postTextFail) lastError = 6;
    return !postTextFail;
  }
  bool MovePath(const std::u16string& from, const std::u16string& to) override {
    auto it = files.find(from);
    if (it == files.end()) {
      lastError = 2;
      return false;
    }
    if (files.count(to)) {
      lastError = 183;
      return false;
    }
    files[to] = it->second;
    files.erase(from);
    return true;
  }
  uint32_t GetAttributes(const std::u16string& path) override {
    auto it = files.find(path);
    if (it == files.end()) {
      lastError = 2;
      return kInvalidAttributes;
    }
    return it->second;
  }
  bool SetAttributes(const std::u16string& path, uint32_t a) override {
    auto it = files.find(path);
    if (it == files.end()) {
      lastError = 2;
      return false;
    }
    it->second = (a & attributeMask) | (it->second & kAttrDirectory);
    log.push_back("setattr " + std::to_string(a));
    return true;
  }
  bool RemoveFolder(const std::u16string& path) override { return Remove(path, true); }
  bool DeletePath(const std::u16string& path) override { return Remove(path, false); }
  pim::Store& Pim() override { return store; }

 private:
  bool Remove(const std::u16string& path, bool dir) {
    auto it = files.find(path);
    if (it == files.end() || ((it->second & kAttrDirectory) != 0) != dir) {
      lastError = it == files.end() ? 2 : 5;
      return false;
    }
    if (it->second & kAttrReadOnly) {
      lastError = 5;
      return false;
    }
    files.erase(it);
    return true;
  }
};

// Request bytes: a command text (UTF-16, no terminator) and raw bytes behind it.
inline std::vector<uint8_t> Req(const std::u16string& text, const std::vector<uint8_t>& tail = {}) {
  std::vector<uint8_t> out;
  for (char16_t c : text) {
    out.push_back(static_cast<uint8_t>(c));
    out.push_back(static_cast<uint8_t>(c >> 8));
  }
  out.insert(out.end(), tail.begin(), tail.end());
  return out;
}
inline std::u16string AnswerText(const std::vector<uint8_t>& a) {
  std::u16string s;
  for (size_t i = 0; i + 1 < a.size(); i += 2) {
    char16_t c = static_cast<char16_t>(a[i] | (a[i + 1] << 8));
    if (!c) break;
    s.push_back(c);
  }
  return s;
}

}  // namespace handrel::invoke::testing
