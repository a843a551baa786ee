#include "control/osc_server.h"
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

// The program's own options are checked as zelmora-render's are: 2 for
// what is no option or no value of one, 1 for what cannot be started;
// without a display, -1 (255).
TEST_F(startup, BadOptionsEndTheProgramWithAMessageAndItsStatus) {
  control_queue inbox;
  const osc_server taken("0", inbox);  // a port in use
  const std::string port = std::to_string(taken.port());
  const struct {
    std::string args;
    int status;
    std::string said;
  } cases[] = {{"-bogus", 2, "unknown option: -bogus\n"},
               {"-osc-port nope", 2, "Bad outside control setting: oscPort nope"},
               {"-midi serial", 2, "midi serial"},
               {"-osc-port " + port, 1, "can't listen for OSC on UDP " + port},
               {"-display :9999", 255, "can't open display, exiting...\n"}};
  for (const auto& c : cases) {
    EXPECT_EQ(test_support::run_script(ZELMORA_WINDOWED " " + c.args + " >out 2>&1", 20), c.status)
        << c.args;
    EXPECT_NE(slurp("out").find(c.said), std::string::npos) << slurp("out");
  }
}
