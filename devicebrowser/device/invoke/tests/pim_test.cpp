// Contacts, appointments and tasks through "EnumContacts;" and "UpdateContact;" against a store
// in memory: the record layout, dates, and every refusal of a malformed change.
#include <gtest/gtest.h>

#include "devicebrowser/device/invoke/core/bytes.h"
#include "devicebrowser/device/invoke/core/invoke.h"
#include "devicebrowser/device/invoke/tests/fake_device.h"

using namespace handrel;
using namespace handrel::invoke::testing;

namespace {

std::vector<uint8_t> Change(const std::u16string& letters, uint32_t oid,
                            const std::vector<std::pair<uint32_t, std::u16string>>& fields, bool end = true) {
  std::vector<uint8_t> p = Req(letters);
  Append32(p, oid);
  for (const auto& [number, text] : fields) {
    Append32(p, number);
    AppendText(p, text);
  }
  if (end) Append32(p, 0);
  return Req(u"UpdateContact;", p);
}
std::vector<uint8_t> Enum(const std::u16string& letters, const std::vector<uint8_t>& tail = {}) {
  std::vector<uint8_t> p = Req(letters, tail);
  p.insert(p.end(), {0, 0});
  return Req(u"EnumContacts;", p);
}

class PimTest : public ::testing::Test {
 protected:
  FakeDevice dev;
  std::vector<uint8_t> Run(const std::vector<uint8_t>& req) { return invoke::HandleRequest(req.data(), req.size(), dev); }
  std::u16string RunText(const std::vector<uint8_t>& req) { return AnswerText(Run(req)); }
};

}  // namespace

TEST(PimDates, ThreeFormsAndRangeChecks) {
  pim::Date d;
  ASSERT_TRUE(pim::ParseDate(u"07.03.2024", d));
  EXPECT_FALSE(d.hasTime);
  EXPECT_EQ(pim::FormatDate(d), u"07.03.2024");
  ASSERT_TRUE(pim::ParseDate(u"29.02.2024 23:59:58", d));
  EXPECT_EQ(pim::FormatDate(d), u"29.02.2024 23:59:58");
  ASSERT_TRUE(pim::ParseDate(u"01.01.1601 00:00:00.007", d));
  EXPECT_EQ(d.milli, 7);
  EXPECT_EQ(pim::FormatDate(d), u"01.01.1601 00:00:00.007");
  for (const char16_t* bad : {u"32.01.2024", u"00.01.2024", u"01.13.2024", u"1.1.2024", u"01.01.1600",
                              u"01.01.2024 24:00:00", u"01.01.2024 12:60:00", u"01.01.2024T12:00:00",
                              u"01.01.2024 12:00", u"01.01.2024 12:00:00.1", u"ab.cd.efgh", u""})
    EXPECT_FALSE(pim::ParseDate(bad, d)) << std::string(bad, bad + std::u16string(bad).size());
}

TEST_F(PimTest, CreateEnumerateChangeAndDeleteAContact) {
  EXPECT_EQ(RunText(Enum(u"CF")), u"Empty");
  std::u16string ok = RunText(Change(u"CN", 0, {{2, u"Ada"}, {4, u"Lovelace"}, {46, u"10.12.1815"}}));
  ASSERT_EQ(ok, u"OK;0x00000100");
  auto all = Run(Enum(u"CF"));
  // size word, kind 2, identifier, then the fields in number order.
  std::vector<uint8_t> want;
  Append32(want, 0);
  Append32(want, 2);
  Append32(want, 0x100);
  Append32(want, 2);
  AppendText(want, u"Ada");
  Append32(want, 4);
  AppendText(want, u"Lovelace");
  Append32(want, 46);
  AppendText(want, u"10.12.1815");
  Store32(want.data(), static_cast<uint32_t>(want.size() - 4));
  EXPECT_EQ(all, want);
  // "B" leaves the dates out; "D" picks one item by the identifier at byte 4.
  auto brief = Run(Enum(u"CB"));
  EXPECT_EQ(brief.size(), want.size() - 4 - 22);
  std::vector<uint8_t> id;
  Append32(id, 0x100);
  auto one = Run(Enum(u"CD", id));
  EXPECT_EQ(one, want);
  Store32(id.data(), 0x999);
  EXPECT_EQ(AnswerText(Run(Enum(u"CD", id))), u"Error;GetItemFromOid failed\r\nErr=0x80070490, OID=0x00000999");
  EXPECT_EQ(RunText(Enum(u"CD")), u"Error;Item identifier missing");

  EXPECT_EQ(RunText(Change(u"CU", 0x100, {{2, u"Augusta"}, {46, u""}})), u"OK;0x00000100");
  std::vector<pim::KindedItem> items;
  auto again = Run(Enum(u"CF"));
  ASSERT_TRUE(pim::ParseItemRecords(again.data(), again.size(), items));
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0].item.fields.at(2).text, u"Augusta");
  EXPECT_EQ(items[0].item.fields.count(46), 0u);
  EXPECT_EQ(RunText(Change(u"CX", 0x100, {})), u"OK;0x00000100");
  EXPECT_EQ(RunText(Enum(u"CF")), u"Empty");
}

