// Start-up: the display, the application class, the widget tree and its
// resource names, the toolkit options, the refresh seam.
#include "ui_fixture.h"

#include <X11/Shell.h>
#include <sys/wait.h>

#include "engine/view.h"

using namespace ui_test;

namespace {

class startup : public ui_fixture {};

Widget find(const char* path) { return XtNameToWidget(Ctrl_pannel, path); }

}  // namespace

TEST_F(startup, application_class_and_title) {
  String name = nullptr;
  String app_class = nullptr;
  XtGetApplicationNameAndClass(display, &name, &app_class);
  EXPECT_STREQ(app_class, "XApplication");
  EXPECT_STREQ(name, "zelmora");
  EXPECT_TRUE(XtIsApplicationShell(Ctrl_pannel));
  EXPECT_STREQ(XtName(Ctrl_pannel), "zelmora");

  String title = nullptr;
  XtVaGetValues(Ctrl_pannel, XmNtitle, &title, nullptr);
  EXPECT_STREQ(title, "Synth. Control");
  EXPECT_TRUE(XtIsRealized(Ctrl_pannel));
}

TEST_F(startup, toolkit_options_are_consumed) {
  EXPECT_EQ(arguments_left, 1);
  int argc = -1;
  XtVaGetValues(Ctrl_pannel, XmNargc, &argc, nullptr);
  EXPECT_EQ(argc, 1);
}

TEST_F(startup, control_panel_widgets_carry_their_resource_names) {
  EXPECT_EQ(find("widget1.widget19.widget20.ca_slider"), r1);
  EXPECT_STREQ(XtName(r2), "ca_slider");
  EXPECT_STREQ(XtName(k), "ca_slider");
  EXPECT_EQ(find("widget1.widget2.widget3.gird_slider"), x);
  EXPECT_EQ(find("widget1.widget2.widget3.grid_slider"), y);
  EXPECT_EQ(find("widget1.widget2.widget3.duration"), duration);
  EXPECT_EQ(find("widget1.widget2.widget3.dur_up"), dur_up);
  EXPECT_EQ(find("widget1.widget2.widget3.dur_down"), dur_down);
  EXPECT_EQ(find("widget1.widget48.widget49.counter"), counter);
  EXPECT_EQ(find("widget1.widget48.widget49.halt_at"), halt_at);
  EXPECT_NE(find("widget1.widget48.widget49.widget53"), nullptr);
  EXPECT_NE(find("widget1.widget48.widget49.widget50"), nullptr);
  EXPECT_NE(find("widget1.widget48.widget49.widget54"), nullptr);
  EXPECT_NE(find("widget1.widget19.widget20.widget27"), nullptr);
  for (const char* label : {"widget22", "widget24", "widget26"})
    EXPECT_NE(find((std::string("widget1.widget19.widget20.") + label).c_str()), nullptr);
  for (const char* label : {"widget4", "widget5", "widget6", "widget12", "widget13"})
    EXPECT_NE(find((std::string("widget1.widget2.widget3.") + label).c_str()), nullptr);
  EXPECT_NE(find("widget1.widget28.widget29"), nullptr);
  EXPECT_NE(find("widget1.widget28.widget38"), nullptr);
  EXPECT_EQ(find("widget1.widget28.Mapping"), Mapping);

  for (Widget entry : {save_parameters, save_event_list, Load_events, instrument_button,
                       event_button})
    EXPECT_STREQ(XtName(entry), "menu_button");
  EXPECT_NE(find("*menu_button"), nullptr);
  EXPECT_EQ(find("*csound_button"), csound_button);
  EXPECT_EQ(find("*state_button"), state_button);
  EXPECT_STREQ(XtName(csound_button), "csound_button");
  EXPECT_STREQ(XtName(state_button), "state_button");
  EXPECT_NE(find("*widget33"), nullptr);
  EXPECT_NE(find("*widget36"), nullptr);
  EXPECT_NE(find("*widget37"), nullptr);
  EXPECT_NE(find("*widget41"), nullptr);
  EXPECT_NE(find("*widget42"), nullptr);
  EXPECT_NE(find("*widget17"), nullptr);
  EXPECT_NE(find("*widget18"), nullptr);
}

