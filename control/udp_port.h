// The UDP sockets outside control listens on. liblo binds its servers to
// every interface and can be told no other, so the socket is made here,
// bound where the user chose (the loopback interface unless told), and
// put in the place of the one liblo made.
#pragma once

#include <lo/lo.h>

#include <cstdint>
#include <string>
#include <vector>

// "[ADDR:]PORT" split: ADDR an IPv4 address or a host name ("" when not
// given: the loopback interface), PORT 1 ... 65535 (or "0" for any free
// one when `any_port`). False when it is not one.
bool split_listen_address(const std::string& text, std::string& address, std::string& port,
                          bool any_port = false);

// Replaces the socket of `server` (not yet started) by a new one bound to
// `address` ("" the loopback) and `port`; the port it is bound to, or 0
// (errno set) when it cannot be.
int rebind_udp(lo_server server, const std::string& address, const std::string& port);

// A peer that alone may send: its IPv4 addresses (network order) and port.
struct udp_peer {
  std::vector<std::uint32_t> addresses;
  int port = 0;
  bool loopback() const;
};
// `host` and `port` resolved now, once; no addresses when they do not.
udp_peer resolve_peer(const std::string& host, const std::string& port);

// Whether the message came from `peer`: one of its addresses and its port.
// A peer on the loopback interface may send from any loopback address.
bool sent_by(lo_message message, const udp_peer& peer);
