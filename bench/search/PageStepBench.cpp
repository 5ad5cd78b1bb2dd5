// Time per result page of everything a check does after its fetch: the
// validity and verification tests, the body cut, CleanHtml,
// ParseHtmlDocument and the engine's extractor with its sentence match, all
// through TSEInstanceBase::CheckPage.
//
// The pages are generated here (deterministic, ~300 KB of UTF-8 each) in
// the Baidu and the Bing layout, with a 44-unit Chinese sentence that is
// either in the last entry only (every earlier entry is matched and
// rejected first) or in none (every entry goes through the approximate
// scan to its end, the worst case for a page that gives no hit).
//
// Bytes per second count the page's UTF-8 size, as it came over the wire.
//
// BM_PageStep is the whole step from the page's UTF-8 (decode included),
// with the peak of the memory it allocates per page byte; BM_Stages runs
// the same step as its stages, one after the other, and prints the time of
// each. The Decode, Clean, Parse and Extract rows time the stages alone on
// the same pages, so that a slow whole page can be traced to its stage
// (CleanSse2: the cleaning on the 32-bit Windows build's SSE2 path);
// Select times one selector query of the extractor's. Instruction counts
// per stage: bench/search/stage-instructions.sh.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "AllocationCount.h"
#include "html/HtmlParser.h"
#include "platform/Text.h"
#include "search/HtmlClean.h"
#include "search/SEBaidu.h"
#include "search/SEBing.h"
#include "search/SEManager.h"
#include "search/ZQSEInst.h"

namespace {

using zqe::TSEEntryReport;

constexpr size_t kPageBytes = 300 * 1024;
// Share of the page given to result entries; the rest is what real result
// pages carry around them (scripts, styles, side columns, comments).
constexpr size_t kEntryBytes = kPageBytes / 2;

const char kSentence[] = "原创检测引擎把每一个句子发送给搜索引擎然后在返回的结果页面里逐条查找与它相同或相近的内容";

enum class TLayout { Baidu, Bing };
enum class TPlacement { LastEntry, Nowhere };

struct Rng {
  uint32_t s = 0x9E3779B9u;
  uint32_t Next() {
    s ^= s << 13;
    s ^= s >> 17;
    s ^= s << 5;
    return s;
  }
  uint32_t Below(uint32_t n) { return Next() % n; }
};

// Phrases of the kind result snippets are made of; none holds the sentence.
const char* const kPhrases[] = {
    "连云港", "月子会所", "精准客户", "营销方案", "搜索结果", "页面设计", "北京天气", "晴朗适合外出",
    "散步游玩", "软件开发", "数据分析", "人工智能", "教育培训", "学术论文", "查重系统", "毕业设计",
    "文献综述", "研究方法", "实验结果", "讨论与结论", "参考资料", "相关新闻", "最新消息", "官方网站",
    "免费下载", "在线阅读", "用户评论", "常见问题", "联系我们", "版权所有", "网络安全", "服务条款",
    "the", "engine", "result", "2023", "PDF", "&amp;", "&nbsp;", "&quot;"};
const char* const kPunct[] = {"，", "。", "、", "；", "：", "！", "？", " ", "（", "）"};

std::string Phrases(Rng& r, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) {
    out += kPhrases[r.Below(sizeof kPhrases / sizeof kPhrases[0])];
    if (r.Below(3) == 0) out += kPunct[r.Below(sizeof kPunct / sizeof kPunct[0])];
  }
  return out;
}

// A few units of the sentence, as an engine highlights the query's terms;
// short enough that two of them leave an entry far outside the edit bound.
std::string SentencePiece(Rng& r) {
  const std::u16string s = zqe::Utf8ToU16(kSentence);
  const size_t len = 3 + r.Below(5);
  const size_t at = r.Below(static_cast<uint32_t>(s.size() - len));
  return zqe::U16ToUtf8(std::u16string_view(s).substr(at, len));
}

