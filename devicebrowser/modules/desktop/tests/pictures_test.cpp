// The desktop module's core: the entries a screen gives, the screenshot's retry, the checks on a
// screenshot answer, the memory block's growth, and copies through the transfer engine from the
// pictures into a memory disk.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <deque>

#include "devicebrowser/common/transfer/core/memory_side.h"
#include "devicebrowser/common/transfer/tests/scripted_ui.h"
#include "devicebrowser/modules/desktop/core/picture_side.h"
#include "devicebrowser/modules/desktop/core/pictures.h"

namespace handrel::desktop {
namespace {

using transfer::MemorySide;
using transfer::ScriptedUi;

// A bitmap file as the device-side library writes it: both headers, rows bottom-up padded to 4.
std::vector<uint8_t> Bitmap(uint32_t width, uint32_t height, uint16_t bits = 16, uint8_t fill = 0x5A) {
  size_t row = ((width * bits + 31) / 32) * 4;
  size_t size = 54 + row * height;
  std::vector<uint8_t> b(size, fill);
  auto put32 = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
  };
  auto put16 = [&](size_t at, uint16_t v) {
    b[at] = static_cast<uint8_t>(v);
    b[at + 1] = static_cast<uint8_t>(v >> 8);
  };
  b[0] = 'B';
  b[1] = 'M';
  put32(2, static_cast<uint32_t>(size));
  put32(6, 0);
  put32(10, 54);
  put32(14, 40);
  put32(18, width);
  put32(22, height);
  put16(26, 1);
  put16(28, bits);
  put32(30, 0);
  put32(34, static_cast<uint32_t>(row * height));
  return b;
}

// The device and the encoder, scripted: answers in order (an empty optional: no answer).
class FakeSeam : public PictureSeam {
 public:
  struct Answer {
    bool answered = true;
    uint32_t status = 0;
    std::vector<uint8_t> bytes;
  };
  std::deque<Answer> answers;
  std::vector<std::u16string> requests;
  int reconnects = 0;
  bool reconnectWorks = true;
  std::vector<PictureFormat> encoded;
  bool encodeFails = false;

