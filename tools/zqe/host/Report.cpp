#include "host/Report.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <nlohmann/json.hpp>

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
      if (added) out.push_back(Source{s.url, s.displayUrl, {}, {}, 0});
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

// ---- text ------------------------------------------------------------------

namespace {

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
        line("        " + s.engine + (!s.exact ? ": " : *s.exact ? ", verbatim: " : ", near: ") + U8(s.url));
        if (!s.displayUrl.empty() && s.displayUrl != s.url) line("        shown as " + U8(Cut(s.displayUrl, 80)));
        if (!s.snippet.empty()) line("        \"" + U8(Cut(s.snippet, 100)) + "\"");
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

std::string RenderJson(const Report& r) {
  using nlohmann::ordered_json;
  auto originality = [](const Totals& t) {
    return t.Originality() < 0 ? ordered_json(nullptr) : ordered_json(t.Originality());
  };
  auto totalsJson = [](const Totals& t) {
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
  };
  auto tallyJson = [&r](const std::vector<EngineTally>& tallies) {
    ordered_json j = ordered_json::object();
    for (size_t i = 0; i < r.engines.size() && i < tallies.size(); ++i) {
      ordered_json counts = ordered_json::object();
      for (Outcome k : kAllOutcomes) counts[OutcomeJsonKey(k)] = tallies[i][k];
      j[r.engines[i]] = std::move(counts);
    }
    return j;
  };
  const Totals all = Summarise(r);
  ordered_json j;
  j["originality"] = originality(all);
  j["summary"] = totalsJson(all);
  j["too_little_checked"] = all.MostlyUnchecked();
  j["engines"] = r.engines;
  j["engine_answers"] = tallyJson(TallyEngines(r));
  j["budget_ms"] = r.budgetMs;
  j["strict"] = r.strict;
  j["filter"] = r.filter;
  j["min_length"] = r.minLength;
  j["threads"] = r.threads;
  j["interrupted"] = r.interrupted;
  j["elapsed_ms"] = r.elapsedMs;
  j["library_ms"] = r.libraryMs;
  j["documents"] = ordered_json::array();
  for (const auto& doc : r.documents) {
    const Totals t = Summarise(doc);
    ordered_json d = {{"path", doc.path},
                      {"encoding", doc.encoding},
                      {"originality", originality(t)},
                      {"summary", totalsJson(t)},
                      {"engine_answers", tallyJson(TallyEngines(doc, r.engines.size()))},
                      {"sentences", ordered_json::array()}};
    for (size_t i = 0; i < doc.sentences.size(); ++i) {
      const auto& s = doc.sentences[i];
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
        e["display_url"] = U8(s.displayUrl);
        e["snippet"] = U8(s.snippet);
        if (s.exact) e["exact"] = *s.exact;
        e["match_ms"] = s.matchMs;
      }
      e["total_ms"] = s.totalMs;
      d["sentences"].push_back(std::move(e));
    }
    j["documents"].push_back(std::move(d));
  }
  j["sources"] = ordered_json::array();
  for (const auto& src : GroupSources(r)) {
    ordered_json refs = ordered_json::array();
    for (const auto& ref : src.refs) refs.push_back({{"document", ref.document}, {"sentence", ref.sentence}});
    j["sources"].push_back({{"url", U8(src.url)},
                            {"display_url", U8(src.displayUrl)},
                            {"engines", src.engines},
                            {"sentences", src.refs.size()},
                            {"characters", src.characters},
                            {"refs", refs}});
  }
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
.src-sent>a{color:inherit;text-decoration:none}.src-sent>a:hover{text-decoration:underline}
.snippet{color:var(--muted);font-size:13px}
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

}  // namespace

