// Writing a crate's structural sections. From crate version 0.4.0 on they are compressed: lists
// of integers coded as differences (a common value, two bits a difference for its width, the
// differences) and every section's bytes put through LZ4. The sections here are a few hundred
// bytes, so each goes in as one LZ4 block of literals only, which every LZ4 reader takes: no
// compressor is needed, and none is linked. Divisions: coding; the structure; the sections.
#include "usd/crate_sections.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace dustweave {

static_assert(std::endian::native == std::endian::little, "crate files are written little-endian");

namespace {

constexpr uint64_t ARRAY_BIT = 1ull << 63, INLINED_BIT = 1ull << 62, PAYLOAD = (1ull << 48) - 1;
constexpr uint32_t END_OF_SET = ~0u;

template <typename T>
void Append(std::string& bytes, T value) {
  char raw[sizeof value];
  std::memcpy(raw, &value, sizeof value);
  bytes.append(raw, sizeof value);
}

// `bytes` as USD's fast compression frames them: a chunk count of 0 (one chunk), then an LZ4
// block holding them as one run of literals (its length in the token's high half, then in bytes
// of 255 and a last one below 255).
std::string Compressed(const std::string& bytes) {
  std::string out(1, '\0');
  size_t length = bytes.size();
  out += static_cast<char>(std::min<size_t>(length, 15) << 4);
  if (length >= 15) {
    size_t rest = length - 15;
    out.append(rest / 255, static_cast<char>(255));
    out += static_cast<char>(rest % 255);
  }
  return out + bytes;
}

// Integers coded as crate codes them, every difference written as 32 bits (code 3), and
// compressed, led by their compressed size.
std::string CompressedIntegers(const std::vector<uint32_t>& values) {
  std::string coded;
  Append<int32_t>(coded, 0);  // the common difference, which no code here uses
  coded.append((values.size() * 2 + 7) / 8, static_cast<char>(0xFF));
  uint32_t previous = 0;
  for (uint32_t value : values) {
    Append(coded, value - previous);  // a difference modulo 2^32, as the reader adds it back
    previous = value;
  }
  std::string out;
  std::string compressed = Compressed(coded);
  Append<uint64_t>(out, compressed.size());
  return out + compressed;
}

}  // namespace

uint64_t CrateRep(CrateType type, uint64_t offset, bool array) {
  return (array ? ARRAY_BIT : 0) | static_cast<uint64_t>(type) << 48 | (offset & PAYLOAD);
}

uint64_t CrateInline(CrateType type, uint32_t value) { return INLINED_BIT | static_cast<uint64_t>(type) << 48 | value; }

// ---- the structure ------------------------------------------------------------------------------

// Token 0 is the root's empty name: a property's token is stored negated, which 0 cannot be.
uint32_t CrateSections::Token(const std::string& text) {
  if (tokens_.empty()) tokens_.push_back("");
  for (uint32_t index = 0; index < tokens_.size(); ++index) {
    if (tokens_[index] == text) return index;
  }
  tokens_.push_back(text);
  return static_cast<uint32_t>(tokens_.size() - 1);
}

uint32_t CrateSections::String(const std::string& text) {
  strings_.push_back(Token(text));
  return static_cast<uint32_t>(strings_.size() - 1);
}

uint32_t CrateSections::Spec(CrateSpec type, int64_t parent, const std::string& name) {
  auto set = static_cast<uint32_t>(fieldSets_.size());
  for (; fieldsTaken_ < fields_.size(); ++fieldsTaken_) fieldSets_.push_back(static_cast<uint32_t>(fieldsTaken_));
  fieldSets_.push_back(END_OF_SET);
  auto element = static_cast<int32_t>(Token(name));
  paths_.push_back({parent, type == CrateSpec::Attribute ? -element : element, set, type});
  return static_cast<uint32_t>(paths_.size() - 1);
}

