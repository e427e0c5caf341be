// dustweave inspect. Divisions: the option; the report's text; the command.
#include "commands/inspect.h"

#include <iostream>

#include "commands/animate.h"
#include "commands/bad_samples.h"
#include "commands/called_name.h"
#include "commands/exit_status.h"
#include "commands/plan.h"
#include "commands/progress.h"
#include "pfxtools/pfx_track_index.h"
#include "writers/number_text.h"

namespace dustweave {

// ---- the option -------------------------------------------------------------------------------

CLI::App* AddInspect(CLI::App& app, std::string& file) {
  CLI::App* inspect = app.add_subcommand("inspect", "Check a pfx file as the plug-in would read it");
  inspect->add_option("FILE", file, "the pfx file")->required()->type_name("");
  inspect->footer(
      "Exit status, as convert's where the file alone tells it: 0 when the plug-in reads the whole\n"
      "file without a question; 1 when the file ends early, its header makes the plug-in ask or it\n"
      "is no pfx file at all; 3 when its tracks hold no sample, so convert writes nothing; 10 when it\n"
      "cannot be read (a folder, a device, an empty file) or holds a NaN or infinite sample, which\n"
      "convert refuses without --bad-samples drop; 64 on misuse.\n\n"
      "Example:\n  " + CalledName() + " inspect sim.pfx\n");
  return inspect;
}

// ---- the report's text ------------------------------------------------------------------------

namespace {

std::string Range(float low, float high) { return ShortestText(low) + " .. " + ShortestText(high); }

// Bytes as a count below a megabyte, else in megabytes or gigabytes.
std::string RoughBytes(uint64_t bytes) { return bytes < 1000000 ? Counted(bytes, "byte", "bytes") : SizeText(bytes); }

const std::pair<const char*, double> SHARES[] = {{"100", 1.0}, {"50", 0.5}, {"25", 0.25}, {"10", 0.1}, {"1", 0.01}};

// The points a few step shares keep, to size an output: "100 % 20,200 · 50 % 10,200 · ...".
std::string PointsByStep(const TrackShapes& shapes) {
  std::string line;
  for (const auto& [percent, step] : SHARES) {
    line += (line.empty() ? "" : " \xC2\xB7 ") + std::string(percent) + " % " + GroupedDigits(shapes.PointsKept(step));
  }
  return line + " (--step; --max-points chooses one)";
}

// The header, the tracks and samples read, and their bounds.
std::string WhatItHolds(const PfxInspection& in) {
  std::string particles = in.header.particleCount >= 0
                              ? Counted(static_cast<uint64_t>(in.header.particleCount), "particle", "particles")
                              : "particle count " + std::to_string(in.header.particleCount);
  std::string out = "header:    version " + std::to_string(in.header.version) + ", " + particles + ", index limit " +
                    std::to_string(in.header.indexLimit) + "\n";
  out += "tracks:    " + GroupedDigits(in.wholeTracks) + " whole of " + GroupedDigits(in.tracksToRead) + "\n";
  out += "samples:   " + GroupedDigits(in.samples) + "\n";
  out += "points:    " + PointsByStep(in.shapes) + "\n";
  if (!in.anyFinite) return out + "bounds:    none (no finite sample)\n";
  return out + "bounds:    x " + Range(in.low[0], in.high[0]) + ", y " + Range(in.low[1], in.high[1]) + ", z " +
         Range(in.low[2], in.high[2]) + "\n";
}

// Where the file ends early, or what follows its last track.
std::string WhereItEnds(const PfxInspection& in) {
  if (!in.endsEarly) return "trailing:  " + Counted(in.trailingBytes, "byte", "bytes") + " after the last track, never read\n";
  std::string out = "ends early: at byte " + std::to_string(in.fileBytes) + ", inside track " +
                    std::to_string(in.endTrack) + " of " + std::to_string(in.tracksToRead) + ", ";
  if (in.endSample == 0) return out + "in its 24-byte head\n";
  return out + "in sample " + std::to_string(in.endSample) + " of " + std::to_string(in.endTrackSamples) + "\n";
}

// What the plug-in does about what it finds.
std::string Notes(const PfxInspection& in) {
  std::string out;
  if (in.header.version != PFX_VERSION) out += "note:      the plug-in expects version 3 and asks before reading on\n";
  if (in.header.particleCount < 1) out += "note:      no particles: the plug-in asks before going on\n";
  if (in.cappedTracks > 0) {
    out += "note:      " + Counted(in.cappedTracks, "track", "tracks") +
           " the sample rule never ends, read as span + 1 samples\n";
  }
  if (in.nonFiniteSamples > 0) {
    out += "note:      " + Counted(in.nonFiniteSamples, "sample has", "samples have") +
           " a NaN or infinite coordinate, which no output holds, the first " +
           SampleName({in.firstNonFiniteParticle, in.firstNonFiniteSample, in.firstNonFiniteFrame}) +
           ": convert refuses the file (exit 10); --bad-samples drop leaves such samples out\n";
  } else if (std::string why = WhyNoPoint(in); !why.empty() && in.header.particleCount >= 1) {
    out += "note:      " + why + ": convert makes no point and writes nothing (exit 3)\n";
  }
  return out;
}

// The status convert would end with, where the file alone tells it: a header the plug-in asks
// about is a finding, as ever (convert stops there without --yes); past it, a sample no output
// holds stops convert, and a file of no sample makes nothing.
int InspectionStatus(const PfxInspection& in) {
  if (in.headerFields < 3 || in.header.version != PFX_VERSION || in.header.particleCount < 1) return EXIT_FINDINGS;
  if (in.nonFiniteSamples > 0) return EXIT_NOT_DONE;
  if (!WhyNoPoint(in).empty()) return EXIT_NOTHING_MADE;
  return ReadsCleanly(in) ? 0 : EXIT_FINDINGS;
}

}  // namespace

std::string DescribeAnimated(const PfxFrameIndex& index) {
  std::string out = "animated:  " + Counted(index.frames(), "frame", "frames") + ", " +
                    Counted(index.ParticlePoints(), "particle point", "particle points") + " (--animate)\n";
  std::string line;
  for (const auto& [percent, step] : SHARES) {
    std::optional<double> share = step < 1 ? std::optional<double>(step) : std::nullopt;
    line += (line.empty() ? "" : " \xC2\xB7 ") + std::string(percent) + " % " + GroupedDigits(index.TrailPoints(0, share)) + ", " +
            RoughBytes(AnimatedValueBytes(index, 0, share));
  }
  return out + "trails:    " + line + " (points and values, whole trails)\n";
}

std::string DescribeInspection(const std::string& path, const PfxInspection& in) {
  std::string out = "file:      " + path + ", " + Counted(in.fileBytes, "byte", "bytes") + "\n";
  if (in.headerFields < 3) {
    return out + "ends early: at byte " + std::to_string(in.fileBytes) + ", inside the 12-byte header\n";
  }
  return out + WhatItHolds(in) + WhereItEnds(in) + Notes(in);
}

// ---- the command ------------------------------------------------------------------------------

// The first look convert takes, with its words, for what is no pfx file at all.
int Inspect(const std::string& file) {
  CommandPlan plan;
  Verdict refusal = CheckPathLengths({{file, false}});
  if (refusal || (refusal = PlanInput(file, &plan))) return Refuse(*refusal, "inspect");
  if (!plan.notPfx.empty()) {
    Say(file + " " + plan.notPfx);
    return EXIT_FINDINGS;
  }
  PfxInspection inspection;
  std::string error;
  if (!InspectPfx(file, &inspection, &error)) return NotDone(error);
  std::cout << DescribeInspection(file, inspection);
  PfxFrameIndex index;
  if (inspection.headerFields == 3 && index.Build(file, &error)) std::cout << DescribeAnimated(index);
  return InspectionStatus(inspection);
}

}  // namespace dustweave
