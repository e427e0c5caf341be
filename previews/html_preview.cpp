// Writing the preview page. Divisions: the sample as point runs; text in blocks and base64; the
// scene's JSON; the page.
#include "previews/html_preview.h"

#include <algorithm>
#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "previews/preview_caption.h"
#include "tools/viewer/viewer_page.h"
#include "writers/number_text.h"
#include "writers/ramp.h"

namespace dustweave {

namespace {

// ---- the sample as point runs -----------------------------------------------------------------

// A coordinate as the page holds it: a float32, the largest finite one for anything beyond.
float PageFloat(double value) { return static_cast<float>(std::clamp(value, -double{FLT_MAX}, double{FLT_MAX})); }

// Point k of a chain of `segments` segments: its place, 0 at the first point to 255 at the last.
uint8_t PlaceByte(uint64_t k, uint64_t segments) {
  if (segments == 0) return 0;
  return static_cast<uint8_t>(std::lround(255.0 * static_cast<double>(k) / static_cast<double>(segments)));
}

// Calls visit(point, place, startsRun) for each point of the page's runs, in order: a kept
// segment that continues the one before it adds its end alone, any other begins a run.
template <typename Visit>
void EachRunPoint(const PreviewSample& sample, Visit visit) {
  bool any = false;
  uint64_t chain = 0, next = 0;
  sample.EachKeptSegment([&](const PreviewSample::KeptSegment& s) {
    if (!any || s.chain != chain || s.index != next) visit(s.from, PlaceByte(s.index, s.chainSegments), true);
    visit(s.to, PlaceByte(s.index + 1, s.chainSegments), false);
    any = true, chain = s.chain, next = s.index + 1;
  });
}

// Calls emit(count) with the number of points of each run, in order.
template <typename Emit>
void EachRunLength(const PreviewSample& sample, Emit emit) {
  uint64_t length = 0;
  EachRunPoint(sample, [&](const PreviewSample::Point&, uint8_t, bool startsRun) {
    if (startsRun && length > 0) emit(length), length = 0;
    ++length;
  });
  if (length > 0) emit(length);
}

// The box of every point and dot on the page, as float32s; empty when there are none.
PreviewSample::Box3 PageBox(const PreviewSample& sample) {
  PreviewSample::Box3 box;
  auto add = [&box](const PreviewSample::Point& p) {
    double narrow[3] = {PageFloat(p[0]), PageFloat(p[1]), PageFloat(p[2])};
    box.Add(narrow);
  };
  EachRunPoint(sample, [&](const PreviewSample::Point& p, uint8_t, bool) { add(p); });
  for (const PreviewSample::Point& dot : sample.dots()) add(dot);
  return box;
}

// ---- text in blocks and base64 ----------------------------------------------------------------

constexpr size_t BLOCK_SIZE = 64 * 1024;   // handed to the file in blocks of about this
constexpr size_t BASE64_LINE = 76;         // characters of base64 a line

// Collects the page's text and hands it to the file in blocks.
class PageText {
 public:
  explicit PageText(OutputFile& file) : file_(file) { text_.reserve(BLOCK_SIZE + BASE64_LINE + 1); }
  ~PageText() { Flush(); }
  PageText(const PageText&) = delete;
  PageText& operator=(const PageText&) = delete;

  PageText& operator<<(std::string_view text) {
    if (text.size() >= BLOCK_SIZE) {
      Flush();
      file_.Write(text.data(), text.size());
      return *this;
    }
    text_ += text;
    if (text_.size() >= BLOCK_SIZE) Flush();
    return *this;
  }
  void Flush() {
    if (!text_.empty()) file_.Write(text_.data(), text_.size());
    text_.clear();
  }

