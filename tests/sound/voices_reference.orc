;  The grain voices as zelmora.orc's instruments 1 to 100 played them,
;  one csound instance a note: the literal model the C++ grain voices are
;  compared with. The Master puts out the voices' bus as it is (no gain
;  staging, filter or limiter).

sr     = 44100
ksmps  = 32
nchnls = 2
0dbfs  = 1

; Amplitude taper: gain (p4 / 1000) ^ 1.6, i.e. 32 dB a decade of p4:
; 1000 is 0 dB, 500 -9.6 dB, 100 -32 dB, 10 -64 dB, 2000 +9.6 dB; 0 or
; less is silence.
giTaperExp = 1.6
giMaxAmp   = 2000
; Window start after p2: csound starts a note at the control period
; nearest p2, which may be up to half a period late.
giLate    = ksmps / sr
; Starting phase of instrument i, against a clock common to all voices
; at one pitch: a grid of n x n blocks on one pitch sums alike in both
; channels (dsp/grain_voices.cpp, unison_phases).
giUnison  ftgen 0, 0, -100, -2, 0.3255, 0.2847, 0.6103, 0.5640, 0.9374, 0.3549, 0.4529, 0.1660, 0.3176, 0.7294, \
    0.9306, 0.5193, 0.6875, 0.4703, 0.6028, 0.9373, 0.4558, 0.0628, 0.1471, 0.2457, \
    0.9323, 0.1256, 0.4763, 0.2440, 0.1362, 0.7562, 0.1358, 0.6277, 0.3944, 0.2931, \
    0.9982, 0.2483, 0.0065, 0.1593, 0.1690, 0.5324, 0.5435, 0.0957, 0.6882, 0.1791, \
    0.2615, 0.6846, 0.9164, 0.1171, 0.7422, 0.0146, 0.7618, 0.1611, 0.1343, 0.6060, \
    0.7908, 0.2877, 0.4154, 0.4712, 0.4092, 0.7870, 0.3975, 0.5203, 0.5212, 0.6707, \
    0.3158, 0.7469, 0.5854, 0.3202, 0.6496, 0.5290, 0.4578, 0.9634, 0.2900, 0.8945, \
    0.4225, 0.8135, 0.8431, 0.2010, 0.6217, 0.7893, 0.9383, 0.4839, 0.5486, 0.2793, \
    0.0579, 0.5392, 0.5564, 0.2905, 0.3319, 0.4004, 0.0844, 0.8046, 0.9629, 0.3941, \
    0.5343, 0.5112, 0.7833, 0.9218, 0.2760, 0.9768, 0.4736, 0.9932, 0.6187, 0.9549

