#include <sys/wait.h>

#include "ui_fixture.h"

using startup = ui_fixture;

TEST_F(startup, application_class_and_widgets_under_their_resource_names) {
  String name = nullptr;
  String app_class = nullptr;
  XtGetApplicationNameAndClass(display, &name, &app_class);
  EXPECT_STREQ(app_class, "XApplication");
  const std::string g = "widget1.widget2.widget3.", c = "widget1.widget48.widget49.",
                    m = "widget1.widget28", s = "states.state_form.widget51.",
                    a = "instruments.instrument_form.widget36.", e = "event_shell.event_form.";
  const std::pair<std::string, Widget> named[] = {
      {"widget1.widget19.widget20.ca_slider", r1}, {g + "gird_slider", x},
      {g + "grid_slider", y}, {g + "dur_up", dur_up}, {c + "halt_at", halt_at},
      {m + ".Mapping", Mapping}, {m + "*state_button", state_button},
      {s + "frequency_disp", frequency_disp}, {s + "reset_frequencys", reset_frequencys},
      {"states.auto_set_freq_shell.auto_set_freq_form.freq_auto_mul", freq_auto_mul},
      {"instruments.instrument_form.instrument_row.ClipWindow.instrument_holder",
       instrument_holder},
      {a + "amplitude_lock", amplitude_lock},
      {"instruments.auto_set_amp_shell.auto_set_amp_form.amp_auto_inc", amp_auto_inc},
      {e + "widget2*event_list_disp", event_list_disp},
      {e + "edit_event_button", edit_event_button},
      {e + "widget9.widget10.event_time", event_time},
      {"event_shell*widget17.reseed_button", reseed_button},
      {"load_p_files_shell.load_p_files", load_p_files},
      {"csound_output_shell.csound_output", csound_output},
  };
  for (const auto& [path, widget] : named) EXPECT_EQ(find(path.c_str()), widget) << path;
  for (Widget w : {r2, k}) EXPECT_STREQ(XtName(w), "ca_slider");
  for (Widget w : {instrument_button, event_button}) EXPECT_STREQ(XtName(w), "menu_button");
  EXPECT_NE(find((c + "widget53").c_str()), nullptr);
}

TEST_F(startup, without_a_display_says_so_and_exits_255) {
  const std::string command = std::string("env -u DISPLAY ") + ZELMORA_PROGRAM;
  const int status = std::system((command + " >out.txt 2>err.txt").c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 255);
  EXPECT_EQ(slurp("out.txt"), std::string(ZELMORA_PROGRAM) + ": can't open display, exiting...\n");
  EXPECT_EQ(slurp("err.txt"), "");
}
