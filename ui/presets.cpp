#include "ui/presets.h"

#include <Xm/PushB.h>
#include <Xm/RowColumn.h>
#include <Xm/Separator.h>

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <vector>

#include "engine/csound/orchestra.h"
#include "ui/Xctrl.h"
#include "ui/documents.h"
#include "ui/panel_menus.h"
#include "ui/undo.h"
#include "ui/widgets.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* default_start_preset = "spirals.csp";

struct start_resources {
  String preset;
};

XtResource resource_list[] = {
    {const_cast<char*>("startPreset"), const_cast<char*>("StartPreset"), XtRString,
     sizeof(String), XtOffsetOf(start_resources, preset), XtRString,
     const_cast<char*>(default_start_preset)},
};

bool is_folder(const fs::path& path) {
  std::error_code error;
  return fs::is_directory(path, error);
}

// The presets of one kind ("csp", "cse"), sorted by name.
std::vector<fs::path> presets_of_kind(const std::string& folder, const std::string& extension) {
  std::vector<fs::path> found;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(folder, error))
    if (entry.path().extension() == "." + extension && is_regular_file_at(entry.path()))
      found.push_back(entry.path());
  std::sort(found.begin(), found.end());
  return found;
}

// Kept for the entries' callbacks: one path each, for the program's life.
std::vector<std::string> preset_paths;

void cb_preset(Widget, XtPointer client_data, XtPointer) {
  const std::string& path = preset_paths[reinterpret_cast<std::size_t>(client_data)];
  if (fs::path(path).extension() == ".cse")
    open_event_list(path);
  else
    open_parameter_set(path, Ctrl_pannel);
}

void add_entries(Widget menu, const std::vector<fs::path>& presets, const char* note) {
  for (const fs::path& preset : presets) {
    const std::string label = preset.stem().string() + note;
    const auto index = reinterpret_cast<XtPointer>(preset_paths.size());
    preset_paths.push_back(preset.string());
    const compound_string text = make_label(label.c_str());
    Widget entry = XtVaCreateManagedWidget("preset", xmPushButtonWidgetClass, menu,
                                           XmNlabelString, text.get(), nullptr);
    XtAddCallback(entry, XmNactivateCallback, cb_preset, index);
  }
}

}  // namespace

std::string presets_folder() {
  const fs::path beside = fs::path(orchestra_path()).parent_path() / "examples";
  if (is_folder(beside)) return beside.string();
  const fs::path installed = installed_file(ZELMORA_DATA_FROM_BIN, "examples");
  return !installed.empty() && is_folder(installed) ? installed.string() : "";
}

Widget build_presets_menu(Widget menu_bar) {
  Widget menu = XmCreatePulldownMenu(menu_bar, const_cast<char*>("presets_menu"), nullptr, 0);
  Widget title = make_cascade(menu_bar, "presets_button", "Presets", menu, 'P');
  preset_paths.clear();
  const std::string folder = presets_folder();
  const std::vector<fs::path> sets = presets_of_kind(folder, "csp");
  const std::vector<fs::path> lists = presets_of_kind(folder, "cse");
  add_entries(menu, sets, "");
  if (!sets.empty() && !lists.empty())
    XtManageChild(XtVaCreateWidget("preset_separator", xmSeparatorWidgetClass, menu, nullptr));
  add_entries(menu, lists, " (event list)");
  if (sets.empty() && lists.empty())
    XtSetSensitive(make_menu_entry(menu, "no_presets", "No presets installed", cb_preset), False);
  return title;
}

void open_start_preset(Widget top) {
  start_resources wanted{};
  XtGetApplicationResources(top, &wanted, resource_list, XtNumber(resource_list), nullptr, 0);
  const std::string name = wanted.preset ? wanted.preset : "";
  const std::string folder = presets_folder();
  const bool bare = name.find('/') == std::string::npos;
  if (name.empty() || name == "none" || (bare && folder.empty())) return;
  const fs::path path = bare ? fs::path(folder) / name : fs::path(name);
  if (is_regular_file_at(path)) open_parameter_set(path.string(), top);
  forget_changes();  // where the user starts, not an edit
}
