#include "search/ZQSEInst.h"

#include <algorithm>
#include <exception>
#include <iterator>
#include <utility>

#include "html/HtmlParser.h"
#include "http/Http.h"
#include "log/Format.h"
#include "log/zqTrace.h"
#include "platform/Text.h"
#include "search/Mask.h"
#include "search/SEPageMarkers.h"
#include "search/URLEncode.h"

namespace zqe {

std::span<const std::u16string_view> TSEInstanceBase::UserAgents() {
  // Views of literals: nothing to destroy at exit, when a late compete
  // thread may still draw one.
  static constexpr std::u16string_view agents[] = {
      u"Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/120.0.0.0 Safari/537.36",
      u"Mozilla/5.0 (Windows NT 10.0; WOW64) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/120.0.0.0 Safari/537.36",
      u"Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/119.0.0.0 Safari/537.36",
      u"Mozilla/5.0 (Windows NT 10.0; WOW64) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/119.0.0.0 Safari/537.36",
      u"Mozilla/5.0 (Macintosh; Intel Mac OS X 10_15_7) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/120.0.0.0 Safari/537.36",
      u"Mozilla/5.0 (Macintosh; Intel Mac OS X 14_1) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/120.0.0.0 Safari/537.36",
      u"Mozilla/5.0 (X11; Linux x86_64) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/120.0.0.0 Safari/537.36",
      u"Mozilla/5.0 (X11; Linux x86_64) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/119.0.0.0 Safari/537.36",
      u"Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/120.0.0.0 Safari/537.36 Edg/120.0.0.0",
      u"Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/119.0.0.0 Safari/537.36 Edg/119.0.0.0",
      u"Mozilla/5.0 (Windows NT 10.0; Win64; x64; rv:121.0) Gecko/20100101 Firefox/121.0",
      u"Mozilla/5.0 (Windows NT 10.0; WOW64; rv:121.0) Gecko/20100101 Firefox/121.0",
      u"Mozilla/5.0 (Macintosh; Intel Mac OS X 10.15; rv:121.0) Gecko/20100101 Firefox/121.0",
      u"Mozilla/5.0 (X11; Linux x86_64; rv:121.0) Gecko/20100101 Firefox/121.0",
      u"Mozilla/5.0 (Macintosh; Intel Mac OS X 10_15_7) AppleWebKit/605.1.15 (KHTML, like Gecko) Version/17.1 Safari/605.1.15",
      u"Mozilla/5.0 (Macintosh; Intel Mac OS X 14_1) AppleWebKit/605.1.15 (KHTML, like Gecko) Version/17.1 Safari/605.1.15",
      u"Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/118.0.0.0 Safari/537.36 Edg/118.0.0.0",
      u"Mozilla/5.0 (Linux; Android 10; K) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/120.0.0.0 Mobile Safari/537.36",
      u"Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/117.0.0.0 Safari/537.36",
      u"Mozilla/5.0 (Windows NT 10.0; Win64; x64; rv:109.0) Gecko/20100101 Firefox/109.0",
  };
  return agents;
}

TSEInstanceBase::TSEInstanceBase(std::u16string_view Name, int32_t ID) : FID(ID), FName(Name) {}

void TSEInstanceBase::SetRules(const TSERules& Rules) {
  FMarkers.reset();
  FRules = Rules;
}

const se::TPageMarkers& TSEInstanceBase::Markers(const se::TPageMarkers& Compiled) const {
  if (!FRules.HasMarkers()) return Compiled;
  // Each engine asks with its one compiled-in table, so one cached merge
  // serves every call; checks of one engine object never overlap.
  if (!FMarkers) FMarkers = std::make_unique<se::TConfiguredMarkers>(Compiled, FRules);
  return FMarkers->Get();
}

TSEInstanceBase::~TSEInstanceBase() {
  // A destructor must not throw; the log writer never does, but the wait
  // sits on platform code.
  try {
    TZQTrace::I(u"TBaseZQMan.Destroy in");
    Abort();
    TZQTrace::I(u"TBaseZQMan.Destroy out");
  } catch (...) {
  }
}

void TSEInstanceBase::InitEngine(std::u16string_view Url, std::u16string_view UrlFmt,
                                 std::u16string_view HttpUserAgent,
                                 std::u16string_view HttpAcceptCharSet,
                                 std::u16string_view HttpAcceptLanguage, int32_t HttpTimeOut) {
  FUrl = Url;
  FUrlFmt = UrlFmt;
  FHttpUserAgent = HttpUserAgent.empty() ? kEngineStoredDefaultUserAgent : HttpUserAgent;
  FHttpAcceptCharSet = HttpAcceptCharSet.empty() ? kHttpDefaultAcceptCharSet : HttpAcceptCharSet;
  FHttpAcceptLanguage = HttpAcceptLanguage.empty() ? kHttpDefaultAcceptLanguage : HttpAcceptLanguage;
  FHttpTimeOut = HttpTimeOut == 0 ? kHttpDefaultTimeOut : HttpTimeOut;
}

void TSEInstanceBase::ResetCheck() {
  FErrorCode = 1;
  FCheckUrl.clear();
  FCheckRemark.clear();
  FCheckUrlDate.clear();
  FAborted.store(false);
  FHasWorkEvent.store(true);
}

void TSEInstanceBase::Check(std::u16string_view word, std::u16string_view urlfillter,
                            bool StrictMatche, const TCancelToken& Token) {
  ResetCheck();
  if (!FAborted.load()) FWorkEvent.Reset();
  struct IdleOnExit {
    platform::Event& e;
    ~IdleOnExit() { e.Set(); }
  } idle{FWorkEvent};
  FCheckWord = word;
  FErrorCode = 1;
  // Read after the idle signal is reset: a cancel that moved the
  // generation earlier is seen here, and one that moves it later finds
  // the signal reset and waits for this check, whose abort flag it sets.
  if (Token.Cancelled()) {
    FAborted.store(true);
    FErrorCode = -2;
    TZQTrace::InfoEx(dbgCommon, u"  #TSEInst[" + FName + u"] cancelled before it began", true);
    return;
  }
  DoCheck(FCheckWord, urlfillter, StrictMatche);
}

void TSEInstanceBase::Abort() {
  FAborted.store(true);
  FHttpAbort.Wake();
  TZQTrace::I(u"TBaseZQMan.Cancle");
  if (!FHasWorkEvent.load()) return;
  const int code = platform::WaitForOne(FWorkEvent, platform::kInfinite);
  TZQTrace::I(u"TBaseZQMan.Cancle wait code:" + IntToU16(code));
}

std::u16string FormatQueryUrl(std::u16string_view Fmt, std::u16string_view Sentence) {
  // Encoded as one value before it joins the format: left to the whole-URL
  // encoder, "#", "&", "=", "+" and "%41" in a sentence would end the
  // query, split it or be decoded by the engine into other text.
  return URLEncode(Format(Fmt, {QueryValueEncode(Sentence)}));
}

std::u16string TSEInstanceBase::FormatUrl(std::u16string_view Fmt, std::u16string_view Arg) {
  return FormatQueryUrl(Fmt, Arg);
}

std::u16string TSEInstanceBase::GetRandomUserAgent() {
  const auto agents = UserAgents();
  const std::u16string ua(agents[platform::Random(static_cast<uint32_t>(agents.size()))]);
  TZQTrace::I(u"GetRandomUserAgent:%s", {ua});
  return ua;
}

TSEInstanceBase::TFetched TSEInstanceBase::HttpGet(std::u16string_view Url) {
  int32_t code = 0;
  TFetched f;
  f.Ok = THTTP::Get(GetRandomUserAgent(), FHttpAcceptCharSet, FHttpAcceptLanguage, Url, FHttpTimeOut, code,
                    f.Page, &f.FinalUrl, &FHttpAbort);
  if (f.FinalUrl.empty()) f.FinalUrl = Url;
  return f;
}

bool TSEInstanceBase::IsVerifyUrl(std::u16string_view) { return false; }

bool TSEInstanceBase::IsNoResultsPage(std::u16string_view) { return false; }

bool TSEInstanceBase::IsBlocked(std::u16string_view Page, std::u16string_view FinalUrl) {
  return (!FinalUrl.empty() && IsVerifyUrl(FinalUrl)) || (!Page.empty() && IsVerifyPage(Page));
}

void TSEInstanceBase::ReportEntry(std::u16string_view Link, std::u16string_view ShortUrl,
                                  std::u16string_view Date, bool Matched,
                                  std::u16string_view SkipReason) {
  ++FEntriesSeen;
  if (!FEntryReports) return;
  TSEEntryReport report;
  report.Link = Link;
  report.ShortUrl = ShortUrl;
  report.Date = Date;
  report.Matched = Matched;
  report.SkipReason = SkipReason;
  FEntryReports->push_back(std::move(report));
}

void TSEInstanceBase::ReportEntry(TSEEntryReport Report) {
  ++FEntriesSeen;
  if (FEntryReports) FEntryReports->push_back(std::move(Report));
}

void TSEInstanceBase::CheckPage(std::u16string_view QueryUrl, std::u16string_view Page,
                                std::u16string_view word, std::u16string_view urlfillter,
                                bool StrictMatche, std::vector<TSEEntryReport>* Entries,
                                std::u16string_view FinalUrl) {
  FErrorCode = 1;
  FCheckUrl.clear();
  FCheckShortURL.clear();
  FCheckRemark.clear();
  FCheckUrlDate.clear();
  FCheckWord = word;
  struct Restore {
    std::vector<TSEEntryReport>*& slot;
    ~Restore() { slot = nullptr; }
  } restore{FEntryReports};
  FEntryReports = Entries;
  PageStep(QueryUrl, Page, FinalUrl, word, urlfillter, StrictMatche);
}

void TSEInstanceBase::PageStep(std::u16string_view QueryUrl, std::u16string_view Page,
                               std::u16string_view FinalUrl, std::u16string_view word,
                               std::u16string_view urlfillter, bool StrictMatche) {
  if (IsNoResultPage(Page, FinalUrl)) return;
  const size_t open = FindText(Page, u"<body");
  if (FAborted.load()) {
    FErrorCode = -2;
    return;
  }
  if (open == std::u16string_view::npos) {
    FErrorCode = -3;
    return;
  }
  std::u16string text;
  bool cut = false;
  const html::TRef<html::IHtmlElement> doc = ParsePage(Page.substr(open), text, cut);
  if (FAborted.load()) {
    FErrorCode = -2;
    return;
  }
  if (!cut) {
    FErrorCode = -3;
    return;
  }
  if (!doc) {
    FErrorCode = -4;
    return;
  }
  Extract(QueryUrl, FinalUrl, html::DocumentText(*doc), *doc, word, urlfillter, StrictMatche);
}

bool TSEInstanceBase::IsNoResultPage(std::u16string_view Page, std::u16string_view FinalUrl) {
  // A redirect to the verification page may end on a page too short to
  // judge by its text.
  if (!FinalUrl.empty() && IsVerifyUrl(FinalUrl)) {
    TZQTrace::DumpHTML(Page, u"");
    FErrorCode = -5;
    return true;
  }
  if (static_cast<int64_t>(Page.size()) <= MinHtmlLength) {
    // Too short to be any engine's result page: not a "no hit".
    TZQTrace::E(u"#TSEInst[" + FName + u"] Involid html.", true);
    TZQTrace::DumpHTML(Page, u"");
    FErrorCode = -6;
    return true;
  }
  if (IsVerifyPage(Page)) {
    TZQTrace::DumpHTML(Page, u"");
    FErrorCode = -5;
    return true;
  }
  return false;
}

html::TRef<html::IHtmlElement> TSEInstanceBase::ParsePage(std::u16string_view FromBody, std::u16string& Text,
                                                         bool& Cut) {
  bool holdsNul = true;
  try {
    TCleanText cleaned = CleanHtmlBody(FromBody);
    Cut = cleaned.Cut;
    if (!Cut) return nullptr;
    Text = std::move(cleaned.Text);
    holdsNul = cleaned.HoldsNul;
  } catch (...) {
    // Out of memory on a huge page: keep what the dump can show. The page
    // was not found wanting, the step was: a failed parse, not a missing
    // body.
    Cut = true;
    TZQTrace::DumpHTML(FromBody, u"");
    return nullptr;
  }
  html::TRef<html::IHtmlElement> doc;
  try {
    // The tree keeps the cleaned text itself: a copy would be the step's
    // largest allocation after the tree.
    doc = holdsNul ? html::ParseHtmlText(Text) : html::ParseHtmlText(Text, Text.size());
  } catch (const std::exception& e) {
    TZQTrace::E(u"ParseHtml", e, true);
  } catch (...) {
    TZQTrace::E(u"ParseHtml: unknown exception", true);
  }
  if (!doc) TZQTrace::DumpHTML(Text, u"");
  return doc;
}

void TSEInstanceBase::Extract(std::u16string_view QueryUrl, std::u16string_view FinalUrl,
                              std::u16string_view Text, const html::IHtmlElement& Doc,
                              std::u16string_view word, std::u16string_view urlfillter, bool StrictMatche) {
  FCheckUrl.clear();
  FCheckShortURL.clear();
  FCheckRemark.clear();
  std::u16string date;
  FEntriesSeen = 0;
  if (MatchSearchReuslt(this, word, urlfillter, StrictMatche, Doc, FCheckUrl, FCheckShortURL,
                        FCheckRemark, date)) {
    FErrorCode = 0;
    FCheckUrlDate = date;
    return;
  }
  if (FAborted.load()) {
    // Extractors stop between entries on a cancel and report no hit.
    FErrorCode = -2;
    return;
  }
  FErrorCode = 1;
  if (FEntriesSeen == 0 && !Trim(word).empty() && !IsNoResultsPage(Text)) {
    // No entry and no "no results" wording: a changed layout, an error or
    // interstitial page. "Not found" would tell the host the sentence is
    // original when no engine looked at it.
    FErrorCode = -6;
    TZQTrace::E(u"#TSEInst[" + FName + u"] result page not recognised: no result entries and no "
                u"\"no results\" text, url:" + std::u16string(FinalUrl.empty() ? QueryUrl : FinalUrl),
                true);
  }
  // The page is large; build the dump only when it will be written.
  if (DbgParams.Debug[dbgCommon] && DbgParams.DumpHtml)
    TZQTrace::DumpHTML(std::u16string(QueryUrl) + u"\r\n" + std::u16string(Text), u"");
}

void TSEInstanceBase::DoCheck(std::u16string_view word, std::u16string_view urlfillter,
                              bool StrictMatche) {
  const uint32_t t0 = platform::TickCount();
  TZQTrace::InfoEx(dbgCommon, u"  #TSEInst[" + FName + u"].DoCheck in word:" + std::u16string(word) +
                                  u",urlfillter:" + std::u16string(urlfillter) +
                                  u",StrictMatche:" + BoolToU16(StrictMatche),
                   true);
  struct ExitLine {
    TSEInstanceBase& self;
    std::u16string_view word;
    uint32_t t0;
    ~ExitLine() {
      try {
        TZQTrace::InfoEx(dbgCommon, u"  #TSEInst[" + self.FName + u"].DoCheck out,word:" +
                                        std::u16string(word) + u", used times:" +
                                        UIntToU16(platform::TickCount() - t0) + u",ErrorCode:" +
                                        IntToU16(self.FErrorCode),
                         true);
      } catch (...) {
      }
    }
  } exitLine{*this, word, t0};

  const std::u16string queryUrl = FormatUrl(FUrlFmt, word);

  if (FAborted.load()) {
    FErrorCode = -2;
    return;
  }

  if (const int64_t rest = TSERestState::Process().RemainingMs(FName); rest > 0) {
    TZQTrace::W(u"#TSEInst[" + FName + u"] resting after a verification page, no request; " +
                    IntToU16(rest) + u" ms left",
                true);
    FErrorCode = -5;
    return;
  }

  TFetched fetched;
  {
    TZQTrace::InfoEx(dbgCommon, u"    #TSEInst[" + FName + u"] http:" + queryUrl, true);
    const uint32_t t1 = platform::TickCount();
    bool failed = false;
    std::u16string message;
    try {
      fetched = HttpGet(queryUrl);
    } catch (const std::exception& e) {
      failed = true;
      message = ExceptionMessage(e);
    } catch (...) {
      failed = true;
      message = u"unknown exception";
    }
    TZQTrace::InfoEx(dbgCommon,
                     u"    #TSEInst[" + FName + u"].DoCheck http out,used times:" +
                         UIntToU16(platform::TickCount() - t1) + u",response len:" +
                         IntToU16(static_cast<int64_t>(fetched.Page.size())),
                     true);
    if (failed) {
      TZQTrace::E(u"#TSEInst[" + FName + u"] HTTPGET exception:" + message, true);
      FErrorCode = -3;
      TZQTrace::DumpHTML(fetched.Page, u"");
      return;
    }
  }

  // An abort ends the fetch early; what it left is no page to judge.
  if (FAborted.load()) {
    FErrorCode = -2;
    return;
  }

  if (fetched.Ok) {
    PageStep(queryUrl, fetched.Page, fetched.FinalUrl, word, urlfillter, StrictMatche);
  } else if (IsBlocked(fetched.Page, fetched.FinalUrl)) {
    // Engines serve their block pages with 403 or 429 as often as with 200.
    TZQTrace::DumpHTML(fetched.Page, u"");
    FErrorCode = -5;
  } else {
    // A failed request or another status: the engine never looked at the
    // sentence, which "no hit" would claim it had.
    TZQTrace::E(u"#TSEInst[" + FName + u"] Involid html.", true);
    TZQTrace::DumpHTML(fetched.Page, u"");
    FErrorCode = -3;
  }

  if (FErrorCode == -5) {
    std::u16string line = u"#TSEInst[" + FName + u"] verification page at " + fetched.FinalUrl;
    if (FSuspendAfterVerify > 0) {
      TSERestState::Process().Start(FName, FSuspendAfterVerify);
      line += u"; resting " + IntToU16(FSuspendAfterVerify) + u" s";
    }
    TZQTrace::W(line, true);
  }
}

std::u16string TSEInstanceBase::CleanHtml(std::u16string_view Html) { return CleanHtmlText(Html); }

bool TSEInstanceBase::IsUrlFiltered(std::u16string_view Url, std::u16string_view ShortUrl,
                                    std::u16string_view urlfillter) {
  for (std::u16string& entry : SplitFilterList(urlfillter)) {
    if (!entry.empty()) {
      if (entry.back() != u'*' && entry.back() != u'?') entry.push_back(u'*');
      if (entry.front() != u'*' && entry.front() != u'?') entry.insert(entry.begin(), u'*');
    }
    const TMask mask(entry);
    if (mask.Matches(Url) || mask.Matches(ShortUrl)) return true;
  }
  return false;
}

}  // namespace zqe
