#include "host/Report.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <nlohmann/json.hpp>

#include "match/SentenceMatch.h"
#include "platform/FieldText.h"
#include "platform/Text.h"

namespace zqe::cli {

double Totals::Originality() const {
  const size_t all = copiedChars + originalChars;
  return all == 0 ? -1.0 : 100.0 * static_cast<double>(originalChars) / static_cast<double>(all);
}

namespace {

void Add(Totals& t, const DocumentReport& doc) {
  t.skipped += doc.skipped;
  for (const auto& s : doc.sentences) {
    ++t.sentences;
    switch (s.verdict) {
      case Verdict::kCopied: ++t.copied, t.copiedChars += s.sentence.length; break;
      case Verdict::kOriginal: ++t.original, t.originalChars += s.sentence.length; break;
      case Verdict::kNotChecked: ++t.notChecked; break;
    }
  }
}

std::string U8(std::u16string_view s) { return U16ToUtf8(s); }

std::string Percent(double p) {
  if (p < 0) return "n/a";
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.1f%%", p);
  return buf;
}

// Cut to `limit` UTF-16 units, never between the halves of a pair.
std::u16string Cut(std::u16string_view s, size_t limit) {
  if (s.size() <= limit) return std::u16string(s);
  return std::u16string(s.substr(0, SurrogateSafeCut(s, limit))) + u"…";
}

std::string Join(const std::vector<std::string>& v, const char* sep) {
  std::string r;
  for (size_t i = 0; i < v.size(); ++i) r += (i ? sep : "") + v[i];
  return r;
}

std::string HtmlEscape(std::string_view s) {
  std::string r;
  r.reserve(s.size());
  for (char c : s) {
    switch (c) {
      case '&': r += "&amp;"; break;
      case '<': r += "&lt;"; break;
      case '>': r += "&gt;"; break;
      case '"': r += "&quot;"; break;
      case '\'': r += "&#39;"; break;
      default: r += c;
    }
  }
  return r;
}

// Only web links become clickable: a source link comes from a search
// result page and might be "javascript:".
bool IsWebLink(std::u16string_view url) {
  const std::u16string l = AsciiLowerCase(url.substr(0, 8));
  return l.starts_with(u"http://") || l.starts_with(u"https://");
}

}  // namespace

Totals Summarise(const DocumentReport& doc) {
  Totals t;
  Add(t, doc);
  return t;
}

Totals Summarise(const Report& report) {
  Totals t;
  for (const auto& d : report.documents) Add(t, d);
  return t;
}

std::vector<EngineTally> TallyEngines(const DocumentReport& doc, size_t engineCount) {
  std::vector<EngineTally> tallies(engineCount);
  for (const auto& s : doc.sentences)
    for (size_t i = 0; i < s.answers.size() && i < engineCount; ++i) ++tallies[i][s.answers[i].outcome];
  return tallies;
}

std::vector<EngineTally> TallyEngines(const Report& report) {
  std::vector<EngineTally> all(report.engines.size());
  for (const auto& doc : report.documents) {
    const auto t = TallyEngines(doc, report.engines.size());
    for (size_t i = 0; i < all.size(); ++i)
      for (size_t k = 0; k < kOutcomeCount; ++k) all[i].counts[k] += t[i].counts[k];
  }
  return all;
}

std::vector<Source> GroupSources(const Report& report) {
  std::vector<Source> out;
  std::map<std::u16string, size_t> index;
  for (size_t d = 0; d < report.documents.size(); ++d) {
    const auto& sentences = report.documents[d].sentences;
    for (size_t i = 0; i < sentences.size(); ++i) {
      const auto& s = sentences[i];
      if (s.verdict != Verdict::kCopied) continue;
      auto [it, added] = index.emplace(s.url, out.size());
      if (added) out.push_back(Source{s.url, TidyDisplayUrl(s.displayUrl), {}, {}, 0});
      Source& src = out[it->second];
      src.refs.push_back({d, i});
      src.characters += s.sentence.length;
      if (std::find(src.engines.begin(), src.engines.end(), s.engine) == src.engines.end())
        src.engines.push_back(s.engine);
    }
  }
  std::stable_sort(out.begin(), out.end(),
                   [](const Source& a, const Source& b) { return a.refs.size() > b.refs.size(); });
  return out;
}

// ---- the snippet beside the sentence ----------------------------------------

namespace {

bool IsBlank(char16_t c) {
  return c <= 0x20 || c == 0x00A0 || c == 0x3000 || (c >= 0x2000 && c <= 0x200B) || c == 0x202F || c == 0x205F ||
         c == 0xFEFF;
}

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

}  // namespace

std::u16string TidyDisplayUrl(std::u16string_view shown) {
  size_t n = shown.size();
  for (;;) {
    while (n > 0 && IsBlank(shown[n - 1])) --n;
    // A separator only when it stands apart: "a-b-" keeps its hyphen.
    if (n > 0 && (shown[n - 1] == u'-' || shown[n - 1] == u'\u203A' || shown[n - 1] == u'\u00B7') &&
        (n == 1 || IsBlank(shown[n - 2]))) {
      --n;
      continue;
    }
    return std::u16string(shown.substr(0, n));
  }
}

SnippetMatch MatchSnippet(const SentenceResult& s, bool strict) {
  SnippetMatch m;
  if (s.snippet.empty()) return m;
  TSentenceAlignment a = AlignSentence(s.sentence.text, s.snippet, strict);
  if (!a.Found) {
    m.kind = SnippetMatch::Kind::kNotAligned;
    return m;
  }
  m.kind = SnippetMatch::Kind::kAligned;
  m.verbatim = a.Verbatim;
  m.edits = a.Edits;
  m.start = a.Start;
  m.end = a.End;
  m.editList = std::move(a.EditList);
  return m;
}

std::string MatchPhrase(const SnippetMatch& m) {
  switch (m.kind) {
    case SnippetMatch::Kind::kNoSnippet: return "copied (the engine gave no snippet to compare)";
    case SnippetMatch::Kind::kNotAligned:
      return "copied (the snippet does not hold the sentence within " + std::to_string(kSentenceMaxDistance) +
             " edits)";
    case SnippetMatch::Kind::kAligned: break;
  }
  if (m.verbatim) return "copied verbatim";
  if (m.edits == 0) return "copied, 0 edits (only spaces or punctuation differ)";
  return "copied, " + std::to_string(m.edits) + (m.edits == 1 ? " edit" : " edits");
}

SnippetWindow WindowOf(const SentenceResult& s, const SnippetMatch& m, size_t context) {
  SnippetWindow w;
  if (m.kind != SnippetMatch::Kind::kAligned) return w;
  const std::u16string_view t = s.snippet;
  const std::u16string_view sentence = s.sentence.text;
  const size_t start = static_cast<size_t>(m.start), end = static_cast<size_t>(m.end);
  size_t from = start > context ? start - context : 0;
  if (from > 0 && from < start && IsLowSurrogate(t[from])) ++from;
  size_t to = std::min(t.size(), end + context);
  if (to < t.size() && to > end && IsHighSurrogate(t[to - 1])) --to;
  w.before = t.substr(from, start - from);
  w.after = t.substr(end, to - end);
  w.cutBefore = from > 0;
  w.cutAfter = to < t.size();
  if (m.verbatim) {
    w.span.push_back({SnippetPiece::Kind::kSame, std::u16string(t.substr(start, end - start))});
    return w;
  }

  std::u16string same, del, ins;
  auto flushSame = [&] {
    if (!same.empty()) w.span.push_back({SnippetPiece::Kind::kSame, std::move(same)});
    same.clear();
  };
  auto flushEdits = [&] {
    if (!del.empty()) w.span.push_back({SnippetPiece::Kind::kDeleted, std::move(del)});
    if (!ins.empty()) w.span.push_back({SnippetPiece::Kind::kInserted, std::move(ins)});
    del.clear();
    ins.clear();
  };
  const auto& edits = m.editList;
  size_t e = 0;
  for (size_t p = start; p <= end; ++p) {
    bool edited = false;
    for (; e < edits.size() && static_cast<size_t>(edits[e].TextPos) == p; ++e) {
      const TAlignEdit& x = edits[e];
      flushSame();
      if (x.Kind != TAlignEditKind::Insert) {
        del += t[p];
        edited = true;
      }
      if (x.Kind != TAlignEditKind::Delete) ins += sentence[static_cast<size_t>(x.SentencePos)];
    }
    if (p == end) break;
    if (edited) continue;
    // A shared half of a pair whose other half is edited goes with the
    // edit, on both sides, so neither side shows half a character.
    const bool pairedWithEdit =
        (IsHighSurrogate(t[p]) && e < edits.size() && static_cast<size_t>(edits[e].TextPos) == p + 1) ||
        (IsLowSurrogate(t[p]) && (!del.empty() || !ins.empty()));
    if (pairedWithEdit) {
      flushSame();
      del += t[p];
      ins += t[p];
      continue;
    }
    flushEdits();
    same += t[p];
  }
  flushSame();
  flushEdits();
  return w;
}

// ---- text ------------------------------------------------------------------

namespace {

// Snippets come from web pages: no control character of theirs reaches
// the terminal (an escape sequence could rewrite the screen).
std::u16string Printable(std::u16string_view s) {
  std::u16string r(s);
  for (char16_t& c : r)
    if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) c = u' ';
  return r;
}

// The snippet around the span, span in [[ ]], what only the snippet has
// in {- -}, what only the sentence has in {+ +}.
std::string MarkedSnippetText(const SnippetWindow& w) {
  std::u16string o = u"\"";
  if (w.cutBefore) o += u"…";
  o += Printable(w.before) + u"[[";
  for (const SnippetPiece& p : w.span) {
    switch (p.kind) {
      case SnippetPiece::Kind::kSame: o += Printable(p.text); break;
      case SnippetPiece::Kind::kDeleted: o += u"{-" + Printable(p.text) + u"-}"; break;
      case SnippetPiece::Kind::kInserted: o += u"{+" + Printable(p.text) + u"+}"; break;
    }
  }
  o += u"]]" + Printable(w.after);
  if (w.cutAfter) o += u"…";
  return U8(o + u"\"");
}

// "Answers per engine" as a table of counts, one row per engine.
void EngineTable(const std::vector<std::string>& engines, const std::vector<EngineTally>& tallies,
                 const std::string& indent, std::string& o) {
  size_t width = 18;
  for (const auto& e : engines) width = std::max(width, e.size() + 2);
  std::string head = indent + "Answers per engine";
  head.append(indent.size() + width - head.size(), ' ');
  for (Outcome k : kAllOutcomes) head += std::string("  ") + OutcomeName(k);
  o += head + "\n";
  for (size_t i = 0; i < engines.size() && i < tallies.size(); ++i) {
    std::string row = indent + engines[i];
    row.append(indent.size() + width - row.size(), ' ');
    for (Outcome k : kAllOutcomes) {
      const std::string n = std::to_string(tallies[i][k]);
      const size_t w = std::string(OutcomeName(k)).size();
      row += "  " + std::string(w > n.size() ? w - n.size() : 0, ' ') + n;
    }
    o += row + "\n";
  }
}

}  // namespace

