// The structure of a USD crate file (.usdc, crate version 0.7.0): its tokens, strings, fields,
// field sets, paths and specs, gathered as the layer is laid out and then written as the file's
// structural sections and table of contents. The values the fields point to lie in the file
// before them; a field holds a value rep: a type, flags and an inline value or an offset.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace dustweave {

// Crate's value types and spec types (its file format's numbers).
enum class CrateType : uint64_t {
  Int = 3, Int64 = 5, Float = 8, Double = 9, String = 10, Token = 11, Vec3f = 24, TokenVector = 41, Specifier = 42,
  Variability = 44, TimeSamples = 46
};
enum class CrateSpec : uint32_t { Attribute = 1, Prim = 6, PseudoRoot = 7 };

// A value rep: an array's or any value's at a file offset, or a value held inline.
uint64_t CrateRep(CrateType type, uint64_t offset, bool array = false);
uint64_t CrateInline(CrateType type, uint32_t value);

constexpr uint64_t CRATE_HEAD_SIZE = 88;  // the bootstrap: "PXR-USDC", the version, the TOC's offset

class CrateSections {
 public:
  uint32_t Token(const std::string& text);
  uint32_t String(const std::string& text);
  // A field of the spec that Spec adds next.
  void Field(const std::string& name, uint64_t rep) { fields_.push_back({Token(name), rep}); }
  // A spec with the fields given since the last: the root (no parent), or a prim or property
  // named `name` under the spec numbered `parent`. Returns its number; specs are added parents
  // first, each one's children before the next of its siblings.
  uint32_t Spec(CrateSpec type, int64_t parent = -1, const std::string& name = "");

  // The structural sections and the table of contents as they lie from file offset `at`; the
  // table's offset in `tocOffset`.
  std::string Bytes(uint64_t at, uint64_t* tocOffset) const;
  // The bootstrap, for a table of contents at `tocOffset`.
  static std::string Head(uint64_t tocOffset);

 private:
  struct FieldRep {
    uint32_t token;
    uint64_t rep;
  };
  struct Path {
    int64_t parent;
    int32_t element;  // its name's token, negative for a property
    uint32_t fieldSet;
    CrateSpec type;
  };
  std::vector<std::string> tokens_;
  std::vector<uint32_t> strings_;
  std::vector<FieldRep> fields_;       // every spec's, in order
  std::vector<uint32_t> fieldSets_;  // each spec's field numbers, then ~0
  size_t fieldsTaken_ = 0;           // fields_ given a spec so far
  std::vector<Path> paths_;
};

}  // namespace dustweave
