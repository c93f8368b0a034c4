#include <gtest/gtest.h>
#include <random>
#include <string>

#include "bridge/base64.h"

namespace {

TEST(Base64, EncodesAndDecodesEveryPaddingLength) {
  const struct {
    std::string bytes, text;
  } cases[] = {{"", ""},        {"f", "Zg=="},        {"fo", "Zm8="},
               {"foo", "Zm9v"}, {"foob", "Zm9vYg=="}, {std::string("\x00\xff\xfe", 3), "AP/+"}};
  for (const auto& c : cases) {
    EXPECT_EQ(Base64Encode(c.bytes), c.text);
    std::string back;
    ASSERT_TRUE(Base64Decode(c.text, &back)) << c.text;
    EXPECT_EQ(back, c.bytes);
  }
  std::string back;
  EXPECT_TRUE(Base64Decode("Zm8", &back)) << "unpadded is accepted";
  EXPECT_EQ(back, "fo");
  std::string all;
  for (int i = 0; i < 256; ++i) all.push_back(static_cast<char>(i));
  ASSERT_TRUE(Base64Decode(Base64Encode(all), &back));
  EXPECT_EQ(back, all);
}

TEST(Base64, RejectsCorruptedText) {
  for (const char* text : {"Zg=", "Z", "Zm9v!", "Zg==Zg==", "Zm 9v", "Zg===", "=Zg="}) {
    std::string out;
    EXPECT_FALSE(Base64Decode(text, &out)) << text;
  }
}

// An independent bit-at-a-time encoder, to check the table-driven one on large input.
std::string ReferenceBase64(const std::string& bytes) {
  static const std::string alphabet =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  unsigned acc = 0;
  int bits = 0;
  for (unsigned char c : bytes) {
    acc = (acc << 8) | c;
    bits += 8;
    while (bits >= 6) {
      bits -= 6;
      out += alphabet[(acc >> bits) & 63];
    }
  }
  if (bits > 0) out += alphabet[(acc << (6 - bits)) & 63];
  while (out.size() % 4) out += '=';
  return out;
}

TEST(Base64, Rfc4648Vectors) {
  EXPECT_EQ(Base64Encode(""), "");
  EXPECT_EQ(Base64Encode("f"), "Zg==");
  EXPECT_EQ(Base64Encode("fo"), "Zm8=");
  EXPECT_EQ(Base64Encode("foo"), "Zm9v");
  EXPECT_EQ(Base64Encode("foob"), "Zm9vYg==");
  EXPECT_EQ(Base64Encode("fooba"), "Zm9vYmE=");
  EXPECT_EQ(Base64Encode("foobar"), "Zm9vYmFy");
  EXPECT_EQ(Base64Encode(std::string("\xff\xfe\x00", 3)), "//4A")
      << "high bytes and the last two symbols";
}

TEST(Base64, LargeBufferMatchesTheReference) {
  std::mt19937 random(20261207);
  for (std::size_t size : {1u, 2u, 3u, 4095u, 4096u, 4097u, 1000003u}) {
    std::string bytes(size, '\0');
    for (char& c : bytes) c = static_cast<char>(random() & 0xFF);
    const std::string encoded = Base64Encode(bytes);
    EXPECT_EQ(encoded.size(), (size + 2) / 3 * 4) << size;
    EXPECT_EQ(encoded, ReferenceBase64(bytes)) << size;
  }
}

}  // namespace
