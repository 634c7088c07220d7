#include "copyindicator/core/detail.h"

#include <cstdio>

#include "copyindicator/core/jobs.h"

namespace veloma {
namespace {

constexpr size_t kPathMax = 259;

std::u16string Ascii(const char* text) { return std::u16string(text, text + std::char_traits<char>::length(text)); }

template <typename... Args>
std::u16string Format(const char* pattern, Args... args) {
  char buffer[128];
  std::snprintf(buffer, sizeof buffer, pattern, args...);
  return Ascii(buffer);
}

std::u16string Amount(double bytes) {
  ScaledAmount s = ScaleBytes(bytes);
  return Format("%.*f ", s.precision, s.value) + s.unit;
}

std::u16string ClockOf(uint64_t fileTime) {
  uint64_t secondOfDay = fileTime / 10000000u % 86400u;
  return Format("%u:%02u:%02u", static_cast<unsigned>(secondOfDay / 3600), static_cast<unsigned>(secondOfDay / 60 % 60),
                static_cast<unsigned>(secondOfDay % 60));
}

std::u16string Capped(const std::u16string& path) { return path.size() > kPathMax ? path.substr(0, kPathMax) : path; }

}  // namespace

ScaledAmount ScaleBytes(double bytes) {
  static const char16_t* const kUnits[] = {u"байт", u"КБ", u"МБ", u"ГБ", u"ТБ", u"ПБ"};
  int divisions = 0;
  while (bytes >= 10000 && divisions < 5) {
    bytes /= 1024;
    ++divisions;
  }
  return {bytes, divisions == 0 ? 0 : 1, kUnits[divisions]};
}

const char16_t* CountEnding(uint64_t total) { return total % 10 == 1 && total % 100 != 11 ? u"а" : u"ов"; }

const char16_t* SpeedEnding(uint64_t speed) {
  if (speed % 10 == 1 && speed % 100 != 11) return u"";
  uint64_t last = speed % 10;
  return last >= 2 && last <= 4 ? u"а" : u"ов";
}

std::u16string ShortenPath(const std::u16string& path, int width, const MeasureFn& measure) {
  if (measure(path) <= width) return path;
  size_t slash = path.rfind(u'\\');
  std::u16string name = slash == std::u16string::npos ? path : path.substr(slash);
  std::u16string folder = slash == std::u16string::npos ? std::u16string() : path.substr(0, slash);
  for (size_t keep = folder.size(); keep-- > 0;) {
    std::u16string candidate = folder.substr(0, keep) + u"..." + name;
    if (measure(candidate) <= width) return candidate;
  }
  for (size_t cut = 1; cut < name.size(); ++cut) {
    std::u16string candidate = u"..." + name.substr(cut);
    if (measure(candidate) <= width) return candidate;
  }
  return u"...";
}

std::u16string ComposeDetailText(const JobDetails& d, SpeedMeter& meter, uint32_t elapsedMs, uint64_t nowLocal,
                                 const MeasureFn& measure) {
  const uint32_t kind = d.job.kind;
  const bool bytes = kind == kCopy || kind == kMove;
  const bool files = kind == kWipe || kind == kDelete || kind == kSetAttributes;

  static const char16_t* const kNames[] = {u"", u"Копирование", u"Перемещение", u"Уничтожение", u"Удаление",
                                           u"Установка атрибутов"};
  std::u16string name = kind <= 5 ? kNames[kind] : u"";

  std::u16string state;
  if (d.job.question != kNoQuestion) state = d.errorCode != 0 ? u"(ошибка)" : u"(запрос)";
  else if (d.job.paused) state = u"(остановлено)";
  else if (d.job.waiting) state = u"(ожидание)";

  std::u16string place, amount, speedText;
  double speed = meter.Update(elapsedMs, static_cast<double>(d.done));
  if (bytes) {
    std::u16string from = Capped(d.fullSource.empty() ? d.job.source : d.fullSource);
    std::u16string to = Capped(d.fullDestination.empty() ? d.job.destination : d.fullDestination);
    place = u"из " + ShortenPath(from, kPlaceWidth, measure) + u"\nв " + ShortenPath(to, kPlaceWidth, measure);
    amount = Amount(static_cast<double>(d.done)) + u" из " + Amount(static_cast<double>(d.total));
    speedText = Amount(speed) + u"/с";
  } else if (files) {
    place = ShortenPath(Capped(d.fullSource.empty() ? d.job.source : d.fullSource), kSinglePlaceWidth, measure);
    amount = Format("%llu", static_cast<unsigned long long>(d.done)) + u" из " +
             Format("%llu", static_cast<unsigned long long>(d.total)) + u" файл" + CountEnding(d.total);
    uint64_t perSecond = speed >= 1.8e19 ? UINT64_MAX : static_cast<uint64_t>(speed);
    speedText = Format("%llu", static_cast<unsigned long long>(perSecond)) + u" файл" + SpeedEnding(perSecond) + u"/с";
  }

  uint64_t remaining = 0;
  if ((bytes || files) && speed > 0 && d.total > d.done) {
    double r = static_cast<double>(d.total - d.done) * 10000000.0 / speed;
    remaining = r >= 1e18 ? static_cast<uint64_t>(1e18) : static_cast<uint64_t>(r);
  }

  std::u16string text = name + u" " + state + u"\n" + place + u"\n" + Format("%u%% (", d.job.percent) + amount +
                        u") " + speedText + u"\nНачало в: " +
                        Format("%u:%02u:%02u", d.start.hour, d.start.minute, d.start.second) +
                        u". Окончание в: ~" + ClockOf(nowLocal + remaining);
  if (text.size() > kDetailTextMax) text.resize(kDetailTextMax);
  return text;
}

}  // namespace veloma
