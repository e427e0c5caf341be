// The form panel as the stand-in host gives it (the LWXPanel service): it records what the module
// does with its panel in the host's PanelRecord and answers as the script's user would. Like a
// real host it knows the module's controls only from what the module describes: the values are
// kept by control ID in the form the data list gives each (string, integer, float), and the
// script's answers go to the controls of their kind (the file control, the check box, the
// percent, the popup).
#pragma once

#include <map>
#include <string>

#include "host/records.h"

namespace standin {

class Host;

class FormPanel {
 public:
  explicit FormPanel(Host& host);
  LWXPanelFuncs* funcs() { return &funcs_; }

 private:
  // A control's value, in the form its data description gives.
  struct Value {
    std::string type;  // "string", "integer" or "float"
    std::string text;
    int integer = 0;
    double real = 0;
  };

  static LWXPanelID Create(int type, LWXPanelControl* controls);
  static void Destroy(LWXPanelID panel);
  static void Describe(LWXPanelID panel, LWXPanelDataDesc* data, LWXPanelGetFunc*, LWXPanelSetFunc*);
  static void Hint(LWXPanelID panel, LWID id, LWXPHint* hints);
  static void FormSet(LWXPanelID panel, LWID id, void* value);
  static int Post(LWXPanelID panel);
  static void* FormGet(LWXPanelID panel, LWID id);

  static FormPanel& Of(LWXPanelID panel) { return *static_cast<FormPanel*>(panel); }
  void ReadHints();
  void Answer(const char* controlType, const std::string& text, int integer, double real);

  Host& host_;
  LWXPanelFuncs funcs_{};
  std::map<LWID, Value> values_;  // by control ID, from the data list
};

}  // namespace standin
