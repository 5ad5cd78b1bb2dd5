// Unit ZQSEInst: TSEInstanceBase, one configured search engine that checks
// one sentence at a time: it builds the query URL, fetches the result page,
// cuts it to its body, cleans and parses it and lets the engine-specific
// subclass pick the first matching result entry.
//
// Ownership: engine objects are held through std::shared_ptr
// (TSEInstancePtr) by the registry (SEInstArr) or by a check's dictionary.
//
// Threads: one Check at a time per object (the callers keep to this; the
// per-check fields below are not guarded). Abort may be called from any
// thread at any time; it sets the atomic abort flag and waits on the idle
// event, which is the only synchronisation between Abort and Check.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "html/HtmlParserDef.h"
#include "platform/HttpClient.h"
#include "platform/Platform.h"
#include "search/HtmlClean.h"
#include "search/SERest.h"
#include "search/SERules.h"

namespace zqe {

namespace se {
struct TPageMarkers;
class TConfiguredMarkers;
}  // namespace se

// A page is usable only when it is longer than this many UTF-16 units.
inline constexpr int32_t MinHtmlLength = 10;

// The outcome of one result entry as an extractor saw it; collected only
// when a caller asks for it (the zqe extract diagnostic), never in checks.
struct TSEEntryReport {
  std::u16string Link;
  std::u16string ShortUrl;
  std::u16string Date;
  bool Matched = false;
  std::u16string SkipReason;  // empty when Matched
  // Which rule found the entry, its link, citation and date: the selector
  // (the member of a group that found it) or mask, and "(definition)" or
  // "(built-in)"; empty where nothing was found.
  std::u16string EntryRule, LinkRule, CiteRule, DateRule;
  // Whether the entry has text to test (the snippet rule found one).
  bool HasSnippet = false;
};

// A cancel that reaches checks still queued when it was made: the cancel
// generation a request saw when it began. A check whose generation has
// moved on by the time it holds its engine does not start.
struct TCancelToken {
  const std::atomic<uint64_t>* Generation = nullptr;
  uint64_t Seen = 0;
  bool Cancelled() const { return Generation && Generation->load() != Seen; }
};

class TSEInstanceBase {
 public:
  TSEInstanceBase(std::u16string_view Name, int32_t ID);
  // Writes "TBaseZQMan.Destroy in", aborts (waiting for a running check),
  // then "TBaseZQMan.Destroy out".
  virtual ~TSEInstanceBase();
  TSEInstanceBase(const TSEInstanceBase&) = delete;
  TSEInstanceBase& operator=(const TSEInstanceBase&) = delete;

  // Empty user agent, accept charset and accept language, and a time-out
  // of 0, are replaced by the defaults.
  virtual void InitEngine(std::u16string_view Url, std::u16string_view UrlFmt,
                          std::u16string_view HttpUserAgent, std::u16string_view HttpAcceptCharSet,
                          std::u16string_view HttpAcceptLanguage, int32_t HttpTimeOut);

  // Runs one whole check on the calling thread. Outcome in ErrorCode():
  // 0 hit, 1 no hit (entries examined, or the engine's "no results" page),
  // -2 aborted, -3 fetch error or no body, -4 not parseable, -5
  // verification page (also while the engine rests after one, without a
  // request), -6 a page that is neither. Errors of the query-URL format and of
  // a malformed filter mask propagate as exceptions; the idle event is set
  // again before they leave. A check whose Token is already cancelled when
  // it begins ends at once with -2, without a request.
  virtual void Check(std::u16string_view word, std::u16string_view urlfillter, bool StrictMatche,
                     const TCancelToken& Token = {});

  // Asks the running check to stop at its next abort point and waits, with
  // no time limit, until it has ended. Returns at once when none runs.
  virtual void Abort();
  // Sets the abort flag and ends a fetch in flight, without waiting: a
  // cancel of many engines marks them all first, so that none finishes
  // its check while the cancel waits for another (their fetches run one
  // after another).
  void RequestAbort() {
    FAborted.store(true);
    FHttpAbort.Wake();
  }
  bool Aborted() const { return FAborted.load(); }