  bool Invoke(const std::u16string& request, std::vector<uint8_t>& answer, uint32_t& status) override {
    requests.push_back(request);
    Answer a;
    if (!answers.empty()) {
      a = answers.front();
      answers.pop_front();
    } else {
      a.answered = false;
      a.status = 0;
    }
    status = a.status;
    if (a.answered) answer = a.bytes;
    return a.answered;
  }
  bool Reconnect() override {
    ++reconnects;
    return reconnectWorks;
  }
  bool Encode(PictureFormat format, const std::vector<uint8_t>& bitmap, std::vector<uint8_t>& out,
              uint32_t& error) override {
    encoded.push_back(format);
    if (encodeFails) {
      error = 0x80004005;
      return false;
    }
    // A stand-in "encoding": a short tag and the bitmap's size, far smaller than the estimate.
    std::string tag = format == PictureFormat::kJpg ? "JPG:" : "PNG:";
    tag += std::to_string(bitmap.size());
    out.assign(tag.begin(), tag.end());
    return true;
  }
  uint64_t SystemTime() override { return 0x01D9'0000'0000'0000ull; }
  uint64_t LocalTime() override { return 0x01D9'0000'1000'0000ull; }
};

std::vector<std::u16string> Names(const std::vector<Picture>& pictures) {
  std::vector<std::u16string> names;
  for (const Picture& p : pictures) names.push_back(p.name);
  return names;
}

TEST(Pictures, AHandheldScreenGivesNineEntriesInFormatThenZoomOrderWithTheirPixelSizes) {
  std::vector<Picture> pictures;
  ASSERT_TRUE(BuildPictures(240, 320, 16, pictures));
  EXPECT_EQ(Names(pictures), (std::vector<std::u16string>{
                                 u"240x320x16.bmp", u"120x160x16.bmp", u"480x640x16.bmp",
                                 u"240x320x16.jpg", u"120x160x16.jpg", u"480x640x16.jpg",
                                 u"240x320x16.png", u"120x160x16.png", u"480x640x16.png"}));
  EXPECT_EQ(pictures[0].estimate, 240u * 320u * 2u);
  EXPECT_EQ(pictures[1].estimate, 120u * 160u * 2u);
  EXPECT_EQ(pictures[2].estimate, 480u * 640u * 2u);
  EXPECT_EQ(pictures[4].zoom, 50);
  EXPECT_EQ(pictures[8].zoom, 200);
  EXPECT_EQ(pictures[8].format, PictureFormat::kPng);

  // Odd sides are halved downwards.
  ASSERT_TRUE(BuildPictures(241, 321, 16, pictures));
  EXPECT_EQ(pictures[1].name, u"120x160x16.bmp");

  // Only 16 bits per pixel: nothing for the others, nothing for metrics not known yet.
  for (int bits : {0, 1, 8, 15, 24, 32}) {
    EXPECT_FALSE(BuildPictures(240, 320, bits, pictures)) << bits;
    EXPECT_TRUE(pictures.empty());
  }
  // A 1-pixel side has no 50 % picture; sides the device could never capture are left out.
  ASSERT_TRUE(BuildPictures(1, 320, 16, pictures));
  EXPECT_EQ(Names(pictures), (std::vector<std::u16string>{u"1x320x16.bmp", u"2x640x16.bmp", u"1x320x16.jpg",
                                                          u"2x640x16.jpg", u"1x320x16.png", u"2x640x16.png"}));
  ASSERT_TRUE(BuildPictures(-240, 320, 16, pictures));
  EXPECT_TRUE(pictures.empty());
  ASSERT_TRUE(BuildPictures(10000, 10000, 16, pictures));
  EXPECT_EQ(pictures.size(), 6u);  // 200 % would be 20000 pixels wide
}

TEST(Pictures, PathsFindTheirPictureByTheLastComponentWhateverTheCase) {
  std::vector<Picture> pictures;
  ASSERT_TRUE(BuildPictures(240, 320, 16, pictures));
  EXPECT_EQ(FindPicture(pictures, u"\\240X320X16.PNG"), &pictures[6]);
  EXPECT_EQ(FindPicture(pictures, u"C:\\some\\where\\120x160x16.jpg"), &pictures[4]);
  EXPECT_EQ(FindPicture(pictures, u"480x640x16.bmp"), &pictures[2]);
  EXPECT_EQ(FindPicture(pictures, u"\\240x320x16.gif"), nullptr);
  EXPECT_EQ(FindPicture(pictures, u"\\240x320x16.png\\"), nullptr);
}

TEST(Snapshot, TheRequestNamesTheZoomAndAFailedCallIsRetriedOnceAfterReconnecting) {
  EXPECT_EQ(SnapshotRequest(100), u"GetSnapshoot;");
  EXPECT_EQ(SnapshotRequest(50), u"GetSnapshoot;ZOOM=50%;");
  EXPECT_EQ(SnapshotRequest(200), u"GetSnapshoot;ZOOM=200%;");

  std::vector<uint8_t> answer;
  uint32_t error = 0;
  {  // First call fails with a status; the reconnect works; the second call answers.
    FakeSeam seam;
    seam.answers.push_back({true, 0x80070005, {}});
    seam.answers.push_back({true, 0, Bitmap(2, 2)});
    ASSERT_TRUE(TakeSnapshot(seam, 50, answer, error));
    EXPECT_EQ(seam.reconnects, 1);
    EXPECT_EQ(seam.requests, (std::vector<std::u16string>{u"GetSnapshoot;ZOOM=50%;", u"GetSnapshoot;ZOOM=50%;"}));
    EXPECT_EQ(answer, Bitmap(2, 2));
  }
  {  // No answer twice: the last call's status, and only one retry.
    FakeSeam seam;
    seam.answers.push_back({false, 0, {}});
    seam.answers.push_back({false, 0x8007001F, {}});
    seam.answers.push_back({true, 0, Bitmap(2, 2)});
    EXPECT_FALSE(TakeSnapshot(seam, 100, answer, error));
    EXPECT_EQ(error, 0x8007001Fu);
    EXPECT_EQ(seam.requests.size(), 2u);
    EXPECT_TRUE(answer.empty());
  }
  {  // The reconnect fails: no second request; a zero status reads as the unspecified failure.
    FakeSeam seam;
    seam.reconnectWorks = false;
    seam.answers.push_back({false, 0, {}});
    EXPECT_FALSE(TakeSnapshot(seam, 200, answer, error));
    EXPECT_EQ(error, 0x80004005u);
    EXPECT_EQ(seam.requests.size(), 1u);
    EXPECT_EQ(seam.reconnects, 1);
  }
  {  // An answer at once: no reconnect.
    FakeSeam seam;
    seam.answers.push_back({true, 0, Bitmap(4, 4)});
    EXPECT_TRUE(TakeSnapshot(seam, 100, answer, error));
    EXPECT_EQ(seam.reconnects, 0);
  }
}

TEST(Snapshot, OnlyAWholeBitmapPassesTheChecks) {
  BitmapFacts facts;
  std::vector<uint8_t> good = Bitmap(240, 320);
  ASSERT_EQ(CheckBitmap(good.data(), good.size(), facts), BitmapFault::kNone);
  EXPECT_EQ(facts.width, 240u);
  EXPECT_EQ(facts.height, 320u);
  EXPECT_EQ(facts.bits, 16u);
  EXPECT_EQ(facts.pixelBytes, 240u * 320u * 2u);
  // Rows padded to four bytes: 3 pixels of 16 bits take 8 bytes a row.
  std::vector<uint8_t> odd = Bitmap(3, 2);
  ASSERT_EQ(CheckBitmap(odd.data(), odd.size(), facts), BitmapFault::kNone);
  EXPECT_EQ(facts.pixelBytes, 16u);

  // The device's text answer to a failed capture.
  std::u16string text = u"Can't capture the screen! ErrCode=0x00000008";
  std::vector<uint8_t> textAnswer(reinterpret_cast<const uint8_t*>(text.data()),
                                  reinterpret_cast<const uint8_t*>(text.data() + text.size() + 1));
  EXPECT_NE(CheckBitmap(textAnswer.data(), textAnswer.size(), facts), BitmapFault::kNone);
  EXPECT_EQ(CheckBitmap(nullptr, 0, facts), BitmapFault::kTooShort);
  EXPECT_EQ(CheckBitmap(good.data(), 53, facts), BitmapFault::kTooShort);

  // Cut anywhere after the headers: shorter than the headers say.
  for (size_t cut : {size_t{54}, size_t{55}, good.size() / 2, good.size() - 1}) {
    EXPECT_EQ(CheckBitmap(good.data(), cut, facts), BitmapFault::kTruncated) << cut;
  }
  auto damaged = [&](size_t at, uint32_t value, BitmapFault expected) {
    std::vector<uint8_t> b = good;
    for (int i = 0; i < 4; ++i) b[at + static_cast<size_t>(i)] = static_cast<uint8_t>(value >> (8 * i));
    EXPECT_EQ(CheckBitmap(b.data(), b.size(), facts), expected) << "field at " << at << " = " << value;
  };
  damaged(2, static_cast<uint32_t>(good.size() + 1), BitmapFault::kTruncated);  // file size past the answer
  damaged(10, static_cast<uint32_t>(good.size()), BitmapFault::kTruncated);     // pixels start at the end
  damaged(10, 0xFFFFFFF0u, BitmapFault::kTruncated);                            // far past it
  damaged(10, 20, BitmapFault::kTruncated);                                     // inside the headers
  damaged(18, 241, BitmapFault::kTruncated);                                    // a wider picture than sent
  damaged(22, 321, BitmapFault::kTruncated);
  damaged(18, 0, BitmapFault::kBadGeometry);
  damaged(18, 0x80000000u, BitmapFault::kBadGeometry);  // negative width
  damaged(22, 0, BitmapFault::kBadGeometry);
  damaged(18, 100000, BitmapFault::kBadGeometry);
  damaged(14, 12, BitmapFault::kNotBitmap);             // an old core header is not what the device sends
  damaged(14, 0xFFFFFFFFu, BitmapFault::kNotBitmap);
  damaged(28, 1 | (1u << 16) /* bits 1 with compression 1 */, BitmapFault::kBadFormat);
  damaged(28, 7, BitmapFault::kBadFormat);
  damaged(30, 1, BitmapFault::kBadFormat);  // run-length compressed
  std::vector<uint8_t> topDown = good;
  int32_t negative = -320;
  std::memcpy(&topDown[22], &negative, 4);
  EXPECT_EQ(CheckBitmap(topDown.data(), topDown.size(), facts), BitmapFault::kNone);
  EXPECT_EQ(facts.height, 320u);
  std::vector<uint8_t> notBm = good;
  notBm[1] = 'A';
  EXPECT_EQ(CheckBitmap(notBm.data(), notBm.size(), facts), BitmapFault::kNotBitmap);
}

// ---- The memory block -------------------------------------------------------------------------

int g_failAfter = -1;  // reallocations allowed before they fail; -1: never fail
void* CountedRealloc(void* block, size_t size) {
  if (g_failAfter == 0) return nullptr;
  if (g_failAfter > 0) --g_failAfter;
  return std::realloc(block, size);
}

TEST(MemoryBlock, WritesGrowByTheLargerOfTheWritePlusSlackAnd256KiBAndKeepWhatWasWritten) {
  g_failAfter = -1;
  GrowableBlock block(CountedRealloc);
  ASSERT_TRUE(block.Allocate(16));
  EXPECT_EQ(block.Capacity(), 16u);
  EXPECT_EQ(block.Size(), 0u);
  ASSERT_TRUE(block.Write("0123456789", 10));
  EXPECT_EQ(block.Capacity(), 16u);
  // 10 + 10 > 16: a small write grows by 256 KiB.
  ASSERT_TRUE(block.Write("abcdefghij", 10));
  EXPECT_EQ(block.Capacity(), 16u + 262144u);
  EXPECT_EQ(block.Size(), 20u);
  // A write larger than 256 KiB past the end grows by itself + 1024.
  std::vector<uint8_t> big(400000, 0xC3);
  ASSERT_TRUE(block.Write(big.data(), big.size()));
  EXPECT_EQ(block.Capacity(), 16u + 262144u + 400000u + 1024u);
  EXPECT_EQ(block.Size(), 400020u);
  EXPECT_EQ(std::memcmp(block.Data(), "0123456789abcdefghij", 20), 0);
  EXPECT_EQ(block.Data()[400019], 0xC3);

  // Reading from the start gives it back; at the end a read gives nothing.
  uint64_t at = 0;
  ASSERT_TRUE(block.Seek(0, 5, at));
  char five[5];
  EXPECT_EQ(block.Read(five, 5), 5u);
  EXPECT_EQ(std::memcmp(five, "56789", 5), 0);
  ASSERT_TRUE(block.Seek(2, 0, at));
  EXPECT_EQ(at, 400020u);
  EXPECT_EQ(block.Read(five, 5), 0u);
  // Seeks stay within the capacity, from each origin.
  EXPECT_FALSE(block.Seek(1, -400021, at));
  EXPECT_TRUE(block.Seek(0, static_cast<int64_t>(block.Capacity()), at));
  EXPECT_FALSE(block.Seek(0, static_cast<int64_t>(block.Capacity()) + 1, at));
  EXPECT_FALSE(block.Seek(2, INT64_MAX, at));
  EXPECT_FALSE(block.Seek(3, 0, at));
  EXPECT_EQ(block.Position(), block.Capacity());  // the failed seeks left it where it was

  // A growth that fails: the write reports it and the content stays.
  size_t capacity = block.Capacity();
  g_failAfter = 0;
  EXPECT_FALSE(block.Write("x", 1));
  EXPECT_EQ(block.Capacity(), capacity);
  EXPECT_EQ(block.Size(), 400020u);
  EXPECT_FALSE(block.SetSize(capacity + 1));
  g_failAfter = -1;
  ASSERT_TRUE(block.SetSize(capacity + 1));
  EXPECT_EQ(block.Capacity(), capacity + 1);
  EXPECT_EQ(block.Size(), capacity + 1);
  ASSERT_TRUE(block.SetSize(3));
  EXPECT_EQ(block.Size(), 3u);
}

TEST(MemoryBlock, AWrappedAnswerIsReadButNeverWrittenOrFreed) {
  std::vector<uint8_t> answer = Bitmap(2, 2);
  {
    GrowableBlock block;
    block.Wrap(answer.data(), answer.size());
    EXPECT_FALSE(block.Owned());
    EXPECT_FALSE(block.Write("x", 1));
    EXPECT_FALSE(block.SetSize(1));
    std::vector<uint8_t> back(answer.size() + 10);
    EXPECT_EQ(block.Read(back.data(), back.size()), answer.size());
    back.resize(answer.size());
    EXPECT_EQ(back, answer);
  }  // ASan would catch a free of the vector's storage here
  EXPECT_EQ(answer[0], 'B');
  // An allocation that fails.
  g_failAfter = 0;
  GrowableBlock failing(CountedRealloc);
  EXPECT_FALSE(failing.Allocate(4194304));
  g_failAfter = -1;
  GrowableBlock zeroed;
  ASSERT_TRUE(zeroed.Allocate(4194304));
  EXPECT_EQ(zeroed.Data()[4194303], 0);
}

// ---- Copies through the engine ----------------------------------------------------------------

class Copies : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(BuildPictures(240, 320, 16, pictures));
    local.AddFolder(u"C:");
    local.AddFolder(u"C:\\Out");
  }
  transfer::SourceItem Item(const std::u16string& name) {
    transfer::SourceItem item;
    item.path = name;
    item.attributes = 0;
    item.size = FindPicture(pictures, name)->estimate;
    item.writeTime = seam.SystemTime();
    return item;
  }
  int Copy(const std::vector<std::u16string>& names, bool move = false, uint32_t mode = 0) {
    transfer::Options options;
    options.sourceIsDevice = true;
    options.move = move;
    options.mode = mode;
    std::vector<transfer::SourceItem> items;
    for (const auto& n : names) items.push_back(Item(n));
    transfer::MOperationBase op(options, side, local, ui);
    if (!op.SetTarget(u"C:\\Out")) return 0;
    if (!op.BuildList(items)) return 0;
    return op.Run();
  }
  std::vector<Picture> pictures;
  FakeSeam seam;
  PictureSide side{pictures, seam};
  MemorySide local;
  ScriptedUi ui;
};

TEST_F(Copies, ABitmapIsWrittenAsTheDeviceSentItAndEncodedPicturesEndAtTheirOwnSize) {
  std::vector<uint8_t> screen = Bitmap(240, 320);
  seam.answers.push_back({true, 0, screen});
  seam.answers.push_back({true, 0, Bitmap(480, 640)});
  ASSERT_EQ(Copy({u"240x320x16.bmp", u"480x640x16.png"}), 1);
  EXPECT_EQ(seam.requests, (std::vector<std::u16string>{u"GetSnapshoot;", u"GetSnapshoot;ZOOM=200%;"}));
  std::string& bmp = local.At(u"C:\\Out\\240x320x16.bmp").data;
  EXPECT_EQ(std::vector<uint8_t>(bmp.begin(), bmp.end()), screen);
  // The encoded picture is far smaller than its listed estimate and still a whole copy.
  EXPECT_EQ(local.At(u"C:\\Out\\480x640x16.png").data, "PNG:" + std::to_string(Bitmap(480, 640).size()));
  EXPECT_EQ(seam.encoded, (std::vector<PictureFormat>{PictureFormat::kPng}));
  EXPECT_TRUE(ui.messages.empty());
  // The picture's size is now its byte count.
  EXPECT_EQ(FindPicture(pictures, u"480x640x16.png")->Size(), local.At(u"C:\\Out\\480x640x16.png").data.size());
}

TEST_F(Copies, CopyingTheSamePictureTwiceTakesTwoScreenshotsAndAMoveLeavesItListed) {
  seam.answers.push_back({true, 0, Bitmap(120, 160, 16, 0x11)});
  seam.answers.push_back({true, 0, Bitmap(120, 160, 16, 0x22)});
  ASSERT_EQ(Copy({u"120x160x16.bmp"}), 1);
  EXPECT_EQ(local.At(u"C:\\Out\\120x160x16.bmp").data.back(), '\x11');
  ui.overwriteAnswers.push_back(transfer::kOverwrite);
  ASSERT_EQ(Copy({u"120x160x16.bmp"}, true), 1);
  EXPECT_EQ(side.Screenshots(), 2);
  EXPECT_EQ(seam.requests.size(), 2u);
  EXPECT_EQ(local.At(u"C:\\Out\\120x160x16.bmp").data.back(), '\x22');
  EXPECT_NE(FindPicture(pictures, u"120x160x16.bmp"), nullptr);
  EXPECT_EQ(pictures.size(), 9u);
}

TEST_F(Copies, AScreenshotThatIsNotAWholeBitmapFailsTheReadAndLeavesNoFile) {
  std::u16string text = u"Can't capture the screen! ErrCode=0x00000008";
  std::vector<uint8_t> textAnswer(reinterpret_cast<const uint8_t*>(text.data()),
                                  reinterpret_cast<const uint8_t*>(text.data() + text.size() + 1));
  seam.answers.push_back({true, 0, textAnswer});
  EXPECT_EQ(Copy({u"240x320x16.png"}), 0);
  EXPECT_TRUE(seam.encoded.empty());  // nothing unchecked reaches the encoder
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0], transfer::Message::kCantRead);
  EXPECT_EQ(ui.messagePaths[0], u"240x320x16.png");
  EXPECT_FALSE(local.Exists(u"C:\\Out\\240x320x16.png"));

  // A bitmap cut short, saved as it is: refused the same way.
  std::vector<uint8_t> cut = Bitmap(240, 320);
  cut.resize(cut.size() - 100);
  seam.answers.push_back({true, 0, cut});
  EXPECT_EQ(Copy({u"240x320x16.bmp"}), 0);
  EXPECT_FALSE(local.Exists(u"C:\\Out\\240x320x16.bmp"));
  EXPECT_EQ(side.LastError(), transfer::kErrorInvalidData);

  // No answer even after reconnecting, and an encoder that fails: failed reads too.
  EXPECT_EQ(Copy({u"240x320x16.jpg"}), 0);
  EXPECT_EQ(seam.reconnects, 1);
  seam.answers.push_back({true, 0, Bitmap(240, 320)});
  seam.encodeFails = true;
  EXPECT_EQ(Copy({u"240x320x16.jpg"}), 0);
  EXPECT_EQ(ui.messages.size(), 4u);
  EXPECT_FALSE(local.Exists(u"C:\\Out\\240x320x16.jpg"));
}

