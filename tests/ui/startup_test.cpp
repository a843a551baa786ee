#include "ui_fixture.h"

using startup = ui_fixture;

TEST_F(startup, application_class_and_widgets_under_their_resource_names) {
  String name = nullptr;
  String app_class = nullptr;
  XtGetApplicationNameAndClass(display, &name, &app_class);
  EXPECT_STREQ(app_class, "XApplication");
  EXPECT_EQ(panel(), "80 120 100 50 50 | 0.0250 | 0 | 600");  // the defaults
  // One widget of each window under its full resource path, typos included.
  const std::pair<const char*, Widget> named[] = {
      {"widget1.widget19.widget20.ca_slider", r1},
      {"widget1.widget2.widget3.gird_slider", x},
      {"states.state_form.widget51.reset_frequencys", reset_frequencys},
      {"states.auto_set_freq_shell.auto_set_freq_form.freq_auto_mul", freq_auto_mul},
      {"instruments.instrument_form.instrument_row.ClipWindow.instrument_holder",
       instrument_holder},
      {"event_shell.event_form.widget2*event_list_disp", event_list_disp},
      {"load_p_files_shell.load_p_files", load_p_files},
  };
  for (const auto& [path, widget] : named) EXPECT_EQ(find(path), widget) << path;
  for (Widget w : {r2, k}) EXPECT_STREQ(XtName(w), "ca_slider");
  for (Widget w : {instrument_button, event_button}) EXPECT_STREQ(XtName(w), "menu_button");
}
