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
      {u"&Eacute;&eacute;", u"\u00C9\u00E9"},  // a capital is its own letter
      {u"&Dagger;&Yuml;&Prime;", u"\u2021\u0178\u2033"},
      {u"&Alpha;&alpha;&AMP;&Amp;&LT;", u"\u0391\u03B1&&<"},  // unknown as written: lower-cased
      {u"&EURO;&THETASYM;", u"\u20AC\u03D1"},
      {u"&#65;&#x41;&#X41;&#0065;", u"AAAA"},
      {u"&#x;", u"\uFFFD"},
      {u"[&#;]", u"[\uFFFD]"},
      {u"&#128512;&#x1F600;", u"\U0001F600\U0001F600"},  // a surrogate pair
      {u"&#65536;&#x10FFFF;", u"\U00010000\U0010FFFF"},
      {u"&#x110000;&#1114112;", u"\uFFFD\uFFFD"},  // past the last code point
      {u"&#xD800;&#57343;&#0;", u"\uFFFD\uFFFD\uFFFD"},  // no character
      {u"&#xFFFF;&#65533;", u"\uFFFF\uFFFD"},
      {u"&#-1;", u"\uFFFD"},
      {u"&#xFFFFFFFF;&#x100000000;", u"\uFFFD\uFFFD"},
      {u"&#12a;&#x1G;", u"\uFFFD\uFFFD"},
      {u"x&#128512;y&#x4e2d;", u"x\U0001F600y\u4E2D"},
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
            u"\u0192\u03C2\u03D6\u2135\u21B5\u21D4\u22C5\u232A\u25CA\u2666");
  EXPECT_EQ(DecodeCharReferences(u"&quot;&lt;&gt;&oelig;&scaron;&circ;&tilde;&rlm;&bdquo;&permil;&rsaquo;"),
            u"\"<>\u0153\u0161\u02C6\u02DC\u200F\u201E\u2030\u203A");
  EXPECT_NE(DecodeCharReferences(u"&hArr;"), DecodeCharReferences(u"&harr;"));
}

