#include "HostTestSupport.h"

namespace zqe::hosttest {
namespace {

TEST(HostDebugLoadTest, WithAMarkerFileEveryLineGoesToTheFile) {
  test::WriteBytes(HostDir() / ".dbg", "[DBG]\r\nHTTP=1\r\n[DUMP]\r\nHTML=1\r\nPATH=dumps\r\n");
  LogTail tail;
  auto lib = LoadEngine();
  std::filesystem::remove(HostDir() / ".dbg");
  ASSERT_TRUE(lib);
  auto init = reinterpret_cast<TInitZQE>(lib->Symbol("InitZQE"));
  ASSERT_NE(init, nullptr);
  init(u"x.ini", nullptr);

  const std::string module = LibraryPath().filename().string();
  const std::string before = "[" + module + "] ", after = "[ZQE@" + module + "]";
  const auto lines = tail.Lines();
  ASSERT_EQ(lines.size(), 10u);
  ExpectLine(lines[0], before, kBanner);
  ExpectLine(lines[1], before, "Debug -      HTTP : True");
  ExpectLine(lines[2], before, std::string("Dump  -      Path : dumps") + static_cast<char>(platform::kPathDelim));
  ExpectLine(lines[3], before, "Dump  -      HTTP : False");
  ExpectLine(lines[4], before, "Dump  -      HTML : True");
  ExpectLine(lines[5], before, "Dump  - TextSlice : False");
  ExpectLine(lines[6], before, kSeparator);
  ExpectLine(lines[7], before, module + " load.");
  ExpectLine(lines[8], after, "__TRACE_ALIASNAME:ZQE");
  ExpectLine(lines[9], after, "InitZQE");
}

}  // namespace
}  // namespace zqe::hosttest
