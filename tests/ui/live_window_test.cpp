// Live play from the Output menu and the Automaton window, on Xvfb with
// ALSA's null device standing in for the sound card; picture frames beside
// the window.
#include <Xm/MessageB.h>
#include <png.h>

#include <set>

#include "engine/automaton/automaton.h"
#include "engine/csound/offline_job.h"
#include "engine/render/frames.h"
#include "engine/view.h"
#include "ui/render_job.h"
#include "ui_fixture.h"

namespace {

// CTest gives the tests a HOME whose .asoundrc makes ALSA's default device
// the null one; the orchestra is the one ZELMORA_ORC names.
class live_windows : public ui_fixture {
 protected:
  void TearDown() override {
    cb_stop_live(nullptr, nullptr, nullptr);
    Live_Settings = live_settings{};
    XtPopdown(automaton_shell);
    ui_fixture::TearDown();
  }
};

TEST_F(live_windows, ADurationChangeReachesTheNotesSentAfterItAndStopStops) {
  test_support::temp_stream notes;
  Live_Settings.score = notes.get();
  Current_State.iter = 1000000;
  press(play_button);  // the control panel's Play
  ASSERT_TRUE(live_playing());
  EXPECT_EQ(label_text(play_button), "Stop");
  Widget audio_output = Panel_Menus.audio_output, audio_file = Panel_Menus.audio_file;
  EXPECT_FALSE(XtIsSensitive(csound_button) || XtIsSensitive(audio_output) ||
               XtIsSensitive(audio_file));
  ASSERT_TRUE(pump_until([] { return Current_Iteration > 20; }));
  arm(dur_up);  // 0.025 -> 0.026
  const int changed_after = Current_Iteration;
  ASSERT_TRUE(pump_until([&] { return Current_Iteration > changed_after + 20; }));
  EXPECT_FALSE(save_take("playing.wav"));  // as sound only once play has stopped
  XEvent key{};  // Ctrl+P on a scale
  key.xkey = {.type = KeyPress, .serial = 0, .send_event = True, .display = display,
              .window = XtWindow(r1), .root = DefaultRootWindow(display), .subwindow = 0,
              .time = CurrentTime, .x = 1, .y = 1, .x_root = 0, .y_root = 0,
              .state = ControlMask, .keycode = XKeysymToKeycode(display, XK_p), .same_screen = True};
  XtDispatchEvent(&key);
  EXPECT_FALSE(live_playing());
  EXPECT_EQ(label_text(play_button), "Play");
  EXPECT_TRUE(XtIsSensitive(csound_button) && XtIsSensitive(audio_output) &&
              XtIsSensitive(audio_file) && XtIsSensitive(play_live_button));

  const std::string sent = notes.text();
  const auto lines = test_support::lines_of(sent);
  ASSERT_GT(lines.size(), 2u + 25u * (changed_after + 20));
  int wrong = 0;
  for (std::size_t n = 2; n < lines.size(); ++n) {
    const int iteration = static_cast<int>((n - 2) / 25);
    const std::string dur = lines[n].substr(lines[n].find(' ', lines[n].find(' ') + 1) + 1, 8);
    wrong += dur != (iteration <= changed_after ? "0.025000" : "0.026000");
  }
  EXPECT_EQ(wrong, 0);
  pump_until([] { return false; });  // no timer is left to send more
  EXPECT_EQ(notes.text(), sent);
}

// The frames of sound in a WAV file's data chunk, -1 when it is no WAV file.
long wav_frames(const std::string& wav) {
  const auto number = [&](std::size_t at, int bytes) {
    unsigned long value = 0;
    for (int i = bytes - 1; i >= 0; --i) value = value * 256 + static_cast<unsigned char>(wav[at + i]);
    return value;
  };
  if (wav.size() < 12 || !wav.starts_with("RIFF") || wav.substr(8, 4) != "WAVE") return -1;
  unsigned long frame_bytes = 0;
  for (std::size_t at = 12; at + 8 <= wav.size(); at += 8 + ((number(at + 4, 4) + 1) & ~1ul)) {
    const std::string id = wav.substr(at, 4);
    if (id == "fmt " && at + 24 <= wav.size()) frame_bytes = number(at + 20, 2);  // block align
    if (id == "data" && frame_bytes > 0) return static_cast<long>(number(at + 4, 4) / frame_bytes);
  }
  return -1;
}

// The take as a score is the offline score; as a sound file, the sound
// csound renders from it, as long as Audio File's of the same render. A
// failure keeps the old file.
TEST_F(live_windows, SaveTakeWritesTheScoreOrTheSoundOfTheNotesPlayed) {
  EXPECT_FALSE(save_take("take.sco"));  // nothing played yet
  EXPECT_FALSE(XtIsSensitive(Panel_Menus.save_take));
  Current_State.iter = 40;
  ASSERT_EQ(make_score_file("offline.sco"), 0);
  ASSERT_EQ(make_sound_file("offline.wav"), 0);
  press(Panel_Menus.audio_output);  // Audio Output plays live
  ASSERT_TRUE(live_playing());
  ASSERT_TRUE(pump_until([] { return !live_playing(); }));
  ASSERT_TRUE(save_take("take.sco"));
  EXPECT_EQ(test_support::slurp("take.sco"), test_support::slurp("offline.sco"));
  EXPECT_FALSE(save_take("no-such-dir/take.sco"));
  EXPECT_FALSE(save_take("no-such-dir/take.wav"));
  EXPECT_FALSE(std::filesystem::exists("no-such-dir"));

  ASSERT_TRUE(save_take("take.wav"));
  EXPECT_FALSE(XtIsSensitive(find("*save_take")));
  ASSERT_TRUE(pump_until([] { return !render_job_running(); }, 3000));
  EXPECT_EQ(label_text(render_progress), "Done: take.wav0:01 of sound");
  EXPECT_TRUE(XtIsSensitive(find("*save_take")));
  const long frames = wav_frames(slurp("take.wav"));
  EXPECT_GE(frames, 40 * 0.025 * 44100);
  EXPECT_EQ(frames, wav_frames(slurp("offline.wav")));
  EXPECT_EQ(test_support::files_in("."), (strings{"offline.sco", "offline.wav", "take.sco",
                                                  "take.wav"}));

  spit("broken.orc", "instr 1\n  this is no opcode\nendin\n");
  const std::string orchestra = std::getenv("ZELMORA_ORC");
  ::setenv("ZELMORA_ORC", "broken.orc", 1);
  ASSERT_TRUE(save_take("take.wav"));
  pump_until([] { return !render_job_running(); }, 3000);
  ::setenv("ZELMORA_ORC", orchestra.c_str(), 1);
  EXPECT_EQ(label_text(render_progress), "Failed");
  ASSERT_TRUE(shown(error_dialog));
  const std::string said = label_text(error_dialog, XmNmessageString);
  EXPECT_NE(said.find("Can't open file no-such-dir/take.wav"), std::string::npos) << said;
  EXPECT_NE(said.find("csound failed with exit status"), std::string::npos) << said;
  EXPECT_NE(said.find("cannot compile orchestra"), std::string::npos) << said;  // csound's words
  EXPECT_EQ(said.find('\x1b'), std::string::npos) << said;  // without terminal colours
  press(XmMessageBoxGetChild(error_dialog, XmDIALOG_OK_BUTTON));
  EXPECT_EQ(wav_frames(slurp("take.wav")), frames);
  EXPECT_EQ(test_support::files_in(".").size(), 5u);  // the orchestra besides
}

grid_type captured;  // the grid of the last iteration

// Keeps each iteration's grid, and lets the frame interval pass so that the
// window draws every iteration.
class capture_sink final : public iteration_sink {
  void on_iteration(const iteration& it) override {
    captured = it.grid();
    std::this_thread::sleep_for(std::chrono::milliseconds(35));
  }
};

// Spiral waves drawn in the window and written as frames as zelmora-render
// --frames DIR --every 29 writes them; the last frame and the window
// (sampled) are compared with the grid.
TEST_F(live_windows, TheAutomatonWindowAndTheFramesShowTheGridOfTheNotes) {
  XmToggleButtonSetState(automaton_blocks, True, True);
  press(find("*automaton_button"));
  ASSERT_TRUE(write_frames_to("pictures", 29));
  capture_sink capture;
  const sink_registration capturing(capture);
  spirals(59, 120);
  const int status = make_score_file("s.sco");
  stop_frames();
  ASSERT_EQ(status, 0);
  check_screenshot(automaton_shell, "automaton");
  EXPECT_EQ(test_support::files_in("pictures"),
            (strings{"000000.png", "000029.png", "000058.png"}));

  png_image frame{};
  frame.version = PNG_IMAGE_VERSION;
  ASSERT_NE(png_image_begin_read_from_file(&frame, "pictures/000058.png"), 0);
  frame.format = PNG_FORMAT_RGB;
  std::vector<png_byte> rgb(PNG_IMAGE_SIZE(frame));
  ASSERT_NE(png_image_finish_read(&frame, nullptr, rgb.data(), 0, nullptr), 0);
  const int x = Current_State.x, y = Current_State.y;
  ASSERT_EQ(std::to_string(frame.width) + "x" + std::to_string(frame.height), "120x120");
  int wrong_in_frame = 0;
  std::set<int> states;
  for (int r = 0; r < x; ++r)
    for (int c = 0; c < y; ++c) {
      const int state = captured[r + 1][c + 1];
      states.insert(state);
      const png_byte* p = &rgb[3 * (static_cast<std::size_t>(r) * y + c)];
      wrong_in_frame += !(rgb_colour{p[0], p[1], p[2]} == state_colour(state, Current_State.Ns));
    }
  EXPECT_EQ(wrong_in_frame, 0);
  const automaton_picture window;
  EXPECT_EQ(window.cells_drawn_otherwise(captured, [](int r, int c) {
    return r % 3 || c % 3 || r % 24 == 0 || c % 24 == 0;  // off the block boundaries
  }), 0);
  EXPECT_TRUE(window.at(0.5, 24) == (rgb_colour{255, 255, 255}));  // a block boundary
  EXPECT_GT(states.size(), 20u);  // a living grid, not one colour
}

}  // namespace
