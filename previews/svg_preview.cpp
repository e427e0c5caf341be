// Drawing the preview sample. Divisions: the view (projection and fitting); the colours; the
// SVG text, written in blocks; the picture.
#include "previews/svg_preview.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string_view>

#include "previews/preview_caption.h"
#include "writers/number_text.h"
#include "writers/ramp.h"

namespace dustweave {

using Box3 = PreviewSample::Box3;

namespace {

// ---- the view: turned 35 degrees about the vertical axis, looking down 25 degrees ----------
// (the 3D page's starting view: the same side of the scene, seen from above)

struct Turn {
  double cos, sin;
};
constexpr Turn YAW{0.8191520442889918, 0.5735764363510461};
constexpr Turn PITCH{0.9063077870366499, 0.42261826174069944};

// The canvas: as wide as this, as high as the box's shape asks between the two heights, with a
// margin round the picture (the legend in the top one) and room for four caption lines below
// it. No taller than a landscape window's shape, so that the caption's words, which a browser
// scales with the picture, stay readable in a small window (12 px in one of 700 × 500).
constexpr double CANVAS_WIDTH = 1200, MIN_HEIGHT = 520, MAX_HEIGHT = 800, MARGIN = 60, CAPTION_SPACE = 80;
constexpr int FONT_SIZE = 21, LINE_STEP = 27;

struct Flat {
  double x, y;  // projected, before fitting to the canvas; y grows downwards
};

Flat Project(const double p[3]) {
  double across = p[0] * YAW.cos - p[2] * YAW.sin;
  double toward = p[0] * YAW.sin + p[2] * YAW.cos;  // toward the viewer
  double up = p[1] * PITCH.cos - toward * PITCH.sin;  // seen from above: the near side lower
  return {across, -up};
}

std::array<std::array<double, 3>, 8> Corners(const Box3& box) {
  std::array<std::array<double, 3>, 8> corners;
  for (int c = 0; c < 8; ++c) {
    corners[c] = {(c & 1) ? box.high[0] : box.low[0], (c & 2) ? box.high[1] : box.low[1],
                  (c & 4) ? box.high[2] : box.low[2]};
  }
  return corners;
}

// Maps projected points onto the canvas: uniform scale, centred, inside the margins.
struct Fit {
  double scale = 1, offsetX = 0, offsetY = 0, width = CANVAS_WIDTH, height = MIN_HEIGHT;

  static Fit Of(const Box3& box) {
    Fit fit;
    if (box.empty()) return fit;
    double minX = std::numeric_limits<double>::max(), maxX = -minX, minY = minX, maxY = -minX;
    for (const auto& corner : Corners(box)) {
      Flat f = Project(corner.data());
      minX = std::min(minX, f.x), maxX = std::max(maxX, f.x);
      minY = std::min(minY, f.y), maxY = std::max(maxY, f.y);
    }
    double spanX = std::max(maxX - minX, 1e-9), spanY = std::max(maxY - minY, 1e-9);
    double inner = CANVAS_WIDTH - 2 * MARGIN;
    fit.height = std::clamp(inner * spanY / spanX + 2 * MARGIN + CAPTION_SPACE, MIN_HEIGHT, MAX_HEIGHT);
    double innerHeight = fit.height - 2 * MARGIN - CAPTION_SPACE;
    fit.scale = std::min(inner / spanX, innerHeight / spanY);
    if (!std::isfinite(fit.scale)) fit.scale = 1;
    fit.offsetX = CANVAS_WIDTH / 2 - fit.scale * (minX + maxX) / 2;
    fit.offsetY = MARGIN + innerHeight / 2 - fit.scale * (minY + maxY) / 2;
    return fit;
  }

