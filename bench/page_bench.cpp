// The 3D preview page at scale: a simulation of 200 M points (about 2.4 GB) generated under the
// bench folder, run through the module with --html alone, and the page opened in headless Chromium. Prints
// the page's size, the conversion's peak memory and time, and the time to the page's first
// frame, one line each; fails when one misses its target. The simulation is removed at the end.
#include <sys/resource.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <spawn.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

extern char** environ;

namespace {

constexpr uint64_t PARTICLES = 200000, SAMPLES = 1000;              // 200 M points
constexpr uint64_t INPUT_BYTES = 12 + PARTICLES * (24 + 12 * SAMPLES);
constexpr uint64_t MAX_PAGE_BYTES = 10 * 1000 * 1000;
constexpr uint64_t MAX_PEAK_KIB = 64 * 1024;

struct Ran {
  int status = -1;
  uint64_t peakKiB = 0;
  double seconds = 0;
};

// Runs `args` (args[0] a path) to its end, its output passed through.
Ran RunProgram(std::vector<std::string> args) {
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  Ran ran;
  std::fflush(stdout);  // the lines in the order they were made
  auto started = std::chrono::steady_clock::now();
  pid_t pid;
  if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return ran;
  int status = 0;
  struct rusage usage {};
  wait4(pid, &status, 0, &usage);
  ran.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  ran.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  ran.peakKiB = static_cast<uint64_t>(usage.ru_maxrss);
  return ran;
}

uint64_t FreeBytes(const std::string& folder) {
  struct statvfs place {};
  if (statvfs(folder.c_str(), &place) != 0) return 0;
  return static_cast<uint64_t>(place.f_bavail) * place.f_frsize;
}

struct Given {
  std::string dustweave, module, node, opener, dir, out;
};

bool Read(int argc, char** argv, Given* given) {
  for (int i = 1; i + 1 < argc; i += 2) {
    std::string name = argv[i], value = argv[i + 1];
    if (name == "--dustweave") given->dustweave = value;
    else if (name == "--module") given->module = value;
    else if (name == "--node") given->node = value;
    else if (name == "--opener") given->opener = value;
    else if (name == "--dir") given->dir = value;
    else if (name == "--out") given->out = value;
    else return false;
  }
  return !given->dustweave.empty() && !given->module.empty() && !given->node.empty() && !given->opener.empty() &&
         !given->dir.empty() && !given->out.empty();
}

// The simulation run through the module into the page alone; whether each figure met its target.
bool ConvertAndMeasure(const Given& g, const std::string& input, const std::string& page) {
  // `run` writes the page alone (convert always writes a mesh file too).
  Ran convert = RunProgram({g.dustweave, "run", g.module, "--file", input, "--html", page});
  if (convert.status != 0) return std::printf("page bench: the run failed (%d)\n", convert.status), false;
  uint64_t size = std::filesystem::file_size(page);
  std::printf("page at 200 M points: %.2f MB (target < %.0f MB)\n", size / 1e6, MAX_PAGE_BYTES / 1e6);
  std::printf("run with --html alone: peak RSS %.1f MiB (target < %.0f MiB), %.1f s\n", convert.peakKiB / 1024.0,
              MAX_PEAK_KIB / 1024.0, convert.seconds);
  return size < MAX_PAGE_BYTES && convert.peakKiB < MAX_PEAK_KIB;
}

}  // namespace

int main(int argc, char** argv) {
  Given g;
  if (!Read(argc, argv, &g)) {
    std::fprintf(stderr, "usage: page_bench --dustweave P --module M --node N --opener JS --dir D --out D\n");
    return 2;
  }
  std::filesystem::create_directories(g.dir);
  if (FreeBytes(g.dir) < INPUT_BYTES + (1ull << 30)) {
    std::printf("page bench: not run: %s has %.1f GB free, and the simulation needs %.1f GB\n", g.dir.c_str(),
                FreeBytes(g.dir) / 1e9, INPUT_BYTES / 1e9);
    return 1;
  }
  std::string input = g.dir + "/page-bench.pfx", page = g.out + "/page-bench.html";
  Ran made = RunProgram({g.dustweave, "generate", input, "--force", "--particles", std::to_string(PARTICLES), "--index-limit",
                         std::to_string(SAMPLES), "--last", std::to_string(SAMPLES - 1)});
  bool met = made.status == 0 && ConvertAndMeasure(g, input, page);
  std::filesystem::remove(input);
  if (met) met = RunProgram({g.node, g.opener, page}).status == 0;
  std::filesystem::remove(page);
  return met ? 0 : 1;
}
