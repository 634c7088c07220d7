#include "devicebrowser/device/invoke/core/pim.h"

#include "devicebrowser/device/invoke/core/bytes.h"

namespace handrel::pim {
namespace {

using T = FieldType;

const std::vector<FieldDef> kContactFields = {
    {u"FileAs", T::kText}, {u"FirstName", T::kText}, {u"MiddleName", T::kText}, {u"LastName", T::kText},
    {u"Suffix", T::kText}, {u"BusinessFaxNumber", T::kText}, {u"CompanyName", T::kText},
    {u"Department", T::kText}, {u"Email1Address", T::kText}, {u"MobileTelephoneNumber", T::kText},
    {u"OfficeLocation", T::kText}, {u"PagerNumber", T::kText}, {u"BusinessTelephoneNumber", T::kText},
    {u"JobTitle", T::kText}, {u"HomeTelephoneNumber", T::kText}, {u"Email2Address", T::kText},
    {u"Spouse", T::kText}, {u"Email3Address", T::kText}, {u"Home2TelephoneNumber", T::kText},
    {u"HomeFaxNumber", T::kText}, {u"CarTelephoneNumber", T::kText}, {u"AssistantName", T::kText},
    {u"AssistantTelephoneNumber", T::kText}, {u"Children", T::kText}, {u"Categories", T::kText},
    {u"WebPage", T::kText}, {u"Business2TelephoneNumber", T::kText}, {u"Title", T::kText},
    {u"HomeAddressStreet", T::kText}, {u"HomeAddressCity", T::kText}, {u"HomeAddressState", T::kText},
    {u"HomeAddressPostalCode", T::kText}, {u"HomeAddressCountry", T::kText}, {u"OtherAddressStreet", T::kText},
    {u"OtherAddressCity", T::kText}, {u"OtherAddressState", T::kText}, {u"OtherAddressPostalCode", T::kText},
    {u"OtherAddressCountry", T::kText}, {u"BusinessAddressStreet", T::kText},
    {u"BusinessAddressCity", T::kText}, {u"BusinessAddressState", T::kText},
    {u"BusinessAddressPostalCode", T::kText}, {u"BusinessAddressCountry", T::kText},
    {u"RadioTelephoneNumber", T::kText}, {u"Body", T::kText}, {u"Birthday", T::kDate},
    {u"Anniversary", T::kDate}};
const std::vector<FieldDef> kAppointmentFields = {
    {u"Subject", T::kText}, {u"Location", T::kText}, {u"Categories", T::kText},
    {u"ReminderSoundFile", T::kText}, {u"Body", T::kText}, {u"Start", T::kDate}, {u"End", T::kDate},
    {u"Duration", T::kNumber}, {u"MeetingStatus", T::kNumber}, {u"Sensitivity", T::kNumber},
    {u"BusyStatus", T::kNumber}, {u"ReminderOptions", T::kNumber}, {u"ReminderMinutesBeforeStart", T::kNumber},
    {u"AllDayEvent", T::kSwitch}, {u"IsRecurring", T::kSwitch}, {u"ReminderSet", T::kSwitch}};
const std::vector<FieldDef> kTaskFields = {
    {u"Subject", T::kText}, {u"Categories", T::kText}, {u"ReminderSoundFile", T::kText}, {u"Body", T::kText},
    {u"StartDate", T::kDate}, {u"DueDate", T::kDate}, {u"DateCompleted", T::kDate}, {u"ReminderTime", T::kDate},
    {u"Importance", T::kNumber}, {u"Sensitivity", T::kNumber}, {u"ReminderOptions", T::kNumber},
    {u"Complete", T::kSwitch}, {u"IsRecurring", T::kSwitch}, {u"TeamTask", T::kSwitch},
    {u"ReminderSet", T::kSwitch}};

constexpr uint32_t kNotSupported = 50;  // the store's answer for a field it cannot hold

// Appends v in decimal with leading zeros to `width` digits.
void AppendPadded(std::u16string& out, int v, int width) {
  std::u16string digits = Decimal(v);
  for (int i = static_cast<int>(digits.size()); i < width; ++i) out.push_back(u'0');
  out += digits;
}

// Exactly `width` decimal digits at `at`.
bool Digits(const std::u16string& t, size_t at, size_t width, int& v) {
  if (t.size() < at + width) return false;
  v = 0;
  for (size_t i = at; i < at + width; ++i) {
    if (t[i] < u'0' || t[i] > u'9') return false;
    v = v * 10 + (t[i] - u'0');
  }
  return true;
}

const char16_t* KindName(Kind kind) {
  switch (kind) {
    case Kind::kContact: return u"Contact";
    case Kind::kAppointment: return u"Appointment";
    case Kind::kTask: return u"Task";
  }
  return u"Item";
}

std::u16string Error(const std::u16string& text) { return u"Error;" + text; }

// A decimal value of a number or switch field; at most ten digits, within 32 bits.
bool ParseLong(const std::u16string& t, uint32_t& v) {
  if (t.empty() || t.size() > 10) return false;
  uint64_t n = 0;
  for (char16_t ch : t) {
    if (ch < u'0' || ch > u'9') return false;
    n = n * 10 + static_cast<uint64_t>(ch - u'0');
  }
  if (n > 0xFFFFFFFFu) return false;
  v = static_cast<uint32_t>(n);
  return true;
}

}  // namespace

const std::vector<FieldDef>& PimFields(Kind kind) {
  switch (kind) {
    case Kind::kContact: return kContactFields;
    case Kind::kAppointment: return kAppointmentFields;
    case Kind::kTask: return kTaskFields;
  }
  return kContactFields;
}

bool KindFromLetter(char16_t letter, Kind& kind) {
  switch (letter) {
    case u'C': kind = Kind::kContact; return true;
    case u'A': kind = Kind::kAppointment; return true;
    case u'T': kind = Kind::kTask; return true;
    default: return false;
  }
}

uint32_t DefaultFolder(Kind kind) {
  switch (kind) {
    case Kind::kContact: return 10;
    case Kind::kAppointment: return 9;
    case Kind::kTask: return 13;
  }
  return 0;
}

std::u16string FormatDate(const Date& d) {
  std::u16string s;
  AppendPadded(s, d.day, 2);
  s.push_back(u'.');
  AppendPadded(s, d.month, 2);
  s.push_back(u'.');
  AppendPadded(s, d.year, 4);
  if (!d.hasTime && !d.hasMilli) return s;
  s.push_back(u' ');
  AppendPadded(s, d.hour, 2);
  s.push_back(u':');
  AppendPadded(s, d.minute, 2);
  s.push_back(u':');
  AppendPadded(s, d.second, 2);
  if (d.hasMilli) {
    s.push_back(u'.');
    AppendPadded(s, d.milli, 3);
  }
  return s;
}

bool ParseDate(const std::u16string& t, Date& d) {
  Date r;
  if (!(t.size() == 10 || t.size() == 19 || t.size() == 23)) return false;
  if (!Digits(t, 0, 2, r.day) || t[2] != u'.' || !Digits(t, 3, 2, r.month) || t[5] != u'.' ||
      !Digits(t, 6, 4, r.year))
    return false;
  if (t.size() >= 19) {
    if (t[10] != u' ' || !Digits(t, 11, 2, r.hour) || t[13] != u':' || !Digits(t, 14, 2, r.minute) ||
        t[16] != u':' || !Digits(t, 17, 2, r.second))
      return false;
    r.hasTime = true;
  }
  if (t.size() == 23) {
    if (t[19] != u'.' || !Digits(t, 20, 3, r.milli)) return false;
    r.hasMilli = true;
  }
  static const int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (r.month < 1 || r.month > 12 || r.day < 1 || r.day > kDays[r.month - 1]) return false;  // (day within month)
  if (r.year < 1601) return false;                                                           // (device dates start 1601)
  if (r.hour > 23 || r.minute > 59 || r.second > 59) return false;                          // (time of day)
  d = r;
  return true;
}

void AppendItemRecord(std::vector<uint8_t>& out, Kind kind, const Item& item, bool withDates) {
  const auto& defs = PimFields(kind);
  size_t sizeAt = out.size();
  Append32(out, 0);
  Append32(out, static_cast<uint32_t>(kind));
  Append32(out, item.oid);
  for (const auto& [number, value] : item.fields) {
    if (number == 0 || number > defs.size()) continue;
    FieldType type = defs[number - 1].type;
    if (type == T::kDate && !withDates) continue;
    Append32(out, number);
    if (type == T::kText)
      AppendText(out, value.text);
    else if (type == T::kDate)
      AppendText(out, FormatDate(value.date));
    else
      Append32(out, value.number);
  }
  Store32(out.data() + sizeAt, static_cast<uint32_t>(out.size() - sizeAt - 4));
}

bool ParseItemRecords(const uint8_t* data, size_t size, std::vector<KindedItem>& items) {
  size_t at = 0;
  while (at < size) {
    if (items.size() >= kMaxItems) return false;     // (item count capped)
    if (size - at < 12) return false;                // (size word, kind and identifier present)
    uint32_t recordSize = Load32(data + at);
    if (recordSize < 8 || recordSize > size - at - 4) return false;  // (record inside the buffer)
    const uint8_t* r = data + at + 4;
    uint32_t kindCode = Load32(r);
    if (kindCode < 1 || kindCode > 3) return false;  // (a known kind)
    KindedItem k{static_cast<Kind>(kindCode), {}};
    k.item.oid = Load32(r + 4);
    const auto& defs = PimFields(k.kind);
    size_t f = 8;
    while (f < recordSize) {
      if (recordSize - f < 4) return false;
      uint32_t number = Load32(r + f);
      f += 4;
      if (number == 0 || number > defs.size()) return false;  // (a field of the kind's table)
      Value v;
      if (defs[number - 1].type == T::kText || defs[number - 1].type == T::kDate) {
        BoundedText t = ReadText(r + f, recordSize - f);
        if (!t.terminated) return false;
        f += t.consumed;
        if (defs[number - 1].type == T::kDate) {
          if (!ParseDate(t.text, v.date)) return false;
        } else {
          v.text = std::move(t.text);
        }
      } else {
        if (recordSize - f < 4) return false;
        v.number = Load32(r + f);
        f += 4;
      }
      k.item.fields[number] = std::move(v);
    }
    items.push_back(std::move(k));
    at += 4 + recordSize;
  }
  return true;
}

std::vector<uint8_t> EnumerateItems(Store& store, const uint8_t* params, size_t size) {
  std::u16string text = ReadText(params, size).text;
  Kind kind;
  if (text.empty() || !KindFromLetter(text[0], kind)) return TextAnswer(u"Unknown PIM item type: " + text);
  char16_t mode = size >= 4 ? static_cast<char16_t>(Load16(params + 2)) : u'\0';
  std::vector<Item> items;
  if (mode == u'D') {
    if (size < 8) return TextAnswer(Error(u"Item identifier missing"));
    uint32_t oid = Load32(params + 4);
    Item item;
    uint32_t err = store.Get(kind, oid, item);
    if (err) return TextAnswer(Error(u"GetItemFromOid failed\r\nErr=" + Hex8(err, false) + u", OID=" + Hex8(oid, false)));
    items.push_back(std::move(item));
  } else {
    uint32_t err = store.List(kind, items);
    if (err) return TextAnswer(Error(u"GetItems failed, code=" + Hex8(err, false)));
  }
  if (items.empty()) return TextAnswer(u"Empty");
  std::vector<uint8_t> out;
  for (const auto& item : items) AppendItemRecord(out, kind, item, mode != u'B');
  return out;
}

std::vector<uint8_t> UpdateItem(Store& store, const uint8_t* params, size_t size) {
  std::u16string head = ReadText(params, size).text;
  Kind kind;
  if (head.empty() || !KindFromLetter(head[0], kind)) return TextAnswer(Error(u"Unknown PIM item type: " + head));
  char16_t op = size >= 4 ? static_cast<char16_t>(Load16(params + 2)) : u'\0';
  if (op != u'N' && op != u'U' && op != u'X')
    return TextAnswer(Error(u"Unknown operation: " + head.substr(1, 1)));
  if (size < 8) return TextAnswer(Error(u"Item identifier missing"));
  uint32_t oid = Load32(params + 4);

  // Every field entry is checked before the store is touched, so a bad request changes nothing.
  const auto& defs = PimFields(kind);
  std::vector<std::pair<uint32_t, Value>> changes;
  size_t at = 8;
  while (size - at >= 4) {
    uint32_t number = Load32(params + at);
    at += 4;
    if (number == 0) break;
    if (number > defs.size()) return TextAnswer(Error(u"Invalid Field ID: " + Decimal(number)));
    const FieldDef& def = defs[number - 1];
    BoundedText t = ReadText(params + at, size - at);
    std::u16string in = u" in field (" + std::u16string(def.name) + u")";
    if (!t.terminated) return TextAnswer(Error(u"Invalid value (" + t.text + u")" + in));
    at += t.consumed;
    Value v;
    if (def.type == T::kText) {
      v.text = std::move(t.text);
    } else if (def.type == T::kDate) {
      if (!t.text.empty() && !ParseDate(t.text, v.date)) return TextAnswer(Error(u"Invalid date (" + t.text + u")" + in));
      v.text = std::move(t.text);  // empty: clear the date
    } else {
      if (!t.text.empty() && !ParseLong(t.text, v.number)) return TextAnswer(Error(u"Invalid long (" + t.text + u")" + in));
      if (def.type == T::kSwitch) v.number = v.number ? 1 : 0;
      v.text = std::move(t.text);
    }
    changes.emplace_back(number, std::move(v));
  }

  std::u16string kindName = KindName(kind);
  Item item;
  if (op == u'X') {
    if (oid == 0) return TextAnswer(Error(u"Can't delete item OID==0"));
    if (uint32_t err = store.Get(kind, oid, item))
      return TextAnswer(Error(u"GetItemFromOid failed\r\nErr=" + Hex8(err, false) + u", OID=" + Hex8(oid, false)));
    if (uint32_t err = store.Delete(kind, oid))
      return TextAnswer(Error(kindName + u" Delete failed, code=" + Hex8(err, false)));
    return TextAnswer(u"OK;" + Hex8(oid, true));
  }
  if (op == u'N') {
    if (uint32_t err = store.Create(kind, oid)) return TextAnswer(Error(u"CreateItem failed, code=" + Hex8(err, false)));
  }
  if (uint32_t err = store.Get(kind, oid, item))
    return TextAnswer(Error(u"GetItemFromOid failed\r\nErr=" + Hex8(err, false) + u", OID=" + Hex8(oid, false)));
  for (const auto& [number, value] : changes) {
    uint32_t err = store.SetField(kind, item, number, value);
    std::u16string name = defs[number - 1].name;
    if (err == kNotSupported) return TextAnswer(Error(u"Unknown field (" + name + u")"));
    if (err) return TextAnswer(Error(u"SetField(" + name + u") failed, code=" + Hex8(err, false)));
  }
  if (uint32_t err = store.Save(kind, item)) return TextAnswer(Error(kindName + u" Save failed, code=" + Hex8(err, false)));
  return TextAnswer(u"OK;" + Hex8(item.oid, true));
}

}  // namespace handrel::pim
