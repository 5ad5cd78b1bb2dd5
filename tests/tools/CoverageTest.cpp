// What a sentence's engine answers add up to, and how the report words
// them.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "host/Coverage.h"

namespace zqe::cli {
namespace {

using O = Outcome;

std::vector<EngineAnswer> Answers(std::initializer_list<Outcome> outcomes) {
  std::vector<EngineAnswer> v;
  for (Outcome o : outcomes) v.push_back(EngineAnswer{o});
  return v;
}

struct VerdictCase {
  std::vector<Outcome> outcomes;
  Verdict expected;
};

const VerdictCase kVerdictCases[] = {
    {{}, Verdict::kNotChecked},
    // One engine, each answer.
    {{O::kHit}, Verdict::kCopied},
    {{O::kNoHit}, Verdict::kOriginal},
    {{O::kBlocked}, Verdict::kNotChecked},
    {{O::kNotRecognised}, Verdict::kNotChecked},
    {{O::kFetchError}, Verdict::kNotChecked},
    {{O::kTimedOut}, Verdict::kNotChecked},
    {{O::kCancelled}, Verdict::kNotChecked},
    // A hit wins over everything, a "no hit" over every failure.
    {{O::kHit, O::kNoHit}, Verdict::kCopied},
    {{O::kNoHit, O::kNoHit, O::kHit}, Verdict::kCopied},
    {{O::kBlocked, O::kTimedOut, O::kHit}, Verdict::kCopied},
    {{O::kCancelled, O::kHit}, Verdict::kCopied},
    {{O::kNoHit, O::kBlocked}, Verdict::kOriginal},
    {{O::kTimedOut, O::kNoHit}, Verdict::kOriginal},
    {{O::kNotRecognised, O::kFetchError, O::kNoHit, O::kCancelled}, Verdict::kOriginal},
    {{O::kBlocked, O::kBlocked, O::kNoHit, O::kTimedOut, O::kTimedOut}, Verdict::kOriginal},
    // Every engine failed, however: nobody looked.
    {{O::kBlocked, O::kTimedOut}, Verdict::kNotChecked},
    {{O::kFetchError, O::kFetchError, O::kFetchError}, Verdict::kNotChecked},
    {{O::kBlocked, O::kNotRecognised, O::kFetchError, O::kTimedOut, O::kCancelled}, Verdict::kNotChecked},
};

TEST(CoverageTest, VerdictPerCombinationOfAnswers) {
  for (const auto& c : kVerdictCases) {
    std::vector<EngineAnswer> answers;
    for (Outcome o : c.outcomes) answers.push_back(EngineAnswer{o});
    std::string label;
    for (Outcome o : c.outcomes) label += std::string(OutcomeName(o)) + ",";
    EXPECT_EQ(VerdictName(VerdictOf(answers)), std::string(VerdictName(c.expected))) << label;
    // Which engine said what does not matter, only what was said.
    for (size_t r = 1; r < answers.size(); ++r) {
      std::rotate(answers.begin(), answers.begin() + 1, answers.end());
      EXPECT_EQ(VerdictOf(answers), c.expected) << label << " rotated " << r;
    }
  }
}

TEST(CoverageTest, AnsweredCountsHitsAndNoHitsOnly) {
  EXPECT_EQ(AnsweredCount({}), 0u);
  EXPECT_EQ(AnsweredCount(Answers({O::kHit, O::kNoHit, O::kBlocked, O::kNotRecognised, O::kFetchError,
                                   O::kTimedOut, O::kCancelled, O::kNoHit})),
            3u);
}

TEST(CoverageTest, CoverageLines) {
  const std::vector<std::string> five = {"baidu", "sougou", "bing", "360so", "google"};
  struct Case {
    std::vector<EngineAnswer> answers;
    const char* expected;
  };
  const Case cases[] = {
      {Answers({O::kNoHit, O::kNoHit, O::kBlocked, O::kNoHit, O::kTimedOut}),
       "no hit on 3 of 5 engines; bing blocked; google timed out"},
      {Answers({O::kNoHit, O::kNoHit, O::kNoHit, O::kNoHit, O::kNoHit}), "no hit on 5 of 5 engines"},
      {Answers({O::kNoHit, O::kHit, O::kHit, O::kNotRecognised, O::kCancelled}),
       "hit on sougou, bing; no hit on 1 of 5 engines; 360so not recognised; google cancelled"},
      {Answers({O::kHit, O::kTimedOut, O::kTimedOut, O::kTimedOut, O::kTimedOut}),
       "hit on baidu; sougou timed out; bing timed out; 360so timed out; google timed out"},
      {Answers({O::kBlocked, O::kTimedOut, O::kTimedOut, O::kCancelled, O::kCancelled}),
       "no engine answered; baidu blocked; sougou timed out; bing timed out; 360so cancelled; google cancelled"},
      {{EngineAnswer{O::kFetchError, 252}, EngineAnswer{O::kNoHit, 1}},
       "no hit on 1 of 2 engines; baidu fetch error (the result page could not be parsed)"},
      {{}, "no engine asked"},
  };
  for (const auto& c : cases) EXPECT_EQ(CoverageLine(c.answers, five), c.expected);
  EXPECT_EQ(CoverageLine(Answers({O::kNoHit}), {"bing"}), "no hit on 1 of 1 engine");
}

TEST(CoverageTest, OutcomeNamesAreDistinctAndJsonKeysHaveNoSpaces) {
  for (size_t a = 0; a < kAllOutcomes.size(); ++a) {
    const std::string key = OutcomeJsonKey(kAllOutcomes[a]);
    EXPECT_EQ(key.find(' '), std::string::npos) << key;
    for (size_t b = a + 1; b < kAllOutcomes.size(); ++b) {
      EXPECT_NE(std::string(OutcomeName(kAllOutcomes[a])), OutcomeName(kAllOutcomes[b]));
      EXPECT_NE(key, OutcomeJsonKey(kAllOutcomes[b]));
    }
  }
}

}  // namespace
}  // namespace zqe::cli
