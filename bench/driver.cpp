// `make bench`: generates pfx files of about 64 MiB and 1 GiB under the build folder, then times,
// side by side and hot in the page cache, the command run through the loaded native module
// (dustweave run --discard, every sample kept and at step 0.25) against a raw 1 MiB-block read of
// the same file, and prints throughputs, their ratios and the run's peak resident memory.
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

extern char** environ;

namespace {

struct Outcome {
  double seconds = 0;
  long peakKiB = 0;
  std::string output;
  bool ok = false;
};

// Runs a command to its end, keeping its standard output, its wall time and its peak memory.
Outcome RunProcess(const std::vector<std::string>& argv) {
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  int pipeFds[2];
  if (pipe(pipeFds) != 0) return {};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
  Outcome outcome;
  auto start = std::chrono::steady_clock::now();
  pid_t pid;
  int spawned = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(pipeFds[1]);
  if (spawned != 0) {
    close(pipeFds[0]);
    return {};
  }
  char chunk[4096];
  ssize_t got;
  while ((got = read(pipeFds[0], chunk, sizeof chunk)) > 0) outcome.output.append(chunk, got);
  close(pipeFds[0]);
  int status = 0;
  struct rusage usage{};
  wait4(pid, &status, 0, &usage);
  outcome.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  outcome.peakKiB = usage.ru_maxrss;
  outcome.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  return outcome;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

long long FileSize(const std::string& path) {
  struct stat info{};
  return stat(path.c_str(), &info) == 0 ? static_cast<long long>(info.st_size) : -1;
}

struct SimFile {
  std::string label;
  int particles;
  int rounds;
  std::string path;
};

constexpr int kSamples = 1000;  // every track runs from index 0 to 999
long long ExpectedSize(int particles) { return 12 + particles * (24LL + 12LL * kSamples); }

struct Config {
  std::string label;
  std::vector<std::string> extra;  // options of dustweave run
};

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Throughput of the command run against a raw read of the same pfx file"};
  std::string dustweave, module, rawRead, dir;
  app.add_option("--dustweave", dustweave, "the dustweave program")->required();
  app.add_option("--module", module, "the native module")->required();
  app.add_option("--raw-read", rawRead, "the raw block reader")->required();
  app.add_option("--dir", dir, "where the pfx files are generated")->required();
  CLI11_PARSE(app, argc, argv);

  std::vector<SimFile> files = {{"64 MiB", 5580, 7, dir + "/sim-64MiB.pfx"},
                                {"1 GiB", 89300, 3, dir + "/sim-1GiB.pfx"}};
  std::vector<Config> configs = {{"run, every sample", {}}, {"run, step 0.25", {"--step", "0.25"}}};

  std::printf("%-8s %-20s %10s %8s %12s\n", "file", "what", "MB/s", "x raw", "peak RSS");
  double worst[2] = {1e9, 1e9};
  long peak[2] = {0, 0};
  for (size_t f = 0; f < files.size(); ++f) {
    const SimFile& file = files[f];
    if (FileSize(file.path) != ExpectedSize(file.particles)) {
      Outcome made = RunProcess({dustweave, "generate", file.path, "--particles",
                                 std::to_string(file.particles), "--index-limit", "1000", "--first",
                                 "0", "--last", std::to_string(kSamples - 1), "--seed", "7"});
      if (!made.ok || FileSize(file.path) != ExpectedSize(file.particles)) {
        std::fprintf(stderr, "bench: could not generate %s\n", file.path.c_str());
        return 1;
      }
    }
    const double megabytes = static_cast<double>(FileSize(file.path)) / 1e6;
    RunProcess({rawRead, file.path});  // into the page cache
    std::vector<double> raw;
    std::vector<std::vector<double>> runs(configs.size());
    for (int round = 0; round < file.rounds; ++round) {
      Outcome read = RunProcess({rawRead, file.path});
      if (!read.ok) return 1;
      raw.push_back(read.seconds);
      for (size_t c = 0; c < configs.size(); ++c) {
        std::vector<std::string> command = {dustweave, "run", module, "--file", file.path, "--discard"};
        command.insert(command.end(), configs[c].extra.begin(), configs[c].extra.end());
        Outcome run = RunProcess(command);
        if (!run.ok || run.output.find("result 0") == std::string::npos) {
          std::fprintf(stderr, "bench: the run failed: %s\n", run.output.c_str());
          return 1;
        }
        runs[c].push_back(run.seconds);
        peak[f] = std::max(peak[f], run.peakKiB);
      }
    }
    const double rawSpeed = megabytes / Median(raw);
    std::printf("%-8s %-20s %10.0f %8s %12s\n", file.label.c_str(), "raw read (1 MiB)", rawSpeed, "1.00", "");
    for (size_t c = 0; c < configs.size(); ++c) {
      const double speed = megabytes / Median(runs[c]);
      worst[c] = std::min(worst[c], speed / rawSpeed);
      std::printf("%-8s %-20s %10.0f %8.2f %9.1f MiB\n", file.label.c_str(), configs[c].label.c_str(),
                  speed, speed / rawSpeed, peak[f] / 1024.0);
    }
  }
  const double growth = (peak[1] - peak[0]) / 1024.0;
  std::printf("\npeak RSS growth from 64 MiB to 1 GiB: %+.2f MiB (target < 1 MiB)\n", growth);
  std::printf("every sample: %.2f x raw (target >= 0.30); step 0.25: %.2f x raw (target >= 0.50)\n",
              worst[0], worst[1]);
  bool met = worst[0] >= 0.30 && worst[1] >= 0.50 && growth < 1.0;
  std::printf("%s\n", met ? "targets met" : "TARGETS MISSED");
  return met ? 0 : 1;
}
