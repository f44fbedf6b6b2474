// Replays every file of a corpus folder through a fuzz target, so that the
// targets build and run with any compiler. Usage: <fuzzer> <corpus folder>.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

// NOLINTNEXTLINE(readability-identifier-naming): the name libFuzzer calls
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: " << argv[0] << " <corpus folder>\n";
    return 2;
  }
  int replayed = 0;
  for (const auto& entry : std::filesystem::directory_iterator(argv[1])) {
    if (!entry.is_regular_file()) {
      continue;
    }
    std::string bytes(entry.file_size(), '\0');
    std::ifstream(entry.path(), std::ios::binary).read(bytes.data(), std::ssize(bytes));
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    ++replayed;
  }
  std::cout << "replayed " << replayed << " inputs from " << argv[1] << "\n";
  return 0;
}
