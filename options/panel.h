// The options panel: one modal form asking for the pfx file, the start polygon, the step
// percent and the surface, with fixed initial values; on OK its answers fill the run's options.
#pragma once

#include "chain/command.h"
#include "host/records.h"

inline constexpr LWID ID_FILE = 0x8001;
inline constexpr LWID ID_STEP = 0x8002;
inline constexpr LWID ID_START_POLY = 0x8003;
inline constexpr LWID ID_SURFACE = 0x8004;

inline constexpr const char* SERVER_NAME = "mirod_dustweave";

// Shows the panel; non-zero when the user pressed OK and every answer was taken. On Cancel, a
// panel the host cannot create, a missing answer, a popup index outside gSurfaceNames or a copy
// that cannot be allocated, yields 0 and leaves the options as they were.
int RunOptionsPanel(LWXPanelFuncs* panels, ChainOptions* options);
