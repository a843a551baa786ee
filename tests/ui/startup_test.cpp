#include <sys/wait.h>

#include "ui_fixture.h"

using startup = ui_fixture;

TEST_F(startup, application_class_and_widgets_under_their_resource_names) {
  String name = nullptr;
  String app_class = nullptr;
  XtGetApplicationNameAndClass(display, &name, &app_class);
  EXPECT_STREQ(app_class, "XApplication");
  // One widget of each window under its full resource path, typos included.
  const std::pair<const char*, Widget> named[] = {
      {"widget1.widget19.widget20.ca_slider", r1},
      {"widget1.widget2.widget3.gird_slider", x},
      {"widget1.widget48.widget49.halt_at", halt_at},
      {"widget1.widget28*state_button", state_button},
      {"states.state_form.widget51.reset_frequencys", reset_frequencys},
      {"states.auto_set_freq_shell.auto_set_freq_form.freq_auto_mul", freq_auto_mul},
      {"instruments.instrument_form.instrument_row.ClipWindow.instrument_holder",
       instrument_holder},
      {"instruments.instrument_form.widget36.amplitude_lock", amplitude_lock},
      {"event_shell.event_form.widget2*event_list_disp", event_list_disp},
      {"load_p_files_shell.load_p_files", load_p_files},
  };
  for (const auto& [path, widget] : named) EXPECT_EQ(find(path), widget) << path;
  for (Widget w : {r2, k}) EXPECT_STREQ(XtName(w), "ca_slider");
  for (Widget w : {instrument_button, event_button}) EXPECT_STREQ(XtName(w), "menu_button");
}

TEST_F(startup, without_a_display_says_so_and_exits_255) {
  const std::string command = std::string("env -u DISPLAY ") + ZELMORA_PROGRAM;
  const int status = std::system((command + " >out.txt 2>err.txt").c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 255);
  EXPECT_EQ(slurp("out.txt"), std::string(ZELMORA_PROGRAM) + ": can't open display, exiting...\n");
  EXPECT_EQ(slurp("err.txt"), "");
}
