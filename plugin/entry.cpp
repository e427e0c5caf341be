// What the host sees of the module: the exported descriptor with its one server, startup and
// shutdown, and the activation that runs the command from the version check to the chains.
#include "chain/command.h"
#include "host/records.h"
#include "options/panel.h"
#include "options/surfaces.h"

#if defined(_WIN32)
#define MODULE_EXPORT __declspec(dllexport)
#else
#define MODULE_EXPORT __attribute__((visibility("default")))
#endif

namespace {

void* Startup() { return reinterpret_cast<void*>(static_cast<uintptr_t>(4)); }

void Shutdown(void* /*serverData*/) {}

template <typename Service>
Service* LookUp(GlobalFunc* global, const char* name) {
  return static_cast<Service*>(global(name, 0));
}

// The command's activation: 0 when it ran or ended for a reason of its own, 1 for another
// interface version, 2 when a host record is missing or the surface list cannot be built.
int ActivateCommand(int version, GlobalFunc* global, void* local, void* /*serverData*/) {
  if (version != COMMAND_INTERFACE_VERSION) return 1;
  if (global == nullptr || local == nullptr) return 2;
  gMessages = LookUp<LWMessageFuncs>(global, LWMESSAGEFUNCS_GLOBAL);
  auto* panels = LookUp<LWXPanelFuncs>(global, LWXPANELFUNCS_GLOBAL);
  auto* surfaces = LookUp<LWSurfaceFuncs>(global, LWSURFACEFUNCS_GLOBAL);
  if (gMessages == nullptr || panels == nullptr || surfaces == nullptr) return 2;

  ChainOptions options;
  if (BuildSurfaceNameList(surfaces) == 0) return 2;
  int answered = RunOptionsPanel(panels, &options);
  FreeSurfaceNameList();
  if (answered != 0) RunChainCommand(static_cast<LWModCommand*>(local), &options);
  FreeChainOptions(&options);
  return 0;
}

ServerRecord gServers[] = {
    {"CommandSequence", SERVER_NAME, ActivateCommand, nullptr},
    {nullptr, nullptr, nullptr, nullptr},
};

}  // namespace

extern "C" {
MODULE_EXPORT ModuleDescriptor _mod_descrip = {
    MOD_SYNC, MOD_SYSTEM_VERSION, MOD_MACHINE, Startup, Shutdown, gServers,
};
}
