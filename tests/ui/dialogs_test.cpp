// The six file dialogs on a real X server: showing and hiding, and what
// their OK buttons do to the program's state and to the user's files.
#include <Xm/FileSB.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "files/event_file.h"
#include "files/param_file.h"
#include "output_capture.h"
#include "ui_fixture.h"

using namespace ui_test;

namespace {

// Where the interface was built: the test binary's working directory.
const std::filesystem::path interface_directory = std::filesystem::current_path();
const std::filesystem::path source_root =
    std::filesystem::path(__FILE__).parent_path().parent_path().parent_path();

using output = captured_output;

Widget ok_of(Widget box) { return XmFileSelectionBoxGetChild(box, XmDIALOG_OK_BUTTON); }
Widget cancel_of(Widget box) { return XmFileSelectionBoxGetChild(box, XmDIALOG_CANCEL_BUTTON); }

// Types a name into a dialog and presses its OK button.
output choose(Widget box, Widget field, const std::string& name) {
  return capture([&] {
    type_text(field, name);
    press(ok_of(box));
  });
}

std::string compound_text(XmString s) {
  char* text = static_cast<char*>(
      XmStringUnparse(s, nullptr, XmCHARSET_TEXT, XmCHARSET_TEXT, nullptr, 0, XmOUTPUT_ALL));
  std::string result = text ? text : "";
  XtFree(text);
  return result;
}

std::string parameters_text(const parameters_type& p) {
  char* buffer = nullptr;
  std::size_t size = 0;
  std::FILE* fp = open_memstream(&buffer, &size);
  write_parameters(fp, p);
  std::fclose(fp);
  std::string text(buffer, size);
  std::free(buffer);
  return text;
}

// The example set: three states, two instruments.
parameters_type small_set() {
  parameters_type p = Current_State;
  p.r1 = 0.5f;
  p.r2 = 2.0f;
  p.k = 3.0f;
  p.Ns = 3;
  p.x = 60;
  p.y = 70;
  p.dur = 0.05f;
  p.noinstrm = 2;
  p.states[0] = 50.0f;
  p.states[1] = 60.0f;
  p.states[2] = 75.0f;
  p.instrm[0] = 50.0f;
  p.instrm[1] = 25.0f;
  return p;
}

std::vector<std::string> files_in(const std::filesystem::path& dir) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// File operations as an ordinary user, since root may write anywhere.
class ordinary_user {
 public:
  ordinary_user() {
    if (::geteuid() != 0) return;
    dropped_ = ::setegid(65534) == 0 && ::seteuid(65534) == 0;
  }
  ~ordinary_user() {
    if (!dropped_) return;
    if (::seteuid(0) != 0 || ::setegid(0) != 0) std::abort();
  }
  ordinary_user(const ordinary_user&) = delete;
  ordinary_user& operator=(const ordinary_user&) = delete;

 private:
  bool dropped_ = false;
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

class dialogs_test : public ui_fixture {
 protected:
  // A directory that an ordinary user cannot write into, holding one file.
  std::string locked_directory_with(const std::string& file, const std::string& text) {
    std::filesystem::permissions(scratch, std::filesystem::perms(0755));
    std::filesystem::create_directory("locked");
    write_file("locked/" + file, text);
    std::filesystem::permissions("locked", std::filesystem::perms(0555));
    return "locked/" + file;
  }

