// zelmora's csound opcodes: the grain voices of zelmora.orc, played in C++.
//
//   aleft, aright, kvoices zelmora_grains Snotes, kquiet
//     The voices' stereo sum (before the Master's gain staging) and the
//     number sounding. Snotes is a score file whose note lines it reads as
//     time approaches them, ending the performance once they have played
//     out and kquiet (non-zero: what comes after the voices has rung out)
//     says so, or a second later at the most; empty, it plays what live
//     play hands in (a global variable the host made) and what zelmora_note
//     gives it.
//   aleft, aright zelmora_master Snotes, Sgrain, idither
//     The same voices through the Master (gain staging, reverb, high-pass,
//     limiter), as zelmora.orc plays them. Sgrain: the grain design's
//     items ("wave=saw,overlap=4"; empty: the defaults), which live play
//     may change; idither: the LSB of 16-bit samples to dither (0: none).
//     Voices reading the score's table read csound's table 1.
//   ikeep zelmora_note ip1, ip2, ip3, ip4, ip5
//     Hands one score note to the same voices (a score played by hand
//     through instruments 1-100); ikeep: the time until which the voices
//     must go on for it to play out.
#include <csound/csdl.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>

#include "dsp/grain_inbox.h"
#include "dsp/grain_player.h"
#include "dsp/score_reader.h"

