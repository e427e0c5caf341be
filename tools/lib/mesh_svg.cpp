// Drawing the mesh. Divisions: the view (projection and fitting); where each polygon lies along
// its chain; the colours; the SVG text.
#include "tools/lib/mesh_svg.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <vector>

#include "tools/lib/output_file.h"

namespace dustweave {

namespace {

using Point3 = std::array<double, 3>;

// ---- the view: turned 35 degrees about the vertical axis, looking down 25 degrees ----------

constexpr double COS_YAW = 0.8191520442889918;
constexpr double SIN_YAW = 0.5735764363510461;
constexpr double COS_PITCH = 0.9063077870366499;
constexpr double SIN_PITCH = 0.42261826174069944;

constexpr double CANVAS_WIDTH = 1200;
constexpr double MIN_HEIGHT = 520;
constexpr double MAX_HEIGHT = 1100;
constexpr double MARGIN = 60;
constexpr double CAPTION_SPACE = 40;

struct Flat {
  double x, y;  // on the canvas before fitting; y grows downwards
};

Flat Project(const Point3& p) {
  double across = p[0] * COS_YAW - p[2] * SIN_YAW;
  double away = p[0] * SIN_YAW + p[2] * COS_YAW;
  double up = p[1] * COS_PITCH + away * SIN_PITCH;
  return {across, -up};
}

bool Finite(const Point3& p) {
  return std::isfinite(p[0]) && std::isfinite(p[1]) && std::isfinite(p[2]);
}

struct Box3 {
  Point3 low{std::numeric_limits<double>::max(), std::numeric_limits<double>::max(),
             std::numeric_limits<double>::max()};
  Point3 high{-std::numeric_limits<double>::max(), -std::numeric_limits<double>::max(),
              -std::numeric_limits<double>::max()};
  bool empty = true;
  void Add(const Point3& p) {
    for (int i = 0; i < 3; ++i) {
      low[i] = std::min(low[i], p[i]);
      high[i] = std::max(high[i], p[i]);
    }
    empty = false;
  }
  std::array<Point3, 8> Corners() const {
    std::array<Point3, 8> corners;
    for (int c = 0; c < 8; ++c) {
      corners[c] = {(c & 1) ? high[0] : low[0], (c & 2) ? high[1] : low[1], (c & 4) ? high[2] : low[2]};
    }
    return corners;
  }
};

// Maps projected points onto the canvas: uniform scale, centred, inside the margins.
struct Fit {
  double scale = 1, offsetX = 0, offsetY = 0, width = CANVAS_WIDTH, height = MIN_HEIGHT;

