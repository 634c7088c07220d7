// The information lines a user sees for a device: each case is a device the user might hold.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "devicebrowser/plugin/settings/core/info_lines.h"

namespace handrel::settings {
namespace {

using connection::DeviceRecord;
using connection::DeviceStore;

class AsciiOem : public OemConverter {
 public:
  std::string ToOem(const std::u16string& text) const override {
    std::string out;
    for (char16_t ch : text) out += ch < 128 ? static_cast<char>(ch) : '?';
    return out;
  }
};

std::vector<std::string> Render(const std::vector<InfoLine>& lines) {
  std::vector<std::string> out;
  for (const InfoLine& l : lines) out.push_back(l.separator ? "--" + l.text + "--" : l.text + " = " + l.data);
  return out;
}

DeviceRecord Pocket() {
  DeviceRecord r;
  r.hasVersion = true, r.major = 5, r.minor = 2, r.build = 21234;
  r.servicePack = u"AKU 3";
  r.hasPhysical = true, r.totalPhys = 64u << 20, r.availPhys = 23u << 20;
  r.hasVirtual = true, r.totalVirtual = 2048u << 20, r.availVirtual = 1999u << 20;
  r.hasAcLine = true, r.acLine = 0;
  r.hasBattery = true, r.batteryPercent = 87;
  r.hasBackup = true, r.backupPercent = 100;
  r.hasScreen = true, r.screenWidth = 240, r.screenHeight = 320, r.bitsPerPixel = 16;
  r.stores.push_back(DeviceStore{u"\\", 100ull << 20, 40ull << 20});
  return r;
}

TEST(InfoLines, ADeviceWithoutCardsOnBattery) {
  DeviceRecord r = Pocket();
  EXPECT_EQ((std::vector<std::string>{
                "--Handrel--",
                "PPC Name = Pocket7",
                "OS version = 5.2.21234",
                "OS addition = AKU 3",
                "Physical memory = 64M / 23M",
                "Virtual memory = 2,048M / 1,999M",
                "Screen dimension = 240x320x16",
                "Main battery level = 87%",
                "Backup battery level = 100%",
                "\\My Device = 100M / 40M",
            }),
            Render(BuildInfoLines("Pocket7", &r, 0, AsciiOem())));
}

TEST(InfoLines, ACardOnMainsWithAnUnknownBattery) {
  DeviceRecord r = Pocket();
  r.acLine = 1;
  r.batteryPercent = 255;  // the device does not know
  r.backupPercent = 255;   // no backup battery line
  r.servicePack.clear();   // no addition line
  r.stores.push_back(DeviceStore{u"\\Storage Card", 15000ull << 20, 12345ull << 20});
  std::vector<std::string> lines = Render(BuildInfoLines("Pocket7", &r, 0, AsciiOem()));
  EXPECT_EQ((std::vector<std::string>{
                "--Handrel--",
                "PPC Name = Pocket7",
                "OS version = 5.2.21234",
                "Physical memory = 64M / 23M",
                "Virtual memory = 2,048M / 1,999M",
                "Screen dimension = 240x320x16",
                "Main battery level = (AC Online)Unknown",
                "\\My Device = 100M / 40M",
                "\\Storage Card = 15,000M / 12,345M",
            }),
            lines);
  r.batteryPercent = 100;
  EXPECT_EQ("Main battery level = (AC Online)100%", Render(BuildInfoLines("P", &r, 0, AsciiOem()))[6]);
}

TEST(InfoLines, NoAnswerGivesTheResultCode) {
  EXPECT_EQ((std::vector<std::string>{"--Handrel--", "PPC Name = Pocket7", "Can't get info = Return = 0x8007007E"}),
            Render(BuildInfoLines("Pocket7", nullptr, 0x8007007E, AsciiOem())));
}

TEST(InfoLines, AShortRecordShowsOnlyWhatItHolds) {
  DeviceRecord r;  // an answer that ended inside the version record
  r.servicePack = u"Service P";
  EXPECT_EQ((std::vector<std::string>{"--Handrel--", "PPC Name = x", "OS addition = Service P"}),
            Render(BuildInfoLines("x", &r, 0, AsciiOem())));
  r.hasAcLine = true;  // the AC line arrived, the battery percent did not
  r.acLine = 1;
  EXPECT_EQ("Main battery level = (AC Online)Unknown", Render(BuildInfoLines("x", &r, 0, AsciiOem())).back());
}

TEST(InfoLines, TextsAreCutTo79Characters) {
  DeviceRecord r = Pocket();
  r.servicePack = std::u16string(128, u'S');
  r.stores[0].name = u"\\" + std::u16string(63, u'C');
  std::vector<InfoLine> lines = BuildInfoLines(std::string(300, 'n'), &r, 0, AsciiOem());
  for (const InfoLine& l : lines) {
    EXPECT_LE(l.text.size(), 79u);
    EXPECT_LE(l.data.size(), 79u);
  }
  EXPECT_EQ(std::string(79, 'n'), lines[1].data);
  EXPECT_EQ(std::string(79, 'S'), lines[3].data);
  EXPECT_EQ(64u, lines.back().text.size());  // not the main store: no "My Device"
}

}  // namespace
}  // namespace handrel::settings
