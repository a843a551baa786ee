// The user's work as files: the parameter set and the event list, how they
// are opened, cleared and saved, what the control panel says of the list,
// and the question before unsaved work is lost.
#pragma once

#include <Xm/Xm.h>

#include <functional>
#include <string>

// Opens a parameter file as one undoable change; false (said why, nothing
// changed) when it is refused. While an event list is in force, whose
// events would change the set as it plays, the user is asked first whether
// to keep the list or clear it (beside `owner`).
bool open_parameter_set(const std::string& path, Widget owner);

// Opens an event list file as one undoable change; false (said why,
// nothing changed) when it is refused.
bool open_event_list(const std::string& path);

// File -> "Clear Event List": the list goes, undoably.
void cb_clear_event_list(Widget w, XtPointer client_data, XtPointer call_data);

// The lines under the Play button: "Event list:" and its file's name, "3
// events, not saved" or "none". Returns the label.
Widget build_event_list_line(Widget form, Widget above);
// The editor's lines and the panel's line follow the list as it is now.
void show_event_list();
// The panel's line alone.
void show_event_list_name();

// Saves through a temporary file beside `path` once the user agreed to
// replace an existing one; says why a save failed, the old file kept.
void save_parameter_set(const std::string& path, Widget owner);
void save_event_list_file(const std::string& path, Widget owner);

// Runs `then` at once when nothing unsaved would be lost; otherwise after
// the user agrees to lose it.
void confirm_unsaved_work(std::function<void()> then);
