// A picture of the stand-in host's mesh as SVG, drawn from the mesh as it streams by: a fixed
// oblique view fitted to the bounding box, each chain's segments coloured from its start to its
// end, a dot per one-point polygon, the box drawn faintly behind, and a caption with the input,
// the answers and the counts. It has a viewBox and no size of its own, so a browser fits it to
// any window. Memory and file size stay bounded whatever the run: past a budget, an even sample
// is drawn.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/atomic_file.h"
#include "standin/mesh_sink.h"

namespace dustweave {

// A sink that draws the run at Finish, once the box to fit is known. Until then it keeps each
// kept segment's two projected ends and its place along its chain; past the budget it keeps
// every k-th chain piece (a whole chain, or PIECE_SEGMENTS of a longer one), doubling k as needed.
class SvgPreview : public standin::MeshSink {
 public:
  // Marks (segments and dots) drawn at most; a larger run shows every k-th chain piece.
  static constexpr size_t DEFAULT_BUDGET = 200000;
  // Segments a chain piece holds at most: a longer chain is sampled piece by piece.
  static constexpr uint64_t PIECE_SEGMENTS = 256;
  static constexpr size_t MIN_BUDGET = 16;  // a smaller budget is taken as this

  explicit SvgPreview(size_t budget = DEFAULT_BUDGET);

  // Creates the picture's temporary file beside `path`; false, with a one-line reason.
  bool Open(const std::string& path, std::string* error);
  // The caption's line above the counts: the input's name (shortened in the middle when long)
  // and how it was read ("step 25 % · poly at start off"). Left unset, the line is left out.
  void SetSource(const std::string& input, const std::string& settings);
  void AddPoint(uint64_t number, const double position[3]) override;
  void AddPolygon(const char* surface, int count, const int64_t* points) override;
  // Draws what was kept, ready to be committed; false, with a one-line reason, and nothing left
  // behind. A preview destroyed before its commit leaves nothing either.
  bool Complete(std::string* error);
  AtomicFile& file() { return file_; }
  // Complete, then commit the picture under its name.
  bool Finish(std::string* error);

  // The box of points; empty until the first Add.
  struct Box3 {
    double low[3] = {0, 0, 0}, high[3] = {0, 0, 0};
    bool empty = true;
    void Add(const double p[3]);
  };
  struct Flat {
    double x, y;  // projected, before fitting to the canvas; y grows downwards
  };

 private:
  struct Segment {
    Flat from, to;
    double along;  // its index within its chain, then, once the chain has ended, its place 0..1
  };
  // A run of kept marks from one chain piece, in the order they came.
  struct Piece {
    uint64_t number;        // among all pieces of the run
    uint64_t chain;         // among all chains of the run
    size_t firstSegment;    // its segments run to the next piece's first
    bool hasDot;
    Flat dot;
  };
  struct RecentPoint {
    bool known;
    uint64_t number;
    double position[3];
  };

  const double* PositionOf(int64_t number) const;
  bool AddToBox(int count, const int64_t* points);
  void StartChain();
  void EndChain();
  void StartPiece();
  void AddSegment(const double* from, const double* to, bool drawable);
  void AddDot(const double* at, bool drawable);
  Piece* KeptPieceForMark();
  void KeepWithinBudget();
  void DoubleStride();

  template <typename Emit>
  void Draw(Emit emit) const;

  size_t budget_;
  uint64_t pieceLimit_;
  std::string source_;  // the caption's line of input and answers; may be empty  // segments per piece, small enough that one piece fits the budget
  AtomicFile file_;
  bool open_ = false;

  // What the run has made so far.
  uint64_t points_ = 0, polygons_ = 0;
  uint64_t segmentsSeen_ = 0, dotsSeen_ = 0;  // drawable ones
  Box3 box_;                                  // of every drawable polygon's points

  // The last few points, by number: a polygon names the points just made.
  static constexpr size_t RECENT = 4;
  RecentPoint recent_[RECENT] = {};

  // The chain and piece being built.
  bool inChain_ = false;
  int64_t chainEnd_ = 0;                // the number of the chain's last point so far
  bool chainEndKnown_ = false;
  double chainEndPosition_[3] = {0, 0, 0};
  uint64_t chains_ = 0, chainLines_ = 0;
  uint64_t pieces_ = 0, pieceLines_ = 0;
  bool pieceKept_ = false, pieceHasMarks_ = false;

  // What is kept for drawing: every stride_-th piece.
  uint64_t stride_ = 1;
  std::vector<Piece> kept_;
  std::vector<Segment> segments_;
  size_t dotsKept_ = 0;
};

// A file name for a caption: its characters, each byte that is not UTF-8 as U+FFFD (a name in
// another code page), one longer than 60 characters cut in its middle with an ellipsis.
std::string ShortenedName(std::string_view name);

}  // namespace dustweave
