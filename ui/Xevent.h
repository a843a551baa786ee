// The Event List Editor and its two file dialogs.
#pragma once

#include <Xm/Xm.h>

#include <string>

extern Widget event_shell, event_form, event_list_disp;
extern Widget delete_event_button, edit_event_button, edit_event, event_edit;
extern Widget edit_time, event_time, add_event_menu;
extern Widget event_file_load, reseed_button, interpolate_button, event_editor_cancel;
extern Widget load_event_p_shell, load_event_p_files, load_event_p_ok, load_event_p_cancel,
    load_event_p_filename;
extern Widget load_p_interp_shell, load_p_interp, interp_filename, interp_length;

void create_event_shell(Widget parent);
void create_load_event_p_shell(Widget parent);
void create_load_p_interp_shell(Widget parent);
void display_list();
std::string namefind(const std::string& path);
// Drops a pending edit: no event is being re-timed, the edit fields are empty.
void cancel_event_edit();

void cb_pop_event(Widget w, XtPointer client_data, XtPointer call_data);
