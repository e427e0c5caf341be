// The benchmark's baseline: read a file in 1 MiB blocks with fread and sum its big-endian 32-bit
// words, so every byte is really touched. Prints the sum and the byte count.
#include <cstdint>
#include <cstdio>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: bench_raw_read FILE\n");
    return 2;
  }
  FILE* in = std::fopen(argv[1], "rb");
  if (in == nullptr) {
    std::perror(argv[1]);
    return 1;
  }
  std::vector<unsigned char> block(1 << 20);
  uint32_t sum = 0;
  uint64_t total = 0;
  size_t got;
  while ((got = std::fread(block.data(), 1, block.size(), in)) > 0) {
    const unsigned char* bytes = block.data();
    for (size_t i = 0; i + 4 <= got; i += 4) {
      sum += (uint32_t{bytes[i]} << 24) | (uint32_t{bytes[i + 1]} << 16) |
             (uint32_t{bytes[i + 2]} << 8) | uint32_t{bytes[i + 3]};
    }
    total += got;
  }
  std::fclose(in);
  std::printf("%llu bytes, sum %u\n", static_cast<unsigned long long>(total), sum);
  return 0;
}