// ---- the sections -------------------------------------------------------------------------------

std::string CrateSections::Bytes(uint64_t at, uint64_t* tocOffset) const {
  std::vector<std::pair<const char*, std::string>> sections;
  std::string tokens;
  for (const std::string& token : tokens_) tokens.append(token.c_str(), token.size() + 1);
  std::string section;
  Append<uint64_t>(section, tokens_.size());
  Append<uint64_t>(section, tokens.size());
  std::string compressed = Compressed(tokens);
  Append<uint64_t>(section, compressed.size());
  sections.push_back({"TOKENS", section + compressed});

  section.clear();
  Append<uint64_t>(section, strings_.size());
  for (uint32_t token : strings_) Append(section, token);
  sections.push_back({"STRINGS", section});

  std::vector<uint32_t> names;
  std::string reps;
  for (const FieldRep& field : fields_) {
    names.push_back(field.token);
    Append(reps, field.rep);
  }
  section.clear();
  Append<uint64_t>(section, fields_.size());
  compressed = Compressed(reps);
  std::string repsSize;
  Append<uint64_t>(repsSize, compressed.size());
  sections.push_back({"FIELDS", section + CompressedIntegers(names) + repsSize + compressed});

  section.clear();
  Append<uint64_t>(section, fieldSets_.size());
  sections.push_back({"FIELDSETS", section + CompressedIntegers(fieldSets_)});

  // Each path: its number, its name, and where the walk goes on: to its first child next (-1),
  // to its next sibling next (0), to both (the sibling's distance ahead), or back up (-2).
  std::vector<uint32_t> numbers, elements, jumps, sets, types;
  for (size_t i = 0; i < paths_.size(); ++i) {
    bool child = i + 1 < paths_.size() && paths_[i + 1].parent == static_cast<int64_t>(i);
    size_t sibling = i + 1;
    while (sibling < paths_.size() && paths_[sibling].parent != paths_[i].parent) ++sibling;
    bool hasSibling = paths_[i].parent >= 0 && sibling < paths_.size();
    int32_t jump = child && hasSibling ? static_cast<int32_t>(sibling - i) : hasSibling ? 0 : child ? -1 : -2;
    numbers.push_back(static_cast<uint32_t>(i));
    elements.push_back(static_cast<uint32_t>(paths_[i].element));
    jumps.push_back(static_cast<uint32_t>(jump));
    sets.push_back(paths_[i].fieldSet);
    types.push_back(static_cast<uint32_t>(paths_[i].type));
  }
  section.clear();
  Append<uint64_t>(section, paths_.size());
  Append<uint64_t>(section, paths_.size());
  sections.push_back({"PATHS", section + CompressedIntegers(numbers) + CompressedIntegers(elements) +
                                   CompressedIntegers(jumps)});
  section.clear();
  Append<uint64_t>(section, paths_.size());
  sections.push_back({"SPECS", section + CompressedIntegers(numbers) + CompressedIntegers(sets) +
                                   CompressedIntegers(types)});

  std::string bytes, toc;
  Append<uint64_t>(toc, sections.size());
  for (const auto& [name, content] : sections) {
    char field[16] = {};
    std::strncpy(field, name, sizeof field - 1);
    toc.append(field, sizeof field);
    Append<int64_t>(toc, static_cast<int64_t>(at + bytes.size()));
    Append<int64_t>(toc, static_cast<int64_t>(content.size()));
    bytes += content;
  }
  *tocOffset = at + bytes.size();
  return bytes + toc;
}

std::string CrateSections::Head(uint64_t tocOffset) {
  std::string head("PXR-USDC", 8);
  head += std::string("\0\7\0\0\0\0\0\0", 8);  // version 0.7.0
  Append<int64_t>(head, static_cast<int64_t>(tocOffset));
  head.append(CRATE_HEAD_SIZE - head.size(), '\0');
  return head;
}

}  // namespace dustweave
