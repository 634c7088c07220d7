// The attributes dialog's logic: which device attribute bits its check boxes carry, the word to
// set when the user changed some of them, the information texts for the bits it shows without a
// box, the time fields' texts and the error text.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "devicebrowser/modules/files/core/listing.h"

namespace handrel::files {

// The check boxes in the dialog's order.
struct AttributeBox {
  uint32_t bit;
  const char* label;
};
constexpr int kAttributeBoxCount = 5;
extern const AttributeBox kAttributeBoxes[kAttributeBoxCount];
constexpr uint32_t kAttributeBoxBits = kAttrReadOnly | kAttrArchive | kAttrHidden | kAttrSystem | kAttrCompressed;

// The word to set: original with only the boxes' bits whose state the user changed (shown: the
// boxes as the dialog opened, chosen: as it closed; other bits of both are ignored). Normal is
// kept only alone: it goes when another bit remains, and comes when none does.
uint32_t ChangedAttributes(uint32_t original, uint32_t shown, uint32_t chosen);

// The texts beside the boxes, for information: "In ROM", "ROM module ", "Storage Card" for the
// set flags, then " +  0x%08x" with every remaining bit that no box or flag shows (none: no text).
std::vector<std::string> AttributeFlagTexts(uint32_t attributes);

// A point in local time as the dialog shows it.
struct CivilTime {
  int year, month, day, hour, minute, second, milliseconds;
};
// "DD.MM.YYYY" and "HH:MM:SS.FFF"; blank ("  .  .    ", "  :  :  .   ") for null.
std::string DateText(const CivilTime* time);
std::string TimeText(const CivilTime* time);
constexpr const char* kDateMask = "99.99.9999";
constexpr const char* kTimeMask = "99:99:99.999";

// The message after a failed change: the path, the transport error and the device's error (0 is
// shown as 0x8000FFFF, the "no error recorded" failure).
std::string AttributesErrorText(const std::string& path, uint32_t transportError, uint32_t deviceError);

}  // namespace handrel::files
