// Outside control in the windows: OSC through liblo, and MIDI Learn on a
// private JACK server (dummy driver) with a JACK MIDI client of the test's
// own as the controller; live play on ALSA's null device.
#include <RtMidi.h>
#include <lo/lo.h>

#include "control/bindings.h"
#include "engine/live/live.h"
#include "tests/core/jack_server.h"
#include "ui/Xlive.h"
#include "ui/midi_learn.h"
#include "ui_fixture.h"

namespace {

// The score amplitude (p4) of instrument 1 in the last iteration sent.
std::string last_amplitude_of_instrument_1(const std::string& notes) {
  const auto lines = test_support::lines_of(notes);
  const auto last = std::find_if(lines.rbegin(), lines.rend(),
                                 [](const std::string& line) { return line.rfind("i1 ", 0) == 0; });
  std::string name, start, dur, amplitude;
  if (last != lines.rend()) std::istringstream(*last) >> name >> start >> dur >> amplitude;
  return amplitude;
}

using midi_learn = ui_fixture;

TEST_F(midi_learn, OscAndALearnedControllerMoveTheWidgetsOnScreenAndInTheSound) {
  const test_support::temp_dir config("zelmora-learn-config-");
  ::setenv("XDG_CONFIG_HOME", config.path.c_str(), 1);
  const jack_server server(44100, 512);
  ASSERT_TRUE(server.running()) << "no JACK server";
  XrmDatabase resources = XtDatabase(display);
  XrmPutLineResource(&resources, "zelmora.midi: jack");
  // A port of the test process's own: tests run side by side.
  const std::string port = std::to_string(40000 + ::getpid() % 20000);
  XrmPutLineResource(&resources, ("zelmora.oscPort: " + port).c_str());
  start_outside_control_windows(Ctrl_pannel);
  ASSERT_NE(learn_toggle, nullptr) << "no MIDI window";

  // OSC: the scale and the States window's slider follow.
  const lo_address to = lo_address_new("127.0.0.1", port.c_str());
  lo_send(to, "/zelmora/r1", "f", 5.5f);
  lo_send(to, "/zelmora/state", "if", 3, 1.0f);  // position 0
  lo_address_free(to);
  EXPECT_TRUE(pump_until([] { return scale_value(r1) == 550 && scale_value(state_sliders[3]) == 0; }))
      << panel();
  ASSERT_EQ(std::system("jack_lsp | grep -qx zelmora-midi:midi_in"), 0);

  // A controller of the test's own, connected to zelmora's input.
  RtMidiOut keys(RtMidi::UNIX_JACK, "zelmora_test_knobs");
  keys.openVirtualPort("out");
  ASSERT_EQ(std::system("jack_connect zelmora_test_knobs:out zelmora-midi:midi_in"), 0);
  const auto turn = [&](int controller, int value) {
    std::vector<unsigned char> message{0xB0, static_cast<unsigned char>(controller),
                                       static_cast<unsigned char>(value)};
    keys.sendMessage(&message);
  };

  // Learn: the instrument slider i0, then controller 21.
  cb_pop_instruments(nullptr, nullptr, nullptr);
  XmToggleButtonSetState(learn_toggle, True, True);
  move_scale(instrument_sliders[0], 40);
  turn(21, 64);
  ASSERT_TRUE(pump_until([] { return Bindings.find(1, 21) != nullptr; })) << "nothing learned";
  EXPECT_FALSE(XmToggleButtonGetState(learn_toggle)) << "Learn goes off once bound";
  EXPECT_EQ(target_name(Bindings.find(1, 21)->target), "i0");
  // The MIDI window lists it, and Mapping -> MIDI reaches the window.
  EXPECT_EQ(list_lines(find("*midi_learn*bindings_list")),
            strings{"Channel 1, controller 21: i0 0 1000"});
  EXPECT_TRUE(XtIsSensitive(Panel_Menus.midi));
  EXPECT_NE(slurp(config.path / "zelmora" / "bindings").find("1 21 i0"), std::string::npos);
  EXPECT_EQ(scale_value(instrument_sliders[0]), 40) << "the learning controller moved nothing";

  // Played live, the controller moves the slider and the notes after it.
  test_support::temp_stream notes;
  Live_Settings.score = notes.get();
  Current_State.iter = 1000000;
  press(play_live_button);
  ASSERT_TRUE(live_playing());
  ASSERT_TRUE(pump_until([] { return Current_Iteration > 10; }));
  EXPECT_EQ(last_amplitude_of_instrument_1(notes.text()), "400.000000");
  turn(21, 127);
  EXPECT_TRUE(pump_until([] { return scale_value(instrument_sliders[0]) == 100; }));
  const int moved_at = Current_Iteration;
  ASSERT_TRUE(pump_until([&] { return Current_Iteration > moved_at + 10; }));
  cb_stop_live(nullptr, nullptr, nullptr);
  Live_Settings = live_settings{};
  EXPECT_EQ(last_amplitude_of_instrument_1(notes.text()), "1000.000000");
  check_screenshot(instruments, "midi-learned-instrument");
  ::unsetenv("XDG_CONFIG_HOME");
}

}  // namespace