  int32_t ID() const { return FID; }
  const std::u16string& Name() const { return FName; }
  int32_t ErrorCode() const { return FErrorCode; }
  void SetErrorCode(int32_t v) { FErrorCode = v; }
  const std::u16string& CheckUrl() const { return FCheckUrl; }
  void SetCheckUrl(std::u16string_view v) { FCheckUrl = v; }
  const std::u16string& CheckShortURL() const { return FCheckShortURL; }
  void SetCheckShortURL(std::u16string_view v) { FCheckShortURL = v; }
  const std::u16string& CheckRemark() const { return FCheckRemark; }
  void SetCheckRemark(std::u16string_view v) { FCheckRemark = v; }
  const std::u16string& CheckUrlDate() const { return FCheckUrlDate; }
  void SetCheckUrlDate(std::u16string_view v) { FCheckUrlDate = v; }
  int32_t Engine() const { return FEngineID; }

  // Configuration as stored by InitEngine (read by diagnostics and tests).
  const std::u16string& Url() const { return FUrl; }
  const std::u16string& UrlFmt() const { return FUrlFmt; }
  const std::u16string& HttpUserAgent() const { return FHttpUserAgent; }
  const std::u16string& HttpAcceptCharSet() const { return FHttpAcceptCharSet; }
  const std::u16string& HttpAcceptLanguage() const { return FHttpAcceptLanguage; }
  int32_t HttpTimeOut() const { return FHttpTimeOut; }

  // Seconds the engine rests, process-wide, after a verification page; 0
  // or less: never. Set by the registry from the definition, before the
  // first check.
  void SetSuspendAfterVerify(int32_t Seconds) { FSuspendAfterVerify = Seconds; }
  int32_t SuspendAfterVerify() const { return FSuspendAfterVerify; }

  // Result rules from the definition file that replace the extractor's
  // compiled-in ones; checked already. Set by the registry before the
  // first check and not changed while one runs.
  void SetRules(const TSERules& Rules);
  const TSERules& Rules() const { return FRules; }
  // Compiled, or the markers the rules configure in its place.
  const se::TPageMarkers& Markers(const se::TPageMarkers& Compiled) const;
  // Entry reports that also tell which rule found what, and every entry's
  // citation and date, not only a match's (the rules diagnostics).
  void SetReportRules(bool On) { FReportRules = On; }
  // Whether extractors work that out for the current CheckPage.
  bool Reporting() const { return FEntryReports != nullptr && FReportRules; }
  // Whether the current CheckPage keeps entry reports at all; a check
  // without them need not fill any.
  bool KeepsEntryReports() const { return FEntryReports != nullptr; }

  // Everything DoCheck does after its fetch (validity and verification
  // tests, body cut, cleaning, parsing, extraction) on a page already in
  // hand; sets ErrorCode and the result fields like a check. FinalUrl is
  // where the page came from after redirects (empty: unknown). When
  // Entries is given, every entry the extractor examined is appended to
  // it. Starts no rest.
  void CheckPage(std::u16string_view QueryUrl, std::u16string_view Page, std::u16string_view word,
                 std::u16string_view urlfillter, bool StrictMatche,
                 std::vector<TSEEntryReport>* Entries = nullptr, std::u16string_view FinalUrl = {});

  // Comments, scripts and wrapped script blocks removed, white space
  // collapsed. Linear in the length of Html.
  static std::u16string CleanHtml(std::u16string_view Html);
  // True when a mask of the "|"-separated filter matches Url or ShortUrl
  // anywhere. Throws the mask error for a malformed entry.
  static bool IsUrlFiltered(std::u16string_view Url, std::u16string_view ShortUrl,
                            std::u16string_view urlfillter);
  static std::u16string GetRandomUserAgent();

  // Extractors call this for every entry they examine; it counts every
  // call (a page whose extractor examined nothing is not a result page
  // the engine knows) and records only while CheckPage collects entry
  // reports.
  void ReportEntry(std::u16string_view Link, std::u16string_view ShortUrl,
                   std::u16string_view Date, bool Matched, std::u16string_view SkipReason);
  // The same with the rules that found what (only kept while reporting).
  void ReportEntry(TSEEntryReport Report);
  // The 20 user agents requests draw from.
  static std::span<const std::u16string_view> UserAgents();

