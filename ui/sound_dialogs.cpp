// The three rendering commands as the windows start them: the score, the
// csound run and the messages are the engine's; these take the name from
// the dialog and close it.
#include <Xm/Xm.h>

#include "engine/csound/offline_job.h"
#include "engine/view.h"
#include "ui/Xfiles.h"
#include "ui/xm_text.h"
#include "ui/Xctrl.h"
#include "ui/Xfreq.h"
#include "ui/Xlive.h"
#include "ui/question.h"
#include "ui/render_job.h"
#include "ui/widgets.h"

namespace {

// Runs a render with the windows busy, then shows in every window the
// parameter set the render's events left, which the next render starts
// from, whether the render finished, was abandoned or failed.
template <typename Render>
void render_from_windows(Render render) {
  take_typed_values();
  clear_render_news();
  {
    const busy_windows busy(Ctrl_pannel);
    render();
  }
  show_final_grid();
  view_set_control();
  view_set_all_frequencies();
  view_set_all_amplitudes();
}

}  // namespace

void cb_sound_out(Widget, XtPointer, XtPointer) { render_from_windows(play_on_audio_device); }

// csound can take many times as long as the automaton: it runs in the
// background and the windows stay live.
void cb_save_s_ok(Widget, XtPointer, XtPointer) {
  take_typed_values();
  const std::string name = field_text(save_s_filename);
  XtUnmanageChild(save_s_files);
  confirm_replace(save_s_files, name, [name] { start_sound_file_job(name); });
}

void cb_cs_ok(Widget, XtPointer, XtPointer) {
  const std::string name = field_text(csound_filename);
  take_typed_values();
  XtUnmanageChild(csound_output);
  confirm_replace(csound_output, name, [name] {
    if (long_score())
      start_score_file_job(name);
    else
      render_from_windows([&] { make_score_file(name); });
  });
}