  static Fit Of(const Box3& box) {
    Fit fit;
    if (box.empty) return fit;
    double minX = std::numeric_limits<double>::max(), maxX = -minX, minY = minX, maxY = -minX;
    for (const Point3& corner : box.Corners()) {
      Flat f = Project(corner);
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

  Flat Place(const Point3& p) const {
    Flat f = Project(p);
    return {offsetX + scale * f.x, offsetY + scale * f.y};
  }
};

// ---- where each polygon lies along its chain ------------------------------------------------

// For each two-point polygon, its place along its chain from 0 (first) to 1 (last): a chain is a
// run of polygons each starting at the point where the one before it ended.
std::vector<double> PlacesAlongChains(const std::vector<standin::Polygon>& polygons) {
  std::vector<double> place(polygons.size(), 0.0);
  size_t start = 0;
  while (start < polygons.size()) {
    size_t end = start + 1;
    while (end < polygons.size() && polygons[end].points.size() == 2 &&
           !polygons[end - 1].points.empty() &&
           polygons[end].points.front() == polygons[end - 1].points.back()) {
      ++end;
    }
    size_t lines = 0;
    for (size_t i = start; i < end; ++i) lines += polygons[i].points.size() == 2 ? 1 : 0;
    size_t k = 0;
    for (size_t i = start; i < end; ++i) {
      if (polygons[i].points.size() == 2) place[i] = (static_cast<double>(k++) + 0.5) / static_cast<double>(lines);
    }
    start = end;
  }
  return place;
}

// ---- the colours: deep violet at a chain's start through ember and amber to pale sand -------

constexpr int BANDS = 16;

std::string BandColour(int band) {
  struct Stop { double at; double r, g, b; };
  static constexpr Stop stops[] = {
      {0.00, 0x5b, 0x2a, 0x86}, {0.35, 0xd9, 0x48, 0x3b}, {0.70, 0xf4, 0xa2, 0x3a}, {1.00, 0xff, 0xf1, 0xc9}};
  double t = (band + 0.5) / BANDS;
  int s = 0;
  while (s < 2 && t > stops[s + 1].at) ++s;
  double u = (t - stops[s].at) / (stops[s + 1].at - stops[s].at);
  auto mix = [&](double a, double b) { return static_cast<int>(a + (b - a) * u + 0.5); };
  char text[8];
  std::snprintf(text, sizeof text, "#%02x%02x%02x", mix(stops[s].r, stops[s + 1].r),
                mix(stops[s].g, stops[s + 1].g), mix(stops[s].b, stops[s + 1].b));
  return text;
}

// ---- the SVG text ---------------------------------------------------------------------------

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

std::string Header(const Fit& fit) {
  std::string out;
  std::string w = std::to_string(static_cast<int>(fit.width)), h = std::to_string(static_cast<int>(fit.height));
  out += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + w + "\" height=\"" + h +
         "\" viewBox=\"0 0 " + w + " " + h + "\">\n";
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
  if (box.empty) return "";
  std::array<Point3, 8> corners = box.Corners();
  std::string d;
  for (int a = 0; a < 8; ++a) {
    for (int bit = 1; bit < 8; bit <<= 1) {
      int b = a | bit;
      if (b == a) continue;
      AppendMove(d, 'M', fit.Place(corners[a]));
      AppendMove(d, 'L', fit.Place(corners[b]));
    }
  }
  return "<path d=\"" + d + "\" fill=\"none\" stroke=\"#56627f\" stroke-opacity=\"0.45\" stroke-width=\"1\"/>\n";
}

bool Drawable(const standin::MeshRecord& mesh, const standin::Polygon& polygon) {
  for (int64_t index : polygon.points) {
    if (index < 0 || static_cast<uint64_t>(index) >= mesh.points.size() || !Finite(mesh.points[index])) return false;
  }
  return true;
}

std::string Strokes(const standin::MeshRecord& mesh, const Fit& fit) {
  std::vector<double> place = PlacesAlongChains(mesh.polygons);
  std::array<std::string, BANDS> paths;
  for (size_t i = 0; i < mesh.polygons.size(); ++i) {
    const standin::Polygon& polygon = mesh.polygons[i];
    if (polygon.points.size() != 2 || !Drawable(mesh, polygon)) continue;
    int band = std::min(BANDS - 1, static_cast<int>(place[i] * BANDS));
    AppendMove(paths[band], 'M', fit.Place(mesh.points[polygon.points[0]]));
    AppendMove(paths[band], 'L', fit.Place(mesh.points[polygon.points[1]]));
  }
  std::string out = "<g fill=\"none\" stroke-width=\"1.4\" stroke-linecap=\"round\" stroke-opacity=\"0.85\">\n";
  for (int band = 0; band < BANDS; ++band) {
    if (!paths[band].empty()) out += "<path stroke=\"" + BandColour(band) + "\" d=\"" + paths[band] + "\"/>\n";
  }
  return out + "</g>\n";
}

std::string Dots(const standin::MeshRecord& mesh, const Fit& fit) {
  std::string d;
  for (const standin::Polygon& polygon : mesh.polygons) {
    if (polygon.points.size() != 1 || !Drawable(mesh, polygon)) continue;
    AppendMove(d, 'M', fit.Place(mesh.points[polygon.points[0]]));
    d += "h0";
  }
  if (d.empty()) return "";
  return "<path d=\"" + d + "\" stroke=\"#e8f4ff\" stroke-width=\"4.5\" stroke-linecap=\"round\" stroke-opacity=\"0.9\"/>\n";
}

std::string Caption(const standin::MeshRecord& mesh, const Fit& fit) {
  std::string y = std::to_string(static_cast<int>(fit.height - 24));
  std::string legendX = std::to_string(static_cast<int>(fit.width - 280));
  std::string out = "<g font-family=\"DejaVu Sans, Helvetica, Arial, sans-serif\" font-size=\"15\" fill=\"#aab4cc\">\n";
  out += "<text x=\"24\" y=\"" + y + "\">mirod_dustweave \xC2\xB7 " + std::to_string(mesh.points.size()) +
         " points \xC2\xB7 " + std::to_string(mesh.polygons.size()) + " polygons</text>\n";
  out += "<text x=\"" + legendX + "\" y=\"" + y + "\" text-anchor=\"end\">chain start</text>\n";
  out += "<rect x=\"" + std::to_string(static_cast<int>(fit.width - 270)) + "\" y=\"" +
         std::to_string(static_cast<int>(fit.height - 36)) +
         "\" width=\"160\" height=\"14\" rx=\"3\" fill=\"url(#legend)\"/>\n";
  out += "<text x=\"" + std::to_string(static_cast<int>(fit.width - 100)) + "\" y=\"" + y + "\">chain end</text>\n";
  return out + "</g>\n";
}

}  // namespace

void WriteSvg(const standin::MeshRecord& mesh, std::ostream& out) {
  Box3 box;
  for (const standin::Polygon& polygon : mesh.polygons) {
    if (!Drawable(mesh, polygon)) continue;
    for (int64_t index : polygon.points) box.Add(mesh.points[index]);
  }
  Fit fit = Fit::Of(box);
  out << Header(fit) << BoundingBox(box, fit) << Strokes(mesh, fit) << Dots(mesh, fit)
      << Caption(mesh, fit) << "</svg>\n";
}

bool WriteSvgFile(const standin::MeshRecord& mesh, const std::string& path, std::string* error) {
  return WriteOutputFile(path, error, [&](std::ostream& out) { WriteSvg(mesh, out); });
}

}  // namespace dustweave
