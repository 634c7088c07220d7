#include "copyindicator/core/beeps.h"

#include <cmath>
#include <cstdio>

namespace veloma {
namespace {

Tone T(double frequency, int duration) { return {static_cast<int32_t>(std::trunc(frequency)), duration, false}; }

}  // namespace

std::vector<Tone> BeepPattern(int k, const std::u16string& custom) {
  std::vector<Tone> t;
  switch (k) {
    case 1:
      for (int a = 50; a <= 1000; a += 50) {
        t.push_back(T(a, 11));
        t.push_back(T(2 * a, 11));
        t.push_back(T(3 * a, 11));
      }
      break;
    case 2:
      for (int f = 1000; f >= 40; f -= 20) t.push_back(T(f, 11));
      break;
    case 3:
      for (int f = 800; f <= 2000; f += 100) t.push_back(T(f, 11));
      for (int f = 2000; f >= 100; f -= 100) t.push_back(T(f, 11));
      break;
    case 4:
      for (int o = 10; o <= 50; o += 10) {
        int r = o * o + 50;
        for (int n = 0; n < 5; ++n, r -= 10) t.push_back(T(r ^ 2, 5));
      }
      break;
    case 5:
      for (int i = 1; i <= 100; ++i) t.push_back(T((std::sin(i) + 40) * 50, 11));
      break;
    case 6: {
      int d = -100;
      for (int o = 500; o <= 2500; o += 500, d -= 100) {
        int f = o;
        for (int n = 0; n < 5; ++n, f += d) t.push_back(T(f, 5));
      }
      break;
    }
    case 7: {
      int d = -300;
      for (int o = 1800; o <= 3600; o += 600, d -= 100) {
        int f = o;
        for (int n = 0; n < 4; ++n, f += d) t.push_back(T(f, 11));
      }
      break;
    }
    case 8:
      for (int i = 1; i <= 45; ++i) t.push_back(T((std::sin(i) + 20) * 30, 11));
      break;
    case 9:
      for (int n = 100; n >= 80; --n) {
        t.push_back(T((std::tan(n) + 36) * 25, 44));
        t.push_back(T((std::sin(n) + 20) * 50, 22));
      }
      break;
    case 10:
      for (int n = 100; n >= 80; --n) t.push_back(T((std::tan(n) + 50) * 25, 22));
      break;
    case 11:
      for (int n = 0; n < 10; ++n) {
        t.push_back(T(1195, 22));
        t.push_back(T(2571, 22));
      }
      break;
    case 12:
    case 13:
      for (int step = 0; step < 10; ++step) {
        int i = k == 12 ? 3 + step : 12 - step;
        t.push_back(T(i * i * i * i + 120, 5));
        t.push_back(T(0, 5));
      }
      break;
    case 14:
      for (int a = 3600, b = 3200, c = 2800, d = 2400, e = 2000; a >= 1350;
           a -= 90, b -= 80, c -= 70, d -= 60, e -= 50) {
        for (int f : {a, b, c, d, e}) t.push_back(T(f, 5));
      }
      break;
    case 15:
      for (int o = 50; o <= 500; o += 50) {
        t.push_back(T(1195 - o, 16));
        t.push_back(T(1195 + o, 16));
      }
      break;
    case 16:
      for (int o = 0; o <= 140; o += 10) {
        t.push_back(T(1295 - o, 22));
        t.push_back(T(1095 + o, 22));
      }
      break;
    case 17:
      return ParseCustomBeeps(custom);
    default:
      break;
  }
  return t;
}

std::vector<Tone> ParseCustomBeeps(const std::u16string& text) {
  std::vector<Tone> tones;
  int frequency = 0, duration = 0;
  size_t start = 0;
  while (true) {
    size_t end = text.find(u';', start);
    std::u16string piece = text.substr(start, end == std::u16string::npos ? std::u16string::npos : end - start);
    // Only digits, signs and separators matter to the reader; other characters stay separators.
    std::string narrow;
    for (char16_t c : piece) narrow.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    int f = frequency, d = duration;
    int read = std::sscanf(narrow.c_str(), "%d%*[^0-9]%d", &f, &d);
    if (read >= 1) frequency = f;
    if (read >= 2) duration = d;
    int length = duration < 0 || duration > 5000 ? 0 : duration;
    tones.push_back({frequency, length, frequency < 37 || frequency > 32767});
    if (end == std::u16string::npos) break;
    start = end + 1;
  }
  return tones;
}

}  // namespace veloma
