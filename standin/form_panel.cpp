// The form panel's functions. Divisions: the lists the module describes; the values and answers.
#include "standin/form_panel.h"

#include <cstring>

#include "standin/host.h"

namespace standin {

namespace {

std::optional<std::string> Text(const char* text) {
  return text != nullptr ? std::optional<std::string>(text) : std::nullopt;
}

ListEntry Copy(const LWXPanelControl& c) { return {c.id, Text(c.label), Text(c.controlType)}; }
ListEntry Copy(const LWXPanelDataDesc& d) { return {d.id, Text(d.name), Text(d.dataType)}; }

// A list up to and including its closing entry of id 0.
template <typename Entry>
std::vector<ListEntry> CopyList(const Entry* list) {
  std::vector<ListEntry> copy;
  for (;; ++list) {
    copy.push_back(Copy(*list));
    if (list->id == 0) break;
  }
  return copy;
}

}  // namespace

FormPanel::FormPanel(Host& host) : host_(host) {
  funcs_.version = 0;
  funcs_.create = Create;
  funcs_.destroy = Destroy;
  funcs_.describe = Describe;
  funcs_.hint = Hint;
  funcs_.formGet = FormGet;
  funcs_.formSet = FormSet;
  funcs_.post = Post;
}

bool PanelRecord::Called(const std::string& call) const {
  for (const std::string& made : calls) {
    if (made == call) return true;
  }
  return false;
}

// ---- the lists the module describes -----------------------------------------------------------

// The panel's ID is the host's panel service itself; the record is the host's last panel.
LWXPanelID FormPanel::Create(int type, LWXPanelControl* controls) {
  Host& host = *Host::current();
  if (host.script.failPanelCreate) return nullptr;
  host.panel.emplace();
  ++host.panelsCreated;
  host.panel->createType = type;
  host.panel->controls = CopyList(controls);
  host.panel->calls.push_back("create");
  FormPanel& panel = host.panels_;
  panel.values_.clear();
  return &panel;
}

void FormPanel::Destroy(LWXPanelID id) { Of(id).host_.panel->calls.push_back("destroy"); }

void FormPanel::Describe(LWXPanelID id, LWXPanelDataDesc* data, LWXPanelGetFunc*, LWXPanelSetFunc*) {
  FormPanel& panel = Of(id);
  panel.host_.panel->data = CopyList(data);
  panel.host_.panel->calls.push_back("describe");
  for (; data->id != 0; ++data) panel.values_[data->id].type = data->dataType != nullptr ? data->dataType : "";
}

// Keeps the hint words up to the two closing zeros; reads the label of id 0 and the popup's
// choices from them, and keeps the other tags uninterpreted.
void FormPanel::Hint(LWXPanelID id, LWID, LWXPHint* hints) {
  PanelRecord& record = *Of(id).host_.panel;
  record.calls.push_back("hint");
  for (size_t i = 0; !(hints[i] == 0 && hints[i + 1] == 0); ++i) record.hints.push_back(hints[i]);
  record.hints.push_back(0);
  record.hints.push_back(0);
  Of(id).ReadHints();
}

void FormPanel::ReadHints() {
  PanelRecord& record = *host_.panel;
  const std::vector<LWXPHint>& hints = record.hints;
  for (size_t i = 0; i + 2 < hints.size(); ++i) {
    if (hints[i] == XPTAG_LABEL && hints[i + 1] == 0 && hints[i + 2] != 0) {
      record.title = reinterpret_cast<const char*>(hints[i + 2]);
    }
    if (hints[i] == XPTAG_STRLIST && hints[i + 2] != 0) {
      for (auto** text = reinterpret_cast<const char**>(hints[i + 2]); *text; ++text) record.choices.emplace_back(*text);
    }
  }
}

// ---- the values and answers -------------------------------------------------------------------

void FormPanel::FormSet(LWXPanelID id, LWID control, void* value) {
  FormPanel& panel = Of(id);
  PanelRecord::Set set{control, value == nullptr, "", 0.0, 0};
  auto found = panel.values_.find(control);
  if (value != nullptr && found != panel.values_.end()) {
    Value& kept = found->second;
    if (kept.type == "string") set.text = kept.text = static_cast<const char*>(value);
    if (kept.type == "float") set.real = kept.real = *static_cast<const double*>(value);
    if (kept.type == "integer") set.integer = kept.integer = *static_cast<const int*>(value);
  }
  panel.host_.panel->initialValues.push_back(set);
  panel.host_.panel->calls.push_back("formSet");
}

// The user's answers replace the initial values when the panel is posted.
int FormPanel::Post(LWXPanelID id) {
  FormPanel& panel = Of(id);
  const HostScript& script = panel.host_.script;
  panel.host_.panel->calls.push_back("post");
  if (script.file) panel.Answer("sFileName", *script.file, 0, 0);
  if (script.startPolygon) panel.Answer("iBoolean", "", 1, 0);
  if (script.step) panel.Answer("percent", "", 0, *script.step);
  panel.Answer("iPopChoice", "", script.pick, 0);
  return script.cancelPanel ? 0 : script.okValue;
}

// Gives the controls of `controlType` the answer, in their data's form.
void FormPanel::Answer(const char* controlType, const std::string& text, int integer, double real) {
  for (const ListEntry& control : host_.panel->controls) {
    auto found = values_.find(control.id);
    if (control.type != controlType || found == values_.end()) continue;
    found->second.text = text;
    found->second.integer = integer;
    found->second.real = real;
  }
}

void* FormPanel::FormGet(LWXPanelID id, LWID control) {
  FormPanel& panel = Of(id);
  panel.host_.panel->reads.push_back(control);
  panel.host_.panel->calls.push_back("formGet");
  auto found = panel.values_.find(control);
  if (panel.host_.script.nullAnswers.count(control) != 0 || found == panel.values_.end()) return nullptr;
  Value& value = found->second;
  if (value.type == "string") return value.text.data();
  if (value.type == "float") return &value.real;
  if (value.type == "integer") return &value.integer;
  return nullptr;
}

}  // namespace standin