; Instrument i's chain runs frac(giStagger * i) of a grain behind the
; score: the golden ratio spreads any number of voices evenly. The first
; (a single voice's) sounds on time.
giStagger = 0.6180339887
; Delays after the voices (limiter look-ahead, spline, filter settling):
; a file goes on this long after the last window has closed.
giTail    = (2 + 2) * ksmps / sr + 0.01
giKeepChunk = 1

; Each instrument's wave so far: phase giPhase[i] (in cycles) at time
; giAnchor[i], going on at giFreq[i] Hz (0: not played yet).
giAnchor[] init 101
giPhase[]  init 101
giFreq[]   init 101
; Each instrument's latest note: its number in the chain, its score
; time, when its rise starts and how long it lasts, and the longest fall
; it can still play.
giNoteNo[] init 101
giLastP2[] init 101
giLastAt[] init 101
giLastLen[] init 101
giFallRoom[] init 101
; The rise of instrument i's note number m, in slot i * giSlots + m mod
; giSlots: read by the note before it, at k-time (hence tables), when it
; comes to fall, which may be after later notes have started (a chain
; may run up to four grains behind the score).
giSlots    = 16
giRiseAt   ftgen 0, 0, 2048, -2, 0
giRiseLen  ftgen 0, 0, 2048, -2, 0
; The window, sin^2 over one table: 0.5 - 0.5 cos.
giWindow   ftgen 0, 0, 8193, 19, 1, 0.5, 270, 0.5

gaLeft    init 0
gaRight   init 0
; Absolute time of each sample of the coming control period, set by
; Master at the end of the previous one.
gaAt      init 0
gkAt      init 0
gkVoices  init 1
gkTop     init 1
giOnset   init -1
giCount   init 0
giTop     init 0
giKeepTo  init 0
gkKeepTo  init 0

instr 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20,
      21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32, 33, 34, 35, 36, 37, 38, 39, 40,
      41, 42, 43, 44, 45, 46, 47, 48, 49, 50, 51, 52, 53, 54, 55, 56, 57, 58, 59, 60,
      61, 62, 63, 64, 65, 66, 67, 68, 69, 70, 71, 72, 73, 74, 75, 76, 77, 78, 79, 80,
      81, 82, 83, 84, 85, 86, 87, 88, 89, 90, 91, 92, 93, 94, 95, 96, 97, 98, 99, 100
  igrain = max(p3, 1 / sr)   ; a negative p3 would hold the note forever
  ifreq  = p5
  ipos   = limit(p4, 0, giMaxAmp) / 1000
  iamp   = (ipos > 0 ? ipos ^ giTaperExp : 0)
  ; A block beyond the grid's n x n comes as 0 Hz and stays silent;
  ; anything at or above Nyquist would only fold back as noise.
  iamp   = (ifreq > 0 && ifreq < sr / 2 ? iamp : 0)

  ; The voices of this onset: how many sound (Master's gain staging) and
  ; the highest instrument, whose square root is the grid's n.
  if p2 != giOnset then
    giOnset = p2
    giCount = 0
    giTop   = 0
  endif
  giCount += (iamp > 0 ? 1 : 0)
  giTop    = max(giTop, p1)
  gkVoices init giCount
  gkTop    init giTop

  ; Where the rise starts and how long it takes. A note that follows its
  ; instrument's previous one starts when that one's rise ends; its rise
  ; brings the chain back to its place behind the score (grains may have
  ; changed), within what the previous note can fall in.
  inominal = p2 + giLate + (p1 == 1 ? 0 : frac(giStagger * p1)) * igrain
  iprevend = giLastAt[p1] + giLastLen[p1]
  ichained = (giLastP2[p1] < p2 && iprevend >= p2 + giLate - 0.5 / sr && \
              iprevend <= p2 + giLate + 4 * igrain ? 1 : 0)
  istart   = (ichained == 1 ? iprevend : inominal)
  irise    = limit(igrain - (istart - inominal), igrain / 4, 2 * igrain)
  irise    = (ichained == 1 ? min(irise, giFallRoom[p1]) : irise)
  ifall    = istart + irise
  iroom    = 4 * irise
  inote    = giNoteNo[p1] + 1
  giNoteNo[p1]  = inote
  giLastP2[p1]  = p2
  giLastAt[p1]  = istart
  giLastLen[p1] = irise
  giFallRoom[p1] = iroom
  tablew istart, p1 * giSlots + inote % giSlots, giRiseAt
  tablew irise, p1 * giSlots + inote % giSlots, giRiseLen
  inextslot = p1 * giSlots + (inote + 1) % giSlots
  ; (A period more than the longest fall needs: csound ends an instance
  ; at the period nearest p2 + p3, which may be half a period early.)
  p3       = ifall + iroom - p2 + giLate

  ; The render goes on until the last window and the delays after it
  ; have played out: Keep runs in chunks of giKeepChunk and ends early
  ; once that time has come.
  ikeep = ifall + irise + giTail
  gkKeepTo init max(i(gkKeepTo), ikeep)
  if ikeep > giKeepTo then
    giKeepTo = ikeep + giKeepChunk
    event_i "i", "Keep", 0, giKeepTo - p2
  endif

  ; Continue the instrument's wave to the middle of the cross-fade.
  ianchor = istart + irise / 2
  iphase  = (giFreq[p1] == 0 ? frac(table(p1 - 1, giUnison) + ifreq * ianchor) : \
             frac(giPhase[p1] + giFreq[p1] * (ianchor - giAnchor[p1])))
  giAnchor[p1] = ianchor
  giPhase[p1]  = iphase
  giFreq[p1]   = (ifreq > 0 ? ifreq : giFreq[p1])
  ; The wave's phase at time t is t * ifreq + icycle (cycles).
  icycle  = iphase - ifreq * ianchor

  ; The window's position (0 to 1 along sin^2) is a straight line of
  ; time in each part: rising over [istart, ifall], falling after it as
  ; long as the next note's rise if one starts there, else as long as
  ; this rise. kstate: 0 before the rise (silent), 1 on one line, 2 in
  ; the period where the line bends. kcheck: the start of the next
  ; period that needs a decision (the first one: this block's pan,
  ; once the onset's other notes are known).
  iperiod = ksmps / sr
  irslope = 0.5 / irise
  kcheck init -1
  kstate init 0
  kslope init irslope
  koff   init istart * irslope
  kfslope init irslope
  kend   init ifall + irise
  if gkAt < kcheck kgoto play
  if kcheck < 0 then
    kn     = max(floor(sqrt(gkTop)), 1)
    kx     = (kn > 1 ? ((p1 - 1) % kn) / (kn - 1) : 0.5)
    kleft  = cos(kx * $M_PI_2) * iamp
    kright = sin(kx * $M_PI_2) * iamp
    kcheck = istart - iperiod
  endif
  if kstate == 0 && gkAt >= istart - iperiod then
    kstate = 1
    kcheck = ifall - iperiod
  endif
  if kcheck == ifall - iperiod && gkAt >= kcheck then
    knext tab inextslot, giRiseAt
    kfall = (knext == ifall ? tab:k(inextslot, giRiseLen) : irise)
    kend  = ifall + kfall
    kfslope = 0.5 / kfall
    kstate = (kfall == irise ? 1 : 2)
    kcheck = (kfall == irise ? kend : ifall)
  endif
  if kstate == 2 && gkAt >= ifall then
    kstate = 1
    kslope = kfslope
    koff   = ifall * kfslope - 0.5
    kcheck = kend
  endif
  if gkAt >= kend then
    turnoff
  endif
play:
  if kstate != 1 kgoto other
  aw = limit(gaAt * kslope - koff, 0, 1)
  kgoto sound
other:
  if kstate == 0 kgoto silent
  aw = limit((gaAt - istart) * irslope, 0, 0.5) + limit((gaAt - ifall) * kfslope, 0, 0.5)
sound:
  awin  tablei aw, giWindow, 1
  asig  tablei gaAt * ifreq + icycle, 1, 1, 0, 1
  asig  = asig * awin
  gaLeft  += asig * kleft
  gaRight += asig * kright
silent:
endin

; Keeps the render going until the last voice's tail has played out.
instr Keep
  if gkAt >= gkKeepTo then
    turnoff
  endif
endin

; The voices' clock for the next period, and the bus as it is.
instr Master
  knext   = round(times:k() * sr)
  ainblock phasor kr
  gaAt    = (upsamp(knext) + ainblock * ksmps) / sr
  gkAt    = knext / sr
  outs gaLeft, gaRight
  gaLeft = 0
  gaRight = 0
endin
alwayson "Master"