  void TearDown() override {
    if (std::filesystem::exists(scratch / "locked"))
      std::filesystem::permissions(scratch / "locked", std::filesystem::perms(0755));
    ui_fixture::TearDown();
  }
};

struct dialog {
  const char* shell_name;
  const char* title;
  const char* box_name;
  const char* pattern;
  Widget* shell;
  Widget* box;
  Widget* field;
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

TEST_F(dialogs_test, EachDialogHasItsNamesTitleAndPattern) {
  for (const dialog& d : dialogs) {
    SCOPED_TRACE(d.title);
    EXPECT_EQ(XtNameToWidget(Ctrl_pannel, d.shell_name), *d.shell);
    EXPECT_EQ(XtNameToWidget(*d.shell, d.box_name), *d.box);
    EXPECT_EQ(*d.field, XmFileSelectionBoxGetChild(*d.box, XmDIALOG_TEXT));
    char* title = nullptr;
    XtVaGetValues(*d.shell, XmNtitle, &title, nullptr);
    EXPECT_STREQ(title, d.title);
    XmString pattern = nullptr;
    XtVaGetValues(*d.box, XmNpattern, &pattern, nullptr);
    EXPECT_EQ(compound_text(pattern), d.pattern);
    XmStringFree(pattern);
  }
  XmString mask = nullptr;
  XtVaGetValues(save_s_files, XmNdirMask, &mask, nullptr);
  EXPECT_EQ(compound_text(mask), interface_directory.string() + "/*.au");
  XmStringFree(mask);
}

TEST_F(dialogs_test, MenuShowsAndCancelHidesKeepingTheTypedName) {
  const parameters_type before = Current_State;
  for (const dialog& d : dialogs) {
    SCOPED_TRACE(d.title);
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
  EXPECT_EQ(Current_State, before);
  EXPECT_TRUE(files_in(scratch).empty());
}

TEST_F(dialogs_test, LoadParametersReplacesTheSetAndRefreshesTheWindows) {
  const parameters_type loaded = small_set();
  write_file("small.csp", parameters_text(loaded));
  Current_State.iter = 123;
  cb_load_parameters(nullptr, nullptr, nullptr);

  const output o = choose(load_p_files, load_p_filename, "small.csp");

  EXPECT_EQ(o.out,
            "r1=0.500000 \nr2=2.000000 \nk=3.000000 \nNs=3\nx=60\ny=70 \ndur=0.050000 \n"
            "noinstrm=2\nr1=0.500000\n");
  EXPECT_EQ(o.err, "");
  EXPECT_FALSE(shown(load_p_files));
  EXPECT_EQ(Current_State.r1, 0.5f);
  EXPECT_EQ(Current_State.Ns, 3);
  EXPECT_EQ(Current_State.x, 60);
  EXPECT_EQ(Current_State.noinstrm, 2);
  EXPECT_NEAR(Current_State.states[1], 60.0f, 1e-4);
  EXPECT_EQ(Current_State.instrm[1], 25.0f);
  EXPECT_EQ(Current_State.iter, 123);
  // The windows show the new set.
  EXPECT_EQ(scale_value(r1), 50);
  EXPECT_EQ(scale_value(x), 60);
  EXPECT_EQ(scale_value(y), 70);
  EXPECT_EQ(text_in(halt_at), "123");
  EXPECT_EQ(scale_value(state_sliders[2]), 75);
  EXPECT_EQ(scale_value(instrument_sliders[1]), 25);
}

TEST_F(dialogs_test, LoadParametersThatCannotBeReadChangesNothing) {
  std::filesystem::create_directory("folder.csp");
  write_file("refused.csp", "r1=0.3\nx=5000\nend\n");
  const parameters_type before = Current_State;

  cb_load_parameters(nullptr, nullptr, nullptr);
  output o = choose(load_p_files, load_p_filename, "refused.csp");
  EXPECT_EQ(o.err, "Parameter out of range: x=5000\nFormat error in parameter file\n");
  EXPECT_TRUE(shown(load_p_files));

  o = choose(load_p_files, load_p_filename, "missing.csp");
  EXPECT_EQ(o.err, "Can't open file missing.csp");
  EXPECT_FALSE(shown(load_p_files));

  cb_load_parameters(nullptr, nullptr, nullptr);
  o = choose(load_p_files, load_p_filename, "folder.csp");
  EXPECT_EQ(o.err, "Can't open file folder.csp");
  EXPECT_FALSE(shown(load_p_files));

  EXPECT_EQ(Current_State, before);
  EXPECT_EQ(scale_value(r1), 80);
}

TEST_F(dialogs_test, SaveParametersWritesTheCurrentSet) {
  Current_State = small_set();
  Current_State.r1 = 0.8f;
  Current_State.r2 = 1.2f;
  Current_State.k = 1.0f;
  Current_State.x = 50;
  Current_State.y = 50;
  Current_State.dur = 0.025f;
  write_file("p.csp", "an older set, longer than the new one will be" + std::string(2000, '.'));
  cb_save_params(nullptr, nullptr, nullptr);

  const output o = choose(save_p_files, save_p_filename, "p.csp");

  EXPECT_EQ(o.out, "Chug\n");
  EXPECT_EQ(o.err, "");
  EXPECT_FALSE(shown(save_p_files));
  EXPECT_EQ(read_file("p.csp"),
            "r1=0.800000\nr2=1.200000\nk=1.000000\nNs=3\nx=50\ny=50\ndur=0.025000\n"
            "noinstrm=2\ns0=121.510418\ns1=317.348329\ns2=1339.430764\ni0=500.000000\n"
            "i1=250.000000\nend\n");
  EXPECT_EQ(files_in(scratch), std::vector<std::string>{"p.csp"});
}

TEST_F(dialogs_test, SaveParametersThatCannotBeWrittenKeepsTheOldFile) {
  const std::string old_text = parameters_text(small_set());
  const std::string locked = locked_directory_with("p.csp", old_text);
  std::filesystem::create_directory("folder.csp");
  write_file("full.csp", old_text);

  cb_save_params(nullptr, nullptr, nullptr);
  output o;
  {
    ordinary_user user;
    o = choose(save_p_files, save_p_filename, locked);
  }
  EXPECT_EQ(o.err, "Can't open file locked/p.csp\n");
  EXPECT_FALSE(shown(save_p_files));
  EXPECT_EQ(read_file(locked), old_text);

  o = choose(save_p_files, save_p_filename, "folder.csp");
  EXPECT_EQ(o.err, "Can't open file folder.csp\n");
  o = choose(save_p_files, save_p_filename, "no/such/dir/p.csp");
  EXPECT_EQ(o.err, "Can't open file no/such/dir/p.csp\n");

  // A disk that fills up during the write.
  {
    file_size_limit limit(200);
    o = choose(save_p_files, save_p_filename, "full.csp");
  }
  EXPECT_EQ(o.err, "Can't write file full.csp\n");
  EXPECT_EQ(read_file("full.csp"), old_text);
  EXPECT_EQ(files_in(scratch), (std::vector<std::string>{"folder.csp", "full.csp", "locked"}));
  EXPECT_EQ(files_in("locked"), std::vector<std::string>{"p.csp"});
}

TEST_F(dialogs_test, SaveParametersKeepsAWriteProtectedFile) {
  std::filesystem::permissions(scratch, std::filesystem::perms(0777));
  write_file("kept.csp", "old\n");
  std::filesystem::permissions("kept.csp", std::filesystem::perms(0444));
  output o;
  {
    ordinary_user user;
    o = choose(save_p_files, save_p_filename, "kept.csp");
  }
  EXPECT_EQ(o.err, "Can't open file kept.csp\n");
  EXPECT_EQ(read_file("kept.csp"), "old\n");
}

// Events as in a saved file: a change, an interpolation and a reseed.
constexpr const char* three_events_text =
    "event\ntype=1\ntime=0\nname=calm\n"
    "r1=0.800000\nr2=1.200000\nk=1.000000\nNs=1\nx=50\ny=50\ndur=0.025000\nnoinstrm=1\n"
    "s0=121.510418\ni0=500.000000\nend\n"
    "event\ntype=2\ntime=100\nname=->wild\nfinish time=300\n"
    "r1=0.900000\nr2=1.300000\nk=1.000000\nNs=1\nx=50\ny=50\ndur=0.025000\nnoinstrm=1\n"
    "s0=317.348329\ni0=250.000000\nend\n"
    "event\ntype=3\ntime=200\nname=Reseed\nend\n";

TEST_F(dialogs_test, LoadEventListFillsTheEditorAndCancelsAnEdit) {
  write_file("three.cse", three_events_text);
  press(event_button);
  press(reseed_button);
  press(reseed_button);
  Event_List_Edit_No = 2;
  type_text(event_edit, "stale");
  type_text(event_time, "5");
  cb_load_events(nullptr, nullptr, nullptr);

  const output o = choose(load_e_files, load_e_filename, "three.cse");

  EXPECT_EQ(o.err, "bad format @ event:  \n");
  EXPECT_FALSE(shown(load_e_files));
  EXPECT_EQ(list_count(event_list_disp), 3);
  EXPECT_EQ(list_line(event_list_disp, 1), "calm                  0");
  EXPECT_EQ(list_line(event_list_disp, 2), "->wild              100 200");
  EXPECT_EQ(list_line(event_list_disp, 3), "Reseed              200");
  EXPECT_EQ(List_Size, 3);
  EXPECT_EQ(Event_List_Edit_No, -1);
  EXPECT_EQ(text_in(event_edit), "");
  EXPECT_EQ(text_in(event_time), "");

  // Saved again, the list gives the same text.
  cb_save_events(nullptr, nullptr, nullptr);
  const output saved = choose(save_e_files, save_e_filename, "again.cse");
  EXPECT_EQ(saved.out, "Chug\nChug\n");
  EXPECT_EQ(read_file("again.cse"), three_events_text);
  EXPECT_FALSE(shown(save_e_files));
}

TEST_F(dialogs_test, LoadEventListKeepsTheEventsBeforeAMalformedOne) {
  write_file("cut.cse", std::string(three_events_text) + "event\ntype=3\ntime=300\nname=x\nnot end\n");
  cb_load_events(nullptr, nullptr, nullptr);
  const output o = choose(load_e_files, load_e_filename, "cut.cse");
  EXPECT_EQ(o.err, "bad end");
  EXPECT_FALSE(shown(load_e_files));
  EXPECT_EQ(list_count(event_list_disp), 3);
  EXPECT_EQ(List_Size, 3);
}

TEST_F(dialogs_test, FailedEventListLoadKeepsListAndDialog) {
  write_file("three.cse", three_events_text);
  write_file("empty.cse", "");
  write_file("junk.cse", "junk\n");
  cb_load_events(nullptr, nullptr, nullptr);
  choose(load_e_files, load_e_filename, "three.cse");
  cb_load_events(nullptr, nullptr, nullptr);

  EXPECT_EQ(choose(load_e_files, load_e_filename, "empty.cse").err,
            "bad format @ event:  \nFormat error in parameter file\n");
  EXPECT_EQ(choose(load_e_files, load_e_filename, "junk.cse").err,
            "bad start\nFormat error in parameter file\n");
  EXPECT_EQ(choose(load_e_files, load_e_filename, "missing.cse").err,
            "Can't open file missing.cse");
  EXPECT_TRUE(shown(load_e_files));
  EXPECT_EQ(List_Size, 3);
  EXPECT_EQ(list_count(event_list_disp), 3);
  EXPECT_EQ(list_line(event_list_disp, 2), "->wild              100 200");
  ASSERT_NE(event_number(2), nullptr);
  EXPECT_EQ(event_number(2)->name, "->wild");
}

TEST_F(dialogs_test, SaveEventListOfAnEmptyListLeavesAnEmptyFile) {
  write_file("old.cse", three_events_text);
  cb_save_events(nullptr, nullptr, nullptr);
  const output o = choose(save_e_files, save_e_filename, "old.cse");
  EXPECT_EQ(o.out, "No list\n");
  EXPECT_EQ(read_file("old.cse"), "");
  EXPECT_TRUE(std::filesystem::exists("old.cse"));
  EXPECT_FALSE(shown(save_e_files));
}

TEST_F(dialogs_test, SaveEventListIntoALockedDirectoryKeepsTheOldFile) {
  const std::string locked = locked_directory_with("e.cse", three_events_text);
  add_event_special();
  List_Size = 1;
  output o;
  {
    ordinary_user user;
    o = choose(save_e_files, save_e_filename, locked);
  }
  EXPECT_EQ(o.err, "Can't open file locked/e.cse\n");
  EXPECT_EQ(read_file(locked), three_events_text);
}

TEST_F(dialogs_test, CsoundOutputWritesTheWholeScore) {
  cb_csound(nullptr, nullptr, nullptr);
  const output o = choose(csound_output, csound_filename, "out.sco");
  EXPECT_EQ(o.err, "");
  EXPECT_FALSE(shown(csound_output));
  const std::string score = read_file("out.sco");
  EXPECT_EQ(line_count(score), 15002);
  EXPECT_EQ(score.substr(0, score.find("i2 ")),
            "f1 0 8192 10 1\nf2 0 8193 7 0.0001 8192 1.0\ni1 0.000000 0.025000 500.000000 "
            "121.510475\n");
  const std::string last_line = score.substr(score.rfind('\n', score.size() - 2) + 1);
  EXPECT_EQ(last_line.substr(0, last_line.rfind(' ') + 1), "i25 14.975000 0.025000 500.000000 ");
  EXPECT_EQ(text_in(counter), "599");

  cb_csound(nullptr, nullptr, nullptr);
  EXPECT_EQ(choose(csound_output, csound_filename, "no/dir/out.sco").err,
            "Can't open file no/dir/out.sco\n");
  EXPECT_FALSE(shown(csound_output));
}

// The real csound: the orchestra must lie in the working directory.
class csound_dialogs_test : public dialogs_test {
 protected:
  void SetUp() override {
    dialogs_test::SetUp();
    std::filesystem::copy_file(source_root / "zelmora.orc", "zelmora.orc");
    Current_State.iter = 40;  // one second of sound
  }
};

TEST_F(csound_dialogs_test, GenerateSoundFileWritesTheSoundThroughCsound) {
  cb_save_sounds(nullptr, nullptr, nullptr);
  const output o = choose(save_s_files, save_s_filename, "out.au");

  EXPECT_EQ(o.err.find("csound failed"), std::string::npos) << o.err;
  EXPECT_FALSE(shown(save_s_files));
  EXPECT_FALSE(std::filesystem::exists("zelmora.temp.sco"));
  // Raw 16-bit mono at 44100 Hz: one second, within a control block.
  const std::string sound = read_file("out.au");
  EXPECT_NEAR(static_cast<double>(sound.size()), 2.0 * 44100, 2.0 * 32);
  EXPECT_NE(sound.find_first_not_of('\0'), std::string::npos);
}

TEST_F(csound_dialogs_test, AudioOutputPlaysOnTheDevice) {
  // No sound card here: ALSA's default device becomes the null device.
  write_file(".asoundrc", "pcm.!default { type null }\n");
  const std::string old_home = std::getenv("HOME") ? std::getenv("HOME") : "";
  ::setenv("HOME", scratch.c_str(), 1);
  const output o = capture([] { cb_sound_out(nullptr, nullptr, nullptr); });
  ::setenv("HOME", old_home.c_str(), 1);

  EXPECT_EQ(o.err.find("csound failed"), std::string::npos) << o.err;
  EXPECT_NE(o.err.find("written to devaudio"), std::string::npos) << o.err;
  EXPECT_FALSE(std::filesystem::exists("zelmora.temp.sco"));
}

}  // namespace