std::string Script(Rng& r, int lines) {
  std::string s = "<script type=\"text/javascript\">\n";
  for (int i = 0; i < lines; ++i) {
    s += "  var bds_" + std::to_string(r.Below(100000)) +
         " = {\"tpl\":\"<div class='c-container'><h3 class='t'><a href='#'>x</a></h3></div>\",\"n\":" +
         std::to_string(i) + "};\n";
    s += "  if (a.length > 3 && b < c) { f(\"a\\\"b</p>\", '" + std::to_string(r.Next()) + "'); } // <li>\n";
  }
  return s + "</script>\n";
}

std::string Style(Rng& r) {
  std::string s = "<style type=\"text/css\">\n";
  for (int i = 0; i < 40; ++i) {
    s += ".c-gap-" + std::to_string(r.Below(1000)) +
         "{margin:0 0 8px;font:13px/1.54 arial,sans-serif;color:#333}.c-span" + std::to_string(i) +
         ">a:hover{text-decoration:underline}\n";
  }
  return s + "</style>\n";
}

std::string Comment(Rng& r) {
  return "<!-- tpl:" + std::to_string(r.Next()) + " <div class=\"c-container\">" + Phrases(r, 4) +
         "</div> -->\n";
}

std::string Cdata(Rng& r) {
  return "<!--//<![CDATA[\nwindow.__d" + std::to_string(r.Below(1000)) +
         " = '<li class=\"b_algo\"><h2><a href=\"#\">x</a></h2></li>';\n//]]>-->\n";
}

std::string Snippet(Rng& r, bool withSentence) {
  std::string s = Phrases(r, 10) + "<em>" + SentencePiece(r) + "</em>" + Phrases(r, 12);
  if (withSentence) s += "，" + std::string(kSentence) + "，";
  s += "<em>" + SentencePiece(r) + "</em>" + Phrases(r, 14) + "...";
  return s;
}

std::string BaiduEntry(Rng& r, int i, bool withSentence) {
  const std::string n = std::to_string(i);
  std::string e = "<div class=\"result c-container new-pmd\" id=\"" + n +
                  "\" srcid=\"1599\" tpl=\"se_com_default\" data-click=\"{'rsv_bdr':'0','p5':" + n +
                  "}\">\n";
  e += "  <h3 class=\"t\"><a data-click=\"{'F':'778317EA','F1':'9D73F1E4','T':'1'}\" href=\"http://www.baidu.com/link?url=" +
       std::to_string(r.Next()) + std::to_string(r.Next()) + "&amp;wd=&amp;eqid=" + std::to_string(r.Next()) +
       "\" target=\"_blank\">" + Phrases(r, 3) + "<em>" + SentencePiece(r) + "</em>" + Phrases(r, 2) + "</a></h3>\n";
  if (i % 4 == 0) e += Comment(r);
  e += "  <div class=\"c-row c-gap-top-small\"><div class=\"general_image_pic c-span6\"><a class=\"c-img6\" href=\"#\"><img class=\"c-img\" src=\"https://t7.baidu.com/it/u=" +
       std::to_string(r.Next()) + ".jpg\" style=\"height:85px\"></a></div><div class=\"c-span18 c-span-last\">\n";
  e += "    <div class=\"c-abstract\"><span class=\" newTimeFactor_before_abs m\">2021年" + std::to_string(1 + i % 12) +
       "月" + std::to_string(1 + i % 28) + "日&nbsp;-&nbsp;</span>" + Snippet(r, withSentence) + "</div>\n";
  e += "    <div class=\"f13 c-gap-top-xsmall se_st_footer\"><a target=\"_blank\" href=\"http://www.baidu.com/link?url=" +
       std::to_string(r.Next()) + "\" class=\"c-showurl c-color-gray\" style=\"text-decoration:none;position:relative;\">www.site" +
       n + ".com.cn/news/...&nbsp;</a><div class=\"c-tools c-gap-left\" id=\"tools_" + n +
       "\" data-tools='{\"title\":\"t\",\"url\":\"http://www.baidu.com/link?url=x\"}'><i class=\"c-icon f13\">&#xe62b;</i></div>"
       "<span class=\"c-icons-outer\"><span class=\"c-icons-inner\"></span></span>"
       "<a data-click=\"{'rsv_snapshot':'1'}\" href=\"http://cache.baiducontent.com/c?m=" +
       std::to_string(r.Next()) + "\" target=\"_blank\" class=\"m c-gap-left c-color-gray kuaizhao\">百度快照</a></div>\n";
  e += "  </div></div>\n";
  return e + "</div>\n";
}

