// Writing the .usdc: each value put into its part as the mesh streams in; at the end the arrays
// of a curve vertex where usd/crate_layout.h puts them behind the curves' points, every other
// array and value behind those (each array 8-byte aligned, led by its element count, as crate
// 0.7.0 lays out an uncompressed array, so readers may map it straight from the file), then the
// structure (usd/crate_sections.h) and the bootstrap over the file's start.
// Divisions: the values; the layer.
#include "usd/usdc_writer.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace dustweave {

static_assert(std::endian::native == std::endian::little, "crate files are written little-endian");

namespace {

constexpr size_t FLOATS_A_PUT = 1 << 14;  // floats handed to a part at a time

template <typename T>
std::string Bytes(T value) {
  std::string bytes(sizeof value, '\0');
  std::memcpy(bytes.data(), &value, sizeof value);
  return bytes;
}

}  // namespace

// ---- the values ---------------------------------------------------------------------------------

// Once a point of every curve: the points' room behind which the placed parts lie is checked
// against one number, and the three floats stored on their own (see the .glb writer's AddPoint).
void UsdcWriter::PutPosition(UsdPart index, const double position[3]) {
  SpooledPart& into = part(index);
  if (index == CurvePoints && into.size() >= pointsRoom_) Unplace();
  float coordinates[3] = {static_cast<float>(position[0]), static_cast<float>(position[1]),
                          static_cast<float>(position[2])};
  into.PutBytes(reinterpret_cast<const char*>(coordinates), sizeof coordinates);
}

void UsdcWriter::PutInteger(UsdPart index, int64_t value) { part(index).Put(static_cast<int32_t>(value)); }

void UsdcWriter::PutFloats(UsdPart index, const std::vector<float>& values) {
  for (size_t from = 0; from < values.size(); from += FLOATS_A_PUT) {
    size_t count = std::min(FLOATS_A_PUT, values.size() - from);
    part(index).PutBytes(reinterpret_cast<const char*>(values.data() + from), count * sizeof(float));
  }
}

void UsdcWriter::PutChain(const ChainValues& values) {
  PutFloats(Widths, values.widths);
  PutFloats(Colours, values.colours);
  PutFloats(Places, values.places);
}

// The bootstrap is written last, over room left for it.
uint64_t UsdcWriter::StartFile() {
  placedFor_.reset();
  pointsRoom_ = UINT64_MAX;
  return CrateLayout::POINTS_AT;
}

// The speed trick's one boundary. Plainly every array but the curves' points is spooled beside
// the output and copied in behind the points at the end; knowing the point count, the colours,
// places and widths (the arrays of a value a vertex, which the layout puts right behind the
// points) are written in place instead, as the .glb's parts are (gltf/glb_writer.cpp). A count
// that turns out wrong (chains of one point are no curve points; a run that makes more) undoes
// it: the parts then go the plain way, and the file is the same.
void UsdcWriter::ExpectPoints(uint64_t count) {
  if (part(CurvePoints).size() > 0 || out_.failed() || smoothed()) return;
  CrateLayout layout(count, taper());
  for (UsdPart index : {Colours, Places, Widths}) {
    if (layout.Fixes(index)) part(index).Place(out_, behind_, layout.ElementsAt(index));
  }
  placedFor_ = count;
  pointsRoom_ = 12 * count;
}

void UsdcWriter::Unplace() {
  for (UsdPart index : {Colours, Places, Widths}) {
    if (part(index).placed()) part(index).Unplace();
  }
  placedFor_.reset();
  pointsRoom_ = UINT64_MAX;
}

// ---- the layer ----------------------------------------------------------------------------------

// `bytes` at the next offset with `alignment`; returns that offset.
uint64_t UsdcWriter::Value(const std::string& bytes, size_t alignment) {
  at_ = (at_ + alignment - 1) / alignment * alignment;
  uint64_t offset = at_;
  out_.WriteAt(at_, bytes.data(), bytes.size());
  at_ += bytes.size();
  return offset;
}

// An attribute's array: its count, then its elements, from its part or its own values; a part
// the layout fixes at its place there, any other behind the values so far.
uint64_t UsdcWriter::ArrayOf(const UsdAttribute& attribute, const CrateLayout& layout) {
  CrateType type = attribute.integers() ? CrateType::Int : attribute.vector3() ? CrateType::Vec3f : CrateType::Float;
  if (attribute.part >= 0 && layout.Fixes(attribute.part)) {
    uint64_t elements = layout.ElementsAt(attribute.part);
    part(attribute.part).WriteTo(out_, behind_, elements);
    out_.WriteAt(elements - 8, Bytes<uint64_t>(attribute.count).data(), 8);
    return CrateRep(type, elements - 8, true);
  }
  uint64_t offset = Value(Bytes<uint64_t>(attribute.count), 8);
  if (attribute.part >= 0) {
    uint64_t bytes = part(attribute.part).size();
    part(attribute.part).WriteTo(out_, behind_, at_);
    at_ += bytes;
  } else {
    Value(std::string(reinterpret_cast<const char*>(attribute.values.data()), attribute.values.size() * sizeof(float)));
  }
  return CrateRep(type, offset, true);
}

