// Loading a plug-in module by path as the host does: the exported `_mod_descrip`, its
// synchronisation word and its "CommandSequence" server "mirod_dustweave", then startup, one
// activation against a stand-in Host, shutdown and unloading. dlopen on Linux, LoadLibrary on
// Windows; everything else here is portable.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "host/records.h"
#include "standin/host.h"

namespace standin {

inline constexpr const char* COMMAND_CLASS = "CommandSequence";
inline constexpr const char* COMMAND_SERVER = "mirod_dustweave";

class LoadedModule {
 public:
  // The module at `path` with its descriptor checked and its server found; null with a one-line
  // reason in *error when it cannot be loaded or is not such a plug-in.
  static std::unique_ptr<LoadedModule> Load(const std::string& path, std::string* error);
  ~LoadedModule();  // unloads the module
  LoadedModule(const LoadedModule&) = delete;
  LoadedModule& operator=(const LoadedModule&) = delete;

  const ModuleDescriptor& descriptor() const { return *descriptor_; }
  const ServerRecord& server() const { return *server_; }
  const std::string& path() const { return path_; }

  void* Startup() const { return descriptor_->startup(); }
  void Shutdown(void* serverData) const { descriptor_->shutdown(serverData); }
  // The server's activation with the host's lookup and command record.
  int Activate(Host& host, int interfaceVersion, void* serverData) const;

 private:
  LoadedModule() = default;
  void* handle_ = nullptr;
  std::string path_;
  const ModuleDescriptor* descriptor_ = nullptr;
  const ServerRecord* server_ = nullptr;
};

// Startup, one activation and shutdown of a loaded module: the activation's result, or nullopt
// (and *error) when the module would not start.
std::optional<int> RunLoadedOnce(const LoadedModule& module, Host& host, int interfaceVersion, std::string* error);

// The whole life of a module for one command, as `dustweave run` does it: load, startup, one
// activation, shutdown, unload. The activation's result, or nullopt (and *error) when the module
// could not be loaded.
std::optional<int> RunCommandOnce(const std::string& path, Host& host, int interfaceVersion,
                                  std::string* error);

}  // namespace standin
