// The device record read from what the device sent, and the invoke library's stamp. Records are
// written here with literal offsets, independently of the parser's constants.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "devicebrowser/device/invoke/core/records.h"
#include "devicebrowser/plugin/connection/core/device_record.h"
#include "devicebrowser/plugin/connection/core/invoke_stamp.h"

namespace handrel::connection {
namespace {

void Put32(std::vector<uint8_t>& r, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) r[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
}
void Put64(std::vector<uint8_t>& r, size_t at, uint64_t v) {
  Put32(r, at, static_cast<uint32_t>(v));
  Put32(r, at + 4, static_cast<uint32_t>(v >> 32));
}
void PutText(std::vector<uint8_t>& r, size_t at, const std::u16string& text) {
  for (size_t i = 0; i < text.size(); ++i) {
    r[at + 2 * i] = static_cast<uint8_t>(text[i]);
    r[at + 2 * i + 1] = static_cast<uint8_t>(text[i] >> 8);
  }
}

// A whole record of a device with a main store and one card.
std::vector<uint8_t> FullRecord() {
  std::vector<uint8_t> r(952, 0);
  Put32(r, 0, 276);
  Put32(r, 4, 5);
  Put32(r, 8, 2);
  Put32(r, 12, 21234);
  PutText(r, 20, u"Service Pack 1");
  Put32(r, 276, 32);
  Put32(r, 284, 64u << 20);   // total physical
  Put32(r, 288, 23u << 20);   // available physical
  Put32(r, 300, 32u << 20);   // total virtual
  Put32(r, 304, 31u << 20);   // available virtual
  r[308] = 1;                 // AC online
  r[310] = 87;                // battery percent
  r[322] = 100;               // backup percent
  Put32(r, 332, 240);
  Put32(r, 336, 320);
  Put32(r, 340, 16);
  PutText(r, 344, u"\\");
  Put64(r, 344 + 136, 100ull << 20);
  Put64(r, 344 + 144, 40ull << 20);
  PutText(r, 496, u"\\Storage Card");
  Put64(r, 496 + 136, 2048ull << 20);
  Put64(r, 496 + 144, 1024ull << 20);
  return r;
}

TEST(DeviceRecord, AWholeRecordGivesEveryField) {
  std::vector<uint8_t> r = FullRecord();
  DeviceRecord d = ParseDeviceRecord(r.data(), r.size());
  EXPECT_TRUE(d.hasVersion);
  EXPECT_EQ(5u, d.major);
  EXPECT_EQ(2u, d.minor);
  EXPECT_EQ(21234u, d.build);
  EXPECT_EQ(u"Service Pack 1", d.servicePack);
  ASSERT_TRUE(d.hasPhysical && d.hasVirtual);
  EXPECT_EQ(64u << 20, d.totalPhys);
  EXPECT_EQ(23u << 20, d.availPhys);
  EXPECT_EQ(32u << 20, d.totalVirtual);
  EXPECT_EQ(31u << 20, d.availVirtual);
  ASSERT_TRUE(d.hasAcLine && d.hasBattery && d.hasBackup);
  EXPECT_EQ(1, d.acLine);
  EXPECT_EQ(87, d.batteryPercent);
  EXPECT_EQ(100, d.backupPercent);
  ASSERT_TRUE(d.hasScreen);
  EXPECT_EQ(240u, d.screenWidth);
  EXPECT_EQ(320u, d.screenHeight);
  EXPECT_EQ(16u, d.bitsPerPixel);
  ASSERT_EQ(2u, d.stores.size());
  EXPECT_EQ(u"\\", d.stores[0].name);
  EXPECT_EQ(100ull << 20, d.stores[0].totalBytes);
  EXPECT_EQ(40ull << 20, d.stores[0].totalFreeBytes);
  EXPECT_EQ(u"\\Storage Card", d.stores[1].name);
  EXPECT_EQ(2048ull << 20, d.stores[1].totalBytes);
}

TEST(DeviceRecord, StoresStopAtTheFirstEmptyNameAndAtFour) {
  std::vector<uint8_t> r = FullRecord();
  PutText(r, 800, u"\\Card3");  // entry 3 behind an empty entry 2: not read
  EXPECT_EQ(2u, ParseDeviceRecord(r.data(), r.size()).stores.size());
  PutText(r, 648, u"\\Card2");
  EXPECT_EQ(4u, ParseDeviceRecord(r.data(), r.size()).stores.size());
  // A longer answer holds nothing more for the plugin.
  r.resize(2000, 0x41);
  DeviceRecord d = ParseDeviceRecord(r.data(), r.size());
  ASSERT_EQ(4u, d.stores.size());
  EXPECT_EQ(u"\\Card3", d.stores[3].name);
}

TEST(DeviceRecord, UnterminatedNamesAreBoundByTheirFields) {
  std::vector<uint8_t> r = FullRecord();
  // A card name filling its 128 bytes without a terminator, followed by nonzero size bytes.
  std::u16string full(64, u'N');
  PutText(r, 496, full);
  // A service pack text without a terminator running into the memory record.
  PutText(r, 20, std::u16string(128, u'S'));
  DeviceRecord d = ParseDeviceRecord(r.data(), r.size());
  ASSERT_EQ(2u, d.stores.size());
  EXPECT_EQ(full, d.stores[1].name);
  EXPECT_EQ(2048ull << 20, d.stores[1].totalBytes);
  EXPECT_EQ(std::u16string(128, u'S'), d.servicePack);
}

TEST(DeviceRecord, AShortAnswerTellsOnlyWhatArrived) {
  std::vector<uint8_t> r = FullRecord();
  struct Case {
    size_t size;
    bool version, physical, virt, ac, battery, backup, screen;
    size_t stores;
  } cases[] = {
      {0, false, false, false, false, false, false, false, 0},
      {15, false, false, false, false, false, false, false, 0},   // build cut short
      {16, true, false, false, false, false, false, false, 0},
      {291, true, false, false, false, false, false, false, 0},   // available physical cut short
      {292, true, true, false, false, false, false, false, 0},
      {308, true, true, true, false, false, false, false, 0},
      {309, true, true, true, true, false, false, false, 0},      // AC line only
      {311, true, true, true, true, true, false, false, 0},
      {323, true, true, true, true, true, true, false, 0},
      {343, true, true, true, true, true, true, false, 0},        // depth cut short
      {344, true, true, true, true, true, true, true, 0},
      {495, true, true, true, true, true, true, true, 0},         // main store's sizes cut short
      {496, true, true, true, true, true, true, true, 1},
      {647, true, true, true, true, true, true, true, 1},
      {648, true, true, true, true, true, true, true, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("size " + std::to_string(c.size));
    // A copy of exactly that many bytes, so that ASan catches any read beyond.
    std::vector<uint8_t> cut(r.begin(), r.begin() + static_cast<long>(c.size));
    DeviceRecord d = ParseDeviceRecord(cut.empty() ? nullptr : cut.data(), cut.size());
    EXPECT_EQ(c.version, d.hasVersion);
    EXPECT_EQ(c.physical, d.hasPhysical);
    EXPECT_EQ(c.virt, d.hasVirtual);
    EXPECT_EQ(c.ac, d.hasAcLine);
    EXPECT_EQ(c.battery, d.hasBattery);
    EXPECT_EQ(c.backup, d.hasBackup);
    EXPECT_EQ(c.screen, d.hasScreen);
    EXPECT_EQ(c.stores, d.stores.size());
  }
}

TEST(DeviceRecord, AServicePackCutByTheAnswersEndKeepsWhatArrived) {
  std::vector<uint8_t> r = FullRecord();
  std::vector<uint8_t> cut(r.begin(), r.begin() + 20 + 2 * 7 + 1);  // 7 characters and half of one
  EXPECT_EQ(u"Service", ParseDeviceRecord(cut.data(), cut.size()).servicePack);
}

// The record as the device-side library writes it reads back field for field.
TEST(DeviceRecord, WhatTheDeviceLibraryWritesReadsBack) {
  invoke::DeviceFacts facts;
  facts.version = {4, 21, 1088, 3, u"Build 1088"};
  facts.memory.totalPhys = 32u << 20;
  facts.memory.availPhys = 12u << 20;
  facts.memory.totalVirtual = 32u << 20;
  facts.memory.availVirtual = 30u << 20;
  facts.power.acLine = 0;
  facts.power.batteryPercent = 255;
  facts.power.backupPercent = 42;
  facts.screenWidth = 480, facts.screenHeight = 640, facts.bitsPerPixel = 16;
  facts.stores = {{u"\\", 1, 64ull << 20, 10ull << 20}, {u"\\SD Card", 2, 1ull << 30, 512ull << 20}};
  std::vector<uint8_t> r = invoke::BuildDeviceRecord(facts);
  ASSERT_EQ(952u, r.size());
  DeviceRecord d = ParseDeviceRecord(r.data(), r.size());
  EXPECT_EQ(4u, d.major);
  EXPECT_EQ(21u, d.minor);
  EXPECT_EQ(1088u, d.build);
  EXPECT_EQ(u"Build 1088", d.servicePack);
  EXPECT_EQ(12u << 20, d.availPhys);
  EXPECT_EQ(30u << 20, d.availVirtual);
  EXPECT_EQ(0, d.acLine);
  EXPECT_EQ(255, d.batteryPercent);
  EXPECT_EQ(42, d.backupPercent);
  EXPECT_EQ(640u, d.screenHeight);
  ASSERT_EQ(2u, d.stores.size());
  EXPECT_EQ(u"\\SD Card", d.stores[1].name);
  EXPECT_EQ(1ull << 30, d.stores[1].totalBytes);
  EXPECT_EQ(512ull << 20, d.stores[1].totalFreeBytes);
}

TEST(InvokeStamp, TheStampIsThePluginTimeCutToTheMinute) {
  const uint64_t minute = 600000000ull;
  const uint64_t start = 130000000000000000ull - 130000000000000000ull % minute;  // a minute in 2012
  EXPECT_EQ(start, TruncateToMinute(start));
  EXPECT_EQ(start, TruncateToMinute(start + 59 * 10000000ull + 9999999));  // 59.9999999 s later
  EXPECT_EQ(start + minute, TruncateToMinute(start + minute));
}

TEST(InvokeStamp, TheDevicesCopyIsCurrentOnlyWithTheSameSizeAndTime) {
  const uint64_t stamp = 130000000000000000ull;
  EXPECT_TRUE(InvokeCopyIsCurrent({true, stamp, 4096}, stamp, 4096));
  EXPECT_FALSE(InvokeCopyIsCurrent({false, stamp, 4096}, stamp, 4096));     // not on the device
  EXPECT_FALSE(InvokeCopyIsCurrent({true, stamp, 4097}, stamp, 4096));      // another size
  EXPECT_FALSE(InvokeCopyIsCurrent({true, stamp + 1, 4096}, stamp, 4096));  // another time
  EXPECT_FALSE(InvokeCopyIsCurrent({true, 0, 4096}, 0, 4096));              // no stamp: always written
}

}  // namespace
}  // namespace handrel::connection