TEST_F(startup, windows_and_dialogs_hang_off_the_shells_built_before_them) {
  EXPECT_EQ(find("states"), states);
  EXPECT_EQ(find("states.state_form.state_holder"), state_holder);
  EXPECT_EQ(find("states.state_form.widget51.frequency_disp"), frequency_disp);
  EXPECT_EQ(find("states.state_form.widget51.frequency_lock"), frequency_lock);
  EXPECT_EQ(find("states.state_form.widget51.reset_frequencys"), reset_frequencys);
  EXPECT_EQ(find("states.state_form.widget51.quit_frequencys"), quit_frequencys);
  EXPECT_NE(find("states.state_form.widget51.widget56"), nullptr);
  EXPECT_NE(find("states.state_form.widget51.widget57"), nullptr);
  EXPECT_EQ(find("states.auto_set_freq_shell.auto_set_freq_form.freq_auto_start"),
            freq_auto_start);
  EXPECT_EQ(find("states.auto_set_freq_shell.auto_set_freq_form.freq_auto_mul"), freq_auto_mul);
  for (Widget slider : state_sliders) {
    EXPECT_STREQ(XtName(slider), "slider");
    EXPECT_EQ(XtParent(slider), state_holder);
  }

  EXPECT_EQ(find("instruments.instrument_form.instrument_holder"), instrument_holder);
  EXPECT_EQ(find("instruments.instrument_form.widget36.amplitude_disp"), amplitude_disp);
  EXPECT_EQ(find("instruments.instrument_form.widget36.amplitude_lock"), amplitude_lock);
  EXPECT_EQ(find("instruments.instrument_form.widget36.reset_amplitudes"), reset_amplitudes);
  EXPECT_EQ(find("instruments.instrument_form.widget36.quit_amplitudes"), quit_amplitudes);
  EXPECT_NE(find("instruments.instrument_form.widget36.widget41"), nullptr);
  EXPECT_NE(find("instruments.instrument_form.widget36.widget42"), nullptr);
  EXPECT_EQ(find("instruments.auto_set_amp_shell.auto_set_amp_form.amp_auto_start"),
            amp_auto_start);
  EXPECT_EQ(find("instruments.auto_set_amp_shell.auto_set_amp_form.amp_auto_inc"), amp_auto_inc);
  for (Widget slider : instrument_sliders) EXPECT_STREQ(XtName(slider), "slider");

  EXPECT_EQ(XtParent(event_shell), Ctrl_pannel);
  EXPECT_EQ(XtParent(load_p_interp_shell), event_shell);
  for (Widget shell : {load_p_files_shell, save_p_files_shell, load_e_files_shell,
                       save_e_files_shell, save_s_files_shell, csound_output_shell,
                       load_event_p_shell})
    EXPECT_EQ(XtParent(shell), Ctrl_pannel);
}

TEST_F(startup, dialog_titles) {
  const std::pair<Widget, const char*> titles[] = {
      {states, "States"},
      {instruments, "Instruments"},
      {auto_set_freq_shell, "Auto-set Freqlitude"},
      {auto_set_amp_shell, "Auto-set Amplitude"},
  };
  for (const auto& [shell, expected] : titles) {
    String title = nullptr;
    XtVaGetValues(shell, XmNtitle, &title, nullptr);
    EXPECT_STREQ(title, expected);
  }
}

TEST_F(startup, everything_but_the_control_panel_starts_hidden) {
  EXPECT_TRUE(shown(XtNameToWidget(Ctrl_pannel, "widget1")));
  for (Widget top : {state_form, instrument_form, auto_set_freq_form, auto_set_amp_form})
    EXPECT_FALSE(shown(top)) << XtName(top);
}

TEST_F(startup, the_engine_refreshes_the_windows_through_the_seam) {
  EXPECT_EQ(View.set_control, &set_control);
  EXPECT_EQ(View.set_all_frequencies, &set_all_frequencies);
  EXPECT_EQ(View.set_all_amplitudes, &set_all_amplitudes);
  EXPECT_EQ(View.show_iteration, &show_counter);
}

// Without a display the real program says so on standard output and ends
// with status -1.
TEST_F(startup, no_display) {
  const std::string command =
      std::string("env -u DISPLAY ") + ZELMORA_PROGRAM + " >out.txt 2>err.txt";
  const int status = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 255);
  EXPECT_EQ(read_file("out.txt"),
            std::string(ZELMORA_PROGRAM) + ": can't open display, exiting...\n");
  EXPECT_EQ(read_file("err.txt"), "");
}
