// The six file dialogs: showing and hiding, and what their OK buttons do to
// the program's state and to the user's files.
#include <signal.h>
#include <sys/resource.h>

#include "files/event_file.h"
#include "ui_fixture.h"

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

// While it lives, files are written as an ordinary user (root may write
// anywhere) on a disk that fills up after 200 bytes.
class ordinary_user_on_a_small_disk {
 public:
  ordinary_user_on_a_small_disk() {
    ::getrlimit(RLIMIT_FSIZE, &old_limit_);
    ::signal(SIGXFSZ, SIG_IGN);
    const rlimit small{200, old_limit_.rlim_max};
    ::setrlimit(RLIMIT_FSIZE, &small);
    dropped_ = ::geteuid() == 0 && ::setegid(65534) == 0 && ::seteuid(65534) == 0;
  }
  ~ordinary_user_on_a_small_disk() {
    if (dropped_ && (::seteuid(0) != 0 || ::setegid(0) != 0)) std::abort();
    ::setrlimit(RLIMIT_FSIZE, &old_limit_);
    ::signal(SIGXFSZ, SIG_DFL);
  }
  ordinary_user_on_a_small_disk(const ordinary_user_on_a_small_disk&) = delete;
  ordinary_user_on_a_small_disk& operator=(const ordinary_user_on_a_small_disk&) = delete;

 private:
  rlimit old_limit_{};
  bool dropped_ = false;
};

}  // namespace

