// Session management: with NSM_URL set, the program announces itself to the
// session manager (OSC through liblo) and keeps its parameter set, event
// list and MIDI bindings in the session's folder:
//   FOLDER/parameters.csp, FOLDER/events.cse, FOLDER/bindings
// "open" reads whichever of them exist; "save" writes all three. Both run
// on the engine's thread (queued like any control) and are answered once
// done.
#pragma once

#include <lo/lo.h>

#include <memory>
#include <string>

#include "control/control_change.h"

class nsm_client {
 public:
  // Announces to `url` (the value of NSM_URL) as `executable`. ok() is
  // false (reported) when the URL is not one liblo can reach.
  nsm_client(const std::string& url, const std::string& executable, control_queue& inbox);
  ~nsm_client();
  nsm_client(const nsm_client&) = delete;
  nsm_client& operator=(const nsm_client&) = delete;

  bool ok() const;
  // The session's folder once opened; empty before.
  std::string folder() const;

  struct impl;

 private:
  friend void nsm_add_methods(lo_server server, nsm_client& client);
  std::unique_ptr<impl> impl_;
};

// The client's handlers on `server` (liblo's lo_server): what it listens
// with, and what a fuzzer feeds.
void nsm_add_methods(lo_server server, nsm_client& client);

// The engine's side of "open" and "save"; they answer the session manager.
// True when the session was opened (all its files taken).
bool nsm_open_session(const std::string& folder);
void nsm_save_session(const std::string& folder);

// Where the bindings are read and written: the session's folder under a
// session manager, else default_bindings_path().
std::string bindings_file();