 protected:
  virtual void DoCheck(std::u16string_view word, std::u16string_view urlfillter, bool StrictMatche);
  virtual bool IsVerifyPage(std::u16string_view Html) = 0;
  // The URL a page came from after redirects is the engine's verification
  // page. The base knows no engine's: false.
  virtual bool IsVerifyUrl(std::u16string_view FinalUrl);
  // The cleaned body text is the engine's own "no results" page. The base
  // knows no engine's: false.
  virtual bool IsNoResultsPage(std::u16string_view Text);
  virtual bool MatchSearchReuslt(TSEInstanceBase* Sender, std::u16string_view AStr,
                                 std::u16string_view urlfillter, bool StrictMatch,
                                 const html::IHtmlElement& DOM, std::u16string& Url,
                                 std::u16string& ShortUrl, std::u16string& Remark,
                                 std::u16string& LinkDate) = 0;
  virtual std::u16string FormatUrl(std::u16string_view Fmt, std::u16string_view Arg);

 private:
  struct TFetched {
    bool Ok = false;  // status 200
    std::u16string Page;  // the body, also of a failed status
    std::u16string FinalUrl;
  };
  TFetched HttpGet(std::u16string_view Url);
  void ResetCheck();
  // Steps after the fetch; returns on every outcome, lets extractor errors pass.
  void PageStep(std::u16string_view QueryUrl, std::u16string_view Page, std::u16string_view FinalUrl,
                std::u16string_view word, std::u16string_view urlfillter, bool StrictMatche);
  // A verification page (-5) or one too short for any result page (-6):
  // sets the code and returns true.
  bool IsNoResultPage(std::u16string_view Page, std::u16string_view FinalUrl);
  // Cleans the body, FromBody (the page from its "<body") up to the first
  // "</body" after it, and parses it; the tree keeps the cleaned text
  // (html::DocumentText). Cut tells whether there was a "</body"; null
  // without one, and (logged, the text dumped) when either stage fails.
  static html::TRef<html::IHtmlElement> ParsePage(std::u16string_view FromBody, std::u16string& Text, bool& Cut);
  // Runs the extractor and tells a miss (1) from a page it does not know (-6).
  void Extract(std::u16string_view QueryUrl, std::u16string_view FinalUrl, std::u16string_view Text,
               const html::IHtmlElement& Doc, std::u16string_view word, std::u16string_view urlfillter,
               bool StrictMatche);
  bool IsBlocked(std::u16string_view Page, std::u16string_view FinalUrl);

  std::u16string FUrlFmt;
  std::u16string FUrl;
  std::u16string FHttpUserAgent;
  std::u16string FHttpAcceptCharSet;
  std::u16string FHttpAcceptLanguage;
  int32_t FHttpTimeOut = 0;
  // Written by Abort from any thread, read at the abort points.
  std::atomic<bool> FAborted{false};
  // Ends this engine's fetch in flight when FAborted is set.
  platform::HttpAbort FHttpAbort{FAborted};
  // The idle event: manual reset, signalled while no check runs. Made in
  // the constructor; FHasWorkEvent (set by the first Check) tells whether
  // it counts yet, which decides Abort's second log line.
  platform::Event FWorkEvent{true, true};
  std::atomic<bool> FHasWorkEvent{false};
  int32_t FSuspendAfterVerify = kDefaultSuspendAfterVerify;
  TSERules FRules;
  // Built from FRules when it sets markers; views into FRules.
  mutable std::unique_ptr<se::TConfiguredMarkers> FMarkers;

 protected:
  int32_t FID;
  std::u16string FName;
  int32_t FEngineID = 0;
  std::u16string FCheckWord;
  int32_t FErrorCode = 0;
  std::u16string FCheckUrl;
  std::u16string FCheckRemark;
  std::u16string FCheckUrlDate;
  std::u16string FCheckShortURL;

 private:
  // Only touched by the thread running CheckPage.
  std::vector<TSEEntryReport>* FEntryReports = nullptr;
  bool FReportRules = false;
  // Entries the extractor examined on the current page; per check, like
  // the fields above.
  int32_t FEntriesSeen = 0;
};

using TSEInstancePtr = std::shared_ptr<TSEInstanceBase>;

// The query URL for Sentence: Fmt with the percent-encoded sentence
// (QueryValueEncode) in place of its "%s", then URLEncode. Throws what
// Format and URLEncode throw.
std::u16string FormatQueryUrl(std::u16string_view Fmt, std::u16string_view Sentence);

}  // namespace zqe
