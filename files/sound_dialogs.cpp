// The three rendering commands as the windows start them: the score, the
// csound run and the messages are the engine's; these take the name from
// the dialog and close it.
#include <Xm/Xm.h>

#include "engine/csound.h"
#include "files/Xfiles.h"
#include "files/xm_text.h"

void cb_sound_out(Widget, XtPointer, XtPointer) { play_on_audio_device(); }

void cb_save_s_ok(Widget, XtPointer, XtPointer) {
  make_sound_file(text_of(save_s_filename));
  XtUnmanageChild(save_s_files);
}

void cb_cs_ok(Widget, XtPointer, XtPointer) {
  make_score_file(text_of(csound_filename));
  XtUnmanageChild(csound_output);
}