uint64_t UsdcWriter::Double(double value) { return CrateRep(CrateType::Double, Value(Bytes(value), 8)); }

uint64_t UsdcWriter::Tokens(CrateSections& crate, const std::vector<std::string>& names) {
  std::string bytes = Bytes<uint64_t>(names.size());
  for (const std::string& name : names) bytes += Bytes(crate.Token(name));
  return CrateRep(CrateType::TokenVector, Value(bytes));
}

// A prim's spec and its attributes' specs, each attribute's array written as it comes.
void UsdcWriter::AddPrim(CrateSections& crate, const UsdPrim& prim, uint32_t parent, const CrateLayout& layout) {
  std::vector<std::string> names;
  std::vector<uint64_t> values;
  for (const UsdAttribute& attribute : prim.attributes) {
    names.push_back(attribute.name);
    values.push_back(attribute.token ? CrateInline(CrateType::Token, crate.Token(attribute.token)) : ArrayOf(attribute, layout));
  }
  crate.Field("specifier", CrateInline(CrateType::Specifier, 0));  // def
  crate.Field("typeName", CrateInline(CrateType::Token, crate.Token(prim.type)));
  crate.Field("properties", Tokens(crate, names));
  uint32_t spec = crate.Spec(CrateSpec::Prim, parent, prim.name);
  for (size_t i = 0; i < prim.attributes.size(); ++i) {
    const UsdAttribute& attribute = prim.attributes[i];
    crate.Field("typeName", CrateInline(CrateType::Token, crate.Token(attribute.type)));
    crate.Field("default", values[i]);
    if (attribute.uniform) crate.Field("variability", CrateInline(CrateType::Variability, 1));
    if (attribute.interpolation) {
      crate.Field("interpolation", CrateInline(CrateType::Token, crate.Token(attribute.interpolation)));
    }
    crate.Spec(CrateSpec::Attribute, spec, attribute.name);
  }
}

void UsdcWriter::WriteLayer(const UsdLayer& layer) {
  uint64_t vertices = part(CurvePoints).size() / 12;
  if (placedFor_ && vertices != *placedFor_) Unplace();
  CrateLayout layout(vertices, taper());
  at_ = layout.rest();
  CrateSections crate;
  std::vector<std::string> children;
  for (const UsdPrim& prim : layer.prims) children.push_back(prim.name);
  crate.Field("defaultPrim", CrateInline(CrateType::Token, crate.Token("chains")));
  crate.Field("documentation", CrateInline(CrateType::String, crate.String(layer.doc)));
  bool timed = layer.framesPerSecond > 0;
  if (timed && layer.frames.any()) crate.Field("endTimeCode", Double(layer.frames.last));
  if (timed) crate.Field("framesPerSecond", Double(layer.framesPerSecond));
  crate.Field("metersPerUnit", Double(layer.metersPerUnit));
  if (timed && layer.frames.any()) crate.Field("startTimeCode", Double(layer.frames.first));
  if (timed) crate.Field("timeCodesPerSecond", Double(layer.framesPerSecond));
  crate.Field("upAxis", CrateInline(CrateType::Token, crate.Token("Y")));
  crate.Field("primChildren", Tokens(crate, {"chains"}));
  uint32_t root = crate.Spec(CrateSpec::PseudoRoot);
  crate.Field("specifier", CrateInline(CrateType::Specifier, 0));
  crate.Field("typeName", CrateInline(CrateType::Token, crate.Token("Xform")));
  crate.Field("kind", CrateInline(CrateType::Token, crate.Token("component")));
  if (!children.empty()) crate.Field("primChildren", Tokens(crate, children));
  uint32_t chains = crate.Spec(CrateSpec::Prim, root, "chains");
  for (const UsdPrim& prim : layer.prims) AddPrim(crate, prim, chains, layout);
  uint64_t tocOffset = 0;
  Value(crate.Bytes(at_, &tocOffset));
  uint64_t end = at_;
  behind_.Drain();
  std::string head = CrateSections::Head(tocOffset);
  out_.WriteAt(0, head.data(), head.size());
  out_.Truncate(end);
}

}  // namespace dustweave
