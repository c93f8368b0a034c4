#include "bridge/text_encoding.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

TextLayout Detect(const std::string& bytes) {
  return DetectTextLayout(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
}

TEST(TextEncoding, ByteOrderMarksDecideFirst) {
  const TextLayout utf16 =
      Detect(std::string("\xFF\xFE"
                         "4\0"
                         "2\0",
                         6));
  EXPECT_EQ(utf16.encoding, TextEncoding::kUtf16Le);
  EXPECT_EQ(utf16.offset, 2u);
  EXPECT_EQ(utf16.length, 4u);

  const TextLayout utf8 = Detect("\xEF\xBB\xBFHWND=1");
  EXPECT_EQ(utf8.encoding, TextEncoding::kUtf8);
  EXPECT_EQ(utf8.offset, 3u);
  EXPECT_EQ(utf8.length, 6u);
}

TEST(TextEncoding, MarkOnlyFilesAreEmpty) {
  const TextLayout marksOnly = Detect("\xFF\xFE");
  EXPECT_EQ(marksOnly.encoding, TextEncoding::kUtf16Le);
  EXPECT_EQ(marksOnly.length, 0u);
  EXPECT_EQ(Detect("\xEF\xBB\xBF").length, 0u);
}

TEST(TextEncoding, OddTrailingByteAfterUtf16MarkIsNotAHalfCodeUnit) {
  const TextLayout layout =
      Detect(std::string("\xFF\xFE"
                         "A\0"
                         "B",
                         5));
  EXPECT_EQ(layout.length, 2u);
}

TEST(TextEncoding, ZeroBytesAtOddOffsetsMeanUtf16WithoutMark) {
  // "4\0 2\0": two zeros at odd offsets, more than 4 / 4.
  const TextLayout layout =
      Detect(std::string("4\0"
                         "2\0",
                         4));
  EXPECT_EQ(layout.encoding, TextEncoding::kUtf16Le);
  EXPECT_EQ(layout.offset, 0u);
  EXPECT_EQ(layout.length, 4u);
  // One zero in four bytes is not more than 4 / 4: UTF-8.
  EXPECT_EQ(Detect(std::string("4\0"
                               "22",
                               4))
                .encoding,
            TextEncoding::kUtf8);
  // Three bytes are never UTF-16 without a mark, whatever their zeros.
  EXPECT_EQ(Detect(std::string("a\0b", 3)).encoding, TextEncoding::kUtf8);
  // Zeros at even offsets do not count.
  EXPECT_EQ(Detect(std::string("\0a\0b\0c", 6)).encoding, TextEncoding::kUtf8);
}

TEST(TextEncoding, PlainBytesAreUtf8WholeBuffer) {
  const TextLayout layout = Detect("abc");
  EXPECT_EQ(layout.encoding, TextEncoding::kUtf8);
  EXPECT_EQ(layout.offset, 0u);
  EXPECT_EQ(layout.length, 3u);
  EXPECT_EQ(Detect("").length, 0u);
}

TEST(TextEncoding, ArbitraryBytesStayInsideTheBuffer) {
  // Property: whatever the bytes, the payload range lies within them.
  unsigned seed = 12345;
  for (int round = 0; round < 2000; ++round) {
    std::vector<unsigned char> bytes(static_cast<std::size_t>(round % 37));
    for (auto& b : bytes) {
      seed = seed * 1103515245u + 12345u;
      b = static_cast<unsigned char>((seed >> 16) % 4 == 0 ? 0 : (seed >> 8));
    }
    if (round % 5 == 0 && bytes.size() >= 2) {
      bytes[0] = 0xFF;
      bytes[1] = 0xFE;
    }
    const TextLayout layout = DetectTextLayout(bytes.data(), bytes.size());
    ASSERT_LE(layout.offset + layout.length, bytes.size());
    if (layout.encoding == TextEncoding::kUtf16Le) {
      ASSERT_EQ(layout.length % 2, 0u);
    }
  }
}

std::wstring Units(std::initializer_list<unsigned> units) {
  std::wstring out;
  for (unsigned u : units) out.push_back(static_cast<wchar_t>(u));
  return out;
}

TEST(TextEncoding, Utf8DecodesToUtf16UnitsAndIllFormedBytesToReplacements) {
  const auto decode = [](const std::string& bytes) {
    return DecodeUtf8(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
  };
  EXPECT_EQ(decode("A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x9A\x80"),
            Units({'A', 0xE9, 0x20AC, 0xD83D, 0xDE80}));
  // Stray continuation, overlong, encoded surrogate, past U+10FFFF, cut sequence.
  EXPECT_EQ(decode("\x80"), Units({0xFFFD}));
  EXPECT_EQ(decode("\xC0\xAF"), Units({0xFFFD, 0xFFFD}));
  EXPECT_EQ(decode("\xED\xA0\x80"), Units({0xFFFD, 0xFFFD, 0xFFFD}));
  EXPECT_EQ(decode("\xF4\x90\x80\x80"), Units({0xFFFD, 0xFFFD, 0xFFFD, 0xFFFD}));
  EXPECT_EQ(decode("\xF0\x9F\x9A"
                   "A"),
            Units({0xFFFD, 'A'}));
  EXPECT_EQ(decode(std::string("a\0b", 3)), Units({'a', 0, 'b'}));
}

TEST(TextEncoding, Utf8EncodingPairsSurrogatesAndReplacesLoneOnes) {
  EXPECT_EQ(EncodeUtf8(Units({'A', 0xE9, 0x20AC, 0xD83D, 0xDE80})),
            "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x9A\x80");
  EXPECT_EQ(EncodeUtf8(Units({0xD83D, 'x', 0xDE80})), "\xEF\xBF\xBDx\xEF\xBF\xBD");
  const std::string utf16(
      "\xFF\xFE"
      "A\0\xAC\x20",
      6);
  EXPECT_EQ(EncodeUtf8(DecodeTextFileBytes(reinterpret_cast<const unsigned char*>(utf16.data()),
                                           utf16.size())),
            "A\xE2\x82\xAC");
}

}  // namespace
