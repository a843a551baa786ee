#include "control/udp_port.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <vector>

#include "control/osc_server.h"

namespace {

using addresses = std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)>;

addresses resolve(const std::string& host, const std::string& port) {
  addrinfo hints{};
  hints.ai_family = AF_INET;  // liblo's servers speak IPv4
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* found = nullptr;
  if (::getaddrinfo(host.c_str(), port.c_str(), &hints, &found) != 0) found = nullptr;
  return {found, &::freeaddrinfo};
}

std::uint32_t ipv4_of(const sockaddr* a) {
  return reinterpret_cast<const sockaddr_in*>(a)->sin_addr.s_addr;
}

}  // namespace

bool split_listen_address(const std::string& text, std::string& address, std::string& port,
                          bool any_port) {
  const auto colon = text.rfind(':');
  address = colon == std::string::npos ? "" : text.substr(0, colon);
  port = colon == std::string::npos ? text : text.substr(colon + 1);
  if (colon != std::string::npos && (address.empty() || !resolve(address, "0"))) return false;
  return valid_port(port) || (any_port && port == "0");
}

int rebind_udp(lo_server server, const std::string& address, const std::string& port) {
  const addresses where = resolve(address.empty() ? "127.0.0.1" : address, port);
  if (!where) {
    errno = EADDRNOTAVAIL;
    return 0;
  }
  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_in bound{};
  socklen_t size = sizeof bound;
  const bool ok = fd >= 0 && ::bind(fd, where->ai_addr, where->ai_addrlen) == 0 &&
                  ::getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &size) == 0 &&
                  ::dup2(fd, lo_server_get_socket_fd(server)) >= 0;
  const int error = errno;
  if (fd >= 0) ::close(fd);
  errno = error;
  return ok ? ntohs(bound.sin_port) : 0;
}

bool udp_peer::loopback() const {
  for (const std::uint32_t a : addresses)
    if ((ntohl(a) >> 24) != 127) return false;
  return !addresses.empty();
}

udp_peer resolve_peer(const std::string& host, const std::string& port) {
  udp_peer peer;
  const addresses found = resolve(host, port);
  for (const addrinfo* a = found.get(); a; a = a->ai_next) {
    peer.addresses.push_back(ipv4_of(a->ai_addr));
    peer.port = ntohs(reinterpret_cast<const sockaddr_in*>(a->ai_addr)->sin_port);
  }
  return peer;
}

bool sent_by(lo_message message, const udp_peer& peer) {
  const lo_address source = lo_message_get_source(message);
  const char* host = source ? lo_address_get_hostname(source) : nullptr;
  const char* port = source ? lo_address_get_port(source) : nullptr;
  in_addr from{};
  if (!host || !port || ::inet_pton(AF_INET, host, &from) != 1 || std::atoi(port) != peer.port)
    return false;
  const bool from_loopback = (ntohl(from.s_addr) >> 24) == 127;
  for (const std::uint32_t a : peer.addresses)
    if (a == from.s_addr || (from_loopback && peer.loopback())) return true;
  return false;
}
