// Start-up: the display, the application class, the toolkit options and
// the widget tree under its resource names.
#include <X11/Shell.h>
#include <sys/wait.h>

#include "ui_fixture.h"

using startup = ui_fixture;

TEST_F(startup, application_class_title_and_toolkit_options) {
  String name = nullptr;
  String app_class = nullptr;
  XtGetApplicationNameAndClass(display, &name, &app_class);
  EXPECT_STREQ(app_class, "XApplication");
  EXPECT_STREQ(name, "zelmora");
  EXPECT_TRUE(XtIsApplicationShell(Ctrl_pannel));
  EXPECT_STREQ(XtName(Ctrl_pannel), "zelmora");
  EXPECT_TRUE(XtIsRealized(Ctrl_pannel));
  int argc = -1;
  XtVaGetValues(Ctrl_pannel, XmNargc, &argc, nullptr);
  EXPECT_EQ(argc, 1);
  EXPECT_EQ(arguments_left, 1);
}

TEST_F(startup, widgets_carry_their_resource_names_and_labels) {
  const std::string p = "widget1.widget19.widget20.", g = "widget1.widget2.widget3.",
                    c = "widget1.widget48.widget49.", m = "widget1.widget28",
                    s = "states.state_form.widget51.", a = "instruments.instrument_form.widget36.",
                    e = "event_shell.event_form.";
  const std::pair<std::string, Widget> kept[] = {
      {p + "ca_slider", r1}, {g + "gird_slider", x}, {g + "grid_slider", y},
      {g + "duration", duration}, {g + "dur_up", dur_up}, {g + "dur_down", dur_down},
      {c + "counter", counter}, {c + "halt_at", halt_at}, {m + ".Mapping", Mapping},
      {m + "*csound_button", csound_button}, {m + "*state_button", state_button},
      {"states", states}, {"states.state_form.state_holder", state_holder},
      {s + "frequency_disp", frequency_disp}, {s + "frequency_lock", frequency_lock},
      {s + "reset_frequencys", reset_frequencys}, {s + "quit_frequencys", quit_frequencys},
      {"states.auto_set_freq_shell.auto_set_freq_form.freq_auto_start", freq_auto_start},
      {"states.auto_set_freq_shell.auto_set_freq_form.freq_auto_mul", freq_auto_mul},
      {"instruments.instrument_form.instrument_holder", instrument_holder},
      {a + "amplitude_disp", amplitude_disp}, {a + "amplitude_lock", amplitude_lock},
      {a + "reset_amplitudes", reset_amplitudes}, {a + "quit_amplitudes", quit_amplitudes},
      {"instruments.auto_set_amp_shell.auto_set_amp_form.amp_auto_start", amp_auto_start},
      {"instruments.auto_set_amp_shell.auto_set_amp_form.amp_auto_inc", amp_auto_inc},
      {"event_shell", event_shell}, {e + "widget2*event_list_disp", event_list_disp},
      {e + "delete_event_button", delete_event_button}, {e + "add_event_menu", add_event_menu},
      {e + "edit_event_button", edit_event_button},
      {e + "event_editor_cancel", event_editor_cancel},
      {e + "widget9.widget10.event_edit", event_edit},
      {e + "widget9.widget10.event_time", event_time},
      {"event_shell*widget17.reseed_button", reseed_button},
      {"event_shell*widget17.interpolate_button", interpolate_button},
      {"event_shell*widget17.event_file_load", event_file_load},
  };
  for (const auto& [path, widget] : kept) EXPECT_EQ(find(path.c_str()), widget) << path;
  for (Widget w : {r2, k}) EXPECT_STREQ(XtName(w), "ca_slider");
  for (Widget w : {save_parameters, save_event_list, Load_events, instrument_button, event_button})
    EXPECT_STREQ(XtName(w), "menu_button");
  for (Widget w : state_sliders) EXPECT_STREQ(XtName(w), "slider");
  for (Widget w : instrument_sliders) EXPECT_STREQ(XtName(w), "slider");
  for (const std::string& path : {m + "*widget33", m + "*widget36", g + "widget13"})
    EXPECT_NE(find(path.c_str()), nullptr) << path;
  const std::pair<std::string, const char*> labelled[] = {
      {p + "widget27", "Parameters "}, {p + "widget22", "r1"}, {p + "widget24", "r2"},
      {p + "widget26", "k"}, {g + "widget6", "Grid size"}, {g + "widget4", "X"},
      {g + "widget5", "Y"}, {g + "widget12", "Duration"}, {c + "widget50", "Counter"},
      {c + "widget54", "Stop at"}, {c + "widget53", "ZUXTurbo"}, {m + ".widget29", "File"},
      {m + ".widget38", "Output"}, {m + ".Mapping", "Mapping"}, {m + "*widget37", "QUIT"},
      {m + "*widget41", "Audio Output"}, {m + "*widget42", "Audio File"},
      {s + "widget56", "Auto-set"}, {a + "widget41", "Auto-set"}, {a + "widget42", "Amplitude"},
      {s + "widget57", "Frequency (Hz)"}, {e + "add_event_menu.widget16", "Add"},
  };
  for (const auto& [path, label] : labelled) {
    Widget w = find(path.c_str());
    ASSERT_NE(w, nullptr) << path;
    EXPECT_EQ(xm_resource(w, XmNlabelString), label) << path;
  }
}

TEST_F(startup, windows_hang_off_the_shells_built_before_them) {
  for (Widget slider : state_sliders) EXPECT_EQ(XtParent(slider), state_holder);
  EXPECT_EQ(XtParent(load_p_interp_shell), event_shell);
  for (Widget shell : {event_shell, load_p_files_shell, save_p_files_shell, load_e_files_shell,
                       save_e_files_shell, save_s_files_shell, csound_output_shell,
                       load_event_p_shell})
    EXPECT_EQ(XtParent(shell), Ctrl_pannel);
  const std::pair<Widget, const char*> titles[] = {
      {Ctrl_pannel, "Synth. Control"},          {states, "States"},
      {instruments, "Instruments"},             {auto_set_freq_shell, "Auto-set Freqlitude"},
      {auto_set_amp_shell, "Auto-set Amplitude"}, {event_shell, "Event List Editor"},
  };
  for (const auto& [shell, title] : titles) EXPECT_EQ(title_of(shell), title);
}

// Without a display the real program says so on standard output and ends
// with status -1.
TEST_F(startup, no_display) {
  const std::string command = std::string("env -u DISPLAY ") + ZELMORA_PROGRAM;
  const int status = std::system((command + " >out.txt 2>err.txt").c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 255);
  EXPECT_EQ(slurp("out.txt"), std::string(ZELMORA_PROGRAM) + ": can't open display, exiting...\n");
  EXPECT_EQ(slurp("err.txt"), "");
}
