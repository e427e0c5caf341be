// Writing .glb as the mesh streams in. The positions go straight into the output's temporary file
// behind a head of fixed size, a block at a time on the writing thread. The line and point
// indices are index streams: gathered in scratch files beside the output and copied behind the
// positions at the end, or (the one speed trick) the line indices written in place from where
// the positions will end. The chain attributes, when asked for, are worked out as the mesh
// streams by into three more such streams, which lie between the positions and the indices and
// are placed there with the line indices. Complete writes the head: the file header and the JSON
// chunk. Divisions: index streams; the sink; completing.
#include "writers/glb_writer.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>

#include "platform/block_writer.h"
#include "writers/chain_attributes.h"
#include "writers/glb_json.h"
#include "writers/last_surface.h"
#include "writers/number_text.h"

namespace dustweave {

namespace {

constexpr uint64_t MAX_INDEXED_POINTS = 0xFFFFFFFFull;  // uint32 indices; 2^32-1 restarts a primitive

// The head reserved in front of the positions: the file header, the JSON chunk (padded with
// spaces to fill it) and the BIN chunk's header. The JSON of any run fits, with the chain
// attributes too (under 3.7 KB with the longest name and counts): the surface name is the only
// text of variable length in it, and a name too long for it is refused.
constexpr uint64_t HEAD_SIZE = 4096;
constexpr uint64_t JSON_ROOM = HEAD_SIZE - GLB_HEADER_SIZE - 2 * CHUNK_HEADER_SIZE;
constexpr size_t SURFACE_JSON_LIMIT = 2048;

constexpr const char* TOO_LARGE = "the mesh passes the 4 GiB that a .glb can hold; write .obj";

constexpr size_t POSITION_BLOCK = WRITE_BLOCK_SIZE;
constexpr size_t LINE_BLOCK = WRITE_BLOCK_SIZE;
constexpr size_t POINT_BLOCK = 1 << 18;
constexpr size_t ATTRIBUTE_BLOCK_POINTS = 1 << 16;  // points in a block of each chain attribute

// Positions and indices are stored as the machine holds them, which is the format's order.
static_assert(std::endian::native == std::endian::little, "the .glb writer stores little-endian values");

uint64_t PaddedTo4(uint64_t size) { return (size + 3) / 4 * 4; }

// ---- index streams --------------------------------------------------------------------------

// Values gathered in a block and written a block at a time. Plainly to a scratch file beside the
// output (made when the first block fills, so a small mesh makes none), which WriteTo copies into
// the output; or placed in the output itself from an offset, when that is known to be where the
// positions will end. Unplace is the one way back: what was placed moves to the scratch file.
class IndexStream {
 public:
  explicit IndexStream(size_t blockSize) : block_(new char[blockSize]), capacity_(blockSize) {}

  void Start(const std::string& outputPath) {
    Drop();
    outputPath_ = outputPath;
    target_ = nullptr;
    behind_ = nullptr;
    base_ = 0;
  }

  // From now on blocks go into `out` (through `behind`) from offset `at` on.
  void Place(AtomicFile& out, BlockWriter& behind, uint64_t at) {
    target_ = &out;
    behind_ = &behind;
    base_ = at;
  }
  bool placed() const { return target_ != nullptr && target_ != &scratch_; }
  uint64_t placedAt() const { return base_; }

  template <typename T>
  void Put(const T& value) {
    if (used_ + sizeof value > capacity_) WriteBlock();
    std::memcpy(block_.get() + used_, &value, sizeof value);
    used_ += sizeof value;
  }
  // `size` bytes, at most a block's.
  void PutBytes(const char* bytes, size_t size) {
    if (used_ + size > capacity_) WriteBlock();
    std::memcpy(block_.get() + used_, bytes, size);
    used_ += size;
  }

  uint64_t size() const { return written_ + used_; }

