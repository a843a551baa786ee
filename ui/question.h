// A question before something that cannot be taken back: replacing a file,
// quitting with work not saved, dropping the event list. The answer runs
// one of two actions; nothing happens meanwhile (the dialog is modal).
#pragma once

#include <Xm/Xm.h>

#include <functional>
#include <string>

extern Widget question_dialog;  // built on first use

struct answer {
  const char* label;
  std::function<void()> act;  // may be empty: nothing to do
};

// Asks `question` beside `owner`; the first answer is the default (Return).
void ask(Widget owner, const std::string& question, answer yes, answer no);

// Runs `save` at once when `path` names no file yet; otherwise after the
// user agrees to replace it.
void confirm_replace(Widget owner, const std::string& path, std::function<void()> save);