std::string BingEntry(Rng& r, int i, bool withSentence) {
  const std::string n = std::to_string(i);
  std::string e = "<li class=\"b_algo\" data-bm=\"" + n + "\">";
  e += "<div class=\"b_title\"><div class=\"b_imgcap_altitle\"><div class=\"b_imagePair square_s\"><div class=\"inner\"><a href=\"#\" tabindex=\"-1\" aria-hidden=\"true\"><div class=\"cico\" style=\"width:16px;height:16px;\"><img src=\"https://th.bing.com/th?id=ODLS." +
       std::to_string(r.Next()) + "&amp;w=32&amp;h=32\" height=\"16\" width=\"16\" alt=\"Global web icon\" class=\"rms_img\"></div></a></div></div></div>";
  e += "<h2><a target=\"_blank\" href=\"https://www.site" + n + ".com.cn/article/" + std::to_string(r.Next()) +
       ".html\" h=\"ID=SERP," + std::to_string(5000 + i) + ".1\">" + Phrases(r, 3) + "<strong>" + SentencePiece(r) +
       "</strong>" + Phrases(r, 2) + "</a></h2></div>\n";
  if (i % 4 == 0) e += Comment(r);
  e += "<div class=\"b_caption\" role=\"contentinfo\"><div class=\"b_attribution\" u=\"0|5066|" + std::to_string(r.Next()) +
       "\" tabindex=\"0\"><cite>https://www.site" + n + ".com.cn/article</cite><span class=\"c_tlbxTrg\"><span class=\"c_tlbxH\" H=\"BASE:CACHEDPAGEDEFAULT\" K=\"SERP," +
       std::to_string(5100 + i) + ".1\"></span></span></div>";
  e += "<p class=\"b_lineclamp2 b_algoSlug\"><span class=\"news_dt\">2021-" + std::to_string(10 + i % 3) + "-" +
       std::to_string(10 + i % 18) + "</span>&ensp;&#0183;&#32;" + Snippet(r, withSentence) + "</p></div>";
  e += "<div class=\"b_deeplinks_block_container\"><ul class=\"b_vList b_divsec\"><li><a href=\"https://www.site" + n +
       ".com.cn/a\">" + Phrases(r, 2) + "</a></li><li><a href=\"https://www.site" + n + ".com.cn/b\">" + Phrases(r, 2) +
       "</a></li></ul></div>";
  return e + "</li>\n";
}

struct TPage {
  std::u16string Html;
  std::string Utf8;
  size_t Utf8Bytes = 0;
  int Entries = 0;
};