  // The placed blocks move to the scratch file, where the rest will go.
  void Unplace() {
    AtomicFile& out = *target_;
    uint64_t placedAt = base_;
    behind_->Drain();
    if (!OpenScratch()) return;
    if (int failure = scratch_.handle().CopyFrom(out.handle(), placedAt, written_, 0)) scratch_.Fail(failure);
  }

  // Puts the whole stream into `out` from offset `at` (where a placed stream already is when it
  // was placed there); its bytes then lie there. False when a write failed.
  bool WriteTo(AtomicFile& out, BlockWriter& behind, uint64_t at) {
    if (placed() && base_ != at) Unplace();
    if (target_ == &scratch_) {
      scratchBehind_->Drain();
      if (scratch_.failed()) {
        out.Fail(scratch_.error());
      } else if (int failure = out.handle().CopyFrom(scratch_.handle(), 0, written_, at)) {
        out.Fail(failure);
      }
      scratch_.Abandon();
    }
    behind.Write(at + written_, block_, capacity_, used_);
    written_ += used_;
    used_ = 0;
    return !out.failed();
  }

  void Drop() {
    scratchBehind_.reset();
    scratch_.Abandon();
    used_ = 0;
    written_ = 0;
  }

 private:
  bool OpenScratch() {
    std::string ignored;  // a failure stays with the scratch file, and reaches the output
    scratch_.Create(outputPath_, &ignored);
    scratchBehind_ = std::make_unique<BlockWriter>(scratch_);
    target_ = &scratch_;
    behind_ = scratchBehind_.get();
    base_ = 0;
    return !scratch_.failed();
  }

  // Once a block, so kept out of Put.
  [[gnu::noinline]] void WriteBlock() {
    if (target_ == nullptr) OpenScratch();
    behind_->Write(base_ + written_, block_, capacity_, used_);
    written_ += used_;
    used_ = 0;
  }

  std::unique_ptr<char[]> block_;
  size_t capacity_;
  size_t used_ = 0;
  uint64_t written_ = 0;  // bytes handed on from the block
  std::string outputPath_;
  AtomicFile* target_ = nullptr;  // null until the first block: the scratch file is made then
  BlockWriter* behind_ = nullptr;
  uint64_t base_ = 0;  // where in `target_` the first block went
  AtomicFile scratch_;
  std::unique_ptr<BlockWriter> scratchBehind_;
};

}  // namespace

// ---- the sink -------------------------------------------------------------------------------

struct GlbWriter::State {
  State(uint64_t limit, bool withAttributes)
      : maxFileBytes(limit), withChainAttributes(withAttributes), position(new char[POSITION_BLOCK]) {}

  uint64_t maxFileBytes;
  bool withChainAttributes;
  AtomicFile out;
  BlockWriter behind{out};
  std::unique_ptr<char[]> position;  // the positions' block
  size_t positionUsed = 0;
  uint64_t positionsWritten = 0;  // bytes of positions handed on, from HEAD_SIZE on
  IndexStream lines{LINE_BLOCK}, dots{POINT_BLOCK};
  // With the chain attributes: what works them out, and their streams in ChainStream's order,
  // which is their order in the file.
  std::unique_ptr<ChainAttributes> chainAttributes;
  std::array<IndexStream, 3> attributeStreams{IndexStream{CHAIN_STREAM_BYTES * ATTRIBUTE_BLOCK_POINTS},
                                              IndexStream{CHAIN_STREAM_BYTES * ATTRIBUTE_BLOCK_POINTS},
                                              IndexStream{CHAIN_STREAM_BYTES * ATTRIBUTE_BLOCK_POINTS}};
  Layout layout;
  LastSurface surface;
  uint64_t leftOut = 0;
  bool opened = false;
  std::optional<std::string> refusal;  // why the file cannot be written; nothing more is kept

  uint64_t positionBytes() const { return positionsWritten + positionUsed; }

  void Refuse(std::string reason) {
    if (refusal) return;
    refusal = std::move(reason);
    lines.Drop();
    dots.Drop();
    for (IndexStream& stream : attributeStreams) stream.Drop();
    behind.Drain();
    out.Abandon();
  }

