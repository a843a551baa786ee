// The set and the list as files: the Presets menu, the list on the control
// panel, the questions before a file is replaced, unsaved work is lost or a
// list would change a set just loaded, and the Audio choice kept between
// runs.
#include <Xm/PushB.h>
#include <Xm/RowColumn.h>

#include "ui/presets.h"
#include "ui/settings.h"
#include "ui_fixture.h"

namespace {

using documents = ui_fixture;

Widget presets_entry(const std::string& label) {
  Widget menu = nullptr;
  XtVaGetValues(Panel_Menus.presets, XmNsubMenuId, &menu, nullptr);
  WidgetList entries = nullptr;
  Cardinal count = 0;
  XtVaGetValues(menu, XmNchildren, &entries, XmNnumChildren, &count, nullptr);
  for (Cardinal i = 0; i < count; ++i)
    if (XtIsSubclass(entries[i], xmPushButtonWidgetClass) && label_text(entries[i]) == label)
      return entries[i];
  return nullptr;
}

std::string list_line() { return label_text(find("*event_list_name")); }
std::string question() { return label_text(question_dialog, XmNmessageString); }

}  // namespace

// Presets open as the File menu's loads do; a set chosen over a list whose
// events would change it asks whether to keep the list, and Undo brings a
// cleared list back. The panel says which list is in force.
TEST_F(documents, presets_load_and_a_set_over_a_list_asks_about_the_list) {
  EXPECT_EQ(presets_folder(), ZELMORA_EXAMPLES);
  EXPECT_EQ(list_line(), "Event list:none");
  press(presets_entry("calm-to-storm (event list)"));
  EXPECT_EQ(list_line(), "Event list:calm-to-storm.cse");
  const parameters_type before = Current_State;
  for (const auto& [keep, events] : {std::pair(true, 4), {false, 0}}) {
    Current_State = before;
    press(presets_entry("spirals"));
    EXPECT_EQ(Current_State, before) << "asked first";
    EXPECT_NE(question().find("calm-to-storm.cse is in force"), std::string::npos) << question();
    answer(!keep);  // "Clear List" first
    EXPECT_EQ(Current_State.k, 25.0f);
    EXPECT_EQ(List_Size, events);
  }
  EXPECT_EQ(list_line(), "Event list:none");
  EXPECT_TRUE(undo_change());
  EXPECT_EQ(List_Size, 4);
  EXPECT_EQ(list_lines(event_list_disp).size(), 4u);
  press(find("*widget30.clear_events"));
  EXPECT_EQ(List_Size, 0);
  EXPECT_EQ(label_text(find("*edit_menu.undo_button")), "Undo Clear Event List");
}

// Saving over a file asks first; quitting asks only while an edit is not
// saved, and names what is not.
TEST_F(documents, replacing_a_file_and_losing_unsaved_work_are_asked_first) {
  spit("set.csp", "OLD\n");
  cb_save_params(nullptr, nullptr, nullptr);
  type_text(save_p_filename, "set.csp");
  press(ok_of(save_p_files));
  EXPECT_EQ(question(), "set.csp exists.Replace it?");
  answer(false);
  EXPECT_EQ(slurp("set.csp"), "OLD\n");

  bool quit = false;
  const auto try_quit = [&] { confirm_unsaved_work([&] { quit = true; }); };
  try_quit();
  EXPECT_TRUE(quit) << "nothing to lose";
  move_scale(r1, 300);
  press(reseed_button);
  quit = false;
  try_quit();
  EXPECT_EQ(question(), "The parameter set has changes not saved.The event list has changes not "
                        "saved.Quit without saving them?");
  answer(false);
  EXPECT_FALSE(quit);
  EXPECT_EQ(choose(save_p_files, save_p_filename, "set.csp"), "");
  EXPECT_NE(slurp("set.csp").find("r1=3.000000"), std::string::npos);
  EXPECT_EQ(choose(save_e_files, save_e_filename, "list.cse"), "");
  EXPECT_EQ(list_line(), "Event list:list.cse");
  try_quit();
  EXPECT_TRUE(quit);
}

// The Audio choice is kept in the settings file for the next run; until
// live play picks a module itself, "automatic" is the environment's.
TEST_F(documents, the_audio_choice_is_kept_for_the_next_run) {
  const test_support::temp_dir config("zelmora-settings-");
  ::setenv("XDG_CONFIG_HOME", config.path.c_str(), 1);
  read_live_resources(Ctrl_pannel);
  EXPECT_EQ(Live_Settings.rtaudio, "automatic");
  Widget jack = find("*audio_menu.jack");
  XmToggleButtonSetState(jack, True, True);
  EXPECT_EQ(slurp(config.path / "zelmora" / "settings"), "audio=jack\n");
  Live_Settings = live_settings{};
  read_live_resources(Ctrl_pannel);
  EXPECT_EQ(Live_Settings.rtaudio, "jack");
  EXPECT_TRUE(XmToggleButtonGetState(jack));
  ::setenv("ZELMORA_RTAUDIO", "alsa", 1);
  EXPECT_EQ(live_module_for("automatic"), "alsa");
  ::unsetenv("ZELMORA_RTAUDIO");
  ::unsetenv("XDG_CONFIG_HOME");
  Live_Settings = live_settings{};
}