// Entries first up to their share, then the side and bottom matter up to
// the page size, with scripts and styles in head and body alike.
TPage MakePage(TLayout layout, TPlacement placement) {
  Rng r;
  const bool baidu = layout == TLayout::Baidu;
  std::string head = std::string("<!DOCTYPE html>\n<html><head><meta http-equiv=\"content-type\" content=\"text/html;charset=utf-8\">") +
                     "<title>" + kSentence + (baidu ? "_百度搜索" : " - 搜索") + "</title>\n" + Style(r) + Script(r, 20) +
                     "</head>\n";
  std::string top = baidu ? "<body class=\"\"><div id=\"wrapper\" class=\"wrapper_l\"><div id=\"head\"><div class=\"head_wrapper\"><form id=\"form\" name=\"f\" action=\"/s\"><input type=\"hidden\" name=\"ie\" value=\"utf-8\"><input id=\"kw\" name=\"wd\" class=\"s_ipt\" value=\"x\" maxlength=\"255\"></form></div></div>\n" + Script(r, 10) +
                                "<div id=\"container\" class=\"container_l\"><div id=\"content_left\">\n"
                          : "<body class=\"b_respl\"><header id=\"b_header\"><form action=\"/search\" id=\"sb_form\"><input class=\"b_searchbox\" id=\"sb_form_q\" name=\"q\" type=\"search\" value=\"x\"></form></header>\n" + Script(r, 10) +
                                "<div id=\"b_content\"><main aria-label=\"搜索结果\"><ol id=\"b_results\">\n";
  std::vector<std::string> entries;
  size_t entryBytes = 0;
  while (entryBytes < kEntryBytes) {
    const int i = static_cast<int>(entries.size()) + 1;
    entries.push_back(baidu ? BaiduEntry(r, i, false) : BingEntry(r, i, false));
    entryBytes += entries.back().size();
    if (i % 6 == 0) entries.back() += baidu ? Script(r, 4) : Cdata(r);
  }
  if (placement == TPlacement::LastEntry) {
    const int i = static_cast<int>(entries.size());
    entries.back() = baidu ? BaiduEntry(r, i, true) : BingEntry(r, i, true);
  }
  std::string page = head + top;
  for (const std::string& e : entries) page += e;
  page += baidu ? "</div><div id=\"content_right\" class=\"cr-offset\">\n" : "</ol></main><aside aria-label=\"更多结果\"><ol id=\"b_context\">\n";
  int block = 0;
  const std::string tail = baidu ? "</div></div>\n" + Script(r, 6) + "</body></html>\n"
                                 : "</ol></aside></div>\n" + Script(r, 6) + "</body></html>\n";
  while (page.size() + tail.size() + 400 < kPageBytes) {
    switch (block++ % 8) {
      case 0: page += Script(r, 8); break;
      case 3: page += Style(r); break;
      case 5: page += Comment(r); break;
      default:
        page += "<div class=\"opr-recommends-merge-panel\"><div class=\"cr-title c-clearfix\"><span title=\"" +
                Phrases(r, 3) + "\">" + Phrases(r, 4) + "</span></div><table class=\"c-table\"><tr><td><a href=\"/s?wd=" +
                std::to_string(block) + "&amp;rsv=1\"><img src=\"https://ss0.bdstatic.com/x.jpg\" width=\"60\"></a><p class=\"c-gap-top-small\">" +
                Phrases(r, 8) + "</td><td><a>" + Phrases(r, 3) + "</a></td></tr></table></div>\n";
    }
  }
  page += tail;
  TPage p;
  p.Html = zqe::Utf8ToU16(page);
  p.Utf8Bytes = page.size();
  p.Utf8 = std::move(page);
  p.Entries = static_cast<int>(entries.size());
  return p;
}

const TPage& Page(TLayout layout, TPlacement placement) {
  static const TPage pages[2][2] = {
      {MakePage(TLayout::Baidu, TPlacement::LastEntry), MakePage(TLayout::Baidu, TPlacement::Nowhere)},
      {MakePage(TLayout::Bing, TPlacement::LastEntry), MakePage(TLayout::Bing, TPlacement::Nowhere)}};
  return pages[static_cast<int>(layout)][static_cast<int>(placement)];
}

const char16_t* EngineName(TLayout layout) { return layout == TLayout::Baidu ? u"baidu" : u"bing"; }

