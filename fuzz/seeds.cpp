// Writes the fuzz targets' seed corpus (kept in fuzz/corpus/): small valid and damaged pfx files,
// each behind the command target's 12-byte prefix of options and answers, and a few reader call
// sequences. Usage: fuzz_seeds CORPUS_DIR (writes CORPUS_DIR/command and CORPUS_DIR/reader).
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "pfxtools/pfx_writer.h"

namespace {

using Bytes = std::vector<uint8_t>;

// The command target's prefix: flags, step selector (an index into its table), a raw step,
// surfaces / pick / null points, allocation failure (0: none; 8 and above: none).
Bytes Prefix(uint8_t flags, uint8_t stepIndex, uint8_t surfaces = 0, uint8_t failure = 0xFF) {
  Bytes prefix(12, 0);
  prefix[0] = flags;
  prefix[1] = stepIndex;
  prefix[10] = surfaces;
  prefix[11] = failure;
  return prefix;
}

Bytes Join(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

pfxwrite::File Simple(int tracks, int32_t span, int32_t indexLimit) {
  pfxwrite::File file;
  file.indexLimit = indexLimit;
  for (int i = 0; i < tracks; ++i) {
    file.tracks.push_back(pfxwrite::RuledTrack(0, span, span, indexLimit, static_cast<float>(i)));
  }
  return file;
}

Bytes Cut(Bytes bytes, size_t size) {
  bytes.resize(size);
  return bytes;
}

void Write(const std::filesystem::path& dir, const std::string& name, const Bytes& bytes) {
  std::filesystem::create_directories(dir);
  std::string error;
  if (!pfxwrite::WriteBytes((dir / name).string(), bytes, &error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    std::exit(1);
  }
}

void WriteCommandSeeds(const std::filesystem::path& dir) {
  Bytes typical = pfxwrite::Encode(Simple(3, 8, 8));
  Write(dir, "typical", Join(Prefix(0, 0), typical));
  Write(dir, "typical-start-half", Join(Prefix(1, 1, 0x07), typical));
  Write(dir, "tenth-three-surfaces", Join(Prefix(0, 3, 0x0B), typical));
  Write(dir, "cut-in-header", Join(Prefix(0, 0), Cut(typical, 7)));
  Write(dir, "cut-in-head", Join(Prefix(1, 0), Cut(typical, 12 + 10)));
  Write(dir, "cut-in-sample", Join(Prefix(0, 2), Cut(typical, 12 + 24 + 12 * 3 + 5)));
  Write(dir, "cut-at-track", Join(Prefix(0, 0), Cut(typical, 12 + 24 + 12 * 9)));

  pfxwrite::File version = Simple(1, 2, 2);
  version.version = 2;
  Write(dir, "version-2", Join(Prefix(0, 0), pfxwrite::Encode(version)));
  pfxwrite::File empty = Simple(0, 0, 0);
  empty.version = -7;
  Write(dir, "no-particles-cancel", Join(Prefix(4, 0), pfxwrite::Encode(empty)));

  pfxwrite::File jump;
  jump.indexLimit = 4;
  jump.tracks.push_back(pfxwrite::RuledTrack(0, 6, 6, 4));
  jump.tracks.push_back(pfxwrite::RuledTrack(0, 9, -2, 4, 10));  // never ends by itself: capped
  jump.tracks.push_back(pfxwrite::RuledTrack(5, 1, 0, 4));       // negative span
  Write(dir, "jump-and-cap", Join(Prefix(1, 1), pfxwrite::Encode(jump)));

  pfxwrite::File huge;
  huge.indexLimit = 3;
  huge.tracks.push_back(pfxwrite::Track{INT32_MIN, -1, 0, {0, 0, 0}, {{1, 2, 3}, {4, 5, 6}}});
  Write(dir, "span-max", Join(Prefix(0, 10), pfxwrite::Encode(huge)));

  pfxwrite::File many = Simple(1, 1, 1);
  many.particleCount = INT32_MAX;
  Write(dir, "count-max", Join(Prefix(0, 0), pfxwrite::Encode(many)));

  pfxwrite::File odd;
  odd.indexLimit = 2;
  odd.tracks.push_back(pfxwrite::Track{0, 2, 0, {NAN, 0, 0},
                                       {{NAN, INFINITY, -INFINITY}, {-0.0f, 1e-45f, 3e38f}, {1, 1, 1}}});
  Write(dir, "nan-inf", Join(Prefix(0, 6, 0x20), pfxwrite::Encode(odd)));
  Write(dir, "alloc-fail-buffer", Join(Prefix(0, 0, 0, 5), typical));
  Write(dir, "alloc-fail-list", Join(Prefix(0, 0, 0x02, 2), typical));
}

void WriteReaderSeeds(const std::filesystem::path& dir) {
  Bytes file = pfxwrite::Encode(Simple(2, 3, 3));
  // The reader target takes its file from the front and its calls from the back.
  for (int variant = 0; variant < 4; ++variant) {
    Bytes seed = file;
    for (int k = 0; k < 96; ++k) seed.push_back(static_cast<uint8_t>((k * 37 + variant * 11) & 0xFF));
    Write(dir, "calls-" + std::to_string(variant), seed);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: fuzz_seeds CORPUS_DIR\n");
    return 2;
  }
  std::filesystem::path corpus = argv[1];
  WriteCommandSeeds(corpus / "command");
  WriteReaderSeeds(corpus / "reader");
  return 0;
}
