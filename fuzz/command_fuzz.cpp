// Fuzz target: the whole command, from the activation found through _mod_descrip to the chains,
// on arbitrary pfx file bytes, with the options, the user's answers and host failures drawn from
// the input. After each input the stand-in host's record is held against an independent model
// of the run: the same points (bit for bit), polygons, boxes and mesh edit, nothing more.
//
// Input: a 12-byte prefix (see RunChoices below), then the pfx file's bytes.
#include <cmath>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "base/memory.h"
#include "fuzz/fuzz_support.h"
#include "host/records.h"
#include "standin/host.h"

extern "C" ModuleDescriptor _mod_descrip;

namespace {

using fuzzsupport::Check;

constexpr size_t PREFIX_SIZE = 12;

enum class FileChoice { Data, None, Empty, Missing };

// Everything the run depends on besides the file's bytes.
struct RunChoices {
  FileChoice file = FileChoice::Data;
  bool startPolygon = false;
  std::optional<double> step;  // nullopt: the panel's initial value stands
  bool answerVersion = true;   // OK on the version question
  bool answerParticles = true;  // OK on the particle question
  bool declineEdit = false;
  int surfaceCount = 0;
  int pick = 0;
  uint32_t nullPointEvery = 0;  // every n-th point the host makes is a null ID; 0: never
  long failAllocation = 0;      // the module's allocation that fails; 0: none
};

const double STEPS[] = {1.0,   0.5,   0.25,  0.1,    0.0,    -0.5,         NAN,    INFINITY,
                        -INFINITY, 1e-12, 0x1p-31, 0x1p-32, 1.5, 0.3333333333, 5e-324, 0.999999};

// b0 flags, b1 step selector, b2..b9 a raw step, b10 surfaces / pick / null points, b11 failure.
RunChoices DecodeChoices(const uint8_t* prefix) {
  RunChoices c;
  uint8_t flags = prefix[0];
  c.startPolygon = (flags & 1) != 0;
  c.answerVersion = (flags & 2) == 0;
  c.answerParticles = (flags & 4) == 0;
  c.declineEdit = (flags & 8) != 0;
  int file = (flags >> 4) & 7;
  c.file = file < 5 ? FileChoice::Data : file == 5 ? FileChoice::None
                                     : file == 6 ? FileChoice::Empty
                                                 : FileChoice::Missing;
  if ((flags & 0x80) == 0) {
    if (prefix[1] < 16) {
      c.step = STEPS[prefix[1]];
    } else {
      double raw;
      std::memcpy(&raw, prefix + 2, sizeof raw);
      c.step = raw;
    }
  }
  c.surfaceCount = prefix[10] & 3;
  int names = c.surfaceCount == 0 ? 1 : c.surfaceCount;
  int pick = (prefix[10] >> 2) & 7;
  c.pick = pick < 6 ? pick % names : pick == 6 ? -1 : names;
  c.nullPointEvery = (prefix[10] >> 5) & 7;
  c.failAllocation = prefix[11] < 8 ? prefix[11] : 0;
  return c;
}

// ---- the model of a run ------------------------------------------------------------------

struct ModelBox {
  std::string kind;
  std::optional<std::string> title;
  std::string text;
  std::optional<int> answer;
};

struct ModelRun {
  int result = 0;
  bool panelPosted = false;
  standin::EditState edit = standin::EditState::None;
  std::vector<ModelBox> boxes;
  std::vector<std::array<double, 3>> points;
  std::vector<standin::Polygon> polygons;
};

// Reads the file's big-endian words by byte offset; false past its end.
class Bytes {
 public:
  Bytes(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  bool Word(uint32_t* word) {
    if (size_ - offset_ < 4) return false;
    const uint8_t* b = data_ + offset_;
    *word = uint32_t(b[0]) << 24 | uint32_t(b[1]) << 16 | uint32_t(b[2]) << 8 | b[3];
    offset_ += 4;
    return true;
  }
  bool Int(int32_t* value) {
    uint32_t word;
    if (!Word(&word)) return false;
    std::memcpy(value, &word, 4);
    return true;
  }
  bool Real(double* value) {
    uint32_t word;
    if (!Word(&word)) return false;
    float real;
    std::memcpy(&real, &word, 4);
    *value = real;
    return true;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t offset_ = 0;
};

class Model {
 public:
  Model(const RunChoices& choices, ModelRun* run) : c_(choices), run_(run) {}

  // The points a track makes, in 64-bit arithmetic: span + 1 passes at most, a pass with
  // j = 2^31 - 1 is the last, past indexLimit j jumps to resumeIndex.
  bool Track(Bytes& file, int32_t indexLimit, const std::string& surface) {
    int32_t first, last, resume;
    double ignored;
    if (!file.Int(&first) || !file.Int(&last) || !file.Int(&resume)) return false;
    for (int k = 0; k < 3; ++k) {
      if (!file.Real(&ignored)) return false;
    }
    int64_t span = static_cast<int32_t>(static_cast<uint32_t>(last) - static_cast<uint32_t>(first));
    int64_t interval = Interval(span);
    int64_t countdown = 0;
    std::optional<int64_t> previous;  // point number of the chain's last point, if not null
    int64_t passes = 0;
    for (int64_t j = 0; j <= span && passes <= span; ++passes) {
      if (j > indexLimit) j = resume;
      std::array<double, 3> p;
      if (!file.Real(&p[0]) || !file.Real(&p[1]) || !file.Real(&p[2])) return false;
      --countdown;
      bool kept = interval == 0 || countdown <= 0 || j == span;
      if (kept) {
        std::optional<int64_t> made = AddPoint(p);
        if (j <= 0 && c_.startPolygon) {
          if (made) run_->polygons.push_back({surface, {*made}});
        } else if (previous && made) {
          run_->polygons.push_back({surface, {*previous, *made}});
        }
        previous = made;
        countdown = interval;
      }
      if (j == INT32_MAX) break;
      ++j;
    }
    return true;
  }

  void Run(const uint8_t* data, size_t size) {
    int names = c_.surfaceCount == 0 ? 1 : c_.surfaceCount;
    long listAllocations = 1 + names;
    if (InRange(c_.failAllocation, 1, listAllocations)) {
      run_->result = 2;
      return;
    }
    run_->panelPosted = true;
    bool pickValid = c_.pick >= 0 && c_.pick < names;
    if (c_.failAllocation == listAllocations + 1) return;  // the file name's copy
    if (!pickValid || c_.failAllocation == listAllocations + 2) return;
    // listAllocations + 3 is the reader's buffer: without it the results are the same.
    std::string surface = c_.surfaceCount == 0 ? "Default" : "S" + std::to_string(c_.pick);
    if (c_.file == FileChoice::None) return;
    if (c_.file != FileChoice::Data) {
      run_->boxes.push_back({"error", std::nullopt, "could not open file", std::nullopt});
      return;
    }
    if (c_.declineEdit) return;
    run_->edit = standin::EditState::Ended;
    Bytes file(data, size);
    int32_t version, count, indexLimit;
    if (!file.Int(&version) || !file.Int(&count) || !file.Int(&indexLimit)) return EndsEarly();
    if (version != 3) {
      std::string text = "wrong pfx file version (" + std::to_string(version) + ")\n continue ?";
      run_->boxes.push_back({"okCancel", "Error !", text, c_.answerVersion ? 1 : 0});
      if (!c_.answerVersion) return;
    }
    if (count < 1) {
      bool ok = c_.answerParticles;
      // One answer per question: the second question takes the second answer.
      if (version == 3) ok = c_.answerVersion;
      run_->boxes.push_back({"okCancel", "Error !", "no particles found\n continue ?", ok ? 1 : 0});
      if (!ok) return;
    }
    for (int64_t i = 0; i < count; ++i) {
      if (!Track(file, indexLimit, surface)) return EndsEarly();
    }
  }

 private:
  static bool InRange(long v, long lo, long hi) { return v >= lo && v <= hi; }

  int64_t Interval(int64_t span) const {
    double step = c_.step.value_or(1.0);
    if (!(span > 0 && step > 0.0 && step < 1.0)) return 0;
    volatile double product = static_cast<double>(span) * step;
    volatile double quotient = static_cast<double>(span) / product;
    return quotient >= 2147483648.0 ? INT32_MAX : static_cast<int64_t>(quotient);
  }

  std::optional<int64_t> AddPoint(const std::array<double, 3>& p) {
    int64_t number = static_cast<int64_t>(run_->points.size());
    run_->points.push_back(p);
    if (c_.nullPointEvery != 0 && number % c_.nullPointEvery == c_.nullPointEvery - 1) {
      return std::nullopt;
    }
    return number;
  }

  void EndsEarly() {
    run_->boxes.push_back({"error", std::nullopt, "unexpected end of pfx file", std::nullopt});
  }

  const RunChoices& c_;
  ModelRun* run_;
};

// ---- the real run and the checks ---------------------------------------------------------

ActivateFunc* Activation() {
  static ActivateFunc* activate = [] {
    Check(_mod_descrip.sync == MOD_SYNC, "descriptor's synchronisation word");
    Check(_mod_descrip.startup() != nullptr, "startup's value");
    for (ServerRecord* server = _mod_descrip.serverDefs; server->name != nullptr; ++server) {
      if (std::strcmp(server->className, "CommandSequence") == 0 &&
          std::strcmp(server->name, "mirod_dustweave") == 0) {
        return server->activate;
      }
    }
    fuzzsupport::Fail("no server mirod_dustweave");
  }();
  return activate;
}

standin::HostScript ScriptFor(const RunChoices& c, const std::string& dataPath) {
  standin::HostScript script;
  for (int i = 0; i < c.surfaceCount; ++i) script.surfaces.push_back("S" + std::to_string(i));
  switch (c.file) {
    case FileChoice::Data: script.file = dataPath; break;
    case FileChoice::None: break;  // the panel's initial "none" stands
    case FileChoice::Empty: script.file = ""; break;
    case FileChoice::Missing: script.file = "/nonexistent/dustweave/file.pfx"; break;
  }
  script.startPolygon = c.startPolygon;
  script.step = c.step;
  script.pick = c.pick;
  script.answerOk = c.answerVersion;
  script.declineEdit = c.declineEdit;
  if (c.nullPointEvery != 0) {
    uint32_t every = c.nullPointEvery;
    script.nullPointAt = [every](uint64_t n) { return n % every == every - 1; };
  }
  return script;
}

bool SameBits(const std::array<double, 3>& a, const std::array<double, 3>& b) {
  return std::memcmp(a.data(), b.data(), sizeof(double) * 3) == 0;
}

void CheckAgainstModel(const standin::Host& host, int result, const ModelRun& model) {
  const standin::MeshRecord& mesh = host.mesh;
  Check(result == model.result, "activation's result");
  Check(mesh.edit != standin::EditState::Open, "the mesh edit was left open");
  Check(mesh.editBegins <= 1, "more than one mesh edit");
  Check(mesh.edit == model.edit, "mesh edit begun and ended as the run says");
  Check(mesh.edit != standin::EditState::Ended || (mesh.doneError == 0 && mesh.doneSelectMode == 0),
        "done(state, 0, 0)");
  for (const standin::Polygon& polygon : mesh.polygons) {
    Check(polygon.points.size() == 1 || polygon.points.size() == 2, "polygon of 1 or 2 points");
    for (int64_t point : polygon.points) Check(point >= 0, "a polygon names a foreign point");
  }
  Check(mesh.points.size() == model.points.size(), "points made (none from a failed read)");
  for (size_t i = 0; i < mesh.points.size(); ++i) {
    Check(SameBits(mesh.points[i], model.points[i]), "point is exactly its kept sample");
  }
  Check(mesh.polygons.size() == model.polygons.size(), "polygons made");
  for (size_t i = 0; i < mesh.polygons.size(); ++i) {
    Check(mesh.polygons[i].surface == model.polygons[i].surface, "polygon's surface");
    Check(mesh.polygons[i].points == model.polygons[i].points, "polygon's points");
  }
  Check(host.boxes.size() == model.boxes.size(), "boxes shown");
  for (size_t i = 0; i < host.boxes.size(); ++i) {
    const standin::Box& box = host.boxes[i];
    Check(box.kind == model.boxes[i].kind && box.title == model.boxes[i].title &&
              box.text == model.boxes[i].text && box.answer == model.boxes[i].answer,
          "box is one of the system's own messages, in order");
    Check(!box.text2, "second text argument is null");
  }
  bool posted = host.panel && host.panel->posted();
  Check(posted == model.panelPosted, "panel shown");
  Check(!host.panel || host.panel->destroyed(), "panel destroyed");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static fuzzsupport::ScratchFile scratch;
  if (size < PREFIX_SIZE) return -1;  // not kept in the corpus
  RunChoices choices = DecodeChoices(data);
  const uint8_t* fileBytes = data + PREFIX_SIZE;
  size_t fileSize = size - PREFIX_SIZE;
  scratch.Fill(fileBytes, fileSize);

  ModelRun model;
  Model(choices, &model).Run(fileBytes, fileSize);

  ActivateFunc* activate = Activation();
  long liveBefore = ModuleAllocLive();
  int freeBefore = fuzzsupport::LowestFreeDescriptor();
  int result;
  {
    standin::Host host(ScriptFor(choices, scratch.path()));
    // The version question takes the first answer, the particle question the second.
    host.onBox = [&host, &choices](const standin::Box&) {
      host.script.answerOk = choices.answerParticles;
    };
    ModuleAllocFailOnly(choices.failAllocation);
    result = activate(COMMAND_INTERFACE_VERSION, host.global(), host.command(), nullptr);
    ModuleAllocFailOnly(0);
    CheckAgainstModel(host, result, model);
  }
  Check(fuzzsupport::LowestFreeDescriptor() == freeBefore, "the file was closed");
  Check(ModuleAllocLive() == liveBefore, "every allocation of the run was freed");
  return 0;
}
