// Internal to the parser: the tokenizer, which feeds the tree builder one
// token at a time (the two passes run interleaved).
#pragma once

#include "html/HtmlElement.h"

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

namespace zqe::html {

class TTagNames;
class THtmlTreeBuilder;

// A tag token (brackets included) cut into its parts.
struct TTagParts {
  bool Closing = false;      // "</x>"
  bool SelfClosing = false;  // "<x/>"
  std::u16string_view Name;  // as written
  std::u16string_view Rest;  // the attributes' text
};
TTagParts SplitTag(std::u16string_view token);
// Whether an attribute text holds any attribute.
bool HasAttributeText(std::u16string_view rest);

// Reads a tag's attribute text into a table in the arena: names lower-cased,
// values decoded, a repeated name keeping its first place and its last
// value.
TArenaArray<TAttr> ReadAttributeTable(TSourceText& arena, std::u16string_view rest);

class THtmlTokenizer {
 public:
  THtmlTokenizer(TSourceText* source, THtmlTreeBuilder& builder, TTagNames& names);
  // Counts the elements it made as live, whether or not the parse ended.
  ~THtmlTokenizer();
  THtmlTokenizer(const THtmlTokenizer&) = delete;
  THtmlTokenizer& operator=(const THtmlTokenizer&) = delete;
  // Tokenizes the whole source; throws EHtmlParserError on a tag without
  // end or an unterminated wrapped script or style.
  void Run();

 private:
  THtmlElement* Make(TElementKind kind, size_t start);
  void SetDecodedContent(THtmlElement& e, std::u16string_view raw);
  // The same when raw's first "&" is known to be at firstAmp.
  void SetDecodedContent(THtmlElement& e, std::u16string_view raw, size_t firstAmp);
  [[noreturn]] void TagEndError(size_t start);
  [[noreturn]] void UnterminatedError(const char* fmt);
  size_t FindTagEnd(size_t from, bool quoteAware = true) const;
  void ConsumeUntilClosedBy(size_t start, std::u16string_view before, bool quoteAware);
  void ConsumeThroughTagEnd(size_t start);
  void ReadMarkup(size_t start);
  bool ReadPlainTag(size_t start);
  void AddTag(size_t start, const TTagParts& parts);
  void ReadRawContent(bool isScript);
  bool IsClosingTagFor(size_t q, std::u16string_view name) const;
  bool StartsWithCommentOpen() const;
  void ReadWrappedContent(const char* error);
  void ReadScriptContent();
  void ReadStyleContent();

  TSourceText* FSource;
  // The whole page text, its first unit and its length: the cursor below
  // moves over these, and the scans take the raw pointer.
  const std::u16string_view FText;
  const char16_t* const FChars;
  const size_t FLength;
  THtmlTreeBuilder& FBuilder;
  TTagNames& FNames;
  // The cursor: the next unit of FText to read.
  size_t FPos = 0;
  int64_t FMade = 0;  // elements made, one reference each, held by the builder
};

}  // namespace zqe::html