// A benchmark whose page the extractor does not walk as intended measures
// nothing; returns why, or an empty string when the page is as generated.
std::string CheckPageShape(zqe::TSEInstanceBase& se, const TPage& page, TPlacement placement) {
  std::vector<TSEEntryReport> reports;
  const std::u16string sentence = zqe::Utf8ToU16(kSentence);
  se.CheckPage(u"http://q/", page.Html, sentence, u"", false, &reports);
  const int want = placement == TPlacement::LastEntry ? 0 : 1;
  if (se.ErrorCode() != want) {
    return "ErrorCode " + std::to_string(se.ErrorCode()) + ", expected " + std::to_string(want);
  }
  if (static_cast<int>(reports.size()) != page.Entries) {
    return "extractor examined " + std::to_string(reports.size()) + " entries of " + std::to_string(page.Entries);
  }
  for (size_t i = 0; i < reports.size(); ++i) {
    const bool last = i + 1 == reports.size();
    const bool shouldMatch = last && placement == TPlacement::LastEntry;
    if (reports[i].Matched != shouldMatch || (!shouldMatch && reports[i].SkipReason != u"no match")) {
      return "entry " + std::to_string(i + 1) + ": matched=" + std::to_string(reports[i].Matched) +
             " reason=" + zqe::U16ToUtf8(reports[i].SkipReason);
    }
  }
  return {};
}

void SetCounters(benchmark::State& state, const TPage& page) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(page.Utf8Bytes));
  state.counters["entries"] = page.Entries;
  state.counters["KB"] = static_cast<double>(page.Utf8Bytes) / 1024.0;
  state.counters["page_bytes"] = static_cast<double>(page.Utf8Bytes);
}

void BM_CheckPage(benchmark::State& state, TLayout layout, TPlacement placement) {
  const TPage& page = Page(layout, placement);
  const zqe::TSEInstancePtr se = zqe::NewSEInstance(EngineName(layout), 1);
  if (const std::string why = CheckPageShape(*se, page, placement); !why.empty()) {
    state.SkipWithError(why.c_str());
    return;
  }
  const std::u16string sentence = zqe::Utf8ToU16(kSentence);
  for (auto _ : state) {
    se->CheckPage(u"http://q/", page.Html, sentence, u"", false);
    benchmark::DoNotOptimize(se->ErrorCode());
  }
  SetCounters(state, page);
}

// The page from its "<body" on, as the step hands it to the cleaning,
// which cuts the body at its first "</body".
std::u16string_view FromBody(const std::u16string& html) {
  return std::u16string_view(html).substr(zqe::FindText(html, u"<body"));
}

// The cleaned body the later stages start from.
std::u16string BodyText(const std::u16string& html) { return zqe::CleanHtmlBody(FromBody(html)).Text; }

// The stages below run through these out-of-line calls so that a profiler
// can count one stage alone (valgrind --toggle-collect=*DecodeStage*).
[[gnu::noinline]] std::u16string DecodeStage(std::string_view utf8) { return zqe::Utf8ToU16(utf8); }
[[gnu::noinline]] zqe::TCleanText CleanStage(std::u16string_view fromBody) { return zqe::CleanHtmlBody(fromBody); }
// The cleaning on the 16-unit (SSE2) path alone, the one the 32-bit
// Windows build runs.
[[gnu::noinline]] std::u16string CleanSse2Stage(std::u16string_view fromBody) {
  return zqe::clean_detail::CleanHtmlBody(fromBody, false).Text;
}
// As the step parses: the tree keeps the cleaned text, and the cleaning
// has told whether it holds a U+0000.
[[gnu::noinline]] zqe::html::TRef<zqe::html::IHtmlElement> ParseStage(zqe::TCleanText& text) {
  return text.HoldsNul ? zqe::html::ParseHtmlText(text.Text) : zqe::html::ParseHtmlText(text.Text, text.Text.size());
}
// The tree is freed inside the stage: freeing a page's tree is part of
// what parsing costs.
[[gnu::noinline]] void FreeStage(zqe::html::TRef<zqe::html::IHtmlElement>& doc) { doc = nullptr; }
[[gnu::noinline]] int PageStepStage(zqe::TSEInstanceBase& se, std::string_view utf8, std::u16string_view sentence) {
  const std::u16string html = zqe::Utf8ToU16(utf8);
  se.CheckPage(u"http://q/", html, sentence, u"", false);
  return se.ErrorCode();
}