  // Whether the binary chunk still fits behind the head within the file's 32-bit length; refuses
  // the file once it does not, so that no more of it is written. Checked a block at a time;
  // Complete checks the exact length.
  bool StillFits() {
    // The chain attributes come later than the positions, as each chain closes: 12 bytes a point.
    uint64_t attributes = chainAttributes ? positionBytes() : 0;
    if (HEAD_SIZE + positionBytes() + lines.size() + dots.size() + attributes <= maxFileBytes) return true;
    Refuse(TOO_LARGE);
    return false;
  }

  // Starts working out the chain attributes, their blocks gathered in their streams.
  void StartChainAttributes(const std::string& path) {
    for (IndexStream& stream : attributeStreams) stream.Start(path);
    chainAttributes = std::make_unique<ChainAttributes>(
        [this](ChainStream stream, const char* bytes, size_t size) {
          if (!refusal) attributeStreams[static_cast<size_t>(stream)].PutBytes(bytes, size);
        },
        ATTRIBUTE_BLOCK_POINTS);
  }

  // Where the first stream placed behind the positions begins; past the end when none is.
  uint64_t PlacedStreamsAt() const {
    const IndexStream& first = chainAttributes ? attributeStreams[0] : lines;
    return first.placed() ? first.placedAt() : std::numeric_limits<uint64_t>::max();
  }

  // Places the streams behind room for `count` positions: the chain attributes, then the lines.
  void PlaceStreams(uint64_t count) {
    uint64_t at = HEAD_SIZE + 12 * count;
    if (chainAttributes) {
      for (IndexStream& stream : attributeStreams) {
        stream.Place(out, behind, at);
        at += CHAIN_STREAM_BYTES * count;
      }
    }
    lines.Place(out, behind, at);
  }

  // More points came than were expected: the placed streams move to their scratch files before
  // the positions reach them.
  void UnplaceStreams() {
    for (IndexStream& stream : attributeStreams) {
      if (stream.placed()) stream.Unplace();
    }
    if (lines.placed()) lines.Unplace();
  }

  // Puts the chain attributes' streams one after another into the output from `at` on.
  void WriteChainAttributes(uint64_t at) {
    for (IndexStream& stream : attributeStreams) {
      if (out.failed()) return;
      uint64_t bytes = stream.size();
      stream.WriteTo(out, behind, at);
      at += bytes;
    }
  }

  // Whether _CHAIN still numbers the chains exactly; refuses the file once it does not and there
  // are polygons to carry the attributes (a run without has none to write).
  bool ChainsFit() {
    if (!chainAttributes || !chainAttributes->tooManyChains() || lines.size() + dots.size() == 0) return true;
    Refuse("more than " + GroupedDigits(ChainAttributes::MAX_CHAINS) +
           " chains, past what _CHAIN's 32-bit floats number exactly; convert without --attributes");
    return false;
  }

  // Hands on the positions' block: its bounds taken, line indices placed where it would go moved
  // out of its way first.
  [[gnu::noinline]] void WritePositions() {
    if (refusal || positionUsed == 0 || !StillFits() || !ChainsFit()) return;
    layout.bounds.Take(position.get(), positionUsed);
    uint64_t at = HEAD_SIZE + positionsWritten;
    if (PlacedStreamsAt() < at + positionUsed) UnplaceStreams();
    behind.Write(at, position, POSITION_BLOCK, positionUsed);
    positionsWritten += positionUsed;
    positionUsed = 0;
  }

  [[gnu::noinline]] void RefusePoint(uint64_t number, const double position[3]) {
    int axis = std::fabs(position[0]) <= std::numeric_limits<float>::max() ? 1 : 0;
    if (axis == 1 && std::fabs(position[1]) <= std::numeric_limits<float>::max()) axis = 2;
    Refuse("point " + std::to_string(number + 1) + " has the coordinate " + ShortestText(position[axis]) +
           ", and glTF holds only finite 32-bit numbers; write .obj, which carries them");
  }

