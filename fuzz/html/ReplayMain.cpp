// Runs a fuzz target's entry point over saved inputs, for builds without
// libFuzzer: each argument is a file or a directory of files. CI uses it to
// replay the seed corpus in the ordinary and sanitizer builds.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

bool Replay(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "cannot read %s\n", file.string().c_str());
    return false;
  }
  std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  LLVMFuzzerTestOneInput(data.data(), data.size());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  size_t count = 0;
  for (int i = 1; i < argc; ++i) {
    const std::filesystem::path arg(argv[i]);
    if (std::filesystem::is_directory(arg)) {
      for (const auto& entry : std::filesystem::directory_iterator(arg)) {
        if (!entry.is_regular_file()) continue;
        if (!Replay(entry.path())) return 1;
        ++count;
      }
    } else {
      if (!Replay(arg)) return 1;
      ++count;
    }
  }
  std::printf("replayed %zu inputs\n", count);
  // An empty or missing corpus would make the replay pass without testing.
  return count > 0 ? 0 : 1;
}
