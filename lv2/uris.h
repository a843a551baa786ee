// The URIs an instance speaks, mapped once at instantiation, and the
// plugin's own: its identity, its state keys and its parameters.
#pragma once

#include <lv2/atom/atom.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/midi/midi.h>
#include <lv2/patch/patch.h>
#include <lv2/time/time.h>
#include <lv2/urid/urid.h>

#define ZELMORA_LV2_URI "urn:zelmora:lv2"
#define ZELMORA_LV2_PREFIX ZELMORA_LV2_URI "#"

// State: the parameter set and the event list, as the text of their files.
constexpr const char* zelmora_parameters_key = ZELMORA_LV2_PREFIX "parameters";
constexpr const char* zelmora_events_key = ZELMORA_LV2_PREFIX "events";
// Parameters a host's generic controls offer: a file to load.
constexpr const char* zelmora_parameter_file = ZELMORA_LV2_PREFIX "parameterFile";
constexpr const char* zelmora_event_file = ZELMORA_LV2_PREFIX "eventFile";

struct plugin_uris {
  explicit plugin_uris(const LV2_URID_Map& map)
      : atom_Object(id(map, LV2_ATOM__Object)),
        atom_Blank(id(map, LV2_ATOM__Blank)),
        atom_Float(id(map, LV2_ATOM__Float)),
        atom_Double(id(map, LV2_ATOM__Double)),
        atom_Int(id(map, LV2_ATOM__Int)),
        atom_Long(id(map, LV2_ATOM__Long)),
        atom_Path(id(map, LV2_ATOM__Path)),
        atom_String(id(map, LV2_ATOM__String)),
        atom_URID(id(map, LV2_ATOM__URID)),
        atom_eventTransfer(id(map, LV2_ATOM__eventTransfer)),
        midi_Event(id(map, LV2_MIDI__MidiEvent)),
        time_Position(id(map, LV2_TIME__Position)),
        time_barBeat(id(map, LV2_TIME__barBeat)),
        time_beatUnit(id(map, LV2_TIME__beatUnit)),
        time_beatsPerMinute(id(map, LV2_TIME__beatsPerMinute)),
        time_frame(id(map, LV2_TIME__frame)),
        time_speed(id(map, LV2_TIME__speed)),
        patch_Get(id(map, LV2_PATCH__Get)),
        patch_Set(id(map, LV2_PATCH__Set)),
        patch_property(id(map, LV2_PATCH__property)),
        patch_value(id(map, LV2_PATCH__value)),
        bufsz_maxBlockLength(id(map, LV2_BUF_SIZE__maxBlockLength)),
        bufsz_nominalBlockLength(id(map, LV2_BUF_SIZE__nominalBlockLength)),
        parameters(id(map, zelmora_parameters_key)),
        events(id(map, zelmora_events_key)),
        parameter_file(id(map, zelmora_parameter_file)),
        event_file(id(map, zelmora_event_file)) {}

  LV2_URID atom_Object, atom_Blank, atom_Float, atom_Double, atom_Int, atom_Long, atom_Path,
      atom_String, atom_URID, atom_eventTransfer;
  LV2_URID midi_Event;
  LV2_URID time_Position, time_barBeat, time_beatUnit, time_beatsPerMinute, time_frame,
      time_speed;
  LV2_URID patch_Get, patch_Set, patch_property, patch_value;
  LV2_URID bufsz_maxBlockLength, bufsz_nominalBlockLength;
  LV2_URID parameters, events, parameter_file, event_file;

  bool is_object(const LV2_Atom& atom) const {
    return atom.type == atom_Object || atom.type == atom_Blank;
  }

 private:
  static LV2_URID id(const LV2_URID_Map& map, const char* uri) { return map.map(map.handle, uri); }
};

// The plugin's ports, in the order its description lists them.
enum port_index : unsigned {
  port_out_left,
  port_out_right,
  port_control,  // atom sequence in: MIDI, host time, patch messages
  port_notify,   // atom sequence out: the parameters' values
  port_r1,
  port_r2,
  port_k,
  port_grid_x,
  port_grid_y,
  port_grain,
  port_reduce,
  port_transpose,
  port_level,
  port_beat_lock,
  port_beat_division,
  port_latency,
  port_count
};
