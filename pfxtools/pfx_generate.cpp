// The dust simulation and its streamed, big-endian encoding. Divisions: the output buffer; the
// random numbers and the angle arithmetic (plain + - * / and sqrt only, so results do not depend
// on the platform's maths library); one particle's track; the file.
#include "pfxtools/pfx_generate.h"

#include <cmath>
#include <vector>

#include "pfx/format.h"
#include "pfxtools/pfx_writer.h"
#include "platform/output_file.h"

namespace dustweave {

namespace {

// ---- the output buffer ------------------------------------------------------------------------

// The file's values gathered in a block, which goes to the file when full.
class BigEndianOut {
 public:
  explicit BigEndianOut(OutputFile& file) : file_(file), buffer_(BUFFER_SIZE) {}

  void Int(int32_t value) {
    Room(4);
    Put(pfxwrite::WordOf(value));
  }
  void Floats(float x, float y, float z) {
    Room(12);
    Put(pfxwrite::WordOf(x));
    Put(pfxwrite::WordOf(y));
    Put(pfxwrite::WordOf(z));
  }
  bool Finish() {
    Flush();
    return !file_.failed();
  }
  bool failed() const { return file_.failed(); }
  uint64_t bytes() const { return bytes_ + used_; }

 private:
  static constexpr size_t BUFFER_SIZE = WRITE_BLOCK_SIZE;

  void Put(uint32_t word) {
    pfxwrite::PutWordAt(buffer_.data() + used_, word);
    used_ += 4;
  }
  void Room(size_t n) {
    if (used_ + n > buffer_.size()) Flush();
  }
  void Flush() {
    file_.Write(buffer_.data(), used_);
    bytes_ += used_;
    used_ = 0;
  }

  OutputFile& file_;
  std::vector<unsigned char> buffer_;
  size_t used_ = 0;
  uint64_t bytes_ = 0;
};

// ---- random numbers and angles ------------------------------------------------------------

struct Random {
  uint64_t state;
  uint64_t Next() {  // splitmix64
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  double Unit() { return static_cast<double>(Next() >> 11) * 0x1.0p-53; }  // [0, 1)
  double Between(double low, double high) { return low + (high - low) * Unit(); }
};

constexpr double TWO_PI = 6.283185307179586;

struct Turn {
  double c, s;
};

// cos and sin of an angle of 0 or more: reduced to one turn, halved four times, a short series,
// then doubled back.
Turn TurnOf(double angle) {
  angle -= TWO_PI * static_cast<double>(static_cast<int64_t>(angle / TWO_PI));
  double a = angle / 16, a2 = a * a;
  double s = a * (1 - a2 / 6 * (1 - a2 / 20 * (1 - a2 / 42 * (1 - a2 / 72))));
  double c = 1 - a2 / 2 * (1 - a2 / 12 * (1 - a2 / 30 * (1 - a2 / 56 * (1 - a2 / 90))));
  for (int i = 0; i < 4; ++i) {
    double s2 = 2 * s * c;
    c = c * c - s * s;
    s = s2;
  }
  return {c, s};
}

// ---- one particle's track -------------------------------------------------------------------

// The shape of one particle's flight, drawn once per particle.
struct Flight {
  double radius0;      // distance from the funnel's axis when lifted
  Turn heading;        // direction from the axis when lifted
  double turns;        // turns around the axis over the whole track
  double rise;         // height reached at the end
  double flare;        // how far the funnel widens
  double jitter;       // turbulence
};

Flight DrawFlight(Random& random) {
  double x, z, r2;
  do {
    x = random.Between(-1, 1);
    z = random.Between(-1, 1);
    r2 = x * x + z * z;
  } while (r2 > 1 || r2 < 1e-4);
  double r = std::sqrt(r2);
  return Flight{0.25 + 0.75 * r, Turn{x / r, z / r}, random.Between(0.8, 2.2),
                random.Between(3.0, 6.5), random.Between(1.0, 2.6), random.Between(0.05, 0.12)};
}

void WriteTrack(BigEndianOut& out, Random& random, uint64_t samples) {
  Flight flight = DrawFlight(random);
  double steps = samples > 1 ? static_cast<double>(samples - 1) : 1.0;
  Turn step = TurnOf(TWO_PI * flight.turns / steps);
  Turn heading = flight.heading;
  double kick = flight.jitter * std::sqrt(12.0 / steps);  // the walk's spread reaches jitter at t = 1
  double jx = 0, jy = 0, jz = 0;
  for (uint64_t k = 0; k < samples; ++k) {
    double t = static_cast<double>(k) / steps;
    double radius = flight.radius0 * (0.5 + flight.flare * t * (0.6 + 0.4 * t));
    double height = flight.rise * t * (1.7 - 0.7 * t);
    double driftX = 3.0 * t, driftZ = 0.9 * t * t;
    out.Floats(static_cast<float>(driftX + radius * heading.c + jx),
               static_cast<float>(height + jy),
               static_cast<float>(driftZ + radius * heading.s + jz));
    heading = Turn{heading.c * step.c - heading.s * step.s, heading.s * step.c + heading.c * step.s};
    jx += kick * (random.Unit() - 0.5);
    jy += kick * (random.Unit() - 0.5);
    jz += kick * (random.Unit() - 0.5);
  }
}

}  // namespace

// ---- the file ---------------------------------------------------------------------------------

bool GenerateDustFile(const DustSettings& settings, const std::string& path, GeneratedFile* written,
                      std::string* error, bool replace) {
  OutputFile file;
  if (!file.Create(path, error)) return false;
  if (!replace) file.NeverReplace();
  // Every track ends by itself: past the index limit its counter resumes at the span.
  PfxTrack head{settings.firstIndex, settings.lastIndex, 0, {0, 0, 0}};
  head.resumeIndex = TrackSpan(head);
  uint64_t samples = pfxwrite::SamplesOf(head.firstIndex, head.lastIndex, head.resumeIndex,
                                         settings.indexLimit);
  BigEndianOut out(file);
  out.Int(PFX_VERSION);
  out.Int(settings.particles);
  out.Int(settings.indexLimit);
  for (int32_t p = 0; p < settings.particles && !out.failed(); ++p) {
    Random random{settings.seed * 0x9E3779B97F4A7C15ull + static_cast<uint64_t>(p) * 0xD1B54A32D192ED03ull};
    out.Int(head.firstIndex);
    out.Int(head.lastIndex);
    out.Int(head.resumeIndex);
    out.Floats(0, 0, 0);
    WriteTrack(out, random, samples);
  }
  if (!out.Finish()) {
    *error = file.reason();
    return false;
  }
  if (!CommitTogether({&file}, error)) return false;
  written->bytes = out.bytes();
  written->samples = samples * static_cast<uint64_t>(settings.particles > 0 ? settings.particles : 0);
  return true;
}

}  // namespace dustweave
