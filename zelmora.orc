;  zelmora.orc -- the grain voice for zelmora's scores.
;
;  Every iteration of the automaton sends one short note per instrument,
;  all starting together and lasting one grain (25 ms by default):
;
;     p4  amplitude, 0 to 1000, linear (the Instruments window's scale)
;     p5  frequency in Hz (the States window's scale)
;
;  The score brings two tables, used here:
;     f1  one cycle of a sine, 8192 points: the oscillator, and the
;         rounding of the fades
;     f2  a straight line from 0.0001 to 1, 8193 points: the fades'
;         progress
;
;  Voices do not write to the output themselves; they add into a mix bus
;  that one always-on instrument passes through a soft limiter.

sr     = 44100
ksmps  = 32        ; grains start within 0.73 ms of their score time
nchnls = 1
; Full scale sits at 25000 score units: the default 25 voices at amplitude
; 500 peak at 12500 even when all sing the same pitch in phase (-6 dBFS),
; which leaves the limiter's knee untouched.
0dbfs  = 25000

gaMix  init 0

; One voice body for every instrument number a score can use (1 to 100):
; the instrument number only says which block of the grid is speaking.
instr 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20,
      21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32, 33, 34, 35, 36, 37, 38, 39, 40,
      41, 42, 43, 44, 45, 46, 47, 48, 49, 50, 51, 52, 53, 54, 55, 56, 57, 58, 59, 60,
      61, 62, 63, 64, 65, 66, 67, 68, 69, 70, 71, 72, 73, 74, 75, 76, 77, 78, 79, 80,
      81, 82, 83, 84, 85, 86, 87, 88, 89, 90, 91, 92, 93, 94, 95, 96, 97, 98, 99, 100
  iamp  = p4
  ifreq = p5
  ; A block beyond the grid's n x n comes as 0 Hz and stays silent;
  ; anything at or above Nyquist would only fold back as noise.
  iamp  = (ifreq > 0 && ifreq < sr / 2 ? iamp : 0)

  ; Csound ends a note on a control-period boundary, which may fall a
  ; little before p3: the envelope comes to rest one period early.
  ilen  = max(p3 - 1 / kr, 2 / sr)
  ; Fades of a fifth of the grain, 8 ms at most, so long grains keep a
  ; steady body while 25 ms grains get 5 ms fades.
  ifade = min(ilen * 0.2, 0.008)
  ibody = ilen - 2 * ifade

  ; Progress through the fades, 0 -> 1 -> 1 -> 0, read through f2.
  aprog linseg 0, ifade, 1, ibody, 1, ifade, 0
  aline tablei aprog, 2, 1
  ; Bend the straight fades into half a raised cosine: sin^2(pi/2 * x)
  ; starts and ends with zero slope, so grains abutting at 40 a second
  ; join without a click.
  aq    tablei aline * 0.25, 1, 1
  aenv  = aq * aq

  asig  poscil iamp, ifreq, 1
  gaMix += asig * aenv
endin

; Runs after every voice in each control period (named instruments are
; numbered after the highest numbered one).
instr Master
  ; Transparent up to 70 % of full scale, then a soft knee that never
  ; goes past 85 %: a hundred loud voices in unison thicken, they never
  ; hard-clip.
  aout  clip gaMix, 0, 0dbfs, 0.7
  out   aout
  gaMix = 0
endin
alwayson "Master"
