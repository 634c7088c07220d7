// What the tooltip says about a job, and the speed behind it.
#include <gtest/gtest.h>

#include "copyindicator/core/detail.h"
#include "copyindicator/core/jobs.h"
#include "copyindicator/tests/fake_service.h"

namespace veloma::test {
namespace {

int SixPixels(const std::u16string& t) { return static_cast<int>(t.size()) * 6; }

// 12:00:00 on some day, as a local FILETIME.
constexpr uint64_t kNoon = 133790400000000000ull / 864000000000ull * 864000000000ull + 12ull * 36000000000ull;

JobDetails Details(uint32_t kind, uint64_t total, uint64_t done) {
  JobDetails d;
  d.job.id = 1;
  d.job.kind = kind;
  d.job.percent = 50;
  d.fullSource = u"C:\\data\\film.mkv";
  d.fullDestination = u"E:\\backup";
  d.start = {2026, 12, 2, 8, 9, 5, 7, 0};
  d.total = total;
  d.done = done;
  return d;
}

TEST(ScaleTest, TenThousandIsWhereKilobytesStart) {
  ScaledAmount a = ScaleBytes(9999);
  EXPECT_EQ(a.precision, 0);
  EXPECT_EQ(std::u16string(a.unit), u"байт");
  ScaledAmount b = ScaleBytes(10000);
  EXPECT_EQ(b.precision, 1);
  EXPECT_EQ(std::u16string(b.unit), u"КБ");
  EXPECT_NEAR(b.value, 9.765625, 1e-9);
  EXPECT_EQ(std::u16string(ScaleBytes(10000.0 * 1024 * 1024).unit), u"ГБ");
  EXPECT_EQ(std::u16string(ScaleBytes(1e30).unit), u"ПБ") << "at most five divisions";
}

TEST(DetailTextTest, CopyShowsPathsAmountsSpeedAndTimes) {
  SpeedMeter meter;
  JobDetails d = Details(kCopy, 20000, 5000);
  ComposeDetailText(d, meter, 1000, kNoon, SixPixels);  // first sight: speed 0
  d.done = 10000;
  std::u16string text = ComposeDetailText(d, meter, 1000, kNoon, SixPixels);
  // 5000 bytes in one second; 10000 bytes left: the end is two seconds away.
  EXPECT_EQ(text, u"Копирование \nиз C:\\data\\film.mkv\nв E:\\backup\n50% (9.8 КБ из 19.5 КБ) 5000 байт/с\n"
                  u"Начало в: 9:05:07. Окончание в: ~12:00:02");
}

TEST(DetailTextTest, EveryOperationKindHasItsNameAndPlace) {
  struct Case {
    uint32_t kind;
    const char16_t* head;
  } cases[] = {{kCopy, u"Копирование \nиз "},  {kMove, u"Перемещение \nиз "},
               {kWipe, u"Уничтожение \nC:"},   {kDelete, u"Удаление \nC:"},
               {kSetAttributes, u"Установка атрибутов \nC:"}};
  for (const Case& c : cases) {
    SpeedMeter meter;
    std::u16string text = ComposeDetailText(Details(c.kind, 21, 3), meter, 200, kNoon, SixPixels);
    EXPECT_EQ(text.rfind(c.head, 0), 0u) << c.kind;
  }
  SpeedMeter meter;
  JobDetails unknown = Details(9, 100, 1);
  std::u16string text = ComposeDetailText(unknown, meter, 200, kNoon, SixPixels);
  EXPECT_EQ(text, u" \n\n50% () \nНачало в: 9:05:07. Окончание в: ~12:00:00");
}

TEST(DetailTextTest, StateWordFollowsTheQuestionThenThePauseThenTheWait) {
  SpeedMeter meter;
  JobDetails d = Details(kCopy, 1, 0);
  d.job.question = kErrorOccurred;
  d.errorCode = 5;
  EXPECT_NE(ComposeDetailText(d, meter, 1, kNoon, SixPixels).find(u"Копирование (ошибка)\n"), std::u16string::npos);
  d.errorCode = 0;
  d.job.paused = true;
  EXPECT_NE(ComposeDetailText(d, meter, 1, kNoon, SixPixels).find(u"(запрос)"), std::u16string::npos);
  d.job.question = 0;
  d.job.waiting = true;
  EXPECT_NE(ComposeDetailText(d, meter, 1, kNoon, SixPixels).find(u"(остановлено)"), std::u16string::npos);
  d.job.paused = false;
  EXPECT_NE(ComposeDetailText(d, meter, 1, kNoon, SixPixels).find(u"(ожидание)"), std::u16string::npos);
}

TEST(DetailTextTest, FileCountEndings) {
  struct Case {
    uint64_t total;
    const char16_t* text;
  } cases[] = {{21, u"из 21 файла)"}, {11, u"из 11 файлов)"}, {2, u"из 2 файлов)"}, {1, u"из 1 файла)"}};
  for (const Case& c : cases) {
    SpeedMeter meter;
    std::u16string text = ComposeDetailText(Details(kDelete, c.total, 0), meter, 200, kNoon, SixPixels);
    EXPECT_NE(text.find(c.text), std::u16string::npos) << c.total;
  }
}

TEST(DetailTextTest, FilesPerSecondEndings) {
  struct Case {
    uint64_t perSecond;
    const char16_t* text;
  } cases[] = {{1, u" 1 файл/с"}, {2, u" 2 файла/с"}, {11, u" 11 файлов/с"}, {12, u" 12 файла/с"}, {21, u" 21 файл/с"}};
  for (const Case& c : cases) {
    SpeedMeter meter;
    JobDetails d = Details(kWipe, 100000, 1000);
    ComposeDetailText(d, meter, 1000, kNoon, SixPixels);
    d.done += c.perSecond;
    std::u16string text = ComposeDetailText(d, meter, 1000, kNoon, SixPixels);
    EXPECT_NE(text.find(c.text), std::u16string::npos) << c.perSecond;
  }
}

TEST(DetailTextTest, LongPathsAreShortenedToTheirWidth) {
  std::u16string path = u"C:\\" + std::u16string(200, u'x') + u"\\report.txt";
  std::u16string shortened = ShortenPath(path, kPlaceWidth, SixPixels);
  EXPECT_LE(SixPixels(shortened), kPlaceWidth);
  EXPECT_NE(shortened.find(u"...\\report.txt"), std::u16string::npos);
  EXPECT_EQ(shortened.rfind(u"C:\\xx", 0), 0u);
  EXPECT_EQ(ShortenPath(u"C:\\a.txt", kPlaceWidth, SixPixels), u"C:\\a.txt");
  EXPECT_LE(SixPixels(ShortenPath(std::u16string(300, u'n'), 60, SixPixels)), 60);
}

TEST(SpeedMeterTest, AStallBringsTheSpeedDownTowardsZero) {
  SpeedMeter m;
  EXPECT_EQ(m.Update(1000, 1000), 0.0) << "the first amount only sets the base";
  EXPECT_DOUBLE_EQ(m.Update(1000, 2000), 1000.0);
  EXPECT_DOUBLE_EQ(m.Update(500, 4000), 2500.0);  // (1000 + 4000) / 2
  double amount = 4000;
  for (int i = 0; i < 13; ++i) m.Update(1000, amount += 1000);
  EXPECT_DOUBLE_EQ(m.Speed(), (14 * 1000.0 + 4000) / 15) << "the ring holds 15 samples";
  // Stalled: every tick takes the oldest sample (1000) off the sum once more.
  EXPECT_DOUBLE_EQ(m.Update(1000, amount), 17000.0 / 15);
  EXPECT_DOUBLE_EQ(m.Update(1000, amount), 16000.0 / 15);
  for (int i = 0; i < 20; ++i) m.Update(1000, amount);
  EXPECT_DOUBLE_EQ(m.Speed(), 0.0) << "the sum never goes below 0";
  m.Reset();
  EXPECT_EQ(m.Speed(), 0.0);
}

TEST(SpeedMeterTest, AnAmountGoingBackRestartsTheBase) {
  SpeedMeter m;
  m.Update(500, 100);
  m.Update(500, 600);
  EXPECT_DOUBLE_EQ(m.Speed(), 1000.0);
  m.Update(500, 50);  // the service restarted the count: rate 0, no negative sample
  EXPECT_GE(m.Speed(), 0.0);
}

}  // namespace
}  // namespace veloma::test
