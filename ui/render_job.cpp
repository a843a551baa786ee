#include "ui/render_job.h"

#include <Xm/Label.h>
#include <Xm/PushB.h>

#include <memory>
#include <utility>
#include <vector>

#include "engine/externs.h"
#include "engine/csound/offline_job.h"
#include "engine/render/progress.h"
#include "engine/report.h"
#include "ui/Xevent.h"
#include "ui/Xfiles.h"
#include "ui/Xamp.h"
#include "ui/Xctrl.h"
#include "ui/Xfreq.h"
#include "ui/Xlive.h"
#include "ui/messages.h"
#include "ui/panel_menus.h"
#include "ui/startup.h"
#include "ui/widgets.h"

Widget render_progress, cancel_render;

namespace {

// A slice of the automaton, then the toolkit's turn: events wait at most
// this long, and the automaton keeps most of the time.
constexpr std::chrono::milliseconds slice{40};
constexpr unsigned long pause_ms = 2;
// A score with more cell updates than this is written in the background.
constexpr double background_cell_steps = 5e7;

// Widgets made insensitive for a while, given back as they were.
class greyed_widgets {
 public:
  void grey(Widget w) {
    if (!w) return;
    Boolean sensitive = False;
    XtVaGetValues(w, XmNsensitive, &sensitive, nullptr);
    kept_.emplace_back(w, sensitive);
    XtSetSensitive(w, False);
  }
  void restore() {
    for (const auto& [w, sensitive] : kept_) XtSetSensitive(w, sensitive);
    kept_.clear();
  }

 private:
  std::vector<std::pair<Widget, Boolean>> kept_;
};

std::unique_ptr<offline_job> job;
std::string job_target;  // the file the job makes, for its last word
XtIntervalId slice_timer = 0;
XtInputId messages_input = 0;
greyed_widgets render_inputs;   // what the render reads: greyed until the score is done
greyed_widgets render_starts;   // what would start another render: greyed to the end

// The render reads the parameters, the mappings and the event list at every
// iteration; whatever changes them waits for the score.
void grey_render_inputs() {
  for (Widget w : {parameter_group, grid_group, halt_at, Panel_Menus.edit}) render_inputs.grey(w);
  WidgetList entries = nullptr;
  Cardinal count = 0;
  XtVaGetValues(Panel_Menus.file, XmNchildren, &entries, XmNnumChildren, &count, nullptr);
  for (Cardinal i = 0; i < count; ++i)
    if (entries[i] != Panel_Menus.quit) render_inputs.grey(entries[i]);
  for (Widget w : {state_form, instrument_form, event_form, auto_set_freq_form, auto_set_amp_form,
                   load_p_files, load_e_files, load_event_p_files, load_p_interp})
    render_inputs.grey(w);
  render_inputs.grey(Panel_Menus.presets);
}

void grey_render_starts() {
  for (Widget w : {Panel_Menus.csound, Panel_Menus.audio_output, Panel_Menus.audio_file,
                   Panel_Menus.play_live, Panel_Menus.save_take, play_button})
    render_starts.grey(w);
}

// The label changes only when its text does: csound's messages come far
// more often than the percentage moves.
void show_label(const std::string& text) {
  static std::string shown;
  if (text == shown) return;
  shown = text;
  set_label(render_progress, text.c_str());
}

// Two lines fit the narrow column: "Sound 42 %" over "0:17 left".
void show_progress() {
  std::string text = progress_short_text(job->progress());
  if (const std::size_t comma = text.find(", "); comma != std::string::npos)
    text.replace(comma, 2, "\n");
  show_label(text);
}

// "Done: take.wav" over "5:00 of sound" (a score's: over "written").
std::string done_text() {
  const std::size_t slash = job_target.rfind('/');
  const std::string name = slash == std::string::npos ? job_target : job_target.substr(slash + 1);
  const job_progress& progress = job->progress();
  if (progress.current() == job_progress::stage::sound)
    return "Done: " + name + "\n" + clock_text(progress.sound_total()) + " of sound";
  return "Done: " + name + "\nwritten";
}

void finished() {
  if (slice_timer != 0) XtRemoveTimeOut(slice_timer);
  if (messages_input != 0) XtRemoveInput(messages_input);
  slice_timer = 0;
  messages_input = 0;
  render_inputs.restore();
  render_starts.restore();
  XtSetSensitive(cancel_render, False);
  switch (job->state()) {
    case offline_job::phase::done:
      show_label(done_text());
      break;
    case offline_job::phase::cancelled:
      show_label("Cancelled");
      break;
    default:
      show_label("Failed");
  }
  job.reset();
}

void read_messages(XtPointer, int*, XtInputId*) {
  job->read_messages();
  if (job->running())
    show_progress();
  else
    finished();
}

// csound runs: its messages are watched.
void sound_started() {
  if (!job->running()) {
    finished();
    return;
  }
  messages_input = XtAppAddInput(app_context, job->messages_fd(),
                                 reinterpret_cast<XtPointer>(XtInputReadMask), read_messages,
                                 nullptr);
  show_progress();
}

// The render's events leave Current_State changed: the windows show what
// the next render starts from.
void automaton_ended() {
  render_inputs.restore();
  show_final_grid();
  set_control();
  set_all_frequencies();
  set_all_amplitudes();
  sound_started();
}

void compute_slice(XtPointer, XtIntervalId*) {
  slice_timer = 0;
  job->compute(slice);
  if (job->state() == offline_job::phase::automaton) {
    show_progress();
    slice_timer = XtAppAddTimeOut(app_context, pause_ms, compute_slice, nullptr);
    return;
  }
  automaton_ended();
}

void start(std::unique_ptr<offline_job> started, const std::string& target) {
  clear_render_news();
  job = std::move(started);
  job_target = target;
  if (!job->running()) {  // it could not begin, and said why
    finished();
    return;
  }
  grey_render_starts();
  XtSetSensitive(cancel_render, True);
  if (job->state() == offline_job::phase::sound) {  // a score made already
    sound_started();
    return;
  }
  grey_render_inputs();
  show_progress();
  slice_timer = XtAppAddTimeOut(app_context, pause_ms, compute_slice, nullptr);
}

}  // namespace