std::string UncheckedWarning(const Totals& t) {
  return std::to_string(t.notChecked) + " of " + std::to_string(t.sentences) +
         " sentences not checked: no engine could say whether they stand on the web";
}

// Snippet units shown on each side of the span: a terminal line or two.
constexpr size_t kTextContext = 30;

std::string RenderText(const Report& r) {
  const Totals all = Summarise(r);
  const auto sources = GroupSources(r);
  std::string o;
  auto line = [&](const std::string& s) { o += s + "\n"; };
  line(r.title);
  line(std::string(r.title.size(), '='));
  std::string engines = "Engines:     " + Join(r.engines, ", ");
  if (r.budgetMs > 0) engines += "  (budget " + std::to_string(r.budgetMs) + " ms per sentence)";
  if (r.strict) engines += "  (strict match)";
  line(engines);
  if (!r.filter.empty()) line("URL filter:  " + r.filter);
  char buf[256];
  std::snprintf(buf, sizeof buf, "Originality: %s  (%zu of %zu checked characters not found)",
                Percent(all.Originality()).c_str(), all.originalChars, all.originalChars + all.copiedChars);
  line(buf);
  std::snprintf(buf, sizeof buf, "Sentences:   %zu: %zu copied, %zu original, %zu not checked; %zu too short",
                all.sentences, all.copied, all.original, all.notChecked, all.skipped);
  line(buf);
  if (all.MostlyUnchecked()) line("Warning:     " + UncheckedWarning(all) + ".");
  if (r.interrupted) line("Interrupted: the report covers what was checked before Ctrl-C.");

  for (size_t d = 0; d < r.documents.size(); ++d) {
    const auto& doc = r.documents[d];
    const Totals t = Summarise(doc);
    line("");
    line("Document " + std::to_string(d + 1) + ": " + doc.path + " (" + doc.encoding + ", originality " +
         Percent(t.Originality()) + ")");
    EngineTable(r.engines, TallyEngines(doc, r.engines.size()), "  ", o);
    for (size_t i = 0; i < doc.sentences.size(); ++i) {
      const auto& s = doc.sentences[i];
      std::snprintf(buf, sizeof buf, "  %4zu  %-11s ", i + 1, VerdictName(s.verdict));
      line(buf + U8(Cut(s.sentence.text, 70)));
      if (s.verdict == Verdict::kCopied) {
        const SnippetMatch m = MatchSnippet(s, r.strict);
        line("        " + MatchPhrase(m) + ", via " + s.engine + ": " + U8(Printable(s.url)));
        const std::u16string shown = TidyDisplayUrl(s.displayUrl);
        if (!shown.empty() && shown != s.url) line("        shown as " + U8(Printable(Cut(shown, 80))));
        if (m.kind == SnippetMatch::Kind::kAligned)
          line("        source: " + MarkedSnippetText(WindowOf(s, m, kTextContext)));
        else if (m.kind == SnippetMatch::Kind::kNotAligned)
          line("        source: \"" + U8(Printable(Cut(s.snippet, 100))) + "\"");
      }
      line("        " + CoverageLine(s.answers, r.engines));
    }
  }

  line("");
  line("Sources (" + std::to_string(sources.size()) + ")");
  for (size_t k = 0; k < sources.size(); ++k) {
    const auto& src = sources[k];
    std::snprintf(buf, sizeof buf, "  %2zu. %zu sentence%s, %zu characters, via %s", k + 1, src.refs.size(),
                  src.refs.size() == 1 ? "" : "s", src.characters, Join(src.engines, ", ").c_str());
    line(buf);
    line("      " + U8(src.url));
  }
  if (sources.empty()) line("  none");
  return o;
}