  // Takes the surface of the first polygon; a polygon on another one refuses the file.
  bool TakeSurface(const char* name) {
    bool first = !surface.any();
    std::string before = surface.name();
    if (!surface.Take(name)) return true;
    if (!first) {
      Refuse("its polygons lie on two surfaces, " + JsonString(before) + " and " + JsonString(name) +
             ", and a .glb written here holds one; write .obj");
      return false;
    }
    layout.surface = name;
    if (JsonString(name).size() <= SURFACE_JSON_LIMIT) return true;
    Refuse("its surface name is " + std::to_string(std::strlen(name)) +
           " bytes long, more than a .glb written here holds; write .obj");
    return false;
  }

  // A polygon the usual path does not take: a start, one left out, or the first on a surface.
  [[gnu::noinline]] void AddOtherPolygon(const char* surface, int count, const int64_t* points);
};

void GlbWriter::State::AddOtherPolygon(const char* name, int count, const int64_t* points) {
  if (refusal) return;
  bool made = (count == 2 && (points[0] | points[1]) >= 0) || (count == 1 && points[0] >= 0);
  if (!made) {
    ++leftOut;
    return;
  }
  if (!surface.Is(name) && !TakeSurface(name)) return;
  if (count == 2) {
    lines.Put(std::array<uint32_t, 2>{static_cast<uint32_t>(points[0]), static_cast<uint32_t>(points[1])});
  } else {
    dots.Put(static_cast<uint32_t>(points[0]));
  }
}

GlbWriter::GlbWriter(uint64_t maxFileBytes, bool chainAttributes)
    : state_(new State(maxFileBytes, chainAttributes)) {}
GlbWriter::~GlbWriter() = default;

uint64_t GlbWriter::leftOut() const { return state_->leftOut; }

uint64_t GlbWriter::bytesMade() const {
  const State& s = *state_;
  uint64_t bytes = HEAD_SIZE + s.positionBytes() + s.lines.size() + s.dots.size();
  for (const IndexStream& stream : s.attributeStreams) bytes += stream.size();
  return bytes;
}
AtomicFile& GlbWriter::file() { return state_->out; }

bool GlbWriter::Open(const std::string& path, std::string* error) {
  State& s = *state_;
  s.layout = Layout();
  s.surface = LastSurface();
  s.leftOut = 0;
  s.positionUsed = 0;
  s.positionsWritten = 0;
  s.refusal.reset();
  s.lines.Start(path);
  s.dots.Start(path);
  if (s.withChainAttributes) s.StartChainAttributes(path);
  s.opened = s.out.Create(path, error);
  if (!s.opened) s.refusal = "not open";  // the run may still stream: nothing is kept
  return s.opened;
}

// The calls below run once per sample of a simulation: each takes its usual case in a few
// instructions (counts and bounds come from the blocks) and leaves the rest to State.
void GlbWriter::ExpectPoints(uint64_t count) {
  State& s = *state_;
  if (!s.opened || s.refusal || s.positionBytes() > 0 || s.lines.size() > 0) return;
  if (count > s.maxFileBytes / (s.chainAttributes ? 24 : 12)) return;  // refused later
  s.PlaceStreams(count);
}

void GlbWriter::AddPoint(uint64_t number, const double position[3]) {
  State& s = *state_;
  constexpr double LARGEST = std::numeric_limits<float>::max();
  // False for NaN, infinities and what no float32 holds.
  bool held = (std::fabs(position[0]) <= LARGEST) & (std::fabs(position[1]) <= LARGEST) &
              (std::fabs(position[2]) <= LARGEST);
  if (s.refusal) return;
  if (!held) return s.RefusePoint(number, position);
  if (s.chainAttributes) s.chainAttributes->AddPoint(number, position);
  if (s.positionUsed + 12 > POSITION_BLOCK) {
    s.WritePositions();
    if (s.refusal) return;  // refused by the block's checks: it was not handed on, and stays full
  }
  // Little-endian float32, as on every platform built for. Each coordinate is converted and
  // stored on its own: the module stores them one by one just before the call, and a load wider
  // than one of those stores (a pair of doubles, or floats gathered first) waits for them to land.
  char* at = s.position.get() + s.positionUsed;
  for (int axis = 0; axis < 3; ++axis) {
    float coordinate = static_cast<float>(position[axis]);
    std::memcpy(at + 4 * axis, &coordinate, sizeof coordinate);
  }
  s.positionUsed += 12;
}

void GlbWriter::AddPolygon(const char* surface, int count, const int64_t* points) {
  State& s = *state_;
  if (s.chainAttributes) s.chainAttributes->AddPolygon(surface, count, points);
  if (count == 2 && (points[0] | points[1]) >= 0 && s.surface.Is(surface) && !s.refusal) {
    s.lines.Put(std::array<uint32_t, 2>{static_cast<uint32_t>(points[0]), static_cast<uint32_t>(points[1])});
    return;
  }
  s.AddOtherPolygon(surface, count, points);
}

// ---- completing -----------------------------------------------------------------------------

bool GlbWriter::Complete(std::string* error) {
  State& s = *state_;
  Layout& layout = s.layout;
  auto refuse = [&](const std::string& reason) {
    *error = CannotWrite(s.out.path(), reason);
    s.Refuse(reason);
    return false;
  };
  if (!s.opened) return refuse("not open");
  s.opened = false;  // one Complete per Open
  s.WritePositions();
  if (s.chainAttributes && !s.refusal) {
    s.chainAttributes->Finish();
    s.ChainsFit();
  }
  if (s.refusal) return refuse(*s.refusal);
  layout.points = s.positionBytes() / 12;
  layout.lines = s.lines.size() / 8;
  layout.dots = s.dots.size() / 4;
  layout.chainAttributes = s.chainAttributes != nullptr;
  if (layout.points > MAX_INDEXED_POINTS && layout.hasMesh()) {
    return refuse("more than 4294967295 points, past glTF's 32-bit indices; write .obj");
  }
  std::string json = Json(layout);
  uint64_t jsonBytes = layout.hasMesh() ? JSON_ROOM : PaddedTo4(json.size());
  uint64_t binBytes = layout.hasMesh() ? layout.binBytes() : 0;
  uint64_t fileBytes = GLB_HEADER_SIZE + CHUNK_HEADER_SIZE + jsonBytes + (binBytes > 0 ? CHUNK_HEADER_SIZE : 0) + binBytes;
  if (fileBytes > s.maxFileBytes) return refuse(TOO_LARGE);
  if (layout.hasMesh()) {
    // In the file's order: each placed stream lies where it belongs or further on (when fewer
    // points came than expected), so writing one never covers a later one's placed bytes.
    if (layout.chainAttributes) s.WriteChainAttributes(HEAD_SIZE + layout.positionBytes());
    uint64_t linesAt = HEAD_SIZE + layout.indicesOffset();
    if (!s.out.failed() && s.lines.WriteTo(s.out, s.behind, linesAt)) {
      s.dots.WriteTo(s.out, s.behind, linesAt + layout.lineBytes());
    }
  } else {
    s.lines.Drop();
    s.dots.Drop();
    for (IndexStream& stream : s.attributeStreams) stream.Drop();
  }
  s.behind.Drain();
  s.out.Truncate(fileBytes);  // past it lie only what a mesh without polygons made, or streams moved away
  std::string head = Head(json, jsonBytes, binBytes, fileBytes);
  s.out.WriteAt(0, head.data(), head.size());
  if (!s.out.failed()) return true;
  *error = s.out.reason();
  s.out.Abandon();
  return false;
}

bool GlbWriter::Finish(std::string* error) { return Complete(error) && CommitTogether({&state_->out}, error); }

}  // namespace dustweave
