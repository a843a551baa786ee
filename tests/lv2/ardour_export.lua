-- A headless session on the Dummy backend at 48 kHz: zelmora.lv2 as the
-- instrument of a MIDI track, 2 s exported from the start as 32-bit float
-- WAV (the preset zelmora-float.preset) to $ZELMORA_TAKE_DIR/take.wav.
local dir = assert(os.getenv("ZELMORA_TAKE_DIR"))
assert(AudioEngine:set_backend("None (Dummy)", "", ""))
AudioEngine:set_sample_rate(48000)
AudioEngine:set_buffer_size(256)
assert(create_session(dir .. "/session", "session", 48000))
local zelmora = ARDOUR.LuaAPI.new_plugin_info("urn:zelmora:lv2", ARDOUR.PluginType.LV2)
assert(not zelmora:isnil(), "no zelmora.lv2 on LV2_PATH")
local midi, audio = ARDOUR.DataType("midi"), ARDOUR.DataType("audio")
tracks = Session:new_midi_track(ARDOUR.ChanCount(midi, 1), ARDOUR.ChanCount(audio, 2),
  false, zelmora, nil, nil, 1, "zelmora", ARDOUR.PresentationInfo.max_order,
  ARDOUR.TrackMode.Normal, true, false)
assert(tracks:size() == 1 and tracks:front():nth_plugin(0):display_name() == "zelmora")
export = Session:simple_export()
export:set_name("take")
export:set_folder(dir)
export:set_range(0, 2 * 48000)
assert(export:set_preset("2b1f5a4e-7d8c-4c1e-9a55-0c3f1e6d2a71"), "no float WAV preset")
assert(export:check_outputs() and export:run_export(), "the export failed")
-- Said and flushed at once: ardour7-lua 7.3 now and then corrupts its heap
-- around an export's end, and a line left in stdout's buffer dies with it.
io.stdout:write("take written\n")
io.stdout:flush()
-- The track must go before its session: collected after close_session()
-- it would be destroyed into freed memory.
tracks, export = nil, nil
collectgarbage()
close_session()