void build_render_progress(Widget form, Widget above) {
  const compound_string blank = make_label(" \n ");  // room for two lines
  render_progress = XtVaCreateWidget(
      "render_progress", xmLabelWidgetClass, form, XmNlabelString, blank.get(),
      XmNrecomputeSize, False, XmNalignment, XmALIGNMENT_BEGINNING, XmNtopAttachment,
      XmATTACH_WIDGET, XmNtopWidget, above, XmNtopOffset, 8, XmNleftAttachment, XmATTACH_FORM,
      XmNrightAttachment, XmATTACH_FORM, nullptr);
  const compound_string label = make_label("Cancel");
  cancel_render = XtVaCreateWidget(
      "cancel_render", xmPushButtonWidgetClass, form, XmNlabelString, label.get(),
      XmNsensitive, False, XmNtopAttachment, XmATTACH_WIDGET, XmNtopWidget, render_progress,
      XmNtopOffset, 2, XmNleftAttachment, XmATTACH_FORM, XmNrightAttachment, XmATTACH_FORM,
      nullptr);
  XtAddCallback(cancel_render, XmNactivateCallback, cb_cancel_render, nullptr);
  manage_all({render_progress, cancel_render});
}

void start_sound_file_job(const std::string& name) {
  if (!job) start(offline_job::sound_file(name), name);
}

bool start_score_sound_job(const std::string& name,
                           const std::function<bool(std::FILE*)>& write_score, double seconds) {
  if (job) {
    report_error("A render is running: cancel it or wait for its end first\n");
    return false;
  }
  start(offline_job::sound_from_score(name, write_score, seconds), name);
  return job != nullptr;
}

bool long_score() {
  const double cell_steps = static_cast<double>(Current_State.iter) * Current_State.x *
                            static_cast<double>(Current_State.y);
  return cell_steps >= background_cell_steps;
}

void start_score_file_job(const std::string& name) {
  if (!job) start(offline_job::score_file(name), name);
}

bool render_job_running() { return job != nullptr; }

void clear_render_news() {
  show_label(" ");
  show_notice("");
}

void cb_cancel_render(Widget, XtPointer, XtPointer) {
  if (!job) return;
  job->cancel();
  if (slice_timer != 0) {  // cancelled during the automaton: show what it left
    XtRemoveTimeOut(slice_timer);
    slice_timer = 0;
    render_inputs.restore();
    set_control();
    set_all_frequencies();
    set_all_amplitudes();
  }
  finished();
}
