// `make check-floats`: the text PutShortest writes for every finite float (about 4.3 billion) is
// std::to_chars' byte for byte, reads back to the same float with std::from_chars, and stays in
// its room. Some minutes on two cores; the writers' suite checks a sample of it.
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

#include "writers/number_text.h"

namespace {

constexpr uint64_t ALL = uint64_t{1} << 32;

// The floats of every `stride`-th bit pattern from `first` that fail; the first few are printed.
uint64_t Check(uint64_t first, uint64_t stride) {
  uint64_t failed = 0;
  for (uint64_t bits = first; bits < ALL; bits += stride) {
    uint32_t narrow = static_cast<uint32_t>(bits);
    float value;
    std::memcpy(&value, &narrow, sizeof value);
    if (!std::isfinite(value)) continue;
    char expected[64], text[dustweave::NUMBER_TEXT_ROOM + 8];
    std::memset(text, '#', sizeof text);
    char* end = std::to_chars(expected, expected + sizeof expected, value).ptr;
    char* made = dustweave::PutShortest(text, value);
    float read = 0;
    bool same = made - text == end - expected && std::memcmp(text, expected, static_cast<size_t>(end - expected)) == 0 &&
                std::from_chars(text, made, read).ptr == made && std::memcmp(&read, &value, sizeof read) == 0 &&
                std::memcmp(text + dustweave::NUMBER_TEXT_ROOM, "########", 8) == 0;
    if (!same && ++failed <= 10) {
      std::printf("%08x: std::to_chars %.*s, written %.*s\n", narrow, static_cast<int>(end - expected), expected,
                  static_cast<int>(made - text), text);
    }
  }
  return failed;
}

}  // namespace

int main() {
  auto start = std::chrono::steady_clock::now();
  unsigned threads = std::max(1u, std::thread::hardware_concurrency());
  std::vector<uint64_t> failed(threads);
  std::vector<std::thread> workers;
  for (unsigned t = 0; t < threads; ++t) workers.emplace_back([&failed, t, threads] { failed[t] = Check(t, threads); });
  uint64_t total = 0;
  for (unsigned t = 0; t < threads; ++t) {
    workers[t].join();
    total += failed[t];
  }
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("every finite float: %llu texts differ from std::to_chars' or do not read back (%.0f s, %u threads)\n",
              static_cast<unsigned long long>(total), seconds, threads);
  return total == 0 ? 0 : 1;
}