// ---- JSON ------------------------------------------------------------------

namespace {

using nlohmann::ordered_json;

const char* EditName(TAlignEditKind k) {
  switch (k) {
    case TAlignEditKind::Substitute: return "replace";
    case TAlignEditKind::Delete: return "delete";
    case TAlignEditKind::Insert: return "insert";
  }
  return "";
}

// Offsets count UTF-16 units, as "offset" and "length" do.
ordered_json MatchJson(const SentenceResult& s, const SnippetMatch& m) {
  const bool found = m.kind == SnippetMatch::Kind::kAligned;
  ordered_json j = {{"found", found},
                    {"verbatim", m.verbatim},
                    {"edits", found ? ordered_json(m.edits) : ordered_json(nullptr)},
                    {"text", MatchPhrase(m)},
                    {"snippet", U8(s.snippet)},
                    {"span", found ? ordered_json::array({m.start, m.end}) : ordered_json(nullptr)},
                    {"ops", ordered_json::array()}};
  for (const TAlignEdit& e : m.editList) {
    ordered_json op = {{"op", EditName(e.Kind)}, {"at", e.TextPos}, {"sentence_at", e.SentencePos}};
    if (e.Kind != TAlignEditKind::Insert) op["source"] = U8(s.snippet.substr(static_cast<size_t>(e.TextPos), 1));
    if (e.Kind != TAlignEditKind::Delete)
      op["sentence"] = U8(s.sentence.text.substr(static_cast<size_t>(e.SentencePos), 1));
    j["ops"].push_back(std::move(op));
  }
  return j;
}

ordered_json OriginalityJson(const Totals& t) {
  return t.Originality() < 0 ? ordered_json(nullptr) : ordered_json(t.Originality());
}

ordered_json TotalsJson(const Totals& t) {
  ordered_json j;
  j["sentences"] = {{"total", t.sentences},
                    {"copied", t.copied},
                    {"original", t.original},
                    {"not_checked", t.notChecked},
                    {"skipped", t.skipped}};
  j["characters"] = {{"checked", t.copiedChars + t.originalChars},
                     {"copied", t.copiedChars},
                     {"original", t.originalChars}};
  return j;
}

ordered_json TallyJson(const std::vector<std::string>& engines, const std::vector<EngineTally>& tallies) {
  ordered_json j = ordered_json::object();
  for (size_t i = 0; i < engines.size() && i < tallies.size(); ++i) {
    ordered_json counts = ordered_json::object();
    for (Outcome k : kAllOutcomes) counts[OutcomeJsonKey(k)] = tallies[i][k];
    j[engines[i]] = std::move(counts);
  }
  return j;
}

// Sentence number i of a document: its verdict, each engine's answer (and
// error), and for a copied one where it was found and how it matched.
ordered_json SentenceJson(const Report& r, const SentenceResult& s, size_t i) {
  ordered_json e = {{"index", i},
                    {"offset", s.sentence.offset},
                    {"length", s.sentence.length},
                    {"text", U8(s.sentence.text)},
                    {"verdict", VerdictName(s.verdict)}};
  ordered_json engines = ordered_json::object(), errors = ordered_json::object();
  for (size_t k = 0; k < s.answers.size() && k < r.engines.size(); ++k) {
    const EngineAnswer& a = s.answers[k];
    engines[r.engines[k]] = OutcomeName(a.outcome);
    if (a.outcome != Outcome::kFetchError) continue;
    ordered_json err = {{"error", a.errorCode >= 0 ? DescribeErrorCode(a.errorCode) : "refused by the engine"}};
    if (a.errorCode >= 0) err["error_code"] = a.errorCode;
    if (a.lastError) err["last_error"] = a.lastError;
    errors[r.engines[k]] = std::move(err);
  }
  e["engines"] = std::move(engines);
  e["coverage"] = {{"answered", AnsweredCount(s.answers)},
                   {"selected", s.answers.size()},
                   {"text", CoverageLine(s.answers, r.engines)}};
  if (!errors.empty()) e["engine_errors"] = std::move(errors);
  if (s.verdict == Verdict::kCopied) {
    e["engine"] = s.engine;
    e["url"] = U8(s.url);
    e["display_url"] = U8(TidyDisplayUrl(s.displayUrl));
    e["snippet"] = U8(s.snippet);
    if (s.exact) e["exact"] = *s.exact;
    e["match_ms"] = s.matchMs;
    e["match"] = MatchJson(s, MatchSnippet(s, r.strict));
  }
  e["total_ms"] = s.totalMs;
  return e;
}

ordered_json DocumentJson(const Report& r, const DocumentReport& doc) {
  const Totals t = Summarise(doc);
  ordered_json d = {{"path", doc.path},
                    {"encoding", doc.encoding},
                    {"originality", OriginalityJson(t)},
                    {"summary", TotalsJson(t)},
                    {"engine_answers", TallyJson(r.engines, TallyEngines(doc, r.engines.size()))},
                    {"sentences", ordered_json::array()}};
  for (size_t i = 0; i < doc.sentences.size(); ++i) d["sentences"].push_back(SentenceJson(r, doc.sentences[i], i));
  return d;
}

ordered_json SourcesJson(const Report& r) {
  ordered_json j = ordered_json::array();
  for (const auto& src : GroupSources(r)) {
    ordered_json refs = ordered_json::array();
    for (const auto& ref : src.refs) refs.push_back({{"document", ref.document}, {"sentence", ref.sentence}});
    j.push_back({{"url", U8(src.url)},
                 {"display_url", U8(src.displayUrl)},
                 {"engines", src.engines},
                 {"sentences", src.refs.size()},
                 {"characters", src.characters},
                 {"refs", refs}});
  }
  return j;
}

}  // namespace

