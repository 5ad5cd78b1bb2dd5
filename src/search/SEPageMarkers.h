// What tells an engine's pages apart before and beside the extractor: its
// verification (block, captcha, challenge) pages, by the final URL after
// redirects and by the page text, and its "no results" page. Internal to
// src/search.
//
// Every test is a plain substring search over the page or URL: linear in
// their length whatever a page holds.
#pragma once

#include <span>
#include <string_view>
#include <vector>

#include "search/SERules.h"

namespace zqe::se {

struct TPageMarkers {
  // Exact text (trimmed) of the page's first <title> element.
  std::span<const std::u16string_view> BlockTitles;
  // Parts of the final URL's host and path (not its query, where the
  // sentence stands), Latin letters compared without case.
  std::span<const std::u16string_view> BlockUrlParts;
  // Parts of the page's text that mark a block page, counted only when the
  // page carries none of ResultParts: a result page may quote anything in
  // a snippet, a block page never shows result entries.
  std::span<const std::u16string_view> BlockPageParts;
  std::span<const std::u16string_view> ResultParts;
  // Parts of the cleaned body of the engine's "no results" page.
  std::span<const std::u16string_view> NoResultsParts;
};

// An engine's markers with the lists its definition file sets in place of
// the compiled-in ones. Holds views into Rules, which must outlive it.
class TConfiguredMarkers {
 public:
  TConfiguredMarkers(const TPageMarkers& Compiled, const TSERules& Rules);
  TConfiguredMarkers(const TConfiguredMarkers&) = delete;
  TConfiguredMarkers& operator=(const TConfiguredMarkers&) = delete;
  const TPageMarkers& Get() const { return FMarkers; }

 private:
  std::vector<std::u16string_view> FTitles, FUrlParts, FBlockParts, FResultParts, FNoResults;
  TPageMarkers FMarkers;
};

extern const TPageMarkers kBaiduPageMarkers;
extern const TPageMarkers kSogouPageMarkers;
extern const TPageMarkers kBingPageMarkers;
extern const TPageMarkers k360PageMarkers;
extern const TPageMarkers kGooglePageMarkers;

// The engine's verification page, or a challenge page that any engine's
// front may serve (Cloudflare-style), by the whole fetched page.
bool IsBlockPage(const TPageMarkers& Markers, std::u16string_view Html);
// The same by the URL the page came from after redirects.
bool IsBlockUrl(const TPageMarkers& Markers, std::u16string_view Url);
// The engine's own "no results" page, by its cleaned body text.
bool IsNoResultsPage(const TPageMarkers& Markers, std::u16string_view Text);

// The trimmed text of the first <title> element (tag name in any case),
// empty when there is none.
std::u16string_view PageTitle(std::u16string_view Html);

}  // namespace zqe::se
