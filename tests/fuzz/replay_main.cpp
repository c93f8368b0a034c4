// Runs a fuzz target over files without libFuzzer, so the normal test run replays every seed
// and every finding kept as a regression. Arguments: files or folders (every file in them,
// names starting with '.' skipped). Fails when a path is missing or no input was run, so a
// lost corpus cannot pass as a clean run.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

bool RunFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "replay: cannot read %s\n", path.string().c_str());
    return false;
  }
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  // A copy of exactly the input's size, so reads past the end are caught as they are under
  // libFuzzer.
  std::vector<std::uint8_t> copy(bytes.begin(), bytes.end());
  LLVMFuzzerTestOneInput(copy.empty() ? nullptr : copy.data(), copy.size());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::size_t runs = 0;
  for (int a = 1; a < argc; ++a) {
    const std::filesystem::path path(argv[a]);
    std::error_code error;
    if (std::filesystem::is_regular_file(path, error)) {
      if (!RunFile(path)) return 1;
      ++runs;
      continue;
    }
    if (!std::filesystem::is_directory(path, error)) {
      std::fprintf(stderr, "replay: no such file or folder: %s\n", argv[a]);
      return 1;
    }
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(path)) {
      if (entry.is_regular_file() && entry.path().filename().string()[0] != '.')
        files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    for (const auto& file : files) {
      if (!RunFile(file)) return 1;
      ++runs;
    }
  }
  std::printf("replay: %zu inputs, no law broken\n", runs);
  return runs > 0 ? 0 : 1;
}
