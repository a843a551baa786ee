// The OSC server (UDP, liblo): a thread of its own that checks each message
// and queues the change for the engine. The address space:
//
//   /zelmora/r1 f  /zelmora/r2 f  /zelmora/k f  /zelmora/dur f
//   /zelmora/reduce s          "mean" or "mode"
//   /zelmora/state i f         state index, frequency in Hz
//   /zelmora/instrument i f    instrument index, score amplitude 0 ... 1000
//   /zelmora/reseed  /zelmora/load s  /zelmora/play  /zelmora/stop
//   /zelmora/scale s  /zelmora/quantize i  /zelmora/tempo f   (tuning_control.h)
//
// Numbers may come as any OSC number type; an index only as a whole
// number an int holds. A value outside its range is
// refused, anything else (an unknown address, wrong arguments, a packet
// that is not OSC) is ignored; both with a line on standard error.
#pragma once

#include <lo/lo.h>

#include <memory>
#include <string>

#include "control/control_change.h"

class osc_server {
 public:
  // Listens on UDP `where`, "[ADDRESS:]PORT" (PORT "0": any free port),
  // and queues into `inbox`. Without an address only this machine's
  // programs reach it (the loopback interface): whoever can send to the
  // port controls the performance and loads any file the user may read.
  // ok() is false (reported) when the port cannot be had.
  osc_server(const std::string& where, control_queue& inbox);
  ~osc_server();
  osc_server(const osc_server&) = delete;
  osc_server& operator=(const osc_server&) = delete;

  bool ok() const;
  int port() const;

  struct impl;

 private:
  std::unique_ptr<impl> impl_;
};

// The address space's handlers on `server` (liblo's lo_server), queueing
// into `inbox`: what osc_server listens with, and what a fuzzer feeds.
void osc_add_methods(lo_server server, control_queue& inbox);

// A UDP port number 1 ... 65535 as the options take it.
bool valid_port(const std::string& text);
