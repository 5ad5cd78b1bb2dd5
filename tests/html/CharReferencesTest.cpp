#include "TestUtil.h"

namespace zqe::html::test {
namespace {

struct DecodeCase {
  std::u16string in, out;
};

TEST(CharReferences, DecodesInOnePass) {
  const DecodeCase cases[] = {
      {u"a&amp;lt;b", u"a&lt;b"},  // the new ampersand is not decoded again
      {u"&nbsp;&NBSP;&Nbsp;", u"\u00A0\u00A0\u00A0"},
      {u"&Eacute;", u"\u00E9"},  // capitals find their lower-case twin
      {u"&Dagger;&Yuml;&Prime;", u"\u2020\u00FF\u2032"},
      {u"&#65;&#x41;&#X41;&#0065;", u"AAAA"},
      {u"&#x;", u"!"},
      {u"[&#;]", std::u16string(u"[\0]", 3)},
      {u"&#128512;", u"\uF600"},  // modulo 65536
      {u"&#-1;", u"\uFFFF"},
      {u"&#xFFFFFFFF;&#x100000000;", u"\uFFFF!"},  // beyond 32 bits: not a number
      {u"&#12a;", std::u16string(1, u'\0')},
      {u"&euro;&thetasym;&zwj;&yuml;", u"\u20AC\u03D1\u200D\u00FF"},
      {u"AT&T rocks; &amp;", u"AT&T rocks; &"},  // "&T rocks;" is no name
      {u"a &amp b &lt; c", u"a &amp b < c"},
      {u"&bogus;&", u"&bogus;&"},
      {u"&", u"&"},
      {u"no references", u"no references"},
      {u"&#x4e2d;&#25991;", u"\u4E2D\u6587"},
  };
  for (const auto& c : cases) EXPECT_EQ(U8(DecodeCharReferences(c.in)), U8(c.out)) << U8(c.in);
}

TEST(CharReferences, SemicolonMustBeWithin1000Characters) {
  std::u16string near = u"&" + std::u16string(997, u'x') + u";";  // 999 characters
  EXPECT_EQ(DecodeCharReferences(near), near);
  std::u16string justIn = u"&#" + std::u16string(996, u'0') + u"65;";  // 1001 characters
  EXPECT_EQ(DecodeCharReferences(justIn), justIn);
  std::u16string fits = u"&#" + std::u16string(995, u'0') + u"65;";  // 1000 characters
  EXPECT_EQ(DecodeCharReferences(fits), u"A");
}

TEST(CharReferences, TableHoldsTheHtml401Sets) {
  // Every Latin-1 code point from 160 has its reference; spot checks for
  // the symbol and special sets.
  const char* latin1[] = {"nbsp", "iexcl", "cent", "pound", "curren", "yen", "brvbar", "sect", "uml", "copy",
                          "ordf", "laquo", "not", "shy", "reg", "macr", "deg", "plusmn", "sup2", "sup3",
                          "acute", "micro", "para", "middot", "cedil", "sup1", "ordm", "raquo", "frac14",
                          "frac12", "frac34", "iquest"};
  char16_t code = 160;
  for (const char* name : latin1) {
    // Appended piece by piece: MinGW's GCC 12 warns (-Wrestrict) on u"&" + s.
    std::u16string reference = u"&";
    reference += U16(name);
    reference += u';';
    EXPECT_EQ(DecodeCharReferences(reference), std::u16string(1, code)) << name;
    ++code;
  }
  EXPECT_EQ(DecodeCharReferences(u"&szlig;&divide;&thorn;"), u"\u00DF\u00F7\u00FE");
  EXPECT_EQ(DecodeCharReferences(u"&fnof;&sigmaf;&piv;&alefsym;&crarr;&hArr;&sdot;&rang;&loz;&diams;"),
            u"\u0192\u03C2\u03D6\u2135\u21B5\u2194\u22C5\u232A\u25CA\u2666");
  EXPECT_EQ(DecodeCharReferences(u"&quot;&lt;&gt;&oelig;&scaron;&circ;&tilde;&rlm;&bdquo;&permil;&rsaquo;"),
            u"\"<>\u0153\u0161\u02C6\u02DC\u200F\u201E\u2030\u203A");
  // hArr is written with a capital: it decodes as harr.
  EXPECT_EQ(DecodeCharReferences(u"&hArr;"), DecodeCharReferences(u"&harr;"));
}

}  // namespace
}  // namespace zqe::html::test