std::string RenderHtml(const Report& r) {
  const Totals all = Summarise(r);
  const auto sources = GroupSources(r);
  // Which source each copied sentence belongs to, for its footnote.
  std::map<std::pair<size_t, size_t>, size_t> sourceOf;
  for (size_t k = 0; k < sources.size(); ++k)
    for (const auto& ref : sources[k].refs) sourceOf[{ref.document, ref.sentence}] = k;

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

  const double p = all.Originality();
  char buf[512];
  std::snprintf(buf, sizeof buf,
                "<section class=\"summary\"><div class=\"gauge\" style=\"--p:%.1f\"><span>%s</span></div>"
                "<div><div style=\"font-weight:600;margin-bottom:6px\">Originality</div><div class=\"figures\">"
                "<div><b>%zu</b>sentences checked</div><div><b>%zu</b>copied</div><div><b>%zu</b>original</div>"
                "<div><b>%zu</b>checked characters</div><div><b>%zu</b>sources</div><div><b>%zu</b>not checked</div>"
                "</div></div></section>\n",
                p < 0 ? 0.0 : p, Percent(p).c_str(), all.copied + all.original, all.copied, all.original,
                all.copiedChars + all.originalChars, sources.size(), all.notChecked);
  o += buf;

  for (size_t d = 0; d < r.documents.size(); ++d) {
    const auto& doc = r.documents[d];
    o += "<h2>" + HtmlEscape(doc.path) + " <span class=\"meta\">(" + HtmlEscape(doc.encoding) + ", originality " +
         Percent(Summarise(doc).Originality()) + ")</span></h2>\n";
    o += EngineTableHtml(r.engines, TallyEngines(doc, r.engines.size()));
    o += "<div class=\"legend\"><mark class=\"copied\">found on the web</mark> <mark class=\"not-checked\">not "
         "checked</mark> unmarked: not found</div>\n";
    o += "<div class=\"doc\">";
    // Sentences come in document order and do not overlap.
    size_t pos = 0;
    for (size_t i = 0; i < doc.sentences.size(); ++i) {
      const auto& s = doc.sentences[i];
      if (s.verdict == Verdict::kOriginal) continue;
      o += HtmlEscape(U8(std::u16string_view(doc.text).substr(pos, s.sentence.offset - pos)));
      std::string cls = s.verdict == Verdict::kCopied ? (s.exact == false ? "near" : "copied") : VerdictClass(s.verdict);
      std::string title = s.verdict == Verdict::kCopied ? s.engine + ": " + U8(s.url)
                                                        : std::string(VerdictName(s.verdict)) + ": " +
                                                              CoverageLine(s.answers, r.engines);
      o += "<mark class=\"" + cls + "\" id=\"d" + std::to_string(d) + "s" + std::to_string(i) + "\" title=\"" +
           HtmlEscape(title) + "\">" + HtmlEscape(U8(s.sentence.text));
      if (s.verdict == Verdict::kCopied)
        o += "<a class=\"ref\" href=\"#src" + std::to_string(sourceOf[{d, i}] + 1) + "\">[" +
             std::to_string(sourceOf[{d, i}] + 1) + "]</a>";
      o += "</mark>";
      pos = s.sentence.offset + s.sentence.length;
    }
    o += HtmlEscape(U8(std::u16string_view(doc.text).substr(std::min(pos, doc.text.size()))));
    o += "</div>\n";
  }

  o += "<h2>Sources</h2>\n";
  if (sources.empty()) o += "<p class=\"meta\">No sentence was found on the web.</p>\n";
  o += "<ol class=\"sources\">\n";
  for (size_t k = 0; k < sources.size(); ++k) {
    const auto& src = sources[k];
    const std::string url = HtmlEscape(U8(src.url));
    const std::string shown = HtmlEscape(U8(src.displayUrl.empty() ? src.url : src.displayUrl));
    o += "<li id=\"src" + std::to_string(k + 1) + "\"><div class=\"src-head\"><span>[" + std::to_string(k + 1) +
         "] " + (IsWebLink(src.url) ? "<a href=\"" + url + "\" rel=\"noreferrer\">" + shown + "</a>" : shown) +
         "</span><span class=\"src-count\">" + std::to_string(src.refs.size()) + " sentence" +
         (src.refs.size() == 1 ? "" : "s") + " · " + HtmlEscape(Join(src.engines, ", ")) + "</span></div>\n";
    for (const auto& ref : src.refs) {
      const auto& s = r.documents[ref.document].sentences[ref.sentence];
      o += "<div class=\"src-sent\"><a href=\"#d" + std::to_string(ref.document) + "s" + std::to_string(ref.sentence) +
           "\">" + HtmlEscape(U8(s.sentence.text)) + "</a>";
      if (!s.snippet.empty()) o += "<div class=\"snippet\">" + HtmlEscape(U8(Cut(s.snippet, 240))) + "</div>";
      o += "</div>\n";
    }
    o += "</li>\n";
  }
  o += "</ol>\n";

  o += "<h2>Sentences</h2>\n<table><tr><th>#</th><th>Verdict</th><th>Sentence</th><th>Engine</th><th>Coverage</th></tr>\n";
  for (size_t d = 0; d < r.documents.size(); ++d) {
    const auto& doc = r.documents[d];
    for (size_t i = 0; i < doc.sentences.size(); ++i) {
      const auto& s = doc.sentences[i];
      o += "<tr><td>" + std::to_string(i + 1) + "</td><td class=\"v " + VerdictClass(s.verdict) + "\">" +
           VerdictName(s.verdict) + "</td><td>" + HtmlEscape(U8(s.sentence.text)) + "</td><td>" +
           HtmlEscape(s.engine) + "</td><td>" + HtmlEscape(CoverageLine(s.answers, r.engines)) + "</td></tr>\n";
    }
  }
  o += "</table>\n";
  std::snprintf(buf, sizeof buf, "<p class=\"meta\">Checked in %.1f s with %d host thread%s.</p>\n",
                static_cast<double>(r.elapsedMs) / 1000.0, r.threads, r.threads == 1 ? "" : "s");
  o += buf;
  o += "</main>\n</body>\n</html>\n";
  return o;
}

}  // namespace zqe::cli
