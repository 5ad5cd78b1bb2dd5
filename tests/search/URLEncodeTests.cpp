#include <gtest/gtest.h>

#include <string>

#include "platform/Text.h"
#include "search/URLEncode.h"

namespace zqe {
namespace {

TEST(URLEncode, TableOfCases) {
  const struct {
    const char16_t* In;
    const char16_t* Out;
  } cases[] = {
      {u"http://www.baidu.com/s?wd=今天 天气", u"http://www.baidu.com/s?wd=%E4%BB%8A%E5%A4%A9%20%E5%A4%A9%E6%B0%94"},
      // "&" splits the query; everything from "#" on is dropped.
      {u"https://cn.bing.com/search?q=A&B#C D&x=1", u"https://cn.bing.com/search?q=A&B"},
      {u"http://h/s?q=%41 100%", u"http://h/s?q=%41%20100%25"},
      {u"http://h/s?q=%4g%", u"http://h/s?q=%254g%25"},
      {u"http://h:80/a", u"http://h/a"},
      {u"HTTP://h:80/a", u"HTTP://h/a"},
      {u"https://h:443/a", u"https://h/a"},
      {u"ftp://h:21/a", u"ftp://h/a"},
      {u"http://h:443/a", u"http://h:443/a"},
      {u"https://h:8443/a", u"https://h:8443/a"},
      {u"gopher://h:70/a", u"gopher://h:70/a"},
      {u"http://h:/a", u"http://h/a"},
      {u"http://user:pw@h/a", u"http://h/a"},
      {u"http://us@er:p@w@h:81/a", u"http://h:81/a"},
      {u"http://[::1]:80/a", u"http://[::1]/a"},
      {u"http://[fe80::1]:8080/a", u"http://[fe80::1]:8080/a"},
      {u"http://[::1]/a", u"http://[::1]/a"},
      // Outside brackets the first ":" starts the port, written as found.
      {u"http://~::/", u"http://~::/"},
      {u"http://h:8o/a", u"http://h:8o/a"},
      {u"http://h\\a\\b c.html?x=\\y", u"http://h/a/b%20c.html?x=%5Cy"},
      // "+" is unsafe in the path only.
      {u"http://h/a+b?c+d", u"http://h/a%2Bb?c+d"},
      {u"http://h/*<>\"{}|^[]`?*<>\"{}|^[]`",
       u"http://h/%2A%3C%3E%22%7B%7D%7C%5E%5B%5D%60?%2A%3C%3E%22%7B%7D%7C%5E%5B%5D%60"},
      {u"http://h?q=1", u"http://h?q=1"},
      {u"http://h", u"http://h"},
      {u"http://h/p#frag?x", u"http://h/p"},
      {u"http://h/s?q=\U0001F600\xD800x\x7F\t", u"http://h/s?q=%F0%9F%98%80%EF%BF%BDx%7F%09"},
      {u"http://h/go?u=http://x/y", u"http://h/go?u=http://x/y"},
  };
  for (const auto& c : cases) {
    std::u16string out;
    ASSERT_NO_THROW(out = URLEncode(c.In)) << U16ToUtf8(c.In);
    EXPECT_EQ(U16ToUtf8(out), U16ToUtf8(c.Out)) << U16ToUtf8(c.In);
  }
}

TEST(URLEncode, RejectsTextsWithoutSchemeOrHost) {
  const struct {
    const char16_t* In;
    const char* Message;
  } errors[] = {
      {u"", "Protocol field is empty"},
      {u"www.baidu.com/s?wd=x", "Protocol field is empty"},
      {u"://h/a", "Protocol field is empty"},
      {u"/go?u=http://x/y", "Protocol field is empty"},
      {u"http://", "Host field is empty"},
      {u"http:///a", "Host field is empty"},
      {u"http://user@/a", "Host field is empty"},
      {u"http://:80/a", "Host field is empty"},
      {u"http://?q=1", "Host field is empty"},
      {u"http://[]:80/", "Host field is empty"},
  };
  for (const auto& e : errors) {
    try {
      const std::u16string out = URLEncode(e.In);
      ADD_FAILURE() << "no error for '" << U16ToUtf8(e.In) << "', got " << U16ToUtf8(out);
    } catch (const EURLEncodeError& error) {
      EXPECT_STREQ(error.what(), e.Message) << U16ToUtf8(e.In);
      EXPECT_EQ(U16ToUtf8(error.Message()), e.Message);
    }
  }
}

TEST(URLEncode, PathAndQueryRulesDifferOnlyInPlus) {
  const struct {
    const char16_t* In;
    const char16_t* Path;
    const char16_t* Params;
  } cases[] = {
      {u"", u"", u""},
      {u"a+b", u"a%2Bb", u"a+b"},
      {u"!$&'()=,;:@/?~-._", u"!$&'()=,;:@/?~-._", u"!$&'()=,;:@/?~-._"},
      {u" \x01\x7F\x80", u"%20%01%7F%C2%80", u"%20%01%7F%C2%80"},
      {u"%", u"%25", u"%25"},
      {u"%a", u"%25a", u"%25a"},
      {u"%aF%", u"%aF%25", u"%aF%25"},
      {u"中", u"%E4%B8%AD", u"%E4%B8%AD"},
      {u"\xDE00\xD83D", u"%EF%BF%BD%EF%BF%BD", u"%EF%BF%BD%EF%BF%BD"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(U16ToUtf8(PathEncode(c.In)), U16ToUtf8(c.Path)) << U16ToUtf8(c.In);
    EXPECT_EQ(U16ToUtf8(ParamsEncode(c.In)), U16ToUtf8(c.Params)) << U16ToUtf8(c.In);
  }
}

TEST(QueryValueEncode, KeepsOnlyUnreservedCharacters) {
  const struct {
    const char16_t* In;
    const char16_t* Out;
  } cases[] = {
      {u"", u""},
      {u"Az09-._~", u"Az09-._~"},
      {u"C# \u4E0E F#?", u"C%23%20%E4%B8%8E%20F%23%3F"},
      {u"a&b=c+d/e", u"a%26b%3Dc%2Bd%2Fe"},
      {u"%41 100%", u"%2541%20100%25"},
      {u"!$'()*,;:@[]", u"%21%24%27%28%29%2A%2C%3B%3A%40%5B%5D"},
      {u"\uFF1F\uFF03\u3002", u"%EF%BC%9F%EF%BC%83%E3%80%82"},  // full-width ? # and full stop
      {u"\U0001F600\U00020000", u"%F0%9F%98%80%F0%A0%80%80"},  // surrogate pairs
      {u"\xDE00x\xD83D", u"%EF%BF%BDx%EF%BF%BD"},  // unpaired surrogates
      {u"\t\x7F\x80", u"%09%7F%C2%80"},
  };
  for (const auto& c : cases) EXPECT_EQ(U16ToUtf8(QueryValueEncode(c.In)), U16ToUtf8(c.Out)) << U16ToUtf8(c.In);
}

TEST(QueryValueEncode, SurvivesTheWholeUrlEncoderUnchanged) {
  const char16_t* sentences[] = {u"C# \u4E0E F# \u7684\u533A\u522B?", u"a&b=c+d/e?f", u"%41%", u"x\U0001F600y\uFF0C"};
  for (const char16_t* s : sentences) {
    const std::u16string value = QueryValueEncode(s);
    EXPECT_EQ(URLEncode(u"https://www.baidu.com/s?wd=" + value), u"https://www.baidu.com/s?wd=" + value)
        << U16ToUtf8(s);
    EXPECT_EQ(URLEncode(u"http://h/q/" + value + u"/r"), u"http://h/q/" + value + u"/r") << U16ToUtf8(s);
  }
}

}  // namespace
}  // namespace zqe