 private:
  OutputFile& file_;
  std::string text_;
};

// One group of base64 (RFC 4648, padded) for the `held` bytes (1 to 3) of `group`.
void PutBase64Group(std::string& out, const unsigned char* group, size_t held) {
  static constexpr char ALPHABET[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  uint32_t bits = uint32_t{group[0]} << 16 | uint32_t{held > 1 ? group[1] : 0u} << 8 | (held > 2 ? group[2] : 0u);
  for (size_t i = 0; i < 4; ++i) out += i <= held ? ALPHABET[(bits >> (18 - 6 * i)) & 63] : '=';
}

std::string Base64Of(const unsigned char* bytes, size_t size) {
  std::string text;
  for (size_t at = 0; at < size; at += 3) PutBase64Group(text, bytes + at, std::min<size_t>(3, size - at));
  return text;
}

// Bytes as base64 in lines of BASE64_LINE characters, as they come.
class Base64Text {
 public:
  explicit Base64Text(PageText& out) : out_(out) {}
  void Add(const void* data, size_t size) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    for (size_t i = 0; i < size; ++i) {
      group_[held_++] = bytes[i];
      if (held_ == 3) PutGroup();
    }
  }
  // The last group, padded; then the line's end.
  void End() {
    if (held_ > 0) PutGroup();
    if (!line_.empty()) out_ << line_ << "\n";
    line_.clear();
  }

 private:
  void PutGroup() {
    PutBase64Group(line_, group_, held_);
    held_ = 0;
    if (line_.size() >= BASE64_LINE) out_ << line_ << "\n", line_.clear();
  }

  PageText& out_;
  unsigned char group_[3] = {};
  size_t held_ = 0;
  std::string line_;
};

void AddFloats(Base64Text& out, const PreviewSample::Point& p) {
  for (double value : p) {
    float narrow = PageFloat(value);
    unsigned char bytes[4];
    std::memcpy(bytes, &narrow, 4);
    if constexpr (std::endian::native == std::endian::big) std::reverse(bytes, bytes + 4);
    out.Add(bytes, 4);
  }
}

void AddUint32(Base64Text& out, uint32_t value) {
  unsigned char bytes[4] = {static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8),
                            static_cast<unsigned char>(value >> 16), static_cast<unsigned char>(value >> 24)};
  out.Add(bytes, 4);
}

// ---- the scene's JSON -------------------------------------------------------------------------

// `text` as a JSON string, every "<" as \u003c so that the block holds no "</" or "<!--".
std::string JsonString(std::string_view text) {
  std::string out = "\"";
  for (char c : text) {
    unsigned char byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\', out += c;
    } else if (byte < 0x20 || c == '<') {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
      out += escaped;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

std::string JsonPoint(const double p[3]) {
  std::string out = "[";
  for (int i = 0; i < 3; ++i) {
    char number[NUMBER_TEXT_ROOM];
    out.append(number, PutCoordinate(number, p[i]));
    out += i < 2 ? "," : "]";
  }
  return out;
}

std::string RampText() {
  unsigned char ramp[256 * 3];
  for (int i = 0; i < 256; ++i) {
    Rgb8 colour = RampColour(i / 255.0);
    ramp[3 * i] = colour.r, ramp[3 * i + 1] = colour.g, ramp[3 * i + 2] = colour.b;
  }
  return JsonString(Base64Of(ramp, sizeof ramp));
}

std::string SceneJson(const PreviewSample& sample, const PreviewCaption& caption) {
  std::string lines;
  for (const std::string* line : {&caption.source, &caption.endsEarly, &caption.counts, &caption.shown}) {
    if (line->empty()) continue;
    if (!lines.empty()) lines += ',';
    lines += JsonString(*line);
  }
  PageCounts counts = PageCountsOf(sample);
  PreviewSample::Box3 box = PageBox(sample);
  const double zero[3] = {0, 0, 0};
  return "{\"caption\":[" + lines + "],\"pointCount\":" + std::to_string(counts.points) +
         ",\"pieceCount\":" + std::to_string(counts.pieces) + ",\"startCount\":" + std::to_string(counts.starts) +
         ",\"bounds\":{\"min\":" + JsonPoint(box.empty() ? zero : box.low) +
         ",\"max\":" + JsonPoint(box.empty() ? zero : box.high) + "},\"up\":\"+Y\",\"ramp\":" + RampText() + "}";
}

// ---- the page ---------------------------------------------------------------------------------

// One data block: its opening tag, the base64 that `fill` adds, its closing tag.
template <typename Fill>
void DataBlock(PageText& out, const char* id, Fill fill) {
  out << "<script type=\"application/octet-stream\" id=\"dustweave-" << id << "\">\n";
  Base64Text base64(out);
  fill(base64);
  base64.End();
  out << "</script>\n";
}

void WritePage(const PreviewSample& sample, const PreviewCaption& caption, PageText& out) {
  out << ViewerPageBefore();
  out << "<script type=\"application/json\" id=\"dustweave-scene\">" << SceneJson(sample, caption) << "</script>\n";
  DataBlock(out, "positions", [&](Base64Text& b) {
    EachRunPoint(sample, [&](const PreviewSample::Point& p, uint8_t, bool) { AddFloats(b, p); });
  });
  DataBlock(out, "places", [&](Base64Text& b) {
    EachRunPoint(sample, [&](const PreviewSample::Point&, uint8_t place, bool) { b.Add(&place, 1); });
  });
  DataBlock(out, "pieces", [&](Base64Text& b) {
    EachRunLength(sample, [&](uint64_t length) { AddUint32(b, static_cast<uint32_t>(length)); });
  });
  DataBlock(out, "starts", [&](Base64Text& b) {
    for (const PreviewSample::Point& dot : sample.dots()) AddFloats(b, dot);
  });
  out << ViewerPageAfter();
}

}  // namespace

PageCounts PageCountsOf(const PreviewSample& sample) {
  PageCounts counts;
  EachRunPoint(sample, [&](const PreviewSample::Point&, uint8_t, bool startsRun) {
    ++counts.points;
    if (startsRun) ++counts.pieces;
  });
  counts.starts = sample.dots().size();
  return counts;
}

void HtmlPreview::Write(const PreviewSample& sample, const PreviewCaption& caption, OutputFile& file) {
  PageText out(file);
  WritePage(sample, caption, out);
}

}  // namespace dustweave

