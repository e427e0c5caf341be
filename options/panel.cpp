// The options panel: its control, data and hint lists, the initial values, and reading the
// answers back before the panel is destroyed.
#include "options/panel.h"

#include "base/memory.h"
#include "options/surfaces.h"

namespace {

// Copies the four answers into `answers`; false when any is missing or cannot be kept.
bool TakeAnswers(LWXPanelFuncs* panels, LWXPanelID panel, ChainOptions* answers) {
  auto* file = static_cast<const char*>(panels->formGet(panel, ID_FILE));
  if (file == nullptr) return false;
  answers->fileName = ModuleCopyText(file);
  if (answers->fileName == nullptr) return false;
  auto* startPolygon = static_cast<const int*>(panels->formGet(panel, ID_START_POLY));
  if (startPolygon == nullptr) return false;
  answers->startPolygon = *startPolygon;
  auto* stepPercent = static_cast<const double*>(panels->formGet(panel, ID_STEP));
  if (stepPercent == nullptr) return false;
  answers->stepPercent = *stepPercent;
  auto* surface = static_cast<const int*>(panels->formGet(panel, ID_SURFACE));
  if (surface == nullptr || *surface < 0 || *surface >= SurfaceNameCount()) return false;
  answers->surfaceName = ModuleCopyText(gSurfaceNames[*surface]);
  return answers->surfaceName != nullptr;
}

}  // namespace

int RunOptionsPanel(LWXPanelFuncs* panels, ChainOptions* options) {
  LWXPanelControl controls[] = {
      {ID_FILE, "pfx file", "sFileName"},
      {ID_START_POLY, "poly at start", "iBoolean"},
      {ID_STEP, "step percent", "percent"},
      {ID_SURFACE, "surface", "iPopChoice"},
      {0, nullptr, nullptr},
  };
  LWXPanelDataDesc data[] = {
      {ID_FILE, "pfx file", "string"},
      {ID_START_POLY, "poly at start", "integer"},
      {ID_STEP, "step percent", "float"},
      {ID_SURFACE, "surface", "integer"},
      {0, nullptr, nullptr},
  };
  LWXPHint hints[] = {
      XPTAG_LABEL,        0,       reinterpret_cast<LWXPHint>(SERVER_NAME),   0,
      XPTAG_FILE_CONTROL, ID_FILE, 0,
      XPTAG_STRLIST,      ID_SURFACE, reinterpret_cast<LWXPHint>(gSurfaceNames), 0,
      0,
  };
  static_assert(sizeof hints / sizeof hints[0] == 12, "the hint list has twelve words");

  LWXPanelID panel = panels->create(LWXP_FORM, controls);
  if (panel == nullptr) return 0;
  panels->describe(panel, data, nullptr, nullptr);
  panels->hint(panel, 0, hints);
  char initialFile[] = "none";
  panels->formSet(panel, ID_FILE, initialFile);
  panels->formSet(panel, ID_STEP, &options->stepPercent);
  panels->formSet(panel, ID_START_POLY, &options->startPolygon);
  panels->formSet(panel, ID_SURFACE, nullptr);

  int result = panels->post(panel);
  if (result != 0) {
    ChainOptions answers;
    if (TakeAnswers(panels, panel, &answers)) {
      FreeChainOptions(options);
      *options = answers;
    } else {
      FreeChainOptions(&answers);
      result = 0;
    }
  }
  panels->destroy(panel);
  return result;
}