// The whole step from the bytes a fetch delivers: decode, validity and
// verification tests, body cut, cleaning, parsing, extraction with its
// sentence match. peak_B_per_byte is the most memory the step held at once
// (above what the program held before it) per page byte.
void BM_PageStep(benchmark::State& state, TLayout layout, TPlacement placement) {
  const TPage& page = Page(layout, placement);
  const zqe::TSEInstancePtr se = zqe::NewSEInstance(EngineName(layout), 1);
  if (const std::string why = CheckPageShape(*se, page, placement); !why.empty()) {
    state.SkipWithError(why.c_str());
    return;
  }
  const std::u16string sentence = zqe::Utf8ToU16(kSentence);
  size_t peak = 0;
  for (auto _ : state) {
    const size_t before = zqe::bench::StartPeak();
    benchmark::DoNotOptimize(PageStepStage(*se, page.Utf8, sentence));
    peak = std::max(peak, zqe::bench::PeakBytes() - before);
  }
  SetCounters(state, page);
  state.counters["peak_B_per_byte"] = static_cast<double>(peak) / static_cast<double>(page.Utf8Bytes);
}


// The page's UTF-8 as it came over the wire, decoded as the fetch does.
void BM_Decode(benchmark::State& state, TLayout layout, TPlacement placement) {
  const TPage& page = Page(layout, placement);
  for (auto _ : state) {
    std::u16string text = DecodeStage(page.Utf8);
    benchmark::DoNotOptimize(text.data());
  }
  SetCounters(state, page);
}

void BM_Clean(benchmark::State& state, TLayout layout, TPlacement placement) {
  const TPage& page = Page(layout, placement);
  const std::u16string_view fromBody = FromBody(page.Html);
  size_t cleanUnits = 0;
  for (auto _ : state) {
    zqe::TCleanText text = CleanStage(fromBody);
    cleanUnits = text.Text.size();
    benchmark::DoNotOptimize(text.Text.data());
  }
  SetCounters(state, page);
  // The units the cleaning is handed, from "<body" to the page's end.
  state.counters["from_body_units"] = static_cast<double>(fromBody.size());
  state.counters["clean_units"] = static_cast<double>(cleanUnits);
}

void BM_CleanSse2(benchmark::State& state, TLayout layout, TPlacement placement) {
  const TPage& page = Page(layout, placement);
  const std::u16string_view fromBody = FromBody(page.Html);
  for (auto _ : state) {
    std::u16string text = CleanSse2Stage(fromBody);
    benchmark::DoNotOptimize(text.data());
  }
  SetCounters(state, page);
}

void BM_Parse(benchmark::State& state, TLayout layout, TPlacement placement) {
  const TPage& page = Page(layout, placement);
  const std::u16string text = BodyText(page.Html);
  for (auto _ : state) {
    zqe::html::TRef<zqe::html::IHtmlElement> doc = zqe::html::ParseHtmlDocument(text);
    benchmark::DoNotOptimize(doc.get());
  }
  SetCounters(state, page);
}

// A page-wide selector of each engine's extractor on a tree parsed once,
// outside the loop, counted alone with valgrind --toggle-collect=*SelectStage*.
[[gnu::noinline]] int32_t SelectStage(const zqe::html::IHtmlElement& doc, std::u16string_view selector) {
  return doc.SimpleCSSSelector(selector)->GetCount();
}

void BM_Select(benchmark::State& state, TLayout layout, TPlacement placement) {
  const TPage& page = Page(layout, placement);
  const std::u16string text = BodyText(page.Html);
  const zqe::html::TRef<zqe::html::IHtmlElement> doc = zqe::html::ParseHtmlDocument(text);
  const std::u16string_view selector = layout == TLayout::Baidu ? u"div#content_left div[class~=c-container]" : u"li.b_algo h2 a";
  if (SelectStage(*doc, selector) != page.Entries) {
    state.SkipWithError("selector finds a count other than the entry count");
    return;
  }
  for (auto _ : state) benchmark::DoNotOptimize(SelectStage(*doc, selector));
  SetCounters(state, page);
}

