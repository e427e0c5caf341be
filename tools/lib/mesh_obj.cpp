// Writing OBJ text in large chunks; coordinates in their shortest round-trip form.
#include "tools/lib/mesh_obj.h"


#include "tools/lib/number_text.h"
#include "tools/lib/output_file.h"

namespace dustweave {

namespace {

constexpr size_t FLUSH_AT = 1 << 20;

void FlushIfFull(std::string& chunk, std::ostream& out) {
  if (chunk.size() < FLUSH_AT) return;
  out.write(chunk.data(), static_cast<std::streamsize>(chunk.size()));
  chunk.clear();
}

void AppendPoint(std::string& chunk, const std::array<double, 3>& point) {
  chunk += 'v';
  for (double coordinate : point) {
    chunk += ' ';
    AppendShortest(chunk, coordinate);
  }
  chunk += '\n';
}

bool RefersToMadePoints(const standin::Polygon& polygon) {
  for (int64_t index : polygon.points) {
    if (index < 0) return false;
  }
  return !polygon.points.empty();
}

void AppendPolygon(std::string& chunk, const standin::Polygon& polygon) {
  size_t count = polygon.points.size();
  chunk += count == 1 ? "p" : count == 2 ? "l" : "f";
  for (int64_t index : polygon.points) {
    chunk += ' ';
    chunk += std::to_string(index + 1);
  }
  chunk += '\n';
}

}  // namespace

void WriteObj(const standin::MeshRecord& mesh, std::ostream& out) {
  std::string chunk = "# mirod_dustweave chains: " + std::to_string(mesh.points.size()) +
                      " points, " + std::to_string(mesh.polygons.size()) + " polygons\n";
  for (const auto& point : mesh.points) {
    AppendPoint(chunk, point);
    FlushIfFull(chunk, out);
  }
  const std::string* surface = nullptr;
  for (size_t i = 0; i < mesh.polygons.size(); ++i) {
    const standin::Polygon& polygon = mesh.polygons[i];
    if (!RefersToMadePoints(polygon)) {
      chunk += "# polygon " + std::to_string(i + 1) + " left out: it has no point made in this run\n";
      continue;
    }
    if (surface == nullptr || *surface != polygon.surface) {
      surface = &polygon.surface;
      chunk += "usemtl " + polygon.surface + "\n";
    }
    AppendPolygon(chunk, polygon);
    FlushIfFull(chunk, out);
  }
  out.write(chunk.data(), static_cast<std::streamsize>(chunk.size()));
}

bool WriteObjFile(const standin::MeshRecord& mesh, const std::string& path, std::string* error) {
  return WriteOutputFile(path, error, [&](std::ostream& out) { WriteObj(mesh, out); });
}

}  // namespace dustweave