  Flat Place(Flat f) const { return {offsetX + scale * f.x, offsetY + scale * f.y}; }
};

// ---- the colours: the chain ramp, each band drawn in the ramp's colour at its centre -------

constexpr int BANDS = 16;

std::string BandColour(int band) {
  Rgb8 colour = RampColour((band + 0.5) / BANDS);
  char text[8];
  std::snprintf(text, sizeof text, "#%02x%02x%02x", colour.r, colour.g, colour.b);
  return text;
}

// A segment's band from its place along its chain, 0 (first) to 1 (last).
int BandOf(double place) { return std::clamp(static_cast<int>(place * BANDS), 0, BANDS - 1); }

}  // namespace

// ---- the SVG text ---------------------------------------------------------------------------

namespace {

constexpr size_t PATH_TEXT_LIMIT = 8 * 1024;  // a path's d attribute is closed past this
constexpr size_t BLOCK_SIZE = 64 * 1024;      // written to the file in blocks of about this

// Collects text and hands it on in blocks.
template <typename Emit>
class BlockText {
 public:
  explicit BlockText(Emit& emit) : emit_(emit) { text_.reserve(BLOCK_SIZE + PATH_TEXT_LIMIT); }
  ~BlockText() { Flush(); }
  BlockText(const BlockText&) = delete;
  BlockText& operator=(const BlockText&) = delete;

  BlockText& operator<<(std::string_view text) {
    text_ += text;
    if (text_.size() >= BLOCK_SIZE) Flush();
    return *this;
  }
  void Flush() {
    if (!text_.empty()) emit_(std::string_view(text_));
    text_.clear();
  }

 private:
  Emit& emit_;
  std::string text_;
};

void AppendFixed(std::string& out, double value) {
  char text[32];
  auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 1);
  out.append(text, result.ptr);
}

void AppendMove(std::string& out, char command, Flat f) {
  out += command;
  AppendFixed(out, f.x);
  out += ' ';
  AppendFixed(out, f.y);
}

// Path elements of one look built from pieces of path data, each element's data kept short.
template <typename Out>
class PathRun {
 public:
  PathRun(Out& out, const Fit& fit, std::string open) : out_(out), fit_(fit), open_(std::move(open)) {}
  ~PathRun() { Close(); }
  PathRun(const PathRun&) = delete;
  PathRun& operator=(const PathRun&) = delete;

  // The line from `from` to `to`: it continues the path data when the last line ended at `from`,
  // else it begins a subpath.
  void Line(Flat from, Flat to) {
    bool continues = !data_.empty() && from.x == last_.x && from.y == last_.y;
    if (!continues) AppendMove(data_, 'M', fit_.Place(from));
    AppendMove(data_, 'L', fit_.Place(to));
    last_ = to;
    if (data_.size() >= PATH_TEXT_LIMIT) Close();
  }
  void Dot(Flat at) {
    AppendMove(data_, 'M', fit_.Place(at));
    data_ += "h0";
    if (data_.size() >= PATH_TEXT_LIMIT) Close();
  }
  void Close() {
    if (data_.empty()) return;
    out_ << open_ << data_ << "\"/>\n";
    data_.clear();
  }

 private:
  Out& out_;
  const Fit& fit_;
  std::string open_, data_;
  Flat last_{0, 0};
};

std::string Header(const Fit& fit) {
  std::string out;
  std::string w = std::to_string(static_cast<int>(fit.width)), h = std::to_string(static_cast<int>(fit.height));
  // No width or height: a browser fits the picture to its window; the window's bars match the sky.
  out += "<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 " + w + " " + h +
         "\" style=\"background: #07090f\">\n";
  out +=
      "<defs>\n"
      "<radialGradient id=\"sky\" cx=\"50%\" cy=\"40%\" r=\"75%\">"
      "<stop offset=\"0\" stop-color=\"#1c2438\"/><stop offset=\"1\" stop-color=\"#07090f\"/>"
      "</radialGradient>\n"
      "<linearGradient id=\"legend\">";
  for (int band = 0; band < BANDS; band += 5) {
    out += "<stop offset=\"" + std::to_string(band * 100 / (BANDS - 1)) + "%\" stop-color=\"" + BandColour(band) + "\"/>";
  }
  out += "<stop offset=\"100%\" stop-color=\"" + BandColour(BANDS - 1) + "\"/></linearGradient>\n</defs>\n";
  out += "<rect width=\"100%\" height=\"100%\" fill=\"url(#sky)\"/>\n";
  return out;
}

std::string BoundingBox(const Box3& box, const Fit& fit) {
  if (box.empty()) return "";
  auto corners = Corners(box);
  std::string d;
  for (int a = 0; a < 8; ++a) {
    for (int bit = 1; bit < 8; bit <<= 1) {
      int b = a | bit;
      if (b == a) continue;
      AppendMove(d, 'M', fit.Place(Project(corners[a].data())));
      AppendMove(d, 'L', fit.Place(Project(corners[b].data())));
    }
  }
  return "<path d=\"" + d + "\" fill=\"none\" stroke=\"#56627f\" stroke-opacity=\"0.45\" stroke-width=\"1\"/>\n";
}

// `text` as XML character data or an attribute's value.
std::string XmlText(std::string_view text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '&': out += "&amp;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&apos;"; break;
      default: out += c;
    }
  }
  return out;
}