std::string RenderJson(const Report& r) {
  const Totals all = Summarise(r);
  ordered_json j;
  j["originality"] = OriginalityJson(all);
  j["summary"] = TotalsJson(all);
  j["too_little_checked"] = all.MostlyUnchecked();
  j["engines"] = r.engines;
  j["engine_answers"] = TallyJson(r.engines, TallyEngines(r));
  j["budget_ms"] = r.budgetMs;
  j["strict"] = r.strict;
  j["filter"] = r.filter;
  j["min_length"] = r.minLength;
  j["threads"] = r.threads;
  j["interrupted"] = r.interrupted;
  j["elapsed_ms"] = r.elapsedMs;
  j["library_ms"] = r.libraryMs;
  j["documents"] = ordered_json::array();
  for (const auto& doc : r.documents) j["documents"].push_back(DocumentJson(r, doc));
  j["sources"] = SourcesJson(r);
  return j.dump(2) + "\n";
}

// ---- HTML ------------------------------------------------------------------

namespace {

const char kCss[] = R"(
:root{--ink:#1f2328;--muted:#667085;--line:#e4e7ec;--copied:#ffd8d6;--copied-edge:#e5484d;--near:#ffe8c7;
--near-edge:#f59e0b;--error:#e9ecf2;--ok:#12805c;--bg:#f7f8fa}
*{box-sizing:border-box}
body{margin:0;background:var(--bg);color:var(--ink);font:16px/1.7 system-ui,-apple-system,"Segoe UI","Noto Sans",
"Noto Sans CJK SC","Microsoft YaHei",sans-serif}
main{max-width:920px;margin:0 auto;padding:32px 24px 64px}
h1{font-size:26px;margin:0 0 4px}h2{font-size:19px;margin:36px 0 12px}
.meta{color:var(--muted);font-size:14px}
.summary{display:flex;gap:20px;align-items:center;background:#fff;border:1px solid var(--line);border-radius:12px;
padding:20px 24px;margin:20px 0}
.gauge{--p:50;width:112px;height:112px;border-radius:50%;flex:none;display:grid;place-items:center;
background:conic-gradient(var(--ok) calc(var(--p)*1%),var(--copied-edge) 0)}
.gauge span{width:86px;height:86px;border-radius:50%;background:#fff;display:grid;place-items:center;font-size:22px;
font-weight:700}
.figures{display:grid;grid-template-columns:repeat(3,auto);gap:4px 28px;font-size:14px}
.figures b{display:block;font-size:20px}
.doc{background:#fff;border:1px solid var(--line);border-radius:12px;padding:20px 24px;white-space:pre-wrap;
word-break:break-word}
mark{background:none;color:inherit;padding:1px 0;border-radius:3px}
mark.copied{background:var(--copied);box-shadow:inset 0 -2px 0 var(--copied-edge)}
mark.near{background:var(--near);box-shadow:inset 0 -2px 0 var(--near-edge)}
mark.not-checked{background:var(--error)}
mark a.ref{font-size:11px;vertical-align:super;text-decoration:none;color:var(--copied-edge);margin-left:2px;
font-weight:600}
.legend{font-size:13px;color:var(--muted);margin:8px 0}
.legend mark{padding:0 6px}
ol.sources{padding-left:0;list-style:none;counter-reset:src}
ol.sources li{background:#fff;border:1px solid var(--line);border-radius:10px;padding:12px 16px;margin-bottom:10px}
ol.sources li:target{outline:2px solid var(--copied-edge)}
.src-head{display:flex;justify-content:space-between;gap:12px;font-size:14px}
.src-head a{font-weight:600;word-break:break-all}
.src-count{color:var(--muted);white-space:nowrap}
.src-sent{font-size:14px;color:#3a3f47;margin:6px 0 0;padding-left:12px;border-left:3px solid var(--line)}
.src-sent .side>a{color:inherit;text-decoration:none}.src-sent .side>a:hover{text-decoration:underline}
.how{font-size:13px;font-weight:600;margin:2px 0 4px}
.how.verbatim{color:var(--copied-edge)}.how.near{color:#b45309}.how.unknown{color:var(--muted)}
.pair{display:grid;grid-template-columns:1fr 1fr;gap:6px 20px}
.side{min-width:0;word-break:break-word}
.side-head{font-size:11px;text-transform:uppercase;letter-spacing:.06em;color:var(--muted)}
@media(max-width:640px){.pair{grid-template-columns:1fr}}
.snippet{color:var(--muted)}
.snippet.none{font-style:italic}
.snippet mark.span{color:var(--ink);background:#fff3bf;box-shadow:inset 0 -2px 0 #f0c000;padding:1px 0}
.side del{background:#ffd8d6;color:#a1121a;text-decoration:line-through;border-radius:2px;padding:0 2px}
.side ins{background:#d3f9d8;color:#0b6b3a;text-decoration:none;box-shadow:inset 0 -2px 0 #2f9e44;border-radius:2px;
padding:0 2px}
table{border-collapse:collapse;width:100%;background:#fff;border:1px solid var(--line);border-radius:12px;
overflow:hidden;font-size:14px}
th,td{text-align:left;padding:8px 10px;border-bottom:1px solid var(--line);vertical-align:top}
th{background:#f1f3f6;font-weight:600}
td.v{white-space:nowrap;font-weight:600}
td.v.copied{color:var(--copied-edge)}td.v.original{color:var(--ok)}td.v.not-checked{color:var(--muted)}
td.n{text-align:right;font-variant-numeric:tabular-nums}
.warn{background:#fff4e5;border:1px solid var(--near-edge);border-radius:10px;padding:10px 16px}
table.answers{margin:0 0 14px}
)";

// A CSS class name: no spaces.
std::string VerdictClass(Verdict v) {
  std::string c = VerdictName(v);
  for (char& ch : c)
    if (ch == ' ') ch = '-';
  return c;
}

// Snippet units shown on each side of the span.
constexpr size_t kHtmlContext = 160;

std::string MarkedSnippetHtml(const SnippetWindow& w) {
  std::string o = "<div class=\"snippet\">";
  if (w.cutBefore) o += "…";
  o += HtmlEscape(U8(w.before)) + "<mark class=\"span\">";
  for (const SnippetPiece& p : w.span) {
    const std::string text = HtmlEscape(U8(p.text));
    switch (p.kind) {
      case SnippetPiece::Kind::kSame: o += text; break;
      case SnippetPiece::Kind::kDeleted: o += "<del title=\"only in the source\">" + text + "</del>"; break;
      case SnippetPiece::Kind::kInserted: o += "<ins title=\"only in the sentence\">" + text + "</ins>"; break;
    }
  }
  o += "</mark>" + HtmlEscape(U8(w.after));
  if (w.cutAfter) o += "…";
  return o + "</div>";
}

// The sentence with the units the source lacks or has otherwise (the
// sentence side of insertions and substitutions) in <ins>.
std::string MarkedSentenceHtml(const SentenceResult& s, const SnippetMatch& m) {
  const std::u16string& t = s.sentence.text;
  std::vector<bool> own(t.size() + 1, false);
  for (const TAlignEdit& e : m.editList)
    if (e.Kind != TAlignEditKind::Delete && static_cast<size_t>(e.SentencePos) < t.size()) own[e.SentencePos] = true;
  // Whole characters: a pair is marked when either half is.
  for (size_t i = 0; i + 1 < t.size(); ++i)
    if (IsHighSurrogate(t[i]) && IsLowSurrogate(t[i + 1]) && (own[i] || own[i + 1])) own[i] = own[i + 1] = true;
  std::string o;
  for (size_t i = 0; i < t.size();) {
    size_t j = i;
    while (j < t.size() && own[j] == own[i]) ++j;
    const std::string text = HtmlEscape(U8(std::u16string_view(t).substr(i, j - i)));
    o += own[i] ? "<ins title=\"not in the source\">" + text + "</ins>" : text;
    i = j;
  }
  return o;
}

std::string EngineTableHtml(const std::vector<std::string>& engines, const std::vector<EngineTally>& tallies) {
  std::string o = "<table class=\"answers\"><tr><th>Answers per engine</th>";
  for (Outcome k : kAllOutcomes) o += std::string("<th>") + OutcomeName(k) + "</th>";
  o += "</tr>\n";
  for (size_t i = 0; i < engines.size() && i < tallies.size(); ++i) {
    o += "<tr><td>" + HtmlEscape(engines[i]) + "</td>";
    for (Outcome k : kAllOutcomes) o += "<td class=\"n\">" + std::to_string(tallies[i][k]) + "</td>";
    o += "</tr>\n";
  }
  return o + "</table>\n";
}

// Which source each copied sentence belongs to, for its footnote: keyed by
// (document, sentence).
using SourceIndex = std::map<std::pair<size_t, size_t>, size_t>;

SourceIndex IndexSources(const std::vector<Source>& sources) {
  SourceIndex sourceOf;
  for (size_t k = 0; k < sources.size(); ++k)
    for (const auto& ref : sources[k].refs) sourceOf[{ref.document, ref.sentence}] = k;
  return sourceOf;
}

// From the doctype to the line under the title, with the warnings that
// belong before any figure.
std::string HtmlHead(const Report& r, const Totals& all) {
  std::string o;
  o += "<!DOCTYPE html>\n<html lang=\"zh\">\n<head>\n<meta charset=\"utf-8\">\n";
  o += "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n";
  o += "<title>" + HtmlEscape(r.title) + "</title>\n<style>" + kCss + "</style>\n</head>\n<body>\n<main>\n";
  o += "<h1>" + HtmlEscape(r.title) + "</h1>\n";
  o += "<div class=\"meta\">Engines: " + HtmlEscape(Join(r.engines, ", ")) +
       (r.budgetMs > 0 ? " · budget " + std::to_string(r.budgetMs) + " ms per sentence" : "") +
       (r.strict ? " · strict match" : "") +
       (r.filter.empty() ? "" : " · URL filter " + HtmlEscape(r.filter)) + "</div>\n";
  if (all.MostlyUnchecked())
    o += "<p class=\"warn\"><b>Warning:</b> " + HtmlEscape(UncheckedWarning(all)) + ".</p>\n";
  if (r.interrupted)
    o += "<p class=\"meta\"><b>Interrupted:</b> the report covers what was checked before Ctrl-C.</p>\n";
  return o;
}

// The gauge and the headline figures.
std::string HtmlSummaryCard(const Totals& all, size_t sourceCount) {
  const double p = all.Originality();
  char buf[512];
  std::snprintf(buf, sizeof buf,
                "<section class=\"summary\"><div class=\"gauge\" style=\"--p:%.1f\"><span>%s</span></div>"
                "<div><div style=\"font-weight:600;margin-bottom:6px\">Originality</div><div class=\"figures\">"
                "<div><b>%zu</b>sentences checked</div><div><b>%zu</b>copied</div><div><b>%zu</b>original</div>"
                "<div><b>%zu</b>checked characters</div><div><b>%zu</b>sources</div><div><b>%zu</b>not checked</div>"
                "</div></div></section>\n",
                p < 0 ? 0.0 : p, Percent(p).c_str(), all.copied + all.original, all.copied, all.original,
                all.copiedChars + all.originalChars, sourceCount, all.notChecked);
  return buf;
}

// One sentence of the document text in its mark, copied ones with a
// footnote to their source.
std::string MarkedTextSentenceHtml(const Report& r, size_t d, size_t i, const SourceIndex& sourceOf) {
  const SentenceResult& s = r.documents[d].sentences[i];
  const std::string cls =
      s.verdict == Verdict::kCopied ? (s.exact == false ? "near" : "copied") : VerdictClass(s.verdict);
  const std::string title = s.verdict == Verdict::kCopied
                                ? s.engine + ": " + U8(s.url)
                                : std::string(VerdictName(s.verdict)) + ": " + CoverageLine(s.answers, r.engines);
  std::string o = "<mark class=\"" + cls + "\" id=\"d" + std::to_string(d) + "s" + std::to_string(i) +
                  "\" title=\"" + HtmlEscape(title) + "\">" + HtmlEscape(U8(s.sentence.text));
  if (s.verdict == Verdict::kCopied) {
    // GroupSources gives every copied sentence a source.
    const std::string n = std::to_string(sourceOf.at({d, i}) + 1);
    o += "<a class=\"ref\" href=\"#src" + n + "\">[" + n + "]</a>";
  }
  return o + "</mark>";
}

// The whole document text, every sentence not found original marked.
std::string MarkedTextHtml(const Report& r, size_t d, const SourceIndex& sourceOf) {
  const DocumentReport& doc = r.documents[d];
  std::string o = "<div class=\"doc\">";
  // Sentences come in document order and do not overlap.
  size_t pos = 0;
  for (size_t i = 0; i < doc.sentences.size(); ++i) {
    const auto& s = doc.sentences[i];
    if (s.verdict == Verdict::kOriginal) continue;
    o += HtmlEscape(U8(std::u16string_view(doc.text).substr(pos, s.sentence.offset - pos)));
    o += MarkedTextSentenceHtml(r, d, i, sourceOf);
    pos = s.sentence.offset + s.sentence.length;
  }
  o += HtmlEscape(U8(std::u16string_view(doc.text).substr(std::min(pos, doc.text.size()))));
  return o + "</div>\n";
}

std::string DocumentSectionHtml(const Report& r, size_t d, const SourceIndex& sourceOf) {
  const DocumentReport& doc = r.documents[d];
  std::string o = "<h2>" + HtmlEscape(doc.path) + " <span class=\"meta\">(" + HtmlEscape(doc.encoding) +
                  ", originality " + Percent(Summarise(doc).Originality()) + ")</span></h2>\n";
  o += EngineTableHtml(r.engines, TallyEngines(doc, r.engines.size()));
  o += "<div class=\"legend\"><mark class=\"copied\">found on the web</mark> <mark class=\"near\">found with a "
       "few edits</mark> <mark class=\"not-checked\">not checked</mark> unmarked: not found</div>\n";
  return o + MarkedTextHtml(r, d, sourceOf);
}

// A copied sentence beside what its source's snippet says, the differences
// marked on both sides.
std::string SnippetCardHtml(const Report& r, const SourceRef& ref) {
  const auto& s = r.documents[ref.document].sentences[ref.sentence];
  const SnippetMatch m = MatchSnippet(s, r.strict);
  const bool aligned = m.kind == SnippetMatch::Kind::kAligned;
  std::string o = "<div class=\"src-sent\"><div class=\"how " +
                  std::string(!aligned ? "unknown" : m.verbatim ? "verbatim" : "near") + "\">" +
                  HtmlEscape(MatchPhrase(m)) +
                  "</div>\n<div class=\"pair\"><div class=\"side\"><div class=\"side-head\">Sentence</div><a href=\"#d" +
                  std::to_string(ref.document) + "s" + std::to_string(ref.sentence) + "\">" +
                  MarkedSentenceHtml(s, m) + "</a></div>\n<div class=\"side\"><div class=\"side-head\">Source</div>";
  if (aligned)
    o += MarkedSnippetHtml(WindowOf(s, m, kHtmlContext));
  else if (!s.snippet.empty())
    o += "<div class=\"snippet\">" + HtmlEscape(U8(Cut(s.snippet, 240))) + "</div>";
  else
    o += "<div class=\"snippet none\">no snippet</div>";
  return o + "</div></div></div>\n";
}

// Source number k (from 0): its link, its counts and a card per sentence.
std::string SourceItemHtml(const Report& r, const Source& src, size_t k) {
  const std::string url = HtmlEscape(U8(src.url));
  const std::string shown = HtmlEscape(U8(src.displayUrl.empty() ? src.url : src.displayUrl));
  std::string o = "<li id=\"src" + std::to_string(k + 1) + "\"><div class=\"src-head\"><span>[" +
                  std::to_string(k + 1) + "] " +
                  (IsWebLink(src.url) ? "<a href=\"" + url + "\" rel=\"noreferrer\">" + shown + "</a>" : shown) +
                  "</span><span class=\"src-count\">" + std::to_string(src.refs.size()) + " sentence" +
                  (src.refs.size() == 1 ? "" : "s") + " · " + HtmlEscape(Join(src.engines, ", ")) +
                  "</span></div>\n";
  for (const auto& ref : src.refs) o += SnippetCardHtml(r, ref);
  return o + "</li>\n";
}

std::string SourcesSectionHtml(const Report& r, const std::vector<Source>& sources) {
  std::string o = "<h2>Sources</h2>\n";
  if (sources.empty()) o += "<p class=\"meta\">No sentence was found on the web.</p>\n";
  o += "<ol class=\"sources\">\n";
  for (size_t k = 0; k < sources.size(); ++k) o += SourceItemHtml(r, sources[k], k);
  return o + "</ol>\n";
}

// Every sentence of every document in one table, with its verdict.
std::string SentenceTableHtml(const Report& r) {
  std::string o =
      "<h2>Sentences</h2>\n<table><tr><th>#</th><th>Verdict</th><th>Sentence</th><th>Engine</th><th>Coverage</th></tr>\n";
  for (const auto& doc : r.documents) {
    for (size_t i = 0; i < doc.sentences.size(); ++i) {
      const auto& s = doc.sentences[i];
      o += "<tr><td>" + std::to_string(i + 1) + "</td><td class=\"v " + VerdictClass(s.verdict) + "\">" +
           VerdictName(s.verdict) + "</td><td>" + HtmlEscape(U8(s.sentence.text)) + "</td><td>" +
           HtmlEscape(s.engine) + "</td><td>" + HtmlEscape(CoverageLine(s.answers, r.engines)) + "</td></tr>\n";
    }
  }
  return o + "</table>\n";
}

std::string HtmlFoot(const Report& r) {
  char buf[256];
  std::snprintf(buf, sizeof buf, "<p class=\"meta\">Checked in %.1f s with %d host thread%s.</p>\n",
                static_cast<double>(r.elapsedMs) / 1000.0, r.threads, r.threads == 1 ? "" : "s");
  return std::string(buf) + "</main>\n</body>\n</html>\n";
}

}  // namespace

std::string RenderHtml(const Report& r) {
  const Totals all = Summarise(r);
  const auto sources = GroupSources(r);
  const SourceIndex sourceOf = IndexSources(sources);
  std::string o = HtmlHead(r, all) + HtmlSummaryCard(all, sources.size());
  for (size_t d = 0; d < r.documents.size(); ++d) o += DocumentSectionHtml(r, d, sourceOf);
  o += SourcesSectionHtml(r, sources);
  o += SentenceTableHtml(r);
  return o + HtmlFoot(r);
}

}  // namespace zqe::cli
