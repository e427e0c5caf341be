// The samples no output holds, whose position is no finite 32-bit float: how convert names them
// (by particle and sample in the file, never by an output's point number), and the sink that
// leaves them out with --bad-samples drop, breaking each chain where one was.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "pfxtools/pfx_frames.h"
#include "standin/mesh_sink.h"
#include "writers/point_frames.h"

namespace dustweave {

// "particle 3, sample 0 (frame 5)"
std::string SampleName(const SampleOrigin& origin);

// "left out 3 samples of 2 particles ...: particle 1, sample 2 (frame 2), ..." naming the first
// few; empty when none was.
std::string LeftOutSummary(uint64_t samples, uint64_t particles, const std::vector<SampleOrigin>& first);

// The point `number` (from 0) of the plug-in's run over `input` at `step`, named by where it comes
// from; "point N" (from 1) when the file cannot be walked to it.
std::string NamePoint(const std::string& input, const std::optional<double>& step, uint64_t number);

// Leaves out each point whose position is no finite 32-bit float, and each polygon naming it, so
// that the chain through it breaks there (the one-point polygon of --start-poly then begins the
// chain that follows). The points kept are numbered on as if the others had never been made, and
// their frames, given a source, are handed on without those of the points left out.
class BadSampleDrop : public standin::MeshSink {
 public:
  // `frames`: the frames of every point made, or null; `input` and `step` tell where a point comes
  // from.
  BadSampleDrop(PointFrames* frames, bool startPolygons, const std::string& input, const std::optional<double>& step);
  ~BadSampleDrop() override;
  void SendTo(standin::MeshSink* next) { next_ = next; }
  // The frames of the points kept, for the mesh file; null without a source.
  PointFrames* keptFrames();

  void AddPoint(uint64_t number, const double position[3]) override;
  void AddPolygon(const char* surface, int count, const int64_t* points) override;
  // After the last point: the start polygon still owed.
  void Finish();

  uint64_t newestMade() const { return made_ - 1; }  // the number the module gave the newest point
  uint64_t dropped() const { return dropped_; }
  // "left out 3 samples of 2 particles ...: particle 1, sample 2 (frame 2), ..."; empty when none.
  std::string Summary() const;

  static constexpr size_t FIRST_NAMED = 5;  // the points left out that the summary names

 private:
  class FramesKept;
  static bool Holds(const double position[3]);
  int64_t KeptNumber(int64_t made) const;
  void NoteDropped(uint64_t number);
  void PayStart();

  standin::MeshSink* next_ = nullptr;
  std::unique_ptr<FramesKept> frames_;
  bool startPolygons_;
  std::string input_;
  std::optional<double> step_;
  std::optional<PointOrigins> origins_;  // opened at the first point left out
  uint64_t made_ = 0, dropped_ = 0, lastDropped_ = 0;
  bool newestDropped_ = false, previousDropped_ = false;
  bool startOwed_ = false;  // the newest point begins a chain after a point left out
  std::string surface_;     // of the polygons seen, for a start polygon owed
  uint64_t particles_ = 0;
  std::optional<uint64_t> lastParticle_;
  std::vector<SampleOrigin> first_;  // the first few left out
};

}  // namespace dustweave