// A text element of the caption at (x, y), its words escaped.
std::string TextElement(const std::string& x, const std::string& y, std::string_view words,
                        const char* anchor = nullptr) {
  std::string element = "<text x=\"" + x + "\" y=\"" + y + "\"";
  if (anchor != nullptr) element += std::string(" text-anchor=\"") + anchor + "\"";
  return element + ">" + XmlText(words) + "</text>\n";
}

// Up to four lines at the bottom left, from the top: the share shown when not everything is
// drawn; the input and its answers, when known; that the file ends early, when it does; the
// counts. The colour legend at the top right, clear of the longest line.
std::string Caption(const Fit& fit, const PreviewCaption& caption) {
  auto lineY = [&](int fromBottom) {
    return std::to_string(static_cast<int>(fit.height) - 26 - LINE_STEP * fromBottom);
  };
  auto x = [&](int fromRight) { return std::to_string(static_cast<int>(fit.width) - fromRight); };
  std::string out = "<g font-family=\"DejaVu Sans, Helvetica, Arial, sans-serif\" font-size=\"" +
                    std::to_string(FONT_SIZE) + "\" fill=\"#aab4cc\">\n";
  int above = 0;
  for (const std::string* line : {&caption.counts, &caption.endsEarly, &caption.source, &caption.shown}) {
    if (!line->empty()) out += TextElement("24", lineY(above++), *line);
  }
  out += TextElement(x(330), "40", "chain start", "end");
  out += "<rect x=\"" + x(320) + "\" y=\"24\" width=\"160\" height=\"18\" rx=\"3\" fill=\"url(#legend)\"/>\n";
  out += TextElement(x(150), "40", "chain end");
  return out + "</g>\n";
}

}  // namespace

// ---- the picture ----------------------------------------------------------------------------

namespace {

// The chains, a colour band at a time, each band's segments joined into as few subpaths as they
// allow, then the start dots.
template <typename Out>
void DrawMarks(Out& out, const PreviewSample& sample, const Fit& fit) {
  out << "<g fill=\"none\" stroke-width=\"1.4\" stroke-linecap=\"round\" stroke-linejoin=\"round\" "
         "stroke-opacity=\"0.85\">\n";
  for (int band = 0; band < BANDS; ++band) {
    PathRun<Out> paths(out, fit, "<path stroke=\"" + BandColour(band) + "\" d=\"");
    sample.EachSegment([&](const PreviewSample::Point& from, const PreviewSample::Point& to, double place) {
      if (BandOf(place) == band) paths.Line(Project(from.data()), Project(to.data()));
    });
  }
  out << "</g>\n";
  PathRun<Out> dots(out, fit, "<path stroke=\"#e8f4ff\" stroke-width=\"4.5\" stroke-linecap=\"round\" "
                              "stroke-opacity=\"0.9\" d=\"");
  for (const PreviewSample::Point& dot : sample.dots()) dots.Dot(Project(dot.data()));
}

template <typename Emit>
void Draw(const PreviewSample& sample, const PreviewCaption& caption, Emit emit) {
  BlockText<Emit> out(emit);
  Fit fit = Fit::Of(sample.box());
  out << Header(fit) << BoundingBox(sample.box(), fit);
  DrawMarks(out, sample, fit);
  out << Caption(fit, caption) << "</svg>\n";
}

}  // namespace

void SvgPreview::Write(const PreviewSample& sample, const PreviewCaption& caption, OutputFile& file) {
  Draw(sample, caption, [&file](std::string_view text) { file.Write(text.data(), text.size()); });
}

}  // namespace dustweave
