// The benchmark's baseline for writing: as many bytes as a conversion wrote, in 1 MiB blocks with
// fwrite to a new file, closed and then removed. What a writer costs beyond moving its bytes is
// what the conversion takes over this and the raw read of its input.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: bench_raw_write FILE BYTES\n");
    return 2;
  }
  const uint64_t bytes = std::strtoull(argv[2], nullptr, 10);
  FILE* out = std::fopen(argv[1], "wb");
  if (out == nullptr) {
    std::perror(argv[1]);
    return 1;
  }
  std::vector<unsigned char> block(1 << 20);
  bool ok = true;
  for (uint64_t left = bytes; left > 0 && ok;) {
    const size_t size = left < block.size() ? static_cast<size_t>(left) : block.size();
    std::memset(block.data(), static_cast<int>(left & 0xFF), size);  // bytes that differ, every block
    ok = std::fwrite(block.data(), 1, size, out) == size;
    left -= size;
  }
  ok = std::fclose(out) == 0 && ok;
  std::remove(argv[1]);
  if (!ok) std::perror(argv[1]);
  return ok ? 0 : 1;
}
