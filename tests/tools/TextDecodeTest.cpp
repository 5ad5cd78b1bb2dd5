// Document decoding: byte-order marks, declared encodings and the guess
// between UTF-8 and GBK/GB18030.
#include <gtest/gtest.h>

#include <stdexcept>

#include "host/TextDecode.h"
#include "platform/HostSupport.h"

namespace zqe::cli {
namespace {

struct DecodeCase {
  const char* name;
  std::string bytes;
  Encoding wanted;
  std::u16string text;
  Encoding found;
  bool bom;
};

const DecodeCase kCases[] = {
    {"utf-8", "中文abc", Encoding::kAuto, u"中文abc", Encoding::kUtf8, false},
    {"utf-8 with BOM", "\xEF\xBB\xBF中文", Encoding::kAuto, u"中文", Encoding::kUtf8, true},
    {"utf-8 BOM, declared", "\xEF\xBB\xBFok", Encoding::kUtf8, u"ok", Encoding::kUtf8, true},
    {"utf-16le BOM", std::string("\xFF\xFE\x2D\x4E\x87\x65\x41\x00", 8), Encoding::kAuto, u"中文A", Encoding::kUtf16Le,
     true},
    {"utf-16be BOM", std::string("\xFE\xFF\x4E\x2D\x65\x87\x00\x41", 8), Encoding::kAuto, u"中文A", Encoding::kUtf16Be,
     true},
    {"utf-16le pair", std::string("\xFF\xFE\x40\xD8\x00\xDC", 6), Encoding::kAuto, u"\U00020000", Encoding::kUtf16Le,
     true},
    {"utf-16le declared, no BOM", std::string("\x2D\x4E\x87\x65", 4), Encoding::kUtf16Le, u"中文", Encoding::kUtf16Le,
     false},
    {"gbk guessed", "\xD6\xD0\xCE\xC4\xBE\xE4\xD7\xD3\xA1\xA3", Encoding::kAuto, u"中文句子。", Encoding::kGb18030,
     false},
    {"gbk declared", "abc\xB2\xE2\xCA\xD4", Encoding::kGb18030, u"abc测试", Encoding::kGb18030, false},
    {"empty", "", Encoding::kAuto, u"", Encoding::kUtf8, false},
};

TEST(TextDecodeTest, MarksDeclarationsAndGuesses) {
  for (const auto& c : kCases) {
    const DecodedText d = DecodeDocument(c.bytes, c.wanted);
    EXPECT_EQ(d.text, c.text) << c.name;
    EXPECT_EQ(d.encoding, c.found) << c.name;
    EXPECT_EQ(d.hadBom, c.bom) << c.name;
    EXPECT_FALSE(d.replaced) << c.name;
  }
}

TEST(TextDecodeTest, Gb18030FourByteForms) {
  // Windows decodes them with code page 54936, which Wine lacks; its 936
  // (GBK) knows the two-byte forms only.
  std::u16string probe;
  if (!platform::DecodeGb18030("\x81\x30\x81\x30", probe)) GTEST_SKIP() << "the system has no GB18030 decoder";
  const DecodedText d = DecodeDocument("\x81\x30\x81\x30\x90\x30\x81\x30", Encoding::kAuto);
  EXPECT_EQ(d.text, u"\u0080\U00010000");
  EXPECT_EQ(d.encoding, Encoding::kGb18030);
}

TEST(TextDecodeTest, BytesValidInNeitherGuessAreReplacedInUtf8) {
  // 0xFF is no lead byte in UTF-8 nor in GB18030.
  const DecodedText d = DecodeDocument("ab\xFF" "cd", Encoding::kAuto);
  EXPECT_EQ(d.encoding, Encoding::kUtf8);
  EXPECT_TRUE(d.replaced);
  EXPECT_EQ(d.text, u"ab\xFFFD" "cd");
}

TEST(TextDecodeTest, OddUtf16LengthEndsInAReplacement) {
  const DecodedText d = DecodeDocument(std::string("\xFF\xFE\x41\x00\x42", 5), Encoding::kAuto);
  EXPECT_EQ(d.text, u"A\xFFFD");
  EXPECT_TRUE(d.replaced);
}

TEST(TextDecodeTest, RejectsWhatCannotBeRight) {
  // Declared GBK but not GBK.
  EXPECT_THROW(DecodeDocument("\xFF\xFF", Encoding::kGb18030), std::runtime_error);
  // A UTF-16 mark on a file declared UTF-8.
  EXPECT_THROW(DecodeDocument(std::string("\xFF\xFE\x41\x00", 4), Encoding::kUtf8), std::runtime_error);
}

TEST(TextDecodeTest, EncodingNames) {
  EXPECT_EQ(ParseEncodingName("UTF-8"), Encoding::kUtf8);
  EXPECT_EQ(ParseEncodingName("utf16le"), Encoding::kUtf16Le);
  EXPECT_EQ(ParseEncodingName("UTF-16BE"), Encoding::kUtf16Be);
  EXPECT_EQ(ParseEncodingName("GBK"), Encoding::kGb18030);
  EXPECT_EQ(ParseEncodingName("gb2312"), Encoding::kGb18030);
  EXPECT_EQ(ParseEncodingName("auto"), Encoding::kAuto);
  EXPECT_FALSE(ParseEncodingName("latin1"));
  EXPECT_FALSE(ParseEncodingName(""));
}

}  // namespace
}  // namespace zqe::cli
