#include "testing/webview2-runtime/base64.h"

#include <gtest/gtest.h>

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

}  // namespace