TEST_F(PimTest, AppointmentAndTaskNumbersAndSwitches) {
  ASSERT_EQ(RunText(Change(u"AN", 0, {{1, u"Review"}, {6, u"01.02.2025 09:30:00"}, {8, u"90"}, {14, u"7"}})),
            u"OK;0x00000100");
  ASSERT_EQ(RunText(Change(u"TN", 0, {{1, u"Ship"}, {9, u"2"}, {12, u"1"}})), u"OK;0x00000101");
  std::vector<pim::KindedItem> items;
  auto appts = Run(Enum(u"A"));
  ASSERT_TRUE(pim::ParseItemRecords(appts.data(), appts.size(), items));
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0].kind, pim::Kind::kAppointment);
  EXPECT_EQ(items[0].item.fields.at(8).number, 90u);
  EXPECT_EQ(items[0].item.fields.at(14).number, 1u);  // a switch is 0 or 1
  EXPECT_EQ(items[0].item.fields.at(6).date.hour, 9);
  items.clear();
  auto tasks = Run(Enum(u"T?"));
  ASSERT_TRUE(pim::ParseItemRecords(tasks.data(), tasks.size(), items));
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0].item.oid, 0x101u);
  EXPECT_EQ(items[0].item.fields.at(9).number, 2u);
}

TEST_F(PimTest, RefusalsChangeNothing) {
  EXPECT_EQ(RunText(Enum(u"XF")), u"Unknown PIM item type: XF");
  EXPECT_EQ(RunText(Req(u"EnumContacts;")), u"Unknown PIM item type: ");
  EXPECT_EQ(RunText(Change(u"QN", 0, {})), u"Error;Unknown PIM item type: QN");
  EXPECT_EQ(RunText(Change(u"CZ", 0, {})), u"Error;Unknown operation: Z");
  EXPECT_EQ(RunText(Req(u"UpdateContact;", Req(u"CN"))), u"Error;Item identifier missing");
  EXPECT_EQ(RunText(Change(u"CX", 0, {})), u"Error;Can't delete item OID==0");
  EXPECT_EQ(RunText(Change(u"CX", 7, {})), u"Error;GetItemFromOid failed\r\nErr=0x80070490, OID=0x00000007");
  EXPECT_EQ(RunText(Change(u"CU", 7, {})), u"Error;GetItemFromOid failed\r\nErr=0x80070490, OID=0x00000007");
  EXPECT_EQ(RunText(Change(u"CN", 0, {{48, u"x"}})), u"Error;Invalid Field ID: 48");
  EXPECT_EQ(RunText(Change(u"CN", 0, {{47, u"31.02.2020"}})), u"Error;Invalid date (31.02.2020) in field (Anniversary)");
  EXPECT_EQ(RunText(Change(u"AN", 0, {{8, u"12x"}})), u"Error;Invalid long (12x) in field (Duration)");
  EXPECT_EQ(RunText(Change(u"AN", 0, {{8, u"4294967296"}})), u"Error;Invalid long (4294967296) in field (Duration)");
  // A value without its terminator at the end of the request.
  std::vector<uint8_t> cut = Change(u"CN", 0, {}, false);
  Append32(cut, 1);
  cut.insert(cut.end(), {'A', 0});
  EXPECT_EQ(RunText(cut), u"Error;Invalid value (A) in field (FileAs)");
  EXPECT_TRUE(dev.store.items.empty());

  dev.store.failCreate = 0x80004005;
  EXPECT_EQ(RunText(Change(u"CN", 0, {{1, u"a"}})), u"Error;CreateItem failed, code=0x80004005");
  dev.store.failCreate = 0;
  dev.store.failSave = 0x8007000E;
  EXPECT_EQ(RunText(Change(u"TN", 0, {})), u"Error;Task Save failed, code=0x8007000e");
  EXPECT_EQ(RunText(Change(u"AN", 0, {})), u"Error;Appointment Save failed, code=0x8007000e");
  dev.store.failSave = 0;
  ASSERT_EQ(RunText(Change(u"CN", 0, {{1, u"a"}})), u"OK;0x00000102");
  dev.store.failDelete = 5;
  EXPECT_EQ(RunText(Change(u"CX", 0x102, {})), u"Error;Contact Delete failed, code=0x00000005");
  dev.store.failList = 0x80070005;
  EXPECT_EQ(RunText(Enum(u"CF")), u"Error;GetItems failed, code=0x80070005");
}

TEST(PimRecords, MalformedRecordsAreRefused) {
  std::vector<pim::KindedItem> items;
  std::vector<uint8_t> rec;
  Append32(rec, 12);
  Append32(rec, 2);
  Append32(rec, 5);
  Append32(rec, 1);  // FileAs with no text behind it
  EXPECT_FALSE(pim::ParseItemRecords(rec.data(), rec.size(), items));
  Store32(rec.data(), 200);  // a size past the buffer
  EXPECT_FALSE(pim::ParseItemRecords(rec.data(), rec.size(), items));
  Store32(rec.data(), 8);
  rec.resize(12);
  ASSERT_TRUE(pim::ParseItemRecords(rec.data(), rec.size(), items));
  EXPECT_EQ(items.size(), 1u);
  Store32(rec.data() + 4, 4);  // no such kind
  EXPECT_FALSE(pim::ParseItemRecords(rec.data(), rec.size(), items));
}
