;  zelmora.orc -- the grain voice for zelmora's scores.
;
;  Every iteration of the automaton sends one note per instrument, all
;  starting together and lasting one grain (25 ms by default):
;
;     p1  instrument i: block i - 1 of the grid's n x n, row by row
;     p4  amplitude, 0 to 1000 (the Instruments window's scale; files
;         accept up to 2000)
;     p5  frequency in Hz (the States window's scale)
;
;  The score also brings table 1 (one cycle of a sine, 8192 points);
;  the voices read their oscillator and window from the same kind of
;  table.
;
;  Each instrument plays a chain of notes. A note rises under a sin^2
;  half window while its predecessor falls under the matching cos^2, so
;  the windows of a chain sum to exactly 1 whatever the grain lengths.
;  Each note takes up its instrument's wave where the previous note
;  leaves it, in phase at the middle of their cross-fade: a held frequency
;  is one steady sine however short the grains, and a glide has no phase
;  jumps. The chain of instrument i runs a fixed share of a grain behind
;  the score, different for every instrument, so that the cross-fades of
;  different voices (each a small dip where two pitches beat) do not line
;  up into a flutter at the grain rate. Timing is worked out per sample,
;  not per control period.
;
;  Voices are panned by their block's column and add into a stereo bus;
;  the always-on instrument Master scales it by the number of sounding
;  voices, removes DC and passes it through a look-ahead limiter whose
;  gain is a smooth curve.
;
;  The voices are played by the opcode zelmora_grains of zelmora's csound
;  plugin (zelmora-grains.so, installed under <prefix>/lib/zelmora): a
;  note costs it a few operations instead of an instrument instance, which
;  matters at short grains (100 voices of 1 ms grains are 100 000 notes a
;  second). The programs run csound with the plugin and let the opcode
;  read their score itself (the macro ZELMORA_NOTES names it). A score
;  played by hand goes through instruments 1 to 100, which hand their
;  notes to the same voices:
;
;     csound --opcode-lib=<prefix>/lib/zelmora/zelmora-grains.so \
;            zelmora.orc score.sco

sr     = 44100
ksmps  = 32
nchnls = 2
0dbfs  = 1

; A score played by hand goes on at least this long after the voices, the
; longest the filter may ring, and at most giKeepChunk longer: a note now
; and then keeps csound going, not every note's instance.
giRingOut = 0.25
giKeepChunk = 0.25
giKeptTo = 0

; The score the voices read, when a program names it; otherwise the notes
; come from instruments 1 to 100 (a score played by hand) or from live play.
#ifdef ZELMORA_NOTES
gSnotes = "$ZELMORA_NOTES"
#else
gSnotes = ""
#end
; The grain design, when a program's set changes it (its keys, separated
; by commas); live play hands changes to the voices itself.
#ifdef ZELMORA_GRAIN
gSgrain = "$ZELMORA_GRAIN"
#else
gSgrain = ""
#end

; A score note, by hand: the voices take it.
instr 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20,
      21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32, 33, 34, 35, 36, 37, 38, 39, 40,
      41, 42, 43, 44, 45, 46, 47, 48, 49, 50, 51, 52, 53, 54, 55, 56, 57, 58, 59, 60,
      61, 62, 63, 64, 65, 66, 67, 68, 69, 70, 71, 72, 73, 74, 75, 76, 77, 78, 79, 80,
      81, 82, 83, 84, 85, 86, 87, 88, 89, 90, 91, 92, 93, 94, 95, 96, 97, 98, 99, 100
  ikeep zelmora_note p1, p2, p3, p4, p5
  ; The performance goes on until the voices have played it out.
  if ikeep + giRingOut > giKeptTo then
    giKeptTo = ikeep + giRingOut + giKeepChunk
    p3 = giKeptTo - p2
  else
    p3 = max(p3, 1 / kr)  ; a held note (negative p3) would never end
  endif
endin

; 16-bit samples (the command line defines ZELMORA_16BIT): triangular
; dither of one LSB either way, half an LSB up so that csound's rounding
; down becomes rounding to the nearest.
#ifdef ZELMORA_16BIT
giDither = 1 / 32768
#else
giDither = 0
#end

; Runs after every instrument handing in notes in each control period
; (named instruments are numbered after the highest numbered one). The
; voices and everything after them (gain staging, the reverb, the
; high-pass, the limiter) are the plugin's: one implementation for csound
; and any other host.
instr Master
  aleft, aright zelmora_master gSnotes, gSgrain, giDither
  outs aleft, aright
endin
alwayson "Master"
