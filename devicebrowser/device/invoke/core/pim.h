// Personal-information items (contacts, appointments, tasks) as the invoke library sends and
// takes them.
//
// "EnumContacts;" parameters: kind letter ("C", "A", "T"), mode letter ("D": one item, whose
// 32-bit identifier is at byte 4 of the parameters; "B": every item without its dates; any
// other: every item with all fields).
//
// "EnumContacts;" answer: "Empty" (UTF-16 text) when nothing yielded data, else one record per
// item, back to back:
//   u32 record size: the byte count of the rest of this record (so a reader can step over a
//       record without knowing its fields; always at least 8)
//   u32 item kind code (1 appointment, 2 contact, 3 task)
//   u32 item identifier
//   field entries: u32 field number, then the value: a zero-terminated UTF-16 text (text and
//       date fields) or a u32 (number and switch fields)
// Field numbers are 1-based positions in the kind's field table (PimFields below), so contact
// field 1 is "FileAs", field 46 "Birthday"; appointment field 6 is "Start".
//
// "UpdateContact;" request (parameters behind the command text):
//   UTF-16 kind letter ("C", "A" or "T")
//   UTF-16 operation letter: "N" create a new item, "U" change an item, "X" delete an item
//   u32 item identifier at byte 4 (ignored by "N")
//   field entries up to a field number 0 or the end of the request: u32 field number, then the
//   value as a zero-terminated UTF-16 text in every case: text fields as they are, dates as
//   "dd.mm.yyyy[ hh:mm:ss[.mmm]]", numbers and switches in decimal ("0"/"1" for switches).
//   An empty text clears the field.
// Answer: "OK;0x%08X" with the item's identifier, or a text beginning "Error;".
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace handrel::pim {

enum class Kind : uint32_t { kAppointment = 1, kContact = 2, kTask = 3 };
enum class FieldType { kText, kDate, kNumber, kSwitch };

struct FieldDef {
  const char16_t* name;
  FieldType type;
};
// The fields of a kind in table order; field number = index + 1.
const std::vector<FieldDef>& PimFields(Kind kind);
// "C" 2, "A" 1, "T" 3; false for any other letter.
bool KindFromLetter(char16_t letter, Kind& kind);
// The device's default folder of the kind (10 contacts, 9 appointments, 13 tasks).
uint32_t DefaultFolder(Kind kind);

struct Date {
  int day = 0, month = 0, year = 0, hour = 0, minute = 0, second = 0, milli = 0;
  bool hasTime = false, hasMilli = false;
};
// "%02i.%02i.%04i %02i:%02i:%02i.%03i", "%02i.%02i.%04i %02i:%02i:%02i" or "%02i.%02i.%04i".
std::u16string FormatDate(const Date& date);
// The same three forms back, with every part range-checked; false on anything else.
bool ParseDate(const std::u16string& text, Date& date);

struct Value {
  std::u16string text;  // text fields
  Date date;            // date fields
  uint32_t number = 0;  // number and switch fields
};
struct Item {
  uint32_t oid = 0;
  std::map<uint32_t, Value> fields;  // by field number
};

// One item record of the "EnumContacts;" answer; dates left out when `withDates` is false.
void AppendItemRecord(std::vector<uint8_t>& out, Kind kind, const Item& item, bool withDates);
// Reads item records back; false when a record is malformed or cut short. Caps: at most
// kMaxItems records.
constexpr size_t kMaxItems = 100000;
struct KindedItem {
  Kind kind;
  Item item;
};
bool ParseItemRecords(const uint8_t* data, size_t size, std::vector<KindedItem>& items);

// The device's store of one kind's default folder. Failures answer a nonzero error code.
class Store {
 public:
  virtual ~Store() = default;
  virtual uint32_t List(Kind kind, std::vector<Item>& items) = 0;
  // 0 and the item, or an error code when no item has that identifier.
  virtual uint32_t Get(Kind kind, uint32_t oid, Item& item) = 0;
  // Creates an empty item and gives its identifier.
  virtual uint32_t Create(Kind kind, uint32_t& oid) = 0;
  // Replaces one field (an empty text erases it); an error code when the store refuses it.
  virtual uint32_t SetField(Kind kind, Item& item, uint32_t field, const Value& value) = 0;
  virtual uint32_t Save(Kind kind, const Item& item) = 0;
  virtual uint32_t Delete(Kind kind, uint32_t oid) = 0;
};

// The two commands' answers, as UTF-16 text or binary bytes.
std::vector<uint8_t> EnumerateItems(Store& store, const uint8_t* params, size_t size);
std::vector<uint8_t> UpdateItem(Store& store, const uint8_t* params, size_t size);

}  // namespace handrel::pim
