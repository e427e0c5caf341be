// The surface popup's list of names: private copies of the host's surface names in the host's
// order, or the single name "Default" when the host has none. It lives from just before the
// options panel to just after it.
#pragma once

#include "host/records.h"

// Null-ended array of private name copies, or null when there is no list.
extern char** gSurfaceNames;

inline constexpr const char* DEFAULT_SURFACE = "Default";

// Fills gSurfaceNames (called only when there is no list); returns the number of names, or 0
// when a surface or its name is null or memory runs out, leaving no list behind.
int BuildSurfaceNameList(LWSurfaceFuncs* surfaces);
void FreeSurfaceNameList();
int SurfaceNameCount();  // entries before the null end; 0 without a list
