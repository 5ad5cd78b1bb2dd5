// zqe match [--json] [--strict] SENTENCE TEXT
// The sentence match of one result entry, with the best approximate match
// on the texts as the match compares them.
#include <cstdio>
#include <memory>
#include <string>

#include <nlohmann/json.hpp>

#include "Command.h"
#include "match/ApproximateSubstringSearch.h"
#include "match/SentenceMatch.h"
#include "platform/Text.h"

namespace {

struct TMatchOptions {
  bool Json = false;
  bool Strict = false;
  std::string Sentence;
  std::string Text;
};

int RunMatch(const TMatchOptions& o) {
  const std::u16string sentence = zqe::Utf8ToU16(o.Sentence);
  const std::u16string text = zqe::Utf8ToU16(o.Text);
  const bool match = zqe::MatchSentence(sentence, text, o.Strict);
  const bool exact = !sentence.empty() && text.find(sentence) != std::u16string::npos;
  zqe::TApproximateSearch search(o.Strict ? text : zqe::NormalizeForMatch(text));
  const zqe::TMatchResult best = search.FindBestMatch(
      o.Strict ? sentence : zqe::NormalizeForMatch(sentence), zqe::kSentenceMaxDistance);
  const nlohmann::ordered_json j = {
      {"match", match},
      {"exact", exact},
      {"found", best.Found},
      {"position", best.Position},
      {"length", best.Length},
      {"distance", best.Distance},
      {"matched", zqe::U16ToUtf8(best.MatchedString)},
  };
  if (o.Json) {
    std::printf("%s\n", j.dump().c_str());
  } else {
    for (const auto& [key, value] : j.items())
      std::printf("%s: %s\n", key.c_str(), value.is_string() ? value.get<std::string>().c_str() : value.dump().c_str());
  }
  return 0;
}

const zqe::cli::RegisterCommand registerMatch(zqe::cli::CommandInfo{[](CLI::App& app) -> std::function<int()> {
  auto o = std::make_shared<TMatchOptions>();
  CLI::App* cmd = app.add_subcommand("match", "Test a result entry's text against a sentence");
  cmd->add_flag("--json", o->Json, "Print one JSON object");
  cmd->add_flag("--strict", o->Strict, "Keep punctuation and spaces in the approximate test");
  cmd->add_option("SENTENCE", o->Sentence, "The checked sentence")->required();
  cmd->add_option("TEXT", o->Text, "The entry's text")->required();
  return [o] { return RunMatch(*o); };
}});

}  // namespace
