// The six file selection dialogs and the rendering commands' callbacks.
#pragma once

#include <Xm/Xm.h>

extern Widget load_p_files_shell, load_p_files, load_p_filename;
extern Widget save_p_files_shell, save_p_files, save_p_filename;
extern Widget load_e_files_shell, load_e_files, load_e_filename;
extern Widget save_e_files_shell, save_e_files, save_e_filename;
extern Widget save_s_files_shell, save_s_files, save_s_filename;
extern Widget csound_output_shell, csound_output, csound_filename;

void create_load_p_files_shell(Widget parent);
void create_save_p_files_shell(Widget parent);
void create_load_e_files_shell(Widget parent);
void create_save_e_files_shell(Widget parent);
void create_save_s_files_shell(Widget parent);
void create_csound_output_shell(Widget parent);

// Menu entries of the control panel.
void cb_save_params(Widget w, XtPointer client_data, XtPointer call_data);
void cb_save_events(Widget w, XtPointer client_data, XtPointer call_data);
void cb_load_parameters(Widget w, XtPointer client_data, XtPointer call_data);
void cb_load_events(Widget w, XtPointer client_data, XtPointer call_data);
void cb_csound(Widget w, XtPointer client_data, XtPointer call_data);
void cb_save_sounds(Widget w, XtPointer client_data, XtPointer call_data);
void cb_sound_out(Widget w, XtPointer client_data, XtPointer call_data);

// The dialogs' buttons.
void cb_load_p_ok(Widget w, XtPointer client_data, XtPointer call_data);
void cb_save_p_ok(Widget w, XtPointer client_data, XtPointer call_data);
void cb_load_e_ok(Widget w, XtPointer client_data, XtPointer call_data);
void cb_save_e_ok(Widget w, XtPointer client_data, XtPointer call_data);
void cb_save_s_ok(Widget w, XtPointer client_data, XtPointer call_data);
void cb_cs_ok(Widget w, XtPointer client_data, XtPointer call_data);
void cb_load_p_cancel(Widget w, XtPointer client_data, XtPointer call_data);
void cb_save_p_cancel(Widget w, XtPointer client_data, XtPointer call_data);
void cb_load_e_cancel(Widget w, XtPointer client_data, XtPointer call_data);
void cb_save_e_cancel(Widget w, XtPointer client_data, XtPointer call_data);
void cb_save_s_cancel(Widget w, XtPointer client_data, XtPointer call_data);
void cb_cs_cancel(Widget w, XtPointer client_data, XtPointer call_data);
