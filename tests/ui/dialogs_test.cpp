// The six file dialogs: showing and hiding, and what their OK buttons do to
// the program's state and to the user's files.
#include <signal.h>
#include <sys/resource.h>

#include <algorithm>

#include "files/event_file.h"
#include "ui_fixture.h"

using namespace ui_test;

namespace {

using strings = std::vector<std::string>;
using dialogs_test = ui_fixture;

// Where the interface was built: the test binary's working directory.
const std::filesystem::path interface_directory = std::filesystem::current_path();

captured_output choose(Widget box, Widget field, const std::string& name) {
  return capture([&] {
    type_text(field, name);
    press(ok_of(box));
  });
}

strings files_in(const std::filesystem::path& dir) {
  strings names;
  for (const auto& entry : std::filesystem::directory_iterator(dir))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// Three states and two instruments, as the program writes them.
constexpr const char* small_set_text =
    "r1=0.500000\nr2=2.000000\nk=3.000000\nNs=3\nx=60\ny=70\ndur=0.050000\nnoinstrm=2\n"
    "s0=121.510418\ns1=317.348329\ns2=1339.430764\ni0=500.000000\ni1=250.000000\nend\n";

// A change, an interpolation and a reseed, as the program writes them.
constexpr const char* three_events_text =
    "event\ntype=1\ntime=0\nname=calm\n"
    "r1=0.800000\nr2=1.200000\nk=1.000000\nNs=1\nx=50\ny=50\ndur=0.025000\nnoinstrm=1\n"
    "s0=121.510418\ni0=500.000000\nend\n"
    "event\ntype=2\ntime=100\nname=->wild\nfinish time=300\n"
    "r1=0.900000\nr2=1.300000\nk=1.000000\nNs=1\nx=50\ny=50\ndur=0.025000\nnoinstrm=1\n"
    "s0=317.348329\ni0=250.000000\nend\n"
    "event\ntype=3\ntime=200\nname=Reseed\nend\n";

// File operations as an ordinary user, since root may write anywhere.
class ordinary_user {
 public:
  ordinary_user() : dropped_(::geteuid() == 0 && ::setegid(65534) == 0 && ::seteuid(65534) == 0) {}
  ~ordinary_user() {
    if (dropped_ && (::seteuid(0) != 0 || ::setegid(0) != 0)) std::abort();
  }
  ordinary_user(const ordinary_user&) = delete;
  ordinary_user& operator=(const ordinary_user&) = delete;

 private:
  bool dropped_;
};

// Writes to files fail beyond `bytes` (as on a full disk) while it lives.
class file_size_limit {
 public:
  explicit file_size_limit(rlim_t bytes) {
    ::getrlimit(RLIMIT_FSIZE, &old_);
    ::signal(SIGXFSZ, SIG_IGN);
    const rlimit small{bytes, old_.rlim_max};
    ::setrlimit(RLIMIT_FSIZE, &small);
  }
  ~file_size_limit() {
    ::setrlimit(RLIMIT_FSIZE, &old_);
    ::signal(SIGXFSZ, SIG_DFL);
  }
  file_size_limit(const file_size_limit&) = delete;
  file_size_limit& operator=(const file_size_limit&) = delete;

 private:
  rlimit old_{};
};

struct dialog {
  const char *shell_name, *title, *box_name, *pattern;
  Widget *shell, *box, *field;
  XtCallbackProc show;
};

const dialog dialogs[] = {
    {"load_p_files_shell", "Load Parameters", "load_p_files", "*.csp", &load_p_files_shell,
     &load_p_files, &load_p_filename, cb_load_parameters},
    {"save_p_files_shell", "Save Parameters", "save_p_files", "*.csp", &save_p_files_shell,
     &save_p_files, &save_p_filename, cb_save_params},
    {"load_e_files_shell", "Load Event List", "load_e_files", "*.cse", &load_e_files_shell,
     &load_e_files, &load_e_filename, cb_load_events},
    {"save_e_files_shell", "Save Event List", "save_e_files", "*.cse", &save_e_files_shell,
     &save_e_files, &save_e_filename, cb_save_events},
    {"save_s_files_shell", "Generate Sound File", "save_s_files", "*.au", &save_s_files_shell,
     &save_s_files, &save_s_filename, cb_save_sounds},
    {"csound_output_shell", "Csound Output", "csound_output", "*.sco", &csound_output_shell,
     &csound_output, &csound_filename, cb_csound},
};

}  // namespace

TEST_F(dialogs_test, EachDialogHasItsNamesAndPatternAndCancelKeepsTheTypedName) {
  const parameters_type before = Current_State;
  for (const dialog& d : dialogs) {
    SCOPED_TRACE(d.title);
    EXPECT_EQ(find(d.shell_name), *d.shell);
    EXPECT_EQ(XtNameToWidget(*d.shell, d.box_name), *d.box);
    EXPECT_EQ(*d.field, XmFileSelectionBoxGetChild(*d.box, XmDIALOG_TEXT));
    EXPECT_EQ(title_of(*d.shell), d.title);
    EXPECT_EQ(xm_resource(*d.box, XmNpattern), d.pattern);
    d.show(nullptr, nullptr, nullptr);
    EXPECT_TRUE(shown(*d.box));
    type_text(*d.field, "typed.name");
    press(cancel_of(*d.box));
    EXPECT_FALSE(shown(*d.box));
    d.show(nullptr, nullptr, nullptr);
    pump();
    EXPECT_EQ(text_in(*d.field), "typed.name");
    press(cancel_of(*d.box));
  }
  EXPECT_EQ(xm_resource(save_s_files, XmNdirMask), interface_directory.string() + "/*.au");
  EXPECT_EQ(Current_State, before);
  EXPECT_EQ(files_in(scratch), strings{});
}

TEST_F(dialogs_test, LoadParametersRefreshesTheWindowsAndSaveWritesTheSetBack) {
  spit("small.csp", small_set_text);
  Current_State.iter = 123;  // no parameter file holds iter
  cb_load_parameters(nullptr, nullptr, nullptr);
  const captured_output loaded = choose(load_p_files, load_p_filename, "small.csp");
  EXPECT_EQ(loaded.out,
            "r1=0.500000 \nr2=2.000000 \nk=3.000000 \nNs=3\nx=60\ny=70 \ndur=0.050000 \n"
            "noinstrm=2\nr1=0.500000\n");
  EXPECT_EQ(loaded.err, "");
  EXPECT_FALSE(shown(load_p_files));
  EXPECT_NEAR(Current_State.states[1], 60.0f, 1e-4);
  EXPECT_EQ(Current_State.instrm[1], 25.0f);
  EXPECT_EQ(Current_State.iter, 123);
  EXPECT_EQ((std::vector<int>{scale_value(r1), scale_value(x), scale_value(y),
                              scale_value(state_sliders[2]), scale_value(instrument_sliders[1])}),
            (std::vector<int>{50, 60, 70, 75, 25}));
  EXPECT_EQ(text_in(halt_at), "123");

  spit("p.csp", "an older set, longer than the new one will be" + std::string(2000, '.'));
  cb_save_params(nullptr, nullptr, nullptr);
  const captured_output saved = choose(save_p_files, save_p_filename, "p.csp");
  EXPECT_EQ(saved.out, "Chug\n");
  EXPECT_EQ(saved.err, "");
  EXPECT_FALSE(shown(save_p_files));
  EXPECT_EQ(slurp("p.csp"), small_set_text);
  EXPECT_EQ(files_in(scratch), (strings{"p.csp", "small.csp"}));
}

TEST_F(dialogs_test, LoadParametersThatCannotBeReadChangesNothing) {
  std::filesystem::create_directory("folder.csp");
  spit("refused.csp", "r1=0.3\nx=5000\nend\n");
  const parameters_type before = Current_State;
  const struct {
    const char *file, *error;
    bool dialog_stays;
  } cases[] = {
      {"refused.csp", "Parameter out of range: x=5000\nFormat error in parameter file\n", true},
      {"missing.csp", "Can't open file missing.csp", false},
      {"folder.csp", "Can't open file folder.csp", false},
  };
  for (const auto& c : cases) {
    cb_load_parameters(nullptr, nullptr, nullptr);
    EXPECT_EQ(choose(load_p_files, load_p_filename, c.file).err, c.error);
    EXPECT_EQ(shown(load_p_files), c.dialog_stays) << c.file;
  }
  EXPECT_EQ(Current_State, before);
  EXPECT_EQ(scale_value(r1), 80);
}

TEST_F(dialogs_test, SavesThatCannotBeWrittenKeepTheOldFile) {
  std::filesystem::permissions(scratch, std::filesystem::perms(0777));
  std::filesystem::create_directory("locked");
  for (const char* name : {"locked/p.csp", "locked/e.cse", "kept.csp", "full.csp"})
    spit(name, three_events_text);
  std::filesystem::permissions("locked", std::filesystem::perms(0555));
  std::filesystem::permissions("kept.csp", std::filesystem::perms(0444));
  std::filesystem::permissions("full.csp", std::filesystem::perms(0666));
  add_event_special();
  List_Size = 1;
  const struct {
    Widget box, field;
    const char *file, *error;
  } cases[] = {
      {save_p_files, save_p_filename, "locked/p.csp", "Can't open file locked/p.csp\n"},
      {save_e_files, save_e_filename, "locked/e.cse", "Can't open file locked/e.cse\n"},
      {save_p_files, save_p_filename, "kept.csp", "Can't open file kept.csp\n"},
      {save_p_files, save_p_filename, "no/such/dir/p.csp", "Can't open file no/such/dir/p.csp\n"},
      {save_p_files, save_p_filename, "full.csp", "Can't write file full.csp\n"},
  };
  for (const auto& c : cases) {
    captured_output o;
    {
      ordinary_user user;
      file_size_limit limit(200);  // a disk that fills up during the write
      o = choose(c.box, c.field, c.file);
    }
    EXPECT_EQ(o.err, c.error);
    EXPECT_FALSE(shown(c.box));
  }
  for (const char* name : {"locked/p.csp", "locked/e.cse", "kept.csp", "full.csp"})
    EXPECT_EQ(slurp(name), three_events_text) << name;
  EXPECT_EQ(files_in(scratch), (strings{"full.csp", "kept.csp", "locked"}));
  EXPECT_EQ(files_in("locked"), (strings{"e.cse", "p.csp"}));
  std::filesystem::permissions("locked", std::filesystem::perms(0755));
}

TEST_F(dialogs_test, LoadEventListFillsTheEditorCancelsAnEditAndSavesTheSameText) {
  spit("three.cse", three_events_text);
  press(reseed_button);
  press(reseed_button);
  Event_List_Edit_No = 2;
  type_text(event_edit, "stale");
  type_text(event_time, "5");
  cb_load_events(nullptr, nullptr, nullptr);
  EXPECT_EQ(choose(load_e_files, load_e_filename, "three.cse").err, "bad format @ event:  \n");
  EXPECT_FALSE(shown(load_e_files));
  EXPECT_EQ(list_lines(event_list_disp), (strings{"calm                  0",
                                                  "->wild              100 200",
                                                  "Reseed              200"}));
  EXPECT_EQ(List_Size, 3);
  EXPECT_EQ(Event_List_Edit_No, -1);
  EXPECT_EQ(text_in(event_edit), "");
  EXPECT_EQ(text_in(event_time), "");

  cb_save_events(nullptr, nullptr, nullptr);
  EXPECT_EQ(choose(save_e_files, save_e_filename, "again.cse").out, "Chug\nChug\n");
  EXPECT_EQ(slurp("again.cse"), three_events_text);
  EXPECT_FALSE(shown(save_e_files));

  // The loaded lines stay in step with the events for later edits.
  XmListSelectPos(event_list_disp, 1, False);
  press(edit_event_button);
  EXPECT_EQ(capture([] { type_and_return(event_time, "250"); }).out, "Shving\n3");
  EXPECT_EQ(list_lines(event_list_disp), (strings{"->wild              100 200",
                                                  "Reseed              200",
                                                  "calm                250"}));
}

TEST_F(dialogs_test, EventListLoadsKeepWhatWasReadAndFailuresKeepTheList) {
  spit("cut.cse", std::string(three_events_text) + "event\ntype=3\ntime=300\nname=x\nnot end\n");
  spit("empty.cse", "");
  spit("junk.cse", "junk\n");
  cb_load_events(nullptr, nullptr, nullptr);
  EXPECT_EQ(choose(load_e_files, load_e_filename, "cut.cse").err, "bad end");
  EXPECT_FALSE(shown(load_e_files));
  EXPECT_EQ(List_Size, 3);

  cb_load_events(nullptr, nullptr, nullptr);
  const std::pair<const char*, const char*> failures[] = {
      {"empty.cse", "bad format @ event:  \nFormat error in parameter file\n"},
      {"junk.cse", "bad start\nFormat error in parameter file\n"},
      {"missing.cse", "Can't open file missing.cse"},
  };
  for (const auto& [file, error] : failures)
    EXPECT_EQ(choose(load_e_files, load_e_filename, file).err, error);
  EXPECT_TRUE(shown(load_e_files));
  EXPECT_EQ(List_Size, 3);
  EXPECT_EQ(list_lines(event_list_disp).size(), 3u);
  ASSERT_NE(event_number(2), nullptr);
  EXPECT_EQ(event_number(2)->name, "->wild");
}

TEST_F(dialogs_test, SaveEventListOfAnEmptyListLeavesAnEmptyFile) {
  spit("old.cse", three_events_text);
  cb_save_events(nullptr, nullptr, nullptr);
  EXPECT_EQ(choose(save_e_files, save_e_filename, "old.cse").out, "No list\n");
  EXPECT_TRUE(std::filesystem::exists("old.cse"));
  EXPECT_EQ(slurp("old.cse"), "");
  EXPECT_FALSE(shown(save_e_files));
}

TEST_F(dialogs_test, CsoundOutputWritesTheWholeScore) {
  cb_csound(nullptr, nullptr, nullptr);
  EXPECT_EQ(choose(csound_output, csound_filename, "out.sco").err, "");
  EXPECT_FALSE(shown(csound_output));
  const strings score = test_support::lines_of(slurp("out.sco"));
  ASSERT_EQ(score.size(), 15002u);
  EXPECT_EQ(score[0], "f1 0 8192 10 1");
  EXPECT_EQ(score[1], "f2 0 8193 7 0.0001 8192 1.0");
  EXPECT_EQ(score[2], "i1 0.000000 0.025000 500.000000 121.510475");
  EXPECT_EQ(score.back().substr(0, score.back().rfind(' ') + 1), "i25 14.975000 0.025000 500.000000 ");
  EXPECT_EQ(text_in(counter), "599");

  cb_csound(nullptr, nullptr, nullptr);
  EXPECT_EQ(choose(csound_output, csound_filename, "no/dir/out.sco").err,
            "Can't open file no/dir/out.sco\n");
  EXPECT_FALSE(shown(csound_output));
}

// The real csound, with the orchestra in the working directory and one
// second of sound.
TEST_F(dialogs_test, GenerateSoundFileAndAudioOutputRunCsound) {
  const std::filesystem::path source_root =
      std::filesystem::path(__FILE__).parent_path().parent_path().parent_path();
  std::filesystem::copy_file(source_root / "zelmora.orc", "zelmora.orc");
  Current_State.iter = 40;
  cb_save_sounds(nullptr, nullptr, nullptr);
  const captured_output file = choose(save_s_files, save_s_filename, "out.au");
  EXPECT_EQ(file.err.find("csound failed"), std::string::npos) << file.err;
  EXPECT_FALSE(shown(save_s_files));
  // Raw 16-bit mono at 44100 Hz: one second, within a control block.
  const std::string sound = slurp("out.au");
  EXPECT_NEAR(static_cast<double>(sound.size()), 2.0 * 44100, 2.0 * 32);
  EXPECT_NE(sound.find_first_not_of('\0'), std::string::npos);

  // No sound card here: ALSA's default device becomes the null device.
  spit(".asoundrc", "pcm.!default { type null }\n");
  const std::string old_home = std::getenv("HOME") ? std::getenv("HOME") : "";
  ::setenv("HOME", scratch.c_str(), 1);
  const captured_output played = capture([] { cb_sound_out(nullptr, nullptr, nullptr); });
  ::setenv("HOME", old_home.c_str(), 1);
  EXPECT_EQ(played.err.find("csound failed"), std::string::npos) << played.err;
  EXPECT_NE(played.err.find("written to devaudio"), std::string::npos) << played.err;
  EXPECT_EQ(files_in(scratch), (strings{".asoundrc", "out.au", "zelmora.orc"}));
}
