#include <gtest/gtest.h>

#include <random>

#include <atomic>
#include <thread>

#include "TestSupport.h"
#include "platform/FieldText.h"
#include "platform/Platform.h"
#include "platform/Text.h"

namespace zqe::platform {
namespace {

using test::TempDir;

// Every cap on UTF-16 text (record fields, remarks, report cells) cuts
// through this one function.
TEST(TextTest, SurrogateSafeCutNeverEndsOnTheFirstHalfOfAPair) {
  const struct {
    std::u16string_view text;
    size_t limit;
    size_t expected;
  } cases[] = {
      {u"abc", 5, 3},                    // shorter than the cap: whole
      {u"abc", 3, 3},                    // exactly the cap
      {u"abcdef", 3, 3},                 // plain cut
      {u"ab\U0001F600", 3, 2},           // the cap falls inside the pair
      {u"ab\U0001F600", 4, 4},           // the pair fits
      {u"a\U0001F600b", 3, 3},           // the cap falls after the pair
      {u"\U0001F600", 1, 0},             // nothing fits
      {u"abc", 0, 0},
      {u"ab\xDC00" u"c", 3, 3},          // a lone second half is not held back
  };
  for (const auto& c : cases)
    EXPECT_EQ(SurrogateSafeCut(c.text, c.limit), c.expected)
        << U16ToUtf8(c.text) << " limit " << c.limit;
}

TEST(TextTest, FieldViewStopsAtTheFirstZeroOrTheEndOfTheArray) {
  const char16_t terminated[6] = {u'a', u'b', 0, u'c', 0, 0};
  EXPECT_EQ(FieldView(terminated), u"ab");
  const char16_t full[3] = {u'x', u'y', u'z'};
  EXPECT_EQ(FieldView(full), u"xyz");
  EXPECT_EQ(FieldText(full), u"xyz");
}

TEST(TextTest, Utf8RoundTripAndInvalidBytesBecomeReplacementCharacters) {
  EXPECT_EQ(Utf8ToU16("a\xE4\xB8\xAD\xF0\x9F\x98\x80"), u"a\u4E2D\U0001F600");
  EXPECT_EQ(U16ToUtf8(u"a\u4E2D\U0001F600"), "a\xE4\xB8\xAD\xF0\x9F\x98\x80");
  EXPECT_EQ(Utf8ToU16("x\xFFy"), u"x\uFFFDy");
  EXPECT_EQ(Utf8ToU16("\xE4\xB8"), u"\uFFFD");             // truncated sequence
  EXPECT_EQ(Utf8ToU16("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");  // encoded surrogate
  EXPECT_EQ(U16ToUtf8(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
}

// Against the library's find on texts made of the marker's own pieces,
// so that near misses (first and last unit right, middle wrong) and hits
// fall at every place of a block and at the end of the text.
TEST(TextTest, FindTextAgreesWithFind) {
  const uint32_t seed = std::random_device{}();
  std::mt19937 rng(seed);
  const std::u16string_view markers[] = {u"</body", u"<b", u"x", u"<<", u"\u4E2D\u6587"};
  const std::u16string_view pieces[] = {u"<", u"/", u"b", u"</bo", u"dy", u"</body", u"y", u"\u4E2D", u"\u6587",
                                        u"abcdefghij", u"<<"};
  for (int n = 0; n < 20000; ++n) {
    std::u16string s;
    const int len = static_cast<int>(rng() % 30);
    for (int i = 0; i < len; ++i) s += pieces[rng() % std::size(pieces)];
    const std::u16string_view m = markers[rng() % std::size(markers)];
    const size_t from = rng() % (s.size() + 2);
    // Both loops, so that the 16-unit one is held to the rule on a machine
    // that would take the 32-unit one.
    for (bool wide : {true, false})
      ASSERT_EQ(text_detail::FindText(s, m, from, wide), std::u16string_view(s).find(m, from))
          << "seed " << seed << " text '" << U16ToUtf8(s) << "' marker '" << U16ToUtf8(m) << "' from " << from
          << (wide ? " wide" : " narrow");
  }
  EXPECT_EQ(FindText(u"abc", u"", 3), 3u);
  EXPECT_EQ(FindText(u"abc", u"", 4), std::u16string_view::npos);
}

TEST(TextTest, IntegersParseAsDecimalOrHexadecimal) {
  struct Case {
    std::u16string_view text;
    bool ok;
    int32_t value;
  } cases[] = {{u"10", true, 10},  {u" -7 ", true, -7}, {u"$10", true, 16},       {u"0x1F", true, 31},
               {u"abc", false, 0}, {u"", false, 0},     {u"true", false, 0},      {u"12a", false, 0},
               {u"2147483648", false, 0}, {u"-2147483648", true, INT32_MIN}, {u"$FFFFFFFF", true, -1}};
  for (const auto& c : cases) {
    int32_t v = 0;
    EXPECT_EQ(TryParseInt32(c.text, v), c.ok) << U16ToUtf8(c.text);
    if (c.ok) {
      EXPECT_EQ(v, c.value) << U16ToUtf8(c.text);
    }
  }
}

TEST(FileTest, ForceDirectoriesCreatesEveryMissingParent) {
  TempDir tmp;
  const std::u16string deep = tmp.dir() + u"a" + kPathDelim + u"b" + kPathDelim + u"c";
  EXPECT_FALSE(DirectoryExists(deep));
  EXPECT_TRUE(ForceDirectories(deep));
  EXPECT_TRUE(DirectoryExists(deep));
  EXPECT_FALSE(FileExists(deep));
  // A file in the way makes creation fail instead of throwing.
  test::WriteBytes(tmp.path() / "blocker", "x");
  EXPECT_FALSE(ForceDirectories(tmp.dir() + u"blocker" + kPathDelim + u"sub"));
}

TEST(FileTest, AppendCreatesThenAppendsAndNewFileReplaces) {
  TempDir tmp;
  const std::u16string f = tmp.dir() + u"\u6587.txt";
  EXPECT_EQ(AppendToFile(f, "one\r\n"), 0u);
  EXPECT_EQ(AppendToFile(f, "two\r\n"), 0u);
  std::string bytes;
  ASSERT_TRUE(ReadWholeFile(f, bytes));
  EXPECT_EQ(bytes, "one\r\ntwo\r\n");
  EXPECT_TRUE(WriteNewFile(f, "new"));
  ASSERT_TRUE(ReadWholeFile(f, bytes));
  EXPECT_EQ(bytes, "new");
  EXPECT_NE(AppendToFile(tmp.dir() + u"missing" + kPathDelim + u"x.log", "x"), 0u);
  EXPECT_FALSE(WriteNewFile(tmp.dir() + u"missing" + kPathDelim + u"x.txt", "x"));
}

TEST(PathTest, ModuleAndHostPathsNameRealFiles) {
  EXPECT_TRUE(FileExists(HostProgramPath()));
  EXPECT_TRUE(FileExists(ModulePath()));
  EXPECT_EQ(ExtractFileName(u"a/b\\c.dll"), u"c.dll");
  EXPECT_EQ(ExtractFilePath(u"a/b\\c.dll"), u"a/b\\");
  EXPECT_EQ(ExtractFileDir(u"a/b\\c.dll"), u"a/b");
  EXPECT_EQ(IncludeTrailingDelim(u"x"), std::u16string(u"x") + kPathDelim);
}

TEST(IniTest, ReadsSectionsInOrderWithCaseInsensitiveNamesAndTrimmedValues) {
  TempDir tmp;
  const auto path = tmp.path() / "a.ini";
  test::WriteBytes(path, test::Utf16LeWithBom(u"[Baidu]\r\nTitle =  \u767E\u5EA6  \r\nurl=http://x\r\n"
                                              u"[bing]\r\nTITLE=Bing\r\n[Empty]\r\n"));
  auto ini = OpenIniFile(TempDir::u16(path));
  const auto sections = ini->ReadSections();
  ASSERT_EQ(sections.size(), 3u);
  EXPECT_EQ(sections[0], u"Baidu");
  EXPECT_EQ(sections[1], u"bing");
  EXPECT_EQ(sections[2], u"Empty");
  EXPECT_EQ(ini->ReadString(u"BAIDU", u"title", u"d"), u"\u767E\u5EA6");
  EXPECT_EQ(ini->ReadString(u"Bing", u"Title", u"d"), u"Bing");
  EXPECT_EQ(ini->ReadString(u"Bing", u"url", u"d"), u"d");
  EXPECT_EQ(ini->ReadString(u"nosuch", u"url", u""), u"");
}

TEST(IniTest, Utf8FilesWithBomAndOnPosixWithoutBomReadAlike) {
  TempDir tmp;
  std::vector<std::string> boms = {"\xEF\xBB\xBF"};
  // Windows' own reader takes a file without a byte-order mark as ANSI.
  if (kPathDelim == u'/') boms.push_back("");
  for (const std::string& bom : boms) {
    const auto path = tmp.path() / "utf8.ini";
    test::WriteBytes(path, bom + "; comment\n[\xE7\x99\xBE\xE5\xBA\xA6]\nTitle=\xE4\xB8\xAD\xE6\x96\x87\n");
    auto ini = OpenIniFile(TempDir::u16(path));
    const auto sections = ini->ReadSections();
    ASSERT_EQ(sections.size(), 1u) << bom.size();
    EXPECT_EQ(sections[0], u"\u767E\u5EA6") << bom.size();
    EXPECT_EQ(ini->ReadString(sections[0], u"title", u""), u"\u4E2D\u6587") << bom.size();
  }
}

TEST(IniTest, ValuesAreCutAt2047Units) {
  TempDir tmp;
  const auto path = tmp.path() / "long.ini";
  test::WriteBytes(path, test::Utf16LeWithBom(u"[s]\r\nk=" + std::u16string(3000, u'v') + u"\r\n"));
  auto ini = OpenIniFile(TempDir::u16(path));
  EXPECT_EQ(ini->ReadString(u"s", u"k", u"").size(), 2047u);
}

TEST(IniTest, MissingFileThrowsOnRead) {
  TempDir tmp;
  auto ini = OpenIniFile(tmp.dir() + u"none.ini");
  EXPECT_THROW(ini->ReadSections(), std::runtime_error);
}

TEST(LastErrorTest, IsPerThread) {
  // Both threads set their value, wait (spinning, so that no system call
  // touches the value) until the other has set its own, then read back.
  std::atomic<int> phase{0};
  uint32_t seenByOther = 0;
  std::thread other([&] {
    while (phase.load() != 1) {
    }
    SetLastError(87);
    phase = 2;
    while (phase.load() != 3) {
    }
    seenByOther = GetLastError();
  });
  SetLastError(30);
  phase = 1;
  while (phase.load() != 2) {
  }
  const uint32_t seenHere = GetLastError();
  phase = 3;
  other.join();
  EXPECT_EQ(seenHere, 30u);
  EXPECT_EQ(seenByOther, 87u);
}

TEST(EventTest, WaitsAnswerLikeTheWindowsWaits) {
  Event manual(true, false), automatic(false, false);
  EXPECT_EQ(WaitForOne(manual, 0), kWaitTimeout);
  EXPECT_EQ(WaitForOne(manual, 20), kWaitTimeout);
  manual.Set();
  EXPECT_EQ(WaitForOne(manual, 0), 0);
  EXPECT_EQ(WaitForOne(manual, 0), 0);  // manual reset stays set
  manual.Reset();
  EXPECT_EQ(WaitForOne(manual, 0), kWaitTimeout);

  automatic.Set();
  EXPECT_EQ(WaitForOne(automatic, 0), 0);
  EXPECT_EQ(WaitForOne(automatic, 0), kWaitTimeout);  // consumed by the wait

  Event* both[] = {&manual, &automatic};
  EXPECT_EQ(WaitForAny(both, 0), kWaitTimeout);
  automatic.Set();
  EXPECT_EQ(WaitForAny(both, 0), 1);
  EXPECT_EQ(WaitForAll(both, 0), kWaitTimeout);
  manual.Set();
  automatic.Set();
  EXPECT_EQ(WaitForAll(both, 0), 0);
  EXPECT_EQ(WaitForOne(automatic, 0), kWaitTimeout);  // the all-wait consumed it
  EXPECT_EQ(WaitForAny(std::span<Event* const>(), 0), kWaitFailed);
}


// A manual-reset event set and at once reset again still releases every
// thread that was already waiting on it, as a Windows event does: an abort
// that waits for an engine's idle signal must not sleep through a quick
// Set/Reset between two checks.
TEST(EventTest, SetThenResetReleasesThreadsAlreadyWaiting) {
  for (bool waitAll : {false, true}) {
    Event manual(true, false);
    std::atomic<int> waiting{0};
    std::atomic<int> outcomes[3] = {{-2}, {-2}, {-2}};
    std::vector<std::thread> waiters;
    for (auto& outcome : outcomes) {
      waiters.emplace_back([&] {
        Event* one[] = {&manual};
        ++waiting;
        outcome = waitAll ? WaitForAll(one, 10000) : WaitForAny(one, 10000);
      });
    }
    while (waiting.load() < 3) std::this_thread::yield();
    SleepMs(100);  // let them reach the wait itself
    manual.Set();
    manual.Reset();
    for (auto& t : waiters) t.join();
    for (auto& outcome : outcomes) EXPECT_EQ(outcome.load(), 0) << "waitAll=" << waitAll;
    EXPECT_EQ(WaitForOne(manual, 0), kWaitTimeout);  // and the reset stands
  }
}
TEST(ThreadTest, SuspendedThreadRunsOnlyAfterResumeAndWakesAWaiter) {
  Event started(true, false), go(true, false);
  std::atomic<int> ran{0};
  auto t = std::make_unique<Thread>([&] {
    ran = 1;
    started.Set();
    WaitForOne(go, kInfinite);
    ran = 2;
    started.Set();
  });
  SleepMs(30);
  EXPECT_EQ(ran.load(), 0);
  ASSERT_TRUE(t->Resume());
  EXPECT_FALSE(t->Resume());
  t.reset();  // the thread runs on without its object
  ASSERT_EQ(WaitForOne(started, 5000), 0);
  started.Reset();
  go.Set();
  ASSERT_EQ(WaitForOne(started, 5000), 0);
  for (int i = 0; i < 500 && ran.load() != 2; ++i) SleepMs(1);
  EXPECT_EQ(ran.load(), 2);
}

TEST(ThreadTest, RunsItsBodyOnAStackOfTheAskedSize) {
  Event done(true, false);
  std::atomic<int> ran{0};
  auto t = std::make_unique<Thread>(
      [&] {
        // An eighth of the asked-for 1 MB; the rest leaves room for what
        // sanitizers add to every frame.
        volatile char buffer[128 * 1024];
        buffer[0] = 1;
        buffer[sizeof buffer - 1] = 2;
        ran = buffer[0] + buffer[sizeof buffer - 1];
        done.Set();
      },
      1024 * 1024);
  ASSERT_TRUE(t->Resume());
  EXPECT_FALSE(t->Resume());
  t.reset();
  ASSERT_EQ(WaitForOne(done, 5000), 0);
  EXPECT_EQ(ran.load(), 3);
}

TEST(MutexTest, IsRecursiveAndExcludesOtherThreads) {
  Mutex m;
  m.lock();
  EXPECT_TRUE(m.try_lock());  // recursive
  bool other = true;
  std::thread([&] { other = m.try_lock(); }).join();
  EXPECT_FALSE(other);
  m.unlock();
  m.unlock();
  std::thread([&] {
    other = m.try_lock();
    if (other) m.unlock();
  }).join();
  EXPECT_TRUE(other);
}

TEST(DebugOutputTest, HookSeesEveryMessage) {
  test::DebugCapture cap;
  OutputDebug(u"hello \u4E16\u754C");
  ASSERT_EQ(cap.lines().size(), 1u);
  EXPECT_EQ(cap.lines()[0], "hello \xE4\xB8\x96\xE7\x95\x8C");
}

TEST(RandomTest, StaysInRange) {
  for (int i = 0; i < 1000; ++i) EXPECT_LT(Random(7), 7u);
  EXPECT_EQ(Random(0), 0u);
}

}  // namespace
}  // namespace zqe::platform
