// Module loading for the stand-in host: the platform's loader behind two small functions, then
// the descriptor checks the host makes before it registers the server.
#include "standin/loader.h"

#include <cstdio>
#include <cstring>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include "platform/path_queries.h"

namespace standin {

namespace {

// A server list that is not ended within this many records is taken as broken.
constexpr int MAX_SERVERS = 256;

// ---- the platform's loader ----------------------------------------------------------------

#if defined(_WIN32)
std::string LastSystemError() {
  DWORD code = GetLastError();
  char text[256] = {};
  DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                nullptr, code, 0, text, sizeof text, nullptr);
  while (length > 0 && (text[length - 1] == '\n' || text[length - 1] == '\r' ||
                        text[length - 1] == ' ' || text[length - 1] == '.')) {
    text[--length] = '\0';
  }
  return length > 0 ? std::string(text) : "system error " + std::to_string(code);
}

void* OpenLibrary(const std::string& path, std::string* error) {
  HMODULE module = LoadLibraryA(path.c_str());
  if (module == nullptr) *error = LastSystemError();
  return reinterpret_cast<void*>(module);
}

void* FindSymbol(void* handle, const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle), name));
}

void CloseLibrary(void* handle) { FreeLibrary(static_cast<HMODULE>(handle)); }
#else
void* OpenLibrary(const std::string& path, std::string* error) {
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* reason = dlerror();
    *error = reason != nullptr ? reason : "dlopen failed";
  }
  return handle;
}

void* FindSymbol(void* handle, const char* name) { return dlsym(handle, name); }

void CloseLibrary(void* handle) { dlclose(handle); }
#endif

// ---- the descriptor checks ----------------------------------------------------------------

bool SameText(const char* text, const char* expected) {
  return text != nullptr && std::strcmp(text, expected) == 0;
}

std::string Hex(uint32_t word) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(word));
  return text;
}

// The module's CommandSequence server mirod_dustweave, or null.
const ServerRecord* FindCommandServer(const ServerRecord* servers) {
  if (servers == nullptr) return nullptr;
  for (int i = 0; i < MAX_SERVERS && servers[i].className != nullptr; ++i) {
    if (SameText(servers[i].className, COMMAND_CLASS) && SameText(servers[i].name, COMMAND_SERVER)) {
      return &servers[i];
    }
  }
  return nullptr;
}

// An empty text when the descriptor is one the host accepts, else the reason.
std::string RefusalOf(const ModuleDescriptor& descriptor) {
  if (descriptor.sync != MOD_SYNC) {
    return "wrong synchronisation word " + Hex(descriptor.sync) + " (expected " + Hex(MOD_SYNC) + ")";
  }
  if (descriptor.startup == nullptr || descriptor.shutdown == nullptr) {
    return "the module descriptor has no startup or shutdown function";
  }
  const ServerRecord* server = FindCommandServer(descriptor.serverDefs);
  if (server == nullptr) {
    return std::string("no server \"") + COMMAND_SERVER + "\" of class \"" + COMMAND_CLASS + "\"";
  }
  if (server->activate == nullptr) return std::string("server \"") + COMMAND_SERVER + "\" has no activation";
  return "";
}

}  // namespace

// ---- LoadedModule -----------------------------------------------------------------------------

std::unique_ptr<LoadedModule> LoadedModule::Load(const std::string& path, std::string* error) {
  // By path, never through the loader's search list; the path's bytes as they were given.
  std::string full = dustweave::AbsolutePath(path);
  std::string reason;
  void* handle = OpenLibrary(full, &reason);
  if (handle == nullptr) {
    if (reason.rfind(full + ": ", 0) == 0) reason.erase(0, full.size() + 2);  // named already
    *error = "cannot load module " + path + ": " + reason;
    return nullptr;
  }
  std::unique_ptr<LoadedModule> module(new LoadedModule());
  module->handle_ = handle;
  module->path_ = path;
  module->descriptor_ = static_cast<const ModuleDescriptor*>(FindSymbol(handle, "_mod_descrip"));
  if (module->descriptor_ == nullptr) {
    *error = path + " is not a plug-in module: it exports no _mod_descrip";
    return nullptr;
  }
  reason = RefusalOf(*module->descriptor_);
  if (!reason.empty()) {
    *error = path + " is refused: " + reason;
    return nullptr;
  }
  module->server_ = FindCommandServer(module->descriptor_->serverDefs);
  return module;
}

LoadedModule::~LoadedModule() {
  if (handle_ != nullptr) CloseLibrary(handle_);
}

int LoadedModule::Activate(Host& host, int interfaceVersion, void* serverData) const {
  return server_->activate(interfaceVersion, host.global(), host.command(), serverData);
}

std::optional<int> RunLoadedOnce(const LoadedModule& module, Host& host, int interfaceVersion, std::string* error) {
  void* serverData = module.Startup();
  if (serverData == nullptr) {
    *error = module.path() + " could not start: its startup function returned null";
    return std::nullopt;
  }
  int result = module.Activate(host, interfaceVersion, serverData);
  module.Shutdown(serverData);
  return result;
}

std::optional<int> RunCommandOnce(const std::string& path, Host& host, int interfaceVersion,
                                  std::string* error) {
  std::unique_ptr<LoadedModule> module = LoadedModule::Load(path, error);
  if (!module) return std::nullopt;
  return RunLoadedOnce(*module, host, interfaceVersion, error);
}

}  // namespace standin