TEST_F(Copies, NothingCanBeWrittenToThePictures) {
  EXPECT_EQ(side.Open(u"\\240x320x16.bmp", transfer::OpenMode::kReadWrite), transfer::FileSide::kInvalid);
  EXPECT_EQ(side.LastError(), transfer::kErrorWriteProtect);
  EXPECT_EQ(side.Open(u"\\240x320x16.bmp", transfer::OpenMode::kCreateAlways), transfer::FileSide::kInvalid);
  EXPECT_EQ(side.Open(u"\\missing.bmp", transfer::OpenMode::kRead), transfer::FileSide::kInvalid);
  EXPECT_EQ(side.LastError(), 2u);
  transfer::FileSide::Handle h = side.Open(u"\\240x320x16.bmp", transfer::OpenMode::kRead);
  ASSERT_NE(h, transfer::FileSide::kInvalid);
  uint32_t written = 1;
  EXPECT_FALSE(side.Write(h, reinterpret_cast<const uint8_t*>("x"), 1, written));
  EXPECT_EQ(side.LastError(), transfer::kErrorWriteProtect);
  EXPECT_FALSE(side.SetAttributes(u"\\240x320x16.bmp", transfer::kAttrReadOnly));
  EXPECT_FALSE(side.CreateFolder(u"\\New"));
  EXPECT_EQ(side.GetAttributes(u"\\240x320x16.bmp"), transfer::kAttrNormal);
  uint8_t buffer[8];
  uint32_t got = 0;
  EXPECT_FALSE(side.Read(h + 100, buffer, sizeof buffer, got));
  EXPECT_EQ(seam.requests.size(), 0u);
}

}  // namespace
}  // namespace handrel::desktop
