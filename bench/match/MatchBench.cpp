// ns per call of the sentence match on result-entry sized inputs:
//   Fast*       the bit-parallel code (MatchSentence, FindBestMatch)
//   Reference*  the full (m+1) x (n+1) matrix, as the behaviour defines it
//   Edlib*      edlib, EDLIB_MODE_HW, distance only, k = 8
// Cases (second argument): 0 = 60-unit sentence in a 600-unit snippet with
// 3 edits, 1 = 60 units against 600 that do not hold it, 2 = 200 against
// 2000 holding it with 3 edits, 3 = 200 against 2000 that do not hold it,
// 4 = a hostile one: 60 units "aaaaab" x 10 against 2000 "a" (10 edits away;
// every piece's grams occur everywhere, so the piece filter gives up and the
// whole text is scanned).
//
// EdlibUnits runs on exactly the same problem: every pattern unit gets its
// own byte and all other text units share one that matches nothing, so
// distances equal those on UTF-16 units. EdlibUtf8 feeds the UTF-8 bytes,
// as a caller with byte strings would (3 bytes per ideograph, so the 3
// edits already exceed k there).
#include <benchmark/benchmark.h>
#include <edlib.h>

#include <cstdint>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

#include "ReferenceApproximateSearch.h"
#include "match/ApproximateSubstringSearch.h"
#include "match/SentenceMatch.h"
#include "platform/Text.h"

namespace {

struct TCase {
  std::u16string Sentence;
  std::u16string Text;
};

std::u16string Chinese(std::mt19937& gen, size_t n, bool punctuation) {
  std::u16string s;
  while (s.size() < n) {
    if (punctuation && gen() % 18 == 0) s.push_back(gen() % 2 ? u'，' : u'。');
    else s.push_back(static_cast<char16_t>(0x4E00 + gen() % 3000));
  }
  return s;
}

TCase MakeCase(size_t m, size_t n, bool holds) {
  std::mt19937 gen(static_cast<uint32_t>(m * 7919 + n + holds));
  TCase c;
  c.Sentence = Chinese(gen, m, false);
  c.Text = Chinese(gen, n, true);
  if (holds) {
    std::u16string edited = c.Sentence;
    edited[m / 4] = u'中';                   // substitution
    edited.erase(m / 2, 1);                  // deletion
    edited.insert(3 * m / 4, 1, u'国');      // insertion
    c.Text.replace(n / 2 - m / 2, edited.size(), edited);
  }
  return c;
}

TCase Repeats() {
  TCase c;
  for (int i = 0; i < 10; ++i) c.Sentence += u"aaaaab";
  c.Text.assign(2000, u'a');
  return c;
}

const std::vector<TCase>& Cases() {
  static const std::vector<TCase> cases{MakeCase(60, 600, true), MakeCase(60, 600, false),
                                        MakeCase(200, 2000, true), MakeCase(200, 2000, false), Repeats()};
  return cases;
}

void Label(benchmark::State& state, const TCase& c) {
  state.SetLabel(std::to_string(c.Sentence.size()) + "/" + std::to_string(c.Text.size()));
}

void FastMatchSentenceStrict(benchmark::State& state) {
  const TCase& c = Cases()[state.range(0)];
  for (auto _ : state) benchmark::DoNotOptimize(zqe::MatchSentence(c.Sentence, c.Text, true));
  state.counters["hit"] = zqe::MatchSentence(c.Sentence, c.Text, true);
  Label(state, c);
}

void FastMatchSentence(benchmark::State& state) {
  const TCase& c = Cases()[state.range(0)];
  for (auto _ : state) benchmark::DoNotOptimize(zqe::MatchSentence(c.Sentence, c.Text, false));
  state.counters["hit"] = zqe::MatchSentence(c.Sentence, c.Text, false);
  Label(state, c);
}

void FastFindBestMatch(benchmark::State& state) {
  const TCase& c = Cases()[state.range(0)];
  for (auto _ : state) {
    zqe::TApproximateSearch search(c.Text);
    benchmark::DoNotOptimize(search.FindBestMatch(c.Sentence, zqe::kSentenceMaxDistance));
  }
  Label(state, c);
}

void ReferenceMatchSentenceStrict(benchmark::State& state) {
  const TCase& c = Cases()[state.range(0)];
  for (auto _ : state) benchmark::DoNotOptimize(zqe::reference::MatchSentence(c.Sentence, c.Text, true));
  state.counters["hit"] = zqe::reference::MatchSentence(c.Sentence, c.Text, true);
  Label(state, c);
}

void ReferenceFindBestMatch(benchmark::State& state) {
  const TCase& c = Cases()[state.range(0)];
  for (auto _ : state) {
    zqe::reference::TApproximateSearch search(c.Text);
    benchmark::DoNotOptimize(search.FindBestMatch(c.Sentence, zqe::kSentenceMaxDistance));
  }
  Label(state, c);
}

int EdlibDistance(const std::string& query, const std::string& target) {
  const EdlibAlignConfig config = edlibNewAlignConfig(zqe::kSentenceMaxDistance, EDLIB_MODE_HW,
                                                      EDLIB_TASK_DISTANCE, nullptr, 0);
  EdlibAlignResult r = edlibAlign(query.data(), static_cast<int>(query.size()), target.data(),
                                  static_cast<int>(target.size()), config);
  const int distance = r.editDistance;
  edlibFreeAlignResult(r);
  return distance;
}

void EdlibUnits(benchmark::State& state) {
  const TCase& c = Cases()[state.range(0)];
  std::unordered_map<char16_t, char> code;
  std::string query, target;
  for (char16_t u : c.Sentence) {
    auto it = code.emplace(u, static_cast<char>(code.size() + 1)).first;
    query.push_back(it->second);
  }
  for (char16_t u : c.Text) {
    auto it = code.find(u);
    target.push_back(it == code.end() ? '\0' : it->second);
  }
  for (auto _ : state) benchmark::DoNotOptimize(EdlibDistance(query, target));
  state.counters["hit"] = EdlibDistance(query, target) >= 0;
  Label(state, c);
}

void EdlibUtf8(benchmark::State& state) {
  const TCase& c = Cases()[state.range(0)];
  const std::string query = zqe::U16ToUtf8(c.Sentence);
  const std::string target = zqe::U16ToUtf8(c.Text);
  for (auto _ : state) benchmark::DoNotOptimize(EdlibDistance(query, target));
  state.counters["hit"] = EdlibDistance(query, target) >= 0;
  Label(state, c);
}

}  // namespace

BENCHMARK(FastMatchSentenceStrict)->DenseRange(0, 4);
BENCHMARK(FastMatchSentence)->DenseRange(0, 4);
BENCHMARK(FastFindBestMatch)->DenseRange(0, 4);
BENCHMARK(ReferenceMatchSentenceStrict)->DenseRange(0, 4);
BENCHMARK(ReferenceFindBestMatch)->DenseRange(0, 4);
BENCHMARK(EdlibUnits)->DenseRange(0, 4);
BENCHMARK(EdlibUtf8)->DenseRange(0, 4);

BENCHMARK_MAIN();