// Lets the stage be timed on a tree parsed once, outside the loop.
template <class TEngine>
class TExtractOnly : public TEngine {
 public:
  TExtractOnly() : TEngine(u"bench", 1) {}
  bool Extract(std::u16string_view sentence, const zqe::html::IHtmlElement& doc) {
    std::u16string url, shortUrl, remark, date;
    return this->MatchSearchReuslt(this, sentence, u"", false, doc, url, shortUrl, remark, date);
  }
};

template <class TEngine>
[[gnu::noinline]] bool ExtractStage(TExtractOnly<TEngine>& se, std::u16string_view sentence, const zqe::html::IHtmlElement& doc) {
  return se.Extract(sentence, doc);
}

template <class TEngine>
void ExtractLoop(benchmark::State& state, const TPage& page, TPlacement placement) {
  TExtractOnly<TEngine> se;
  const std::u16string text = BodyText(page.Html);
  const zqe::html::TRef<zqe::html::IHtmlElement> doc = zqe::html::ParseHtmlDocument(text);
  const std::u16string sentence = zqe::Utf8ToU16(kSentence);
  if (se.Extract(sentence, *doc) != (placement == TPlacement::LastEntry)) {
    state.SkipWithError("extractor outcome differs from the generated page");
    return;
  }
  for (auto _ : state) benchmark::DoNotOptimize(se.Extract(sentence, *doc));
  SetCounters(state, page);
}

void BM_Extract(benchmark::State& state, TLayout layout, TPlacement placement) {
  const TPage& page = Page(layout, placement);
  if (layout == TLayout::Baidu) ExtractLoop<zqe::TSEInstanceBaidu>(state, page, placement);
  else ExtractLoop<zqe::TSEInstanceBing>(state, page, placement);
}

// The step's stages one after the other, each timed; the counters are
// microseconds per page.
template <class TEngine>
void StagesLoop(benchmark::State& state, const TPage& page, TPlacement placement) {
  TExtractOnly<TEngine> se;
  const std::u16string sentence = zqe::Utf8ToU16(kSentence);
  using Clock = std::chrono::steady_clock;
  double spent[4] = {0, 0, 0, 0};
  bool shapeOk = true;
  for (auto _ : state) {
    const auto t0 = Clock::now();
    const std::u16string html = DecodeStage(page.Utf8);
    const auto t1 = Clock::now();
    zqe::TCleanText text = CleanStage(FromBody(html));
    const auto t2 = Clock::now();
    zqe::html::TRef<zqe::html::IHtmlElement> doc = ParseStage(text);
    const auto t3 = Clock::now();
    const bool hit = ExtractStage(se, sentence, *doc);
    const auto t4 = Clock::now();
    FreeStage(doc);
    const auto t5 = Clock::now();
    shapeOk = shapeOk && hit == (placement == TPlacement::LastEntry);
    spent[0] += std::chrono::duration<double, std::micro>(t1 - t0).count();
    spent[1] += std::chrono::duration<double, std::micro>(t2 - t1).count();
    spent[2] += std::chrono::duration<double, std::micro>((t3 - t2) + (t5 - t4)).count();
    spent[3] += std::chrono::duration<double, std::micro>(t4 - t3).count();
  }
  if (!shapeOk) {
    state.SkipWithError("extractor outcome differs from the generated page");
    return;
  }
  SetCounters(state, page);
  const char* names[] = {"decode_us", "clean_us", "parse_free_us", "extract_us"};
  for (int k = 0; k < 4; ++k)
    state.counters[names[k]] = benchmark::Counter(spent[k], benchmark::Counter::kAvgIterations);
}

void BM_Stages(benchmark::State& state, TLayout layout, TPlacement placement) {
  const TPage& page = Page(layout, placement);
  if (layout == TLayout::Baidu) StagesLoop<zqe::TSEInstanceBaidu>(state, page, placement);
  else StagesLoop<zqe::TSEInstanceBing>(state, page, placement);
}

