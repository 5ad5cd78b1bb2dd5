// An INI reader with the observable behaviour of GetPrivateProfileStringW,
// for the files the engine reads: UTF-8 with or without BOM, UTF-16 with BOM.
#include <stdexcept>
#include <utility>

#include "platform/Platform.h"
#include "platform/Text.h"

namespace zqe::platform {
namespace {

constexpr size_t kMaxValueUnits = 2047;

std::u16string DecodeIniBytes(const std::string& bytes) {
  const auto* b = reinterpret_cast<const unsigned char*>(bytes.data());
  const size_t n = bytes.size();
  if (n >= 2 && ((b[0] == 0xFF && b[1] == 0xFE) || (b[0] == 0xFE && b[1] == 0xFF))) {
    const bool le = b[0] == 0xFF;
    std::u16string out;
    out.reserve(n / 2);
    for (size_t i = 2; i + 1 < n; i += 2)
      out.push_back(le ? char16_t(b[i] | (b[i + 1] << 8)) : char16_t((b[i] << 8) | b[i + 1]));
    return out;
  }
  std::string_view v(bytes);
  if (n >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) v.remove_prefix(3);
  return Utf8ToU16(v);
}

// Blanks and tabs only: the profile functions keep other control characters.
std::u16string_view TrimBlanks(std::u16string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && (s[b] == u' ' || s[b] == u'\t')) ++b;
  while (e > b && (s[e - 1] == u' ' || s[e - 1] == u'\t')) --e;
  return s.substr(b, e - b);
}

struct Section {
  std::u16string name;
  std::vector<std::pair<std::u16string, std::u16string>> entries;
};

class PosixIniReader final : public IniReader {
 public:
  explicit PosixIniReader(std::u16string path) : path_(std::move(path)) {}

  std::vector<std::u16string> ReadSections() override {
    Load();
    std::vector<std::u16string> names;
    names.reserve(sections_.size());
    for (const auto& s : sections_) names.push_back(s.name);
    return names;
  }

  std::u16string ReadString(std::u16string_view section, std::u16string_view key, std::u16string_view def) override {
    Load();
    for (const auto& s : sections_) {
      if (!SameTextAscii(s.name, section)) continue;
      for (const auto& [k, v] : s.entries)
        if (SameTextAscii(k, key)) return v;
      break;  // a repeated section's keys were merged into the first
    }
    std::u16string d(def);
    if (d.size() > kMaxValueUnits) d.resize(kMaxValueUnits);
    return d;
  }

 private:
  void Load() {
    if (loaded_) return;
    std::string bytes;
    if (!ReadWholeFile(path_, bytes)) throw std::runtime_error("Cannot open file \"" + U16ToUtf8(path_) + "\"");
    Parse(DecodeIniBytes(bytes));
    loaded_ = true;
  }

  void Parse(std::u16string_view text) {
    Section* current = nullptr;
    size_t pos = 0;
    while (pos < text.size()) {
      size_t end = text.find_first_of(u"\r\n", pos);
      if (end == std::u16string_view::npos) end = text.size();
      const std::u16string_view line = TrimBlanks(text.substr(pos, end - pos));
      pos = end;
      if (pos < text.size() && text[pos] == u'\r') ++pos;
      if (pos < text.size() && text[pos] == u'\n') ++pos;

      if (line.empty() || line[0] == u';') continue;
      if (line[0] == u'[') {
        const size_t close = line.find(u']');
        const std::u16string_view name =
            TrimBlanks(line.substr(1, close == std::u16string_view::npos ? std::u16string_view::npos : close - 1));
        current = nullptr;
        for (auto& s : sections_)
          if (SameTextAscii(s.name, name)) current = &s;
        if (!current) {
          sections_.push_back(Section{std::u16string(name), {}});
          current = &sections_.back();
        }
        continue;
      }
      if (!current) continue;  // lines before the first section belong to none
      const size_t eq = line.find(u'=');
      std::u16string_view key = TrimBlanks(line.substr(0, eq));
      std::u16string_view value = eq == std::u16string_view::npos ? std::u16string_view{} : TrimBlanks(line.substr(eq + 1));
      if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') && value.back() == value.front())
        value = value.substr(1, value.size() - 2);
      if (value.size() > kMaxValueUnits) value = value.substr(0, kMaxValueUnits);
      bool seen = false;
      for (const auto& e : current->entries)
        if (SameTextAscii(e.first, key)) seen = true;
      if (!seen) current->entries.emplace_back(std::u16string(key), std::u16string(value));
    }
  }

  std::u16string path_;
  bool loaded_ = false;
  std::vector<Section> sections_;
};

}  // namespace

std::unique_ptr<IniReader> OpenIniFile(std::u16string_view path) {
  return std::make_unique<PosixIniReader>(std::u16string(path));
}

}  // namespace zqe::platform
