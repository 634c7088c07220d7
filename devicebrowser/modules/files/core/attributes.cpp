#include "devicebrowser/modules/files/core/attributes.h"

#include <cstdio>

namespace handrel::files {

const AttributeBox kAttributeBoxes[kAttributeBoxCount] = {{kAttrReadOnly, "&Read only"},
                                                          {kAttrArchive, "&Archive"},
                                                          {kAttrHidden, "&Hidden"},
                                                          {kAttrSystem, "&System"},
                                                          {kAttrCompressed, "&Compressed"}};

namespace {

struct FlagText {
  uint32_t bit;
  const char* text;
};
constexpr FlagText kFlagTexts[] = {
    {kAttrInRom, "In ROM"}, {kAttrRomModule, "ROM module "}, {kAttrStorageCard, "Storage Card"}};

}  // namespace

uint32_t ChangedAttributes(uint32_t original, uint32_t shown, uint32_t chosen) {
  uint32_t changed = (shown ^ chosen) & kAttributeBoxBits;
  uint32_t result = (original & ~changed) | (chosen & changed);
  if (result & ~kAttrNormal) result &= ~kAttrNormal;
  if (result == 0) result = kAttrNormal;
  return result;
}

std::vector<std::string> AttributeFlagTexts(uint32_t attributes) {
  std::vector<std::string> texts;
  uint32_t rest = attributes & ~kAttributeBoxBits;
  for (const FlagText& f : kFlagTexts) {
    if (attributes & f.bit) texts.emplace_back(f.text);
    rest &= ~f.bit;
  }
  if (rest) {
    char text[32];
    std::snprintf(text, sizeof text, " +  0x%08x", static_cast<unsigned>(rest));
    texts.emplace_back(text);
  }
  return texts;
}

std::string DateText(const CivilTime* t) {
  if (!t) return "  .  .    ";
  char text[48];
  std::snprintf(text, sizeof text, "%02i.%02i.%04i", t->day, t->month, t->year);
  return text;
}

std::string TimeText(const CivilTime* t) {
  if (!t) return "  :  :  .   ";
  char text[64];
  std::snprintf(text, sizeof text, "%02i:%02i:%02i.%03i", t->hour, t->minute, t->second, t->milliseconds);
  return text;
}

std::string AttributesErrorText(const std::string& path, uint32_t transportError, uint32_t deviceError) {
  char numbers[64];
  std::snprintf(numbers, sizeof numbers, "Rapi: 0x%08x, CE: 0x%08x", static_cast<unsigned>(transportError),
                static_cast<unsigned>(deviceError ? deviceError : 0x8000FFFFu));
  return "Can't change file attributes for:\r\n" + path + "\r\n" + numbers;
}

}  // namespace handrel::files
