// The text a result page is parsed from: comments, scripts and wrapped
// script blocks removed, white space collapsed.
#pragma once

#include <string>
#include <string_view>

namespace zqe {

// Three removals in turn, each repeating "delete from the first opener to
// the first closer, both searched from the start" until a marker is
// missing or the first closer ends before the first opener: "<!--" to
// "-->", "<script" to "</script>", "<!--//<![CDATA" to "//]]>-->". Markers
// that only come into being where a deletion joins two pieces count. Then
// CollapseWhiteSpace. Case-sensitive, linear in the length of Html.
std::u16string CleanHtmlText(std::u16string_view Html);

// The same text, and whether it holds a U+0000 (where the parser stops
// reading): told on the way, so that the parse need not search for it.
struct TCleanText {
  std::u16string Text;
  bool HoldsNul = false;
  bool Cut = false;  // CleanHtmlBody found its "</body"
};
TCleanText CleanHtmlPage(std::u16string_view Html);

// The cleaning of Html up to its first "</body" (case-sensitive, in Html
// as it is, before any removal), found by the cleaning's own scan. Without
// one, Cut is false and the text empty.
TCleanText CleanHtmlBody(std::u16string_view Html);

// Collapses every run of white space (U+0009..U+000D, U+0020, U+0085,
// U+00A0 and the Unicode categories Zs, Zl, Zp) into one space, drops
// leading white space and keeps at most one trailing space.
std::u16string CollapseWhiteSpace(std::u16string_view s);
bool IsCollapsibleWhiteSpace(char16_t c);

namespace clean_detail {
// Whether this processor runs the 32-unit path (AVX2, 64-bit builds).
bool HasWidePath();
// The same functions with the 32-unit path allowed or not, so that tests
// hold both paths to the rule on one machine.
std::u16string CleanHtmlText(std::u16string_view Html, bool wide);
TCleanText CleanHtmlPage(std::u16string_view Html, bool wide);
TCleanText CleanHtmlBody(std::u16string_view Html, bool wide);
std::u16string CollapseWhiteSpace(std::u16string_view s, bool wide);
}  // namespace clean_detail

}  // namespace zqe
