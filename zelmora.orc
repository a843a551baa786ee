;  zelmora.orc -- the grain voice for zelmora's scores.
;
;  Every iteration of the automaton sends one note per instrument, all
;  starting together and lasting one grain (25 ms by default):
;
;     p4  amplitude, 0 to 1000 (the Instruments window's scale)
;     p5  frequency in Hz (the States window's scale)
;
;  The score also brings table 1 (one cycle of a sine, 8192 points),
;  which serves both the oscillator and the window.
;
;  A note sounds for two grains under a sin^2 window, so each note
;  cross-fades with the instrument's next one and the windows of
;  consecutive notes sum to exactly 1. Each note takes up its
;  instrument's wave where the previous note leaves it, in phase at the
;  middle of their cross-fade: a held frequency is one steady sine however
;  short the grains, and a glide has no phase jumps. Timing is worked out
;  per sample, not per control period.
;
;  Voices add into a bus; the always-on instrument Master scales it by the
;  number of voices, removes DC and passes it through a look-ahead
;  envelope limiter that only ever changes the gain smoothly.

sr     = 44100
ksmps  = 32
nchnls = 1
0dbfs  = 1

; Amplitude taper: p4 = 1000 is 0 dB, every 10 units below it 0.3 dB
; less, down to -29.7 dB at 10; p4 = 0 is silence.
giTaperDb = 30
; Output level of a voice at 0 dB among N voices is giLevel / sqrt(N):
; N voices at unrelated pitches add up to the loudness of one.
giLevel   = 0.7
; Window start after p2: csound starts a note at the control period
; nearest p2, which may be up to half a period late.
giLate    = ksmps / sr
; Starting phase of instrument i: frac(giSpread * i^2). Chosen so that
; any number of instruments (1 to 100) starting in unison sums to 0.5 to
; 1.6 times sqrt(N), never to a pile-up of N in phase nor to silence.
giSpread  = 0.2882

; Each instrument's wave so far: phase giPhase[i] (in cycles) at time
; giAnchor[i], going on at giFreq[i] Hz (0: not played yet).
giAnchor[] init 101
giPhase[]  init 101
giFreq[]   init 101

gaMix     init 0
gkVoices  init 1
giOnset   init -1
giCount   init 0

instr 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20,
      21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32, 33, 34, 35, 36, 37, 38, 39, 40,
      41, 42, 43, 44, 45, 46, 47, 48, 49, 50, 51, 52, 53, 54, 55, 56, 57, 58, 59, 60,
      61, 62, 63, 64, 65, 66, 67, 68, 69, 70, 71, 72, 73, 74, 75, 76, 77, 78, 79, 80,
      81, 82, 83, 84, 85, 86, 87, 88, 89, 90, 91, 92, 93, 94, 95, 96, 97, 98, 99, 100
  igrain = max(p3, 0)   ; a negative p3 would hold the note forever
  ifreq  = p5
  ipos   = limit(p4 / 1000, 0, 1)
  iamp   = (ipos > 0 ? ampdb(giTaperDb * (ipos - 1)) : 0)
  ; A block beyond the grid's n x n comes as 0 Hz and stays silent;
  ; anything at or above Nyquist would only fold back as noise.
  iamp   = (ifreq > 0 && ifreq < sr / 2 ? iamp : 0)

  ; Count the voices of this onset for Master's gain staging.
  if p2 != giOnset then
    giOnset = p2
    giCount = 0
  endif
  giCount += 1
  gkVoices init giCount

  iwindow = 2 * igrain
  istart  = p2 + giLate
  p3      = iwindow + 2 * giLate

  ; Continue the instrument's wave to the middle of the cross-fade.
  ianchor = istart + igrain / 2
  iphase  = (giFreq[p1] == 0 ? frac(giSpread * p1 * p1) : \
             frac(giPhase[p1] + giFreq[p1] * (ianchor - giAnchor[p1])))
  giAnchor[p1] = ianchor
  giPhase[p1]  = iphase
  giFreq[p1]   = (ifreq > 0 ? ifreq : giFreq[p1])

  ; Absolute time of each sample of this control period.
  ksample  = round(times:k() * sr) - ksmps
  ainblock phasor kr
  at       = (upsamp(ksample) + ainblock * ksmps) / sr
  ; sin^2 over [istart, istart + iwindow]; zero outside.
  aw       limit (at - istart) / max(iwindow, 1 / sr), 0, 1
  ahalf    tablei aw * 0.5, 1, 1
  acycle   = frac(iphase + ifreq * (at - ianchor))
  asig     tablei acycle, 1, 1, 0, 1
  gaMix    += asig * ahalf * ahalf * iamp
endin

; Look-ahead, in control periods, and the ceiling the limiter keeps to.
giLook    = 8
giCeiling = ampdb(-1)
; Release towards unity gain with a 150 ms time constant.
giRelease = 1 - exp(-ksmps / (sr * 0.15))

; Runs after every voice in each control period (named instruments are
; numbered after the highest numbered one).
instr Master
  ; Gain staging, eased over about 10 ms when the voice count changes.
  kstage  init -1
  ktarget = giLevel / sqrt(max(gkVoices, 1))
  kstage  = (kstage < 0 ? ktarget : kstage + (ktarget - kstage) * 0.07)
  astaged = gaMix * interp(kstage)
  gaMix   = 0
  ; DC and subsonic energy out: an 8-pole Butterworth high-pass at 20 Hz
  ; (flat from 30 Hz up). Grains of 30 to 80 Hz are short enough to
  ; spread well below 20 Hz.
  aclean  clfilt astaged, 25, 1, 8

  ; The limiter delays the sound by giLook periods. Each period's peak
  ; gives the largest gain it allows; the gain is linear within a
  ; period, at most what both neighbouring boundaries allow, and falls
  ; towards a coming peak along a straight line that starts giLook
  ; periods ahead: no gain jumps and nothing is ever clipped.
  ; kcut[i]: how far below unity period i needs the gain (0: not at all).
  aheld[] init giLook + 1
  kcut[]  init giLook + 1
  kgain   init 1
  ki = 0
  while ki < giLook do
    aheld[ki] = aheld[ki + 1]
    kcut[ki]  = kcut[ki + 1]
    ki += 1
  od
  aheld[giLook] = aclean
  kpeak max_k aclean, 1, 1
  kcut[giLook]  = max(0, 1 - giCeiling / max(kpeak, 1e-9))

  klimit = 1 - max(kcut[0], kcut[1])
  ki = 2
  while ki <= giLook do
    klimit = min(klimit, 1 - kcut[ki] + (ki - 1) / (giLook - 1))
    ki += 1
  od
  kgain = min(klimit, kgain + (1 - kgain) * giRelease)
  out aheld[0] * interp(kgain)
endin
alwayson "Master"