TEST_F(dialogs_test, EachDialogHasItsNamesAndPatternAndCancelKeepsTheTypedName) {
  const struct {
    const char *title, *name, *pattern;  // the shell's name is name + "_shell"
    Widget box, field;
    XtCallbackProc show;
  } dialogs[] = {
      {"Load Parameters", "load_p_files", "*.csp", load_p_files, load_p_filename,
       cb_load_parameters},
      {"Save Parameters", "save_p_files", "*.csp", save_p_files, save_p_filename, cb_save_params},
      {"Load Event List", "load_e_files", "*.cse", load_e_files, load_e_filename, cb_load_events},
      {"Save Event List", "save_e_files", "*.cse", save_e_files, save_e_filename, cb_save_events},
      {"Generate Sound File", "save_s_files", "*.au", save_s_files, save_s_filename,
       cb_save_sounds},
      {"Csound Output", "csound_output", "*.sco", csound_output, csound_filename, cb_csound},
  };
  const parameters_type before = Current_State;
  for (const auto& d : dialogs) {
    SCOPED_TRACE(d.title);
    Widget shell = find((std::string(d.name) + "_shell").c_str());
    EXPECT_EQ(XtNameToWidget(shell, d.name), d.box);
    EXPECT_EQ(d.field, XmFileSelectionBoxGetChild(d.box, XmDIALOG_TEXT));
    EXPECT_EQ(title_of(shell), d.title);
    EXPECT_EQ(xm_resource(d.box, XmNpattern), d.pattern);
    d.show(nullptr, nullptr, nullptr);
    EXPECT_TRUE(shown(d.box));
    type_text(d.field, "typed.name");
    press(cancel_of(d.box));
    EXPECT_FALSE(shown(d.box));
    d.show(nullptr, nullptr, nullptr);
    pump();
    EXPECT_EQ(text_in(d.field), "typed.name");
    press(cancel_of(d.box));
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
  EXPECT_EQ(panel(), "50 200 300 60 70 | 0.0500 | 0 | 123");
  EXPECT_EQ(scale_value(state_sliders[2]), 75);
  EXPECT_EQ(scale_value(instrument_sliders[1]), 25);
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
  EXPECT_EQ(panel(), "80 120 100 50 50 | 0.0250 | 0 | 600");
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
      {save_p_files, save_p_filename, "full.csp", "Can't write file full.csp\n"},
      {csound_output, csound_filename, "no/dir/out.sco", "Can't open file no/dir/out.sco\n"},
  };
  for (const auto& c : cases) {
    captured_output o;
    {
      const ordinary_user_on_a_small_disk user;
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

TEST_F(dialogs_test, LoadEventListFillsTheEditorAndFailedLoadsKeepIt) {
  spit("three.cse", three_events_text);
  spit("cut.cse", std::string(three_events_text) + "event\ntype=3\ntime=300\nname=x\nnot end\n");
  spit("junk.cse", "junk\n");
  press(reseed_button);
  Event_List_Edit_No = 1;
  type_text(event_edit, "stale");
  type_text(event_time, "5");
  cb_load_events(nullptr, nullptr, nullptr);
  EXPECT_EQ(choose(load_e_files, load_e_filename, "three.cse").err, "bad format @ event:  \n");
  EXPECT_FALSE(shown(load_e_files));
  const strings three_lines{"calm                  0", "->wild              100 200",
                            "Reseed              200"};
  EXPECT_EQ(list_lines(event_list_disp), three_lines);
  EXPECT_EQ(List_Size, 3);
  EXPECT_EQ(std::to_string(Event_List_Edit_No) + text_in(event_edit) + text_in(event_time), "-1");
  cb_save_events(nullptr, nullptr, nullptr);
  EXPECT_EQ(choose(save_e_files, save_e_filename, "again.cse").out, "Chug\nChug\n");
  EXPECT_EQ(slurp("again.cse"), three_events_text);
  EXPECT_FALSE(shown(save_e_files));

  cb_load_events(nullptr, nullptr, nullptr);
  EXPECT_EQ(choose(load_e_files, load_e_filename, "junk.cse").err,
            "bad start\nFormat error in parameter file\n");
  EXPECT_EQ(choose(load_e_files, load_e_filename, "none.cse").err, "Can't open file none.cse");
  EXPECT_TRUE(shown(load_e_files));
  EXPECT_EQ(list_lines(event_list_disp), three_lines);
  // The loaded lines stay in step with the events for later edits.
  XmListSelectPos(event_list_disp, 1, False);
  press(edit_event_button);
  EXPECT_EQ(capture([] { type_and_return(event_time, "250"); }).out, "Shving\n3");
  EXPECT_EQ(list_lines(event_list_disp), (strings{"->wild              100 200",
                                                  "Reseed              200",
                                                  "calm                250"}));
  // The events before a malformed one are kept.
  EXPECT_EQ(choose(load_e_files, load_e_filename, "cut.cse").err, "bad end");
  EXPECT_FALSE(shown(load_e_files));
  EXPECT_EQ(list_lines(event_list_disp), three_lines);
}

TEST_F(dialogs_test, SaveEventListOfAnEmptyListLeavesAnEmptyFile) {
  spit("old.cse", three_events_text);
  cb_save_events(nullptr, nullptr, nullptr);
  EXPECT_EQ(choose(save_e_files, save_e_filename, "old.cse").out, "No list\n");
  EXPECT_TRUE(std::filesystem::exists("old.cse"));
  EXPECT_EQ(slurp("old.cse"), "");
  EXPECT_FALSE(shown(save_e_files));
}

// The real csound, with the orchestra in the working directory.
TEST_F(dialogs_test, GenerateSoundFileAndAudioOutputRunCsound) {
  const std::filesystem::path source_root =
      std::filesystem::path(__FILE__).parent_path().parent_path().parent_path();
  std::filesystem::copy_file(source_root / "zelmora.orc", "zelmora.orc");
  Current_State.iter = 40;  // one second
  cb_save_sounds(nullptr, nullptr, nullptr);
  const captured_output file = choose(save_s_files, save_s_filename, "out.au");
  EXPECT_EQ(file.err.find("csound failed"), std::string::npos) << file.err;
  EXPECT_FALSE(shown(save_s_files));
  // Raw 16-bit mono at 44100 Hz, to a control block.
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