// The HTML 4.01 entity sets (HTMLlat1, HTMLsymbol, HTMLspecial) as the
// standard lists them: name and code point.
struct NamedReference {
  const char* name;
  char32_t code;
};
constexpr NamedReference kHtml401[] = {
    // HTMLlat1
    {"nbsp", 160}, {"iexcl", 161}, {"cent", 162}, {"pound", 163}, {"curren", 164}, {"yen", 165},
    {"brvbar", 166}, {"sect", 167}, {"uml", 168}, {"copy", 169}, {"ordf", 170}, {"laquo", 171},
    {"not", 172}, {"shy", 173}, {"reg", 174}, {"macr", 175}, {"deg", 176}, {"plusmn", 177},
    {"sup2", 178}, {"sup3", 179}, {"acute", 180}, {"micro", 181}, {"para", 182}, {"middot", 183},
    {"cedil", 184}, {"sup1", 185}, {"ordm", 186}, {"raquo", 187}, {"frac14", 188}, {"frac12", 189},
    {"frac34", 190}, {"iquest", 191}, {"Agrave", 192}, {"Aacute", 193}, {"Acirc", 194},
    {"Atilde", 195}, {"Auml", 196}, {"Aring", 197}, {"AElig", 198}, {"Ccedil", 199},
    {"Egrave", 200}, {"Eacute", 201}, {"Ecirc", 202}, {"Euml", 203}, {"Igrave", 204},
    {"Iacute", 205}, {"Icirc", 206}, {"Iuml", 207}, {"ETH", 208}, {"Ntilde", 209},
    {"Ograve", 210}, {"Oacute", 211}, {"Ocirc", 212}, {"Otilde", 213}, {"Ouml", 214},
    {"times", 215}, {"Oslash", 216}, {"Ugrave", 217}, {"Uacute", 218}, {"Ucirc", 219},
    {"Uuml", 220}, {"Yacute", 221}, {"THORN", 222}, {"szlig", 223}, {"agrave", 224},
    {"aacute", 225}, {"acirc", 226}, {"atilde", 227}, {"auml", 228}, {"aring", 229},
    {"aelig", 230}, {"ccedil", 231}, {"egrave", 232}, {"eacute", 233}, {"ecirc", 234},
    {"euml", 235}, {"igrave", 236}, {"iacute", 237}, {"icirc", 238}, {"iuml", 239},
    {"eth", 240}, {"ntilde", 241}, {"ograve", 242}, {"oacute", 243}, {"ocirc", 244},
    {"otilde", 245}, {"ouml", 246}, {"divide", 247}, {"oslash", 248}, {"ugrave", 249},
    {"uacute", 250}, {"ucirc", 251}, {"uuml", 252}, {"yacute", 253}, {"thorn", 254},
    {"yuml", 255},
    // HTMLsymbol: Latin Extended-B
    {"fnof", 402},
    // Greek
    {"Alpha", 913}, {"Beta", 914}, {"Gamma", 915}, {"Delta", 916}, {"Epsilon", 917},
    {"Zeta", 918}, {"Eta", 919}, {"Theta", 920}, {"Iota", 921}, {"Kappa", 922},
    {"Lambda", 923}, {"Mu", 924}, {"Nu", 925}, {"Xi", 926}, {"Omicron", 927}, {"Pi", 928},
    {"Rho", 929}, {"Sigma", 931}, {"Tau", 932}, {"Upsilon", 933}, {"Phi", 934}, {"Chi", 935},
    {"Psi", 936}, {"Omega", 937}, {"alpha", 945}, {"beta", 946}, {"gamma", 947},
    {"delta", 948}, {"epsilon", 949}, {"zeta", 950}, {"eta", 951}, {"theta", 952},
    {"iota", 953}, {"kappa", 954}, {"lambda", 955}, {"mu", 956}, {"nu", 957}, {"xi", 958},
    {"omicron", 959}, {"pi", 960}, {"rho", 961}, {"sigmaf", 962}, {"sigma", 963},
    {"tau", 964}, {"upsilon", 965}, {"phi", 966}, {"chi", 967}, {"psi", 968}, {"omega", 969},
    {"thetasym", 977}, {"upsih", 978}, {"piv", 982},
    // General Punctuation
    {"bull", 8226}, {"hellip", 8230}, {"prime", 8242}, {"Prime", 8243}, {"oline", 8254},
    {"frasl", 8260},
    // Letterlike Symbols
    {"weierp", 8472}, {"image", 8465}, {"real", 8476}, {"trade", 8482}, {"alefsym", 8501},
    // Arrows
    {"larr", 8592}, {"uarr", 8593}, {"rarr", 8594}, {"darr", 8595}, {"harr", 8596},
    {"crarr", 8629}, {"lArr", 8656}, {"uArr", 8657}, {"rArr", 8658}, {"dArr", 8659},
    {"hArr", 8660},
    // Mathematical Operators
    {"forall", 8704}, {"part", 8706}, {"exist", 8707}, {"empty", 8709}, {"nabla", 8711},
    {"isin", 8712}, {"notin", 8713}, {"ni", 8715}, {"prod", 8719}, {"sum", 8721},
    {"minus", 8722}, {"lowast", 8727}, {"radic", 8730}, {"prop", 8733}, {"infin", 8734},
    {"ang", 8736}, {"and", 8743}, {"or", 8744}, {"cap", 8745}, {"cup", 8746}, {"int", 8747},
    {"there4", 8756}, {"sim", 8764}, {"cong", 8773}, {"asymp", 8776}, {"ne", 8800},
    {"equiv", 8801}, {"le", 8804}, {"ge", 8805}, {"sub", 8834}, {"sup", 8835},
    {"nsub", 8836}, {"sube", 8838}, {"supe", 8839}, {"oplus", 8853}, {"otimes", 8855},
    {"perp", 8869}, {"sdot", 8901},
    // Miscellaneous Technical
    {"lceil", 8968}, {"rceil", 8969}, {"lfloor", 8970}, {"rfloor", 8971}, {"lang", 9001},
    {"rang", 9002},
    // Geometric Shapes, Miscellaneous Symbols
    {"loz", 9674}, {"spades", 9824}, {"clubs", 9827}, {"hearts", 9829}, {"diams", 9830},
    // HTMLspecial: C0 Controls and Basic Latin
    {"quot", 34}, {"amp", 38}, {"lt", 60}, {"gt", 62},
    // Latin Extended-A
    {"OElig", 338}, {"oelig", 339}, {"Scaron", 352}, {"scaron", 353}, {"Yuml", 376},
    // Spacing Modifier Letters
    {"circ", 710}, {"tilde", 732},
    // General Punctuation
    {"ensp", 8194}, {"emsp", 8195}, {"thinsp", 8201}, {"zwnj", 8204}, {"zwj", 8205},
    {"lrm", 8206}, {"rlm", 8207}, {"ndash", 8211}, {"mdash", 8212}, {"lsquo", 8216},
    {"rsquo", 8217}, {"sbquo", 8218}, {"ldquo", 8220}, {"rdquo", 8221}, {"bdquo", 8222},
    {"dagger", 8224}, {"Dagger", 8225}, {"permil", 8240}, {"lsaquo", 8249}, {"rsaquo", 8250},
    {"euro", 8364},
};
static_assert(std::size(kHtml401) == 252);

TEST(CharReferences, EveryHtml401NameGivesItsOwnCodePoint) {
  for (const auto& r : kHtml401) {
    std::u16string reference = u"&";
    reference += U16(r.name);
    reference += u';';
    EXPECT_EQ(DecodeCharReferences(reference), std::u16string(1, static_cast<char16_t>(r.code))) << r.name;
  }
}

}  // namespace
}  // namespace zqe::html::test
