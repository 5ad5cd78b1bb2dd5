#include "HostTestSupport.h"

namespace zqe::hosttest {
namespace {

TEST(HostLoadTest, LoadingWritesTheBannerAndExportsInitZQE) {
  std::filesystem::remove(HostDir() / ".dbg");
  LogTail tail;
  auto lib = LoadEngine();
  ASSERT_TRUE(lib);
  auto init = reinterpret_cast<TInitZQE>(lib->Symbol("InitZQE"));
  ASSERT_NE(init, nullptr);

  // The record is checked before anything else: a null record, then the
  // magic before the size.
  EXPECT_EQ(init(u"x.ini", nullptr), 87);
  TZQEInterface intf{};
  intf.Size = 99;
  intf.Magic = 1;
  EXPECT_EQ(init(u"x.ini", &intf), 1);

  const std::string module = LibraryPath().filename().string();
  const auto lines = tail.Lines();
  ASSERT_EQ(lines.size(), 4u);
  ExpectLine(lines[0], "[" + module + "] ", kBanner);
  ExpectLine(lines[1], "[" + module + "] ", "Debug : False");
  ExpectLine(lines[2], "[" + module + "] ", kSeparator);
  ExpectLine(lines[3], "[ZQE@" + module + "]", "__TRACE_ALIASNAME:ZQE");
}

}  // namespace
}  // namespace zqe::hosttest
