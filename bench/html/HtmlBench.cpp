// Parse, query and text speed of the parser on a generated 300 KB result
// page, against htmlcxx, gumbo and libxml2's HTML parser; and the growth of the cost
// with the page on flat and deeply nested pages.
//
//   html_bench                      Google Benchmark run (MB/s of UTF-8)
//   html_bench --callgrind ENGINE   one parse + free of the page (ENGINE:
//       zqe, htmlcxx, gumbo or libxml2), for
//       valgrind --tool=callgrind --toggle-collect=ParseOnce* html_bench --callgrind zqe
#include "PageGenerator.h"
#include "html/HtmlParser.h"
#include "platform/Text.h"

#include <benchmark/benchmark.h>
#include <gumbo.h>
#include <htmlcxx/html/ParserDom.h>
#include <libxml/HTMLparser.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "AllocationCount.h"


namespace zqe::html::bench {
namespace {

const std::string& Page() {
  static const std::string page = MakeResultPage(300 * 1024);
  return page;
}
const std::u16string& Page16() {
  static const std::u16string page = Utf8ToU16(Page());
  return page;
}

const char16_t* kEngineQueries[] = {
    u"div#content_left div[class~=c-container]", u"h3.t a", u"div.f13 a.c-showurl",
    u"div.c-abstract span.newTimeFactor_before_abs", u"li.b_algo", u"ul#m-result li.res-list",
    u"div.results div.rb", u"h3.pt a[name=\"dttl\"]", u"div.g div.rc h3.r a",
};

extern "C" __attribute__((noinline)) void ParseOnceZqe(const std::u16string& page) {
  auto doc = ParseHtmlDocument(page);
  benchmark::DoNotOptimize(doc.get());
}
extern "C" __attribute__((noinline)) void ParseOnceHtmlcxx(const std::string& page) {
  htmlcxx::HTML::ParserDom parser;
  tree<htmlcxx::HTML::Node> dom = parser.parseTree(page);
  benchmark::DoNotOptimize(dom.size());
}
extern "C" __attribute__((noinline)) void ParseOnceGumbo(const std::string& page) {
  GumboOutput* out = gumbo_parse_with_options(&kGumboDefaultOptions, page.data(), page.size());
  benchmark::DoNotOptimize(out);
  gumbo_destroy_output(&kGumboDefaultOptions, out);
}
extern "C" __attribute__((noinline)) void ParseOnceLibxml2(const std::string& page) {
  htmlDocPtr doc = htmlReadMemory(page.data(), static_cast<int>(page.size()), nullptr, "UTF-8",
                                  HTML_PARSE_RECOVER | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_NONET);
  benchmark::DoNotOptimize(doc);
  xmlFreeDoc(doc);
}

void BM_ParseZqe(benchmark::State& state) {
  const std::u16string& page = Page16();
  const size_t base = zqe::bench::StartPeak();
  for (auto _ : state) ParseOnceZqe(page);
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(Page().size()));
  state.counters["peak_KB"] = double(zqe::bench::PeakBytes() - base) / 1024;
  state.counters["page_KB"] = double(Page().size()) / 1024;
}
BENCHMARK(BM_ParseZqe);

void BM_ParseHtmlcxx(benchmark::State& state) {
  for (auto _ : state) ParseOnceHtmlcxx(Page());
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(Page().size()));
}
BENCHMARK(BM_ParseHtmlcxx);

void BM_ParseGumbo(benchmark::State& state) {
  for (auto _ : state) ParseOnceGumbo(Page());
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(Page().size()));
}
BENCHMARK(BM_ParseGumbo);

void BM_ParseLibxml2(benchmark::State& state) {
  for (auto _ : state) ParseOnceLibxml2(Page());
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(Page().size()));
}
BENCHMARK(BM_ParseLibxml2);

// All engine selectors over the parsed page, then the inner text of the
// entries, as an extractor does.
void BM_QueriesZqe(benchmark::State& state) {
  auto doc = ParseHtmlDocument(Page16());
  int64_t found = 0;
  for (auto _ : state) {
    for (const char16_t* q : kEngineQueries) found += doc->SimpleCSSSelector(q)->GetCount();
  }
  state.counters["per_query_us"] =
      benchmark::Counter(double(state.iterations()) * std::size(kEngineQueries),
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  benchmark::DoNotOptimize(found);
}
BENCHMARK(BM_QueriesZqe)->Unit(benchmark::kMicrosecond);

void BM_EntryTextZqe(benchmark::State& state) {
  auto doc = ParseHtmlDocument(Page16());
  auto entries = doc->SimpleCSSSelector(u"div#content_left div[class~=c-container]");
  size_t chars = 0;
  for (auto _ : state) {
    for (int32_t i = 0; i < entries->GetCount(); ++i) chars += entries->GetItems(i)->GetInnerText().size();
  }
  benchmark::DoNotOptimize(chars);
}
BENCHMARK(BM_EntryTextZqe)->Unit(benchmark::kMicrosecond);

// Growth with the page: 10x the elements should cost about 10x the time.
void RunScaling(benchmark::State& state, const std::u16string& page, const char16_t* query) {
  for (auto _ : state) {
    auto doc = ParseHtmlDocument(page);
    benchmark::DoNotOptimize(doc->SimpleCSSSelector(query)->GetCount());
    benchmark::DoNotOptimize(doc->GetInnerText().size());
  }
  state.counters["elements"] = double(state.range(0));
}

void BM_FlatSiblings(benchmark::State& state) {
  std::u16string page;
  for (int64_t i = 0; i < state.range(0); ++i) page += (i % 2) ? u"<p class=x>t</p>" : u"<div>d</div>";
  RunScaling(state, page, u"div ~ p.x");
}
BENCHMARK(BM_FlatSiblings)->Arg(20000)->Arg(200000)->Unit(benchmark::kMillisecond);

void BM_NestedUnclosed(benchmark::State& state) {
  std::u16string page;
  for (int64_t i = 0; i < state.range(0); ++i) page += (i % 2) ? u"<p class=x>" : u"<div>";
  // Closing tags that match nothing must not search the open elements.
  for (int64_t i = 0; i < state.range(0) / 10; ++i) page += u"</span>";
  RunScaling(state, page, u"div div p.x");
}
BENCHMARK(BM_NestedUnclosed)->Arg(20000)->Arg(200000)->Unit(benchmark::kMillisecond);

int CallgrindRun(const char* engine) {
  const std::string& page = Page();
  const std::u16string& page16 = Page16();
  std::fprintf(stderr, "page: %zu bytes UTF-8\n", page.size());
  if (!std::strcmp(engine, "zqe")) ParseOnceZqe(page16);
  else if (!std::strcmp(engine, "htmlcxx")) ParseOnceHtmlcxx(page);
  else if (!std::strcmp(engine, "gumbo")) ParseOnceGumbo(page);
  else if (!std::strcmp(engine, "libxml2")) ParseOnceLibxml2(page);
  else return 2;
  return 0;
}

}  // namespace
}  // namespace zqe::html::bench

int main(int argc, char** argv) {
  if (argc == 3 && !std::strcmp(argv[1], "--callgrind")) return zqe::html::bench::CallgrindRun(argv[2]);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