namespace {

static_assert(std::is_same_v<MYFLT, double>, "the voices render doubles straight into csound");

constexpr const char* state_name = "zelmora_grains_state";
// The longest the performance waits for kquiet once the voices are done,
// without the Master's own measure.
constexpr double longest_ring_out = 1.0;
// csound's sample formats and file types (libsndfile's codes).
constexpr int format_24_bit = 0x0003;
constexpr int flac_file = 0x17;
// A line of score time for a progress display, as csound prints one for
// its own events, this often (seconds of sound).
constexpr double report_every = 0.1;

// The voices of one csound instance and where their notes come from.
struct voices_state {
  voices_state(double sample_rate, int control_period) : player(sample_rate, control_period) {}
  grain_player player;
  grain_voices& voices = player.voices;
  grain_master& master = player.master;
  std::optional<score_reader> notes;  // a score file's
  grain_inbox* inbox = nullptr;       // live play's
  double reported = 0.0;
  double peak_left = 0.0;
  double peak_right = 0.0;
  bool ending = false;
  bool mastered = false;     // the Master's opcode plays these voices
  bool table_looked = false; // csound's table 1 handed to the voices
};

int forget_state(CSOUND* csound, void* state) {
  std::unique_ptr<voices_state> owned(static_cast<voices_state*>(state));
  csound->DestroyGlobalVariable(csound, state_name);
  return OK;
}

// The voices of `csound`, made on first use and gone with its reset.
voices_state& state_of(CSOUND* csound) {
  if (auto* slot = static_cast<voices_state**>(csound->QueryGlobalVariable(csound, state_name)))
    return **slot;
  csound->CreateGlobalVariable(csound, state_name, sizeof(voices_state*));
  auto* slot = static_cast<voices_state**>(csound->QueryGlobalVariable(csound, state_name));
  auto state = std::make_unique<voices_state>(csound->GetSr(csound),
                                              static_cast<int>(csound->GetKsmps(csound)));
  *slot = state.release();
  csound->RegisterResetCallback(csound, *slot, forget_state);
  return **slot;
}

// A score's note comes in time (csound starts an instrument at the control
// period nearest its start, which the voices keep to); one of live play's
// that comes too late starts now.
void take_due_notes(voices_state& s) {
  const double until = s.player.due_until();
  if (s.notes) {
    for (const note* n = s.notes->peek(); n && n->start < until; n = s.notes->peek()) {
      s.player.hand_over(*n);
      s.notes->pop();
    }
  }
  if (s.inbox) {
    if (s.inbox->design_waiting) {
      s.player.set_design(s.inbox->design);
      s.inbox->design_waiting = false;
    }
    for (std::size_t i = 0; i < s.inbox->count; ++i) s.player.hand_over(s.inbox->notes[i], true);
    s.inbox->count = 0;
  }
}

// "B  0.000 ..  0.100 T  0.100 TT  0.100 M:", as csound says how far its
// score has come, when its messages include amplitudes.
void report_time(CSOUND* csound, voices_state& s) {
  const double now = s.voices.now();
  if (now < s.reported + report_every) return;
  if ((csound->GetMessageLevel(csound) & 1) != 0)
    csound->Message(csound, "B%7.3f ..%7.3f T%7.3f TT%7.3f M:%9.5f%9.5f\n", s.reported, now, now,
                    now, s.peak_left, s.peak_right);
  s.reported = now;
  s.peak_left = s.peak_right = 0.0;
}

// A score file's notes have all played out: csound's performance ends.
void end_when_played_out(CSOUND* csound, voices_state& s, bool quiet) {
  if (s.ending || !s.notes || s.notes->peek()) return;
  const double done = s.voices.keep_until();
  const double ring_out = s.mastered ? s.master.ring_out() : longest_ring_out;
  if (s.voices.now() < done || (!quiet && s.voices.now() < done + ring_out)) return;
  s.ending = true;
  if (s.notes->skipped_lines() > 0)
    csound->Warning(csound, "zelmora_grains: %d lines of the score were no notes (line %d first)",
                    s.notes->skipped_lines(), s.notes->first_skipped_line());
  if (s.notes->refused_notes() > 0)
    csound->Warning(csound, "zelmora_grains: %d notes of the score refused (line %d first: %s)",
                    s.notes->refused_notes(), s.notes->first_refused_line(),
                    s.notes->first_refusal());
  if (s.voices.refused() > 0)
    csound->Warning(csound, "zelmora_grains: %ld grains found no room among the voices",
                    s.voices.refused());
  csound->InputMessage(csound, "e");
}

struct grains_opcode {
  OPDS h;
  MYFLT *left, *right, *voices;
  STRINGDAT* source;
  MYFLT* quiet;
  voices_state* state;
};

// Only a regular file: a pipe or a device would hold csound up without end.
std::FILE* open_notes(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  struct stat st {};
  if (fd >= 0 && (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
                  ::fcntl(fd, F_SETFL, O_RDONLY) != 0)) {
    ::close(fd);
    errno = EINVAL;
    return nullptr;
  }
  std::FILE* fp = fd < 0 ? nullptr : ::fdopen(fd, "r");
  if (!fp && fd >= 0) ::close(fd);
  return fp;
}

int grains_init(CSOUND* csound, grains_opcode* p) {
  voices_state& s = state_of(csound);
  p->state = &s;
  s.inbox = static_cast<grain_inbox*>(csound->QueryGlobalVariable(csound, grain_inbox_name));
  const std::string source = p->source->data ? p->source->data : "";
  if (source.empty() || s.notes) return OK;
  std::FILE* fp = open_notes(source);
  if (!fp)
    return csound->InitError(csound, "zelmora_grains: can't read the notes %s: %s",
                             source.c_str(), errno == EINVAL ? "not a regular file" : std::strerror(errno));
  s.notes.emplace(fp);
  return OK;
}

double peak(const MYFLT* samples, std::size_t count, double so_far) {
  for (std::size_t i = 0; i < count; ++i)
    so_far = std::max(so_far, samples[i] < 0 ? -samples[i] : samples[i]);
  return so_far;
}

// One control period of the voices, through the Master when it plays
// them; `quiet`: whether what comes after them has rung out.
void play_period(CSOUND* csound, voices_state& s, MYFLT* left, MYFLT* right, std::size_t frames,
                 bool quiet) {
  take_due_notes(s);
  s.player.play_period(left, right, frames, !s.mastered);
  if (s.mastered) quiet = s.master.quiet();
  s.peak_left = peak(left, frames, s.peak_left);
  s.peak_right = peak(right, frames, s.peak_right);
  report_time(csound, s);
  end_when_played_out(csound, s, quiet);
}

int grains_perform(CSOUND* csound, grains_opcode* p) {
  play_period(csound, *p->state, p->left, p->right, CS_KSMPS, *p->quiet != 0);
  *p->voices = p->state->voices.voices();
  return OK;
}

// The voices through the Master: what the orchestra's Master puts out.
struct master_opcode {
  OPDS h;
  MYFLT *left, *right;
  STRINGDAT *source, *design;
  MYFLT* dither;
  voices_state* state;
};

// Formats that truncate to 24 bits get half a step more, and round.
void set_rounding(CSOUND* csound, grain_master& master) {
  OPARMS options{};
  csound->GetOParms(csound, &options);
  if (options.sfwrite && options.outformat == format_24_bit && options.filetyp != flac_file)
    master.set_offset(0x1p-24);
}

// The voices' table, once csound has made the score's tables.
void look_up_table(CSOUND* csound, voices_state& s) {
  if (s.table_looked) return;
  s.table_looked = true;
  MYFLT* points = nullptr;
  const int count = csound->GetTable(csound, &points, 1);
  if (count > 0 && points) s.voices.set_score_table(points, static_cast<std::size_t>(count));
}

int master_init(CSOUND* csound, master_opcode* p) {
  grains_opcode grains{};
  grains.source = p->source;
  if (const int status = grains_init(csound, &grains); status != OK) return status;
  voices_state& s = *grains.state;
  p->state = &s;
  s.mastered = true;
  grain_design design;
  const std::string text = p->design->data ? p->design->data : "";
  if (!read_grain_text(design, text))
    return csound->InitError(csound, "zelmora_master: no grain design \"%s\"", text.c_str());
  s.player.set_design(design);
  s.master.set_dither(*p->dither);
  set_rounding(csound, s.master);
  return OK;
}

int master_perform(CSOUND* csound, master_opcode* p) {
  look_up_table(csound, *p->state);
  play_period(csound, *p->state, p->left, p->right, CS_KSMPS, false);
  return OK;
}

struct note_opcode {
  OPDS h;
  MYFLT* keep;
  MYFLT *instrument, *start, *duration, *amplitude, *frequency;
};

int note_init(CSOUND* csound, note_opcode* p) {
  voices_state& s = state_of(csound);
  note n;
  n.instrument = static_cast<int>(*p->instrument);
  n.start = *p->start;
  n.duration = *p->duration;
  n.amplitude = *p->amplitude;
  n.frequency = *p->frequency;
  if (n.instrument < 1 || n.instrument > max_instruments)
    return csound->InitError(csound, "zelmora_note: no instrument %d among 1 to %d",
                             n.instrument, max_instruments);
  look_up_table(csound, s);
  s.player.hand_over(n);
  *p->keep = s.voices.keep_until() + (s.mastered ? s.master.ring_out() - longest_ring_out : 0);
  return OK;
}

template <typename T>
int (*subr(int (*f)(CSOUND*, T*)))(CSOUND*, void*) {
  return reinterpret_cast<int (*)(CSOUND*, void*)>(f);
}

OENTRY localops[] = {
    {const_cast<char*>("zelmora_grains"), sizeof(grains_opcode), 0, 3, const_cast<char*>("aak"),
     const_cast<char*>("Sk"), subr(grains_init), subr(grains_perform), nullptr, nullptr},
    {const_cast<char*>("zelmora_master"), sizeof(master_opcode), 0, 3, const_cast<char*>("aa"),
     const_cast<char*>("SSi"), subr(master_init), subr(master_perform), nullptr, nullptr},
    {const_cast<char*>("zelmora_note"), sizeof(note_opcode), 0, 1, const_cast<char*>("i"),
     const_cast<char*>("iiiii"), subr(note_init), nullptr, nullptr, nullptr},
};

}  // namespace

extern "C" {
LINKAGE
}
