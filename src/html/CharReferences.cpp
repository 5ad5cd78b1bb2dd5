// Named and numeric character references. The table holds the 252 named
// references of HTML 4.01 (Latin-1, symbols, special characters), keyed as
// the standard spells them. A reference is looked up as written first, so
// that capitals keep their meaning (&Alpha; is not &alpha;), and lower-cased
// only when that fails, so that pages writing &NBSP; or &AMP; still decode.
#include "platform/LazyGlobal.h"
#include "html/HtmlElement.h"
#include "html/HtmlScan.h"

#include <array>
#include <cstddef>
#include <cstring>

namespace zqe::html {
namespace {

struct TNamedRef {
  const char* Name;
  char16_t Code;
};

// Latin-1: code points 160..255 in order.
constexpr const char* kLatin1[] = {
    "nbsp",   "iexcl",  "cent",   "pound",  "curren", "yen",    "brvbar", "sect",
    "uml",    "copy",   "ordf",   "laquo",  "not",    "shy",    "reg",    "macr",
    "deg",    "plusmn", "sup2",   "sup3",   "acute",  "micro",  "para",   "middot",
    "cedil",  "sup1",   "ordm",   "raquo",  "frac14", "frac12", "frac34", "iquest",
    "Agrave", "Aacute", "Acirc",  "Atilde", "Auml",   "Aring",  "AElig",  "Ccedil",
    "Egrave", "Eacute", "Ecirc",  "Euml",   "Igrave", "Iacute", "Icirc",  "Iuml",
    "ETH",    "Ntilde", "Ograve", "Oacute", "Ocirc",  "Otilde", "Ouml",   "times",
    "Oslash", "Ugrave", "Uacute", "Ucirc",  "Uuml",   "Yacute", "THORN",  "szlig",
    "agrave", "aacute", "acirc",  "atilde", "auml",   "aring",  "aelig",  "ccedil",
    "egrave", "eacute", "ecirc",  "euml",   "igrave", "iacute", "icirc",  "iuml",
    "eth",    "ntilde", "ograve", "oacute", "ocirc",  "otilde", "ouml",   "divide",
    "oslash", "ugrave", "uacute", "ucirc",  "uuml",   "yacute", "thorn",  "yuml",
};
static_assert(std::size(kLatin1) == 96);

constexpr TNamedRef kSymbols[] = {
    {"fnof", 402},
    // Greek
    {"Alpha", 913}, {"Beta", 914}, {"Gamma", 915}, {"Delta", 916}, {"Epsilon", 917},
    {"Zeta", 918}, {"Eta", 919}, {"Theta", 920}, {"Iota", 921}, {"Kappa", 922},
    {"Lambda", 923}, {"Mu", 924}, {"Nu", 925}, {"Xi", 926}, {"Omicron", 927},
    {"Pi", 928}, {"Rho", 929}, {"Sigma", 931}, {"Tau", 932}, {"Upsilon", 933},
    {"Phi", 934}, {"Chi", 935}, {"Psi", 936}, {"Omega", 937},
    {"alpha", 945}, {"beta", 946}, {"gamma", 947}, {"delta", 948}, {"epsilon", 949},
    {"zeta", 950}, {"eta", 951}, {"theta", 952}, {"iota", 953}, {"kappa", 954},
    {"lambda", 955}, {"mu", 956}, {"nu", 957}, {"xi", 958}, {"omicron", 959},
    {"pi", 960}, {"rho", 961}, {"sigmaf", 962}, {"sigma", 963}, {"tau", 964},
    {"upsilon", 965}, {"phi", 966}, {"chi", 967}, {"psi", 968}, {"omega", 969},
    {"thetasym", 977}, {"upsih", 978}, {"piv", 982},
    // General punctuation
    {"bull", 8226}, {"hellip", 8230}, {"prime", 8242}, {"Prime", 8243}, {"oline", 8254},
    {"frasl", 8260},
    // Letterlike symbols
    {"weierp", 8472}, {"image", 8465}, {"real", 8476}, {"trade", 8482}, {"alefsym", 8501},
    // Arrows
    {"larr", 8592}, {"uarr", 8593}, {"rarr", 8594}, {"darr", 8595}, {"harr", 8596},
    {"crarr", 8629}, {"lArr", 8656}, {"uArr", 8657}, {"rArr", 8658}, {"dArr", 8659},
    {"hArr", 8660},
    // Mathematical operators
    {"forall", 8704}, {"part", 8706}, {"exist", 8707}, {"empty", 8709}, {"nabla", 8711},
    {"isin", 8712}, {"notin", 8713}, {"ni", 8715}, {"prod", 8719}, {"sum", 8721},
    {"minus", 8722}, {"lowast", 8727}, {"radic", 8730}, {"prop", 8733}, {"infin", 8734},
    {"ang", 8736}, {"and", 8743}, {"or", 8744}, {"cap", 8745}, {"cup", 8746},
    {"int", 8747}, {"there4", 8756}, {"sim", 8764}, {"cong", 8773}, {"asymp", 8776},
    {"ne", 8800}, {"equiv", 8801}, {"le", 8804}, {"ge", 8805}, {"sub", 8834},
    {"sup", 8835}, {"nsub", 8836}, {"sube", 8838}, {"supe", 8839}, {"oplus", 8853},
    {"otimes", 8855}, {"perp", 8869}, {"sdot", 8901},
    // Miscellaneous technical
    {"lceil", 8968}, {"rceil", 8969}, {"lfloor", 8970}, {"rfloor", 8971}, {"lang", 9001},
    {"rang", 9002},
    // Geometric shapes and miscellaneous symbols
    {"loz", 9674}, {"spades", 9824}, {"clubs", 9827}, {"hearts", 9829}, {"diams", 9830},
};
static_assert(std::size(kSymbols) == 124);

constexpr TNamedRef kSpecial[] = {
    {"quot", 34}, {"amp", 38}, {"lt", 60}, {"gt", 62},
    {"OElig", 338}, {"oelig", 339}, {"Scaron", 352}, {"scaron", 353}, {"Yuml", 376},
    {"circ", 710}, {"tilde", 732},
    {"ensp", 8194}, {"emsp", 8195}, {"thinsp", 8201}, {"zwnj", 8204}, {"zwj", 8205},
    {"lrm", 8206}, {"rlm", 8207}, {"ndash", 8211}, {"mdash", 8212}, {"lsquo", 8216},
    {"rsquo", 8217}, {"sbquo", 8218}, {"ldquo", 8220}, {"rdquo", 8221}, {"bdquo", 8222},
    {"dagger", 8224}, {"Dagger", 8225}, {"permil", 8240}, {"lsaquo", 8249}, {"rsaquo", 8250},
    {"euro", 8364},
};
static_assert(std::size(kSpecial) == 32);

// "&thetasym;" is the longest key; longer references need no lookup.
constexpr size_t kMaxNamedRefLength = 10;

std::u16string RefKey(const char* name) {
  std::u16string key = u"&";
  for (const char* p = name; *p; ++p) key.push_back(static_cast<char16_t>(*p));
  key.push_back(u';');
  return key;
}

constinit LazyGlobal<TStringDictionary> gCharRefs;

const TStringDictionary& CharRefTable() {
  return gCharRefs.Get([] {
    auto* t = new TStringDictionary(512);
    char16_t code = 160;
    for (const char* name : kLatin1) t->Add(RefKey(name), std::u16string(1, code++));
    for (const auto& r : kSymbols) t->Add(RefKey(r.Name), std::u16string(1, r.Code));
    for (const auto& r : kSpecial) t->Add(RefKey(r.Name), std::u16string(1, r.Code));
    return t;
  });
}

// Built when the library loads, so that parsing threads only ever read it.
[[maybe_unused]] const TStringDictionary& kCharRefTableAtLoad = CharRefTable();

int HexDigit(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

// A 32-bit integer in hexadecimal; false for anything else.
bool ReadHex32(std::u16string_view s, uint32_t& out) {
  if (s.empty()) return false;
  uint64_t v = 0;
  for (char16_t c : s) {
    int d = HexDigit(c);
    if (d < 0) return false;
    v = v * 16 + static_cast<uint64_t>(d);
    if (v > 0xFFFFFFFFu) return false;
  }
  out = static_cast<uint32_t>(v);
  return true;
}

// A signed 32-bit decimal integer; false for anything else.
bool ReadDec32(std::u16string_view s, int32_t& out) {
  bool negative = false;
  if (!s.empty() && (s[0] == u'-' || s[0] == u'+')) {
    negative = s[0] == u'-';
    s.remove_prefix(1);
  }
  if (s.empty()) return false;
  int64_t v = 0;
  for (char16_t c : s) {
    if (c < u'0' || c > u'9') return false;
    v = v * 10 + (c - u'0');
    if (v > int64_t{0x80000000}) return false;
  }
  if (negative) v = -v;
  if (v > 0x7FFFFFFF) return false;
  out = static_cast<int32_t>(v);
  return true;
}

constexpr char16_t kReplacementCharacter = 0xFFFD;

// The UTF-16 form of a numeric reference's value: U+FFFD for what names no
// character (past U+10FFFF, a surrogate, NUL), as browsers read such pages.
size_t CodePointUnits(uint32_t v, char16_t* out) {
  if (v == 0 || v > 0x10FFFF || (v >= 0xD800 && v <= 0xDFFF)) {
    out[0] = kReplacementCharacter;
    return 1;
  }
  if (v < 0x10000) {
    out[0] = static_cast<char16_t>(v);
    return 1;
  }
  v -= 0x10000;
  out[0] = static_cast<char16_t>(0xD800 + (v >> 10));
  out[1] = static_cast<char16_t>(0xDC00 + (v & 0x3FF));
  return 2;
}

// The replacement for the reference ref ("&...;") in out (one or two
// units, never more than ref is long), or 0 to leave the reference as it is.
size_t ResolveReference(std::u16string_view ref, char16_t* out) {
  if (ref.size() > 2 && ref[1] == u'#') {
    bool readable;
    uint32_t v = 0;
    if (ref.size() > 3 && (ref[2] == u'x' || ref[2] == u'X')) {
      readable = ReadHex32(ref.substr(3, ref.size() - 4), v);
    } else {
      int32_t d = 0;
      readable = ReadDec32(ref.substr(2, ref.size() - 3), d) && d >= 0;
      v = static_cast<uint32_t>(d);
    }
    if (!readable) {
      out[0] = kReplacementCharacter;
      return 1;
    }
    return CodePointUnits(v, out);
  }
  if (ref.size() > kMaxNamedRefLength) return 0;
  const std::u16string* value = CharRefTable().Find(ref);
  if (!value) {
    char16_t key[kMaxNamedRefLength];
    bool folded = false;
    for (size_t i = 0; i < ref.size(); ++i) {
      const char16_t c = ref[i];
      folded = folded || (c >= u'A' && c <= u'Z');
      key[i] = (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c;
    }
    if (folded) value = CharRefTable().Find(std::u16string_view(key, ref.size()));
  }
  if (!value) return 0;
  out[0] = (*value)[0];
  return 1;
}

// Whether ref (of the literal's length) is the literal: a fixed-size
// memcmp, which compilers turn into a word comparison or two, where the
// string comparison went unit by unit.
template <size_t N>
bool Is(std::u16string_view ref, const char16_t (&literal)[N]) {
  return std::memcmp(ref.data(), literal, (N - 1) * sizeof(char16_t)) == 0;
}

// The five names result pages are full of, answered without the table:
// their replacement unit, or 0.
char16_t CommonNameUnit(std::u16string_view ref) {
  switch (ref.size()) {
    case 4:
      if (Is(ref, u"&lt;")) return u'<';
      if (Is(ref, u"&gt;")) return u'>';
      break;
    case 5:
      if (Is(ref, u"&amp;")) return u'&';
      break;
    case 6:
      if (Is(ref, u"&nbsp;")) return 0x00A0;
      if (Is(ref, u"&quot;")) return u'"';
      break;
  }
  return 0;
}

}  // namespace

size_t DecodeCharReferencesTo(std::u16string_view s, char16_t* out) {
  return DecodeCharReferencesTo(s, out, FindAny<u'&'>(s.data(), 0, s.size()));
}

size_t DecodeCharReferencesTo(std::u16string_view s, char16_t* out, size_t amp) {
  // A reference ends at the first ";" within 1000 characters of its "&".
  constexpr size_t kMaxReferenceLength = 1000;
  const char16_t* const p = s.data();
  const size_t n = s.size();
  char16_t* const begin = out;
  CopyUnits(out, p, amp);
  out += amp;
  // The next ";" at or after the scan position; it only moves forward, so a
  // page full of lone ampersands costs one pass, not 1000 characters each.
  size_t semi = 0;
  size_t i = amp;
  while (i < n) {
    if (p[i] != u'&') {
      const size_t next = FindAny<u'&'>(p, i, n);
      CopyUnits(out, p + i, next - i);
      out += next - i;
      i = next;
      continue;
    }
    if (semi <= i) semi = FindAny<u';'>(p, i + 1, n);
    size_t units = 0;
    if (semi < n && semi - i < kMaxReferenceLength) {
      const std::u16string_view ref = s.substr(i, semi - i + 1);
      if (const char16_t unit = CommonNameUnit(ref)) {
        out[0] = unit;
        units = 1;
      } else {
        units = ResolveReference(ref, out);
      }
    }
    if (units > 0) {
      out += units;
      i = semi + 1;
    } else {
      *out++ = u'&';
      ++i;
    }
  }
  return static_cast<size_t>(out - begin);
}

std::u16string DecodeCharReferences(std::u16string_view s) {
  if (s.find(u'&') == std::u16string_view::npos) return std::u16string(s);
  std::u16string out(s.size(), u'\0');
  out.resize(DecodeCharReferencesTo(s, out.data()));
  return out;
}

void ReleaseCharRefTable() { gCharRefs.Release(); }

}  // namespace zqe::html