// Result entries each nested inside the one before, as a hostile or broken
// page can send them, against the same entries side by side. Entries are
// small (a link and a word), so the page size is mostly nesting; the
// sentence is in none of them, so no entry ends the walk early.
TPage MakeEntryRun(TLayout layout, int count, bool nested) {
  const bool baidu = layout == TLayout::Baidu;
  const std::string open = baidu ? "<div class=\"c-container\"><h3 class=\"t\"><a href=\"/" : "<li class=\"b_algo\"><h2><a href=\"/";
  const std::string mid = baidu ? "\">t</a></h3>w " : "\">t</a></h2>w ";
  const std::string close = baidu ? "</div>" : "</li>";
  std::string page = baidu ? "<html><body><div id=\"content_left\">" : "<html><body><ol id=\"b_results\">";
  for (int i = 0; i < count; ++i) {
    page += open + std::to_string(i) + mid;
    if (!nested) page += close;
  }
  if (nested)
    for (int i = 0; i < count; ++i) page += close;
  page += baidu ? "</div></body></html>" : "</ol></body></html>";
  TPage p;
  p.Html = zqe::Utf8ToU16(page);
  p.Utf8Bytes = page.size();
  p.Entries = count;
  return p;
}

void BM_EntryRun(benchmark::State& state, TLayout layout, bool nested) {
  const TPage page = MakeEntryRun(layout, static_cast<int>(state.range(0)), nested);
  const zqe::TSEInstancePtr se = zqe::NewSEInstance(EngineName(layout), 1);
  const std::u16string sentence = zqe::Utf8ToU16(kSentence);
  std::vector<TSEEntryReport> reports;
  se->CheckPage(u"http://q/", page.Html, sentence, u"", false, &reports);
  if (se->ErrorCode() != 1 || static_cast<int>(reports.size()) != page.Entries) {
    const std::string why = "ErrorCode " + std::to_string(se->ErrorCode()) + ", " + std::to_string(reports.size()) +
                            " entry reports of " + std::to_string(page.Entries);
    state.SkipWithError(why.c_str());
    return;
  }
  for (auto _ : state) {
    se->CheckPage(u"http://q/", page.Html, sentence, u"", false);
    benchmark::DoNotOptimize(se->ErrorCode());
  }
  SetCounters(state, page);
}

#define ZQE_ENTRY_RUN(name, layout, nested) \
  BENCHMARK_CAPTURE(BM_EntryRun, name, layout, nested)->Arg(5000)->Arg(20000)->Unit(benchmark::kMillisecond)
ZQE_ENTRY_RUN(bing_nested, TLayout::Bing, true);
ZQE_ENTRY_RUN(bing_side_by_side, TLayout::Bing, false);
ZQE_ENTRY_RUN(baidu_nested, TLayout::Baidu, true);
ZQE_ENTRY_RUN(baidu_side_by_side, TLayout::Baidu, false);

#define ZQE_PAGE_CASES(fn)                                                                  \
  BENCHMARK_CAPTURE(fn, baidu_last_entry, TLayout::Baidu, TPlacement::LastEntry)->Unit(benchmark::kMillisecond); \
  BENCHMARK_CAPTURE(fn, baidu_nowhere, TLayout::Baidu, TPlacement::Nowhere)->Unit(benchmark::kMillisecond);      \
  BENCHMARK_CAPTURE(fn, bing_last_entry, TLayout::Bing, TPlacement::LastEntry)->Unit(benchmark::kMillisecond);   \
  BENCHMARK_CAPTURE(fn, bing_nowhere, TLayout::Bing, TPlacement::Nowhere)->Unit(benchmark::kMillisecond)

ZQE_PAGE_CASES(BM_PageStep);
ZQE_PAGE_CASES(BM_Stages);
ZQE_PAGE_CASES(BM_CheckPage);
ZQE_PAGE_CASES(BM_Decode);
ZQE_PAGE_CASES(BM_Clean);
ZQE_PAGE_CASES(BM_CleanSse2);
ZQE_PAGE_CASES(BM_Parse);
ZQE_PAGE_CASES(BM_Select);
ZQE_PAGE_CASES(BM_Extract);

}  // namespace

BENCHMARK_MAIN();
