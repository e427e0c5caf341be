// Writing the .usda: each value's text put into its part as the mesh streams in, the stage's text
// laid around the parts at the end (the head, written first for the curves' points to follow it,
// written again then, the same bytes). Divisions: the values; the layer.
#include "usd/usda_writer.h"

#include <algorithm>
#include <cstring>

#include "writers/number_text.h"

namespace dustweave {

namespace {

constexpr size_t TEXT_A_PUT = 1 << 12;  // bytes of text handed to a part at a time

void AppendFloats(std::string& text, const float* values, size_t count, bool vector3) {
  for (size_t i = 0; i < count; ++i) {
    if (i > 0 || !text.empty()) text += ", ";
    if (vector3 && i % 3 == 0) text += '(';
    AppendShortest(text, values[i]);
    if (vector3 && i % 3 == 2) text += ')';
  }
}

// ---- the curves' points -------------------------------------------------------------------------
// A record: whether the point is the array's first, then its three coordinates (doubles).

constexpr size_t POINT_RECORD = 1 + 3 * sizeof(double);
constexpr size_t POINT_TEXT = 4 * NUMBER_TEXT_ROOM + 8;

// "(x, y, z)", after ", " unless it is the array's first.
char* PutPoint(char* at, bool first, const double position[3]) {
  if (!first) at = std::strcpy(at, ", ") + 2;
  *at++ = '(';
  for (int axis = 0; axis < 3; ++axis) {
    if (axis > 0) at = std::strcpy(at, ", ") + 2;
    at = PutCoordinate(at, position[axis]);
  }
  *at++ = ')';
  return at;
}

char* FormatPoints(const char* records, const char* end, char* text) {
  for (; records < end; records += POINT_RECORD) {
    double position[3];
    std::memcpy(position, records + 1, sizeof position);
    text = PutPoint(text, records[0] != 0, position);
  }
  return text;
}

}  // namespace

UsdaWriter::UsdaWriter(double width, ChainShape shape, double metersPerUnit, UsdTime time)
    : UsdLayerWriter(width, shape, metersPerUnit, time), points_(out_, FormatPoints) {}

// ---- the values ---------------------------------------------------------------------------------

void UsdaWriter::Put(int index, const char* text, size_t size) {
  while (size > 0) {
    size_t piece = std::min(size, TEXT_A_PUT);
    part(index).PutBytes(text, piece);
    text += piece;
    size -= piece;
  }
}

// `text` of values each led by ", ", but for the part's first.
void UsdaWriter::PutSeparated(int index, const std::string& text) {
  size_t skip = part(index).size() == 0 ? 2 : 0;
  Put(index, text.data() + skip, text.size() - skip);
}

// The curves' points as records for the batched text; the few others straight into their parts.
void UsdaWriter::PutPosition(UsdPart index, const double position[3]) {
  if (index == CurvePoints) {
    char* record = points_.Record(POINT_RECORD, POINT_TEXT);
    record[0] = curvePoints_++ == 0;
    std::memcpy(record + 1, position, 3 * sizeof(double));
    return;
  }
  SpooledPart& into = part(index);
  char* text = into.Room(POINT_TEXT);
  into.Advance(static_cast<size_t>(PutPoint(text, into.size() == 0, position) - text));
}

void UsdaWriter::PutInteger(UsdPart index, int64_t value) {
  char text[NUMBER_TEXT_ROOM + 3];
  char* at = part(index).size() == 0 ? text : std::strcpy(text, ", ") + 2;
  if (value < 0) *at++ = '-';
  uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  Put(index, text, static_cast<size_t>(dustweave::PutInteger(at, magnitude) - text));
}

// The chain's text is made once for each set of values, and dropped after a long chain.
void UsdaWriter::PutChain(const ChainValues& values) {
  if (values.made != textMade_) {
    for (std::string& text : chainText_) text.clear();
    AppendFloats(chainText_[0], values.widths.data(), values.widths.size(), false);
    AppendFloats(chainText_[1], values.colours.data(), values.colours.size(), true);
    AppendFloats(chainText_[2], values.places.data(), values.places.size(), false);
    for (std::string& text : chainText_) text.insert(0, ", ");
    textMade_ = values.made;
  }
  if (!values.widths.empty()) PutSeparated(Widths, chainText_[0]);
  PutSeparated(Colours, chainText_[1]);
  PutSeparated(Places, chainText_[2]);
  if (values.length > USD_CACHED_LENGTH) {
    for (std::string& kept : chainText_) std::string().swap(kept);
    textMade_ = 0;
  }
}

// ---- the layer ----------------------------------------------------------------------------------

namespace {

constexpr size_t FRAME_TEXT = 11;  // "-2147483648", the longest frame

// The stage's metadata, its keys in order. The first and last frame are padded to the longest
// frame's length, so the head keeps its length from the file's start (when they are not known
// yet) to its end, the curves' points lying behind it.
std::string Metadata(const UsdLayer& layer) {
  std::string text = "(\n    defaultPrim = \"chains\"\n    doc = \"" + layer.doc + "\"\n";
  auto frame = [&text](const char* key, int32_t value) {
    std::string digits = std::to_string(value);
    text += "    " + std::string(key) + " = " + digits + std::string(FRAME_TEXT - digits.size(), ' ') + "\n";
  };
  bool timed = layer.framesPerSecond > 0;
  if (timed && layer.frames.any()) frame("endTimeCode", layer.frames.last);
  if (timed) text += "    framesPerSecond = " + ShortestText(layer.framesPerSecond) + "\n";
  text += "    metersPerUnit = " + ShortestText(layer.metersPerUnit) + "\n";
  if (timed && layer.frames.any()) frame("startTimeCode", layer.frames.first);
  if (timed) text += "    timeCodesPerSecond = " + ShortestText(layer.framesPerSecond) + "\n";
  return text + "    upAxis = \"Y\"\n)\n";
}

}  // namespace

void UsdaWriter::Text(const std::string& text) {
  out_.WriteAt(at_, text.data(), text.size());
  at_ += text.size();
}

// The stage's text from its start: whole, or up to where the curves' points go (returned).
uint64_t UsdaWriter::Render(const UsdLayer& layer, bool headOnly) {
  at_ = 0;
  std::string head = "#usda 1.0\n" + Metadata(layer) + "\ndef Xform \"chains\" (\n    kind = \"component\"\n)\n{\n";
  for (const UsdPrim& prim : layer.prims) {
    head += (&prim == &layer.prims.front() ? "    def " : "\n    def ") + std::string(prim.type) + " \"" +
            prim.name + "\"\n    {\n";
    for (const UsdAttribute& attribute : prim.attributes) {
      head += "        " + std::string(attribute.uniform ? "uniform " : "") + attribute.type + " " + attribute.name + " = ";
      if (attribute.token) {
        Text(head + "\"" + attribute.token + "\"\n");
        head.clear();
        continue;
      }
      Text(head + "[");
      head.clear();
      if (attribute.part == CurvePoints && headOnly) return at_;
      if (attribute.part == CurvePoints) {
        std::string ignored;  // a failure stays with the output, and is said by the layer
        points_.Close(&ignored);
        at_ = out_.size();
      } else if (attribute.part >= 0) {
        uint64_t bytes = part(attribute.part).size();
        part(attribute.part).WriteTo(out_, behind_, at_);
        at_ += bytes;
      } else {
        std::string values;
        AppendFloats(values, attribute.values.data(), attribute.values.size(), attribute.vector3());
        Text(values);
      }
      Text(attribute.interpolation
               ? "] (\n            interpolation = \"" + std::string(attribute.interpolation) + "\"\n        )\n"
               : std::string("]\n"));
    }
    head += "    }\n";
  }
  Text(head + "}\n");
  return at_;
}

// The head, and the points' text claimed to follow it.
uint64_t UsdaWriter::StartFile() {
  points_.Clear();
  curvePoints_ = 0;
  headBytes_ = Render(Describe(true), true);
  out_.ClaimEnd(headBytes_);
  return headBytes_;
}

void UsdaWriter::WriteLayer(const UsdLayer& layer) {
  uint64_t end = Render(layer, false);
  behind_.Drain();
  out_.Truncate(end);
}

}  // namespace dustweave
