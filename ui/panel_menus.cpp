#include "ui/panel_menus.h"

#include <Xm/CascadeB.h>
#include <Xm/PushB.h>
#include <Xm/RowColumn.h>
#include <Xm/Separator.h>

#include "ui/Xctrl.h"
#include "ui/Xevent.h"
#include "ui/Xfiles.h"
#include "ui/Xamp.h"
#include "ui/Xfreq.h"
#include "ui/Xlive.h"
#include "ui/documents.h"
#include "ui/grain_window.h"
#include "ui/midi_learn.h"
#include "ui/presets.h"
#include "ui/undo.h"
#include "ui/widgets.h"

panel_menu_entries Panel_Menus;

namespace {

void make_separator(Widget menu, const char* name) {
  XtManageChild(XtVaCreateWidget(name, xmSeparatorWidgetClass, menu, nullptr));
}

Widget make_pulldown(Widget bar, const char* name) {
  return XmCreatePulldownMenu(bar, const_cast<char*>(name), nullptr, 0);
}

void build_file_menu(Widget bar) {
  Widget file = Panel_Menus.file = make_pulldown(bar, "widget30");
  make_cascade(bar, "widget29", "File", file, 'F');
  save_parameters =
      make_menu_entry(file, "menu_button", "Save Parameters", cb_save_params, 'S');
  save_event_list =
      make_menu_entry(file, "menu_button", "Save Event List", cb_save_events, 'v');
  make_separator(file, "widget33");
  Load_events = make_menu_entry(file, "menu_button", "Load Parameters", cb_load_parameters, 'L');
  make_menu_entry(file, "menu_button", "Load Event List", cb_load_events, 'E');
  make_menu_entry(file, "clear_events", "Clear Event List", cb_clear_event_list, 'C');
  make_separator(file, "widget36");
  Panel_Menus.quit = make_menu_entry(file, "widget37", "QUIT", cb_quit_zelmora, 'Q');
}

void build_output_menu(Widget bar) {
  Widget output = make_pulldown(bar, "widget39");
  make_cascade(bar, "widget38", "Output", output, 'O');
  csound_button = Panel_Menus.csound =
      make_menu_entry(output, "csound_button", "Csound", cb_csound, 'C');
  // Audio Output plays the way Play Live does: the windows stay live.
  Panel_Menus.audio_output =
      make_menu_entry(output, "widget41", "Audio Output", cb_play_live, 'A');
  Panel_Menus.audio_file = make_menu_entry(output, "widget42", "Audio File", cb_save_sounds, 'F');
  make_separator(output, "live_separator");
  Panel_Menus.play_live =
      make_menu_entry(output, "play_live", "Play Live", cb_play_live, 'P', "Ctrl+P");
  Panel_Menus.stop_live = make_menu_entry(output, "stop_live", "Stop", cb_stop_live, 'S', "Ctrl+P");
  connect_live_play(Panel_Menus.play_live, Panel_Menus.stop_live,
                    {Panel_Menus.csound, Panel_Menus.audio_output, Panel_Menus.audio_file});
  Panel_Menus.save_take = make_menu_entry(output, "save_take", "Save Take...", cb_save_take, 'T');
  XtSetSensitive(Panel_Menus.save_take, False);  // until something was played
  make_separator(output, "audio_separator");
  build_audio_menu(output);
}

void build_mapping_menu(Widget bar) {
  Widget mapping = make_pulldown(bar, "menu_button");
  Mapping = make_cascade(bar, "Mapping", "Mapping", mapping, 'M');
  state_button = make_menu_entry(mapping, "state_button", "States", cb_pop_states, 'S');
  instrument_button =
      make_menu_entry(mapping, "menu_button", "Instruments", cb_pop_instruments, 'I');
  event_button = make_menu_entry(mapping, "menu_button", "Event List Editor", cb_pop_event, 'E');
  make_menu_entry(mapping, "automaton_button", "Automaton", cb_pop_automaton, 'A');
  make_menu_entry(mapping, "grain_button", "Grain", cb_pop_grain, 'G');
  Panel_Menus.midi = make_menu_entry(mapping, "midi_button", "MIDI", cb_pop_midi, 'D');
  XtSetSensitive(Panel_Menus.midi, False);  // until MIDI starts
}

}  // namespace

Widget make_menu_entry(Widget menu, const char* name, const char* text, XtCallbackProc callback,
                       char mnemonic, const char* keys) {
  const compound_string label = make_label(text);
  const compound_string key_text = make_label(keys ? keys : "");
  Widget entry = XtVaCreateWidget(name, xmPushButtonWidgetClass, menu, XmNlabelString,
                                  label.get(), XmNmnemonic, static_cast<KeySym>(mnemonic),
                                  nullptr);
  if (keys) XtVaSetValues(entry, XmNacceleratorText, key_text.get(), nullptr);
  XtAddCallback(entry, XmNactivateCallback, callback, nullptr);
  XtManageChild(entry);
  return entry;
}

Widget make_cascade(Widget parent, const char* name, const char* text, Widget menu,
                    char mnemonic) {
  const compound_string label = make_label(text);
  Widget cascade = XtVaCreateWidget(name, xmCascadeButtonWidgetClass, parent, XmNlabelString,
                                    label.get(), XmNsubMenuId, menu, XmNmnemonic,
                                    static_cast<KeySym>(mnemonic), nullptr);
  XtManageChild(cascade);
  return cascade;
}

// The menu bar "widget28".
Widget build_menu_bar(Widget form) {
  Widget bar = XmCreateMenuBar(form, const_cast<char*>("widget28"), nullptr, 0);
  XtVaSetValues(bar, XmNtopAttachment, XmATTACH_FORM, XmNleftAttachment, XmATTACH_FORM,
                nullptr);
  build_file_menu(bar);
  Panel_Menus.edit = build_edit_menu(bar);
  build_output_menu(bar);
  build_mapping_menu(bar);
  Panel_Menus.presets = build_presets_menu(bar);
  XtManageChild(bar);
  return bar;
}
