#include "control/jack_midi_bridge.h"

#include <RtMidi.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "control/midi_input.h"
#include "control/control_log.h"
#include "engine/live/live_session.h"
#include "engine/live/midi_clock.h"

extern char** environ;

namespace {

constexpr const char* bridge_variable = "ZELMORA_JACK_MIDI_BRIDGE";
constexpr const char* client_name = "zelmora-midi";
constexpr const char* port_name = "midi_in";
// The first record says the port is open (no MIDI status byte is 0).
constexpr bridged_message ready{};
// Opening a JACK client on a busy machine can take seconds.
constexpr std::chrono::seconds open_limit{10};
constexpr std::chrono::seconds end_limit{3};

// --- the bridge process ---

bool bridge_failed = false;

void on_error(RtMidiError::Type type, const std::string& text, void*) {
  if (type != RtMidiError::WARNING && type != RtMidiError::DEBUG_WARNING) bridge_failed = true;
  control_log("MIDI: %s", text.c_str());
}

// On JACK's thread: a write that cannot block (a full pipe drops the
// message). A shorter message (MIDI clock's are one byte) is padded.
void pass_on(double, std::vector<unsigned char>* message, void*) {
  if (!message || message->empty()) return;
  bridged_message record{};
  std::copy_n(message->begin(), std::min(message->size(), bridged_bytes), record.begin());
  const std::int64_t now = live_now_ns();
  std::memcpy(record.data() + bridged_bytes, &now, sizeof now);
  [[maybe_unused]] const auto written = ::write(STDOUT_FILENO, record.data(), record.size());
}

// Started by a parent of its own, the bridge runs before the program's
// main() and never reaches it: whichever program (or test) made the
// MIDI input is the one started again.
[[gnu::constructor]] void bridge_instead_of_main() {
  if (jack_midi_bridge_wanted()) std::_Exit(run_jack_midi_bridge());
}

// --- the parent's end ---

bool wait_readable(int fd, std::chrono::milliseconds limit) {
  pollfd p{fd, POLLIN, 0};
  return ::poll(&p, 1, static_cast<int>(limit.count())) > 0;
}

bool read_record(int fd, bridged_message& record) {
  std::size_t got = 0;
  while (got < record.size()) {
    const ssize_t n = ::read(fd, record.data() + got, record.size() - got);
    if (n == 0) return false;
    if (n < 0 && errno != EINTR) return false;
    if (n > 0) got += static_cast<std::size_t>(n);
  }
  return true;
}

std::string own_executable() {
  std::vector<char> path(4096);
  const ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size() - 1);
  return n > 0 ? std::string(path.data(), static_cast<std::size_t>(n)) : std::string();
}

// The bridge: its standard input the read end of `in`, its output the
// write end of `out`; the program's own signals to Ctrl-C and the like
// are the parent's business.
pid_t spawn_bridge(const std::array<int, 2>& in, const std::array<int, 2>& out) {
  const std::string program = own_executable();
  if (program.empty()) return 0;
  std::vector<std::string> variables{std::string(bridge_variable) + "=1"};
  for (char** v = environ; *v; ++v)
    if (std::strncmp(*v, bridge_variable, std::strlen(bridge_variable)) != 0) variables.emplace_back(*v);
  std::vector<char*> envp;
  for (std::string& v : variables) envp.push_back(v.data());
  envp.push_back(nullptr);
  std::string name = client_name;
  std::array<char*, 2> argv{name.data(), nullptr};

  posix_spawn_file_actions_t files;
  posix_spawn_file_actions_init(&files);
  posix_spawn_file_actions_adddup2(&files, in[0], STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&files, out[1], STDOUT_FILENO);
  // Nothing else of the parent's: not its OSC port, score or display.
  posix_spawn_file_actions_addclosefrom_np(&files, STDERR_FILENO + 1);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t none;
  sigemptyset(&none);
  sigset_t defaults;
  sigemptyset(&defaults);
  for (const int s : {SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGXFSZ}) sigaddset(&defaults, s);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  pid_t pid = 0;
  if (::posix_spawn(&pid, program.c_str(), &files, &attributes, argv.data(), envp.data()) != 0)
    pid = 0;
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&files);
  return pid;
}

}  // namespace

bool jack_midi_bridge_wanted() {
  const char* value = std::getenv(bridge_variable);
  return value && std::strcmp(value, "1") == 0;
}

int run_jack_midi_bridge() {
  // The parent ends the bridge by closing its standard input.
  for (const int s : {SIGINT, SIGHUP, SIGPIPE}) std::signal(s, SIG_IGN);
  ::fcntl(STDOUT_FILENO, F_SETFL, ::fcntl(STDOUT_FILENO, F_GETFL) | O_NONBLOCK);
  try {
    RtMidiIn port(RtMidi::UNIX_JACK, client_name);
    port.setErrorCallback(on_error, nullptr);
    port.setCallback(pass_on, nullptr);
    port.ignoreTypes(true, false, true);  // clock for --sync midi
    port.openVirtualPort(port_name);
    if (bridge_failed) return 1;
    if (::write(STDOUT_FILENO, ready.data(), ready.size()) != static_cast<ssize_t>(ready.size()))
      return 1;
    for (char byte = 0;;) {
      const ssize_t n = ::read(STDIN_FILENO, &byte, 1);
      if (n == 0 || (n < 0 && errno != EINTR)) break;
    }
  } catch (const RtMidiError& error) {
    control_log("MIDI: %s", error.getMessage().c_str());
    return 1;
  }
  return 0;
}

jack_midi_bridge::jack_midi_bridge(control_queue& inbox) : inbox_(inbox) {
  std::array<int, 2> in{-1, -1};
  std::array<int, 2> out{-1, -1};
  if (::pipe2(in.data(), O_CLOEXEC) != 0) return;
  if (::pipe2(out.data(), O_CLOEXEC) != 0) {
    ::close(in[0]);
    ::close(in[1]);
    return;
  }
  pid_ = spawn_bridge(in, out);
  ::close(in[0]);
  ::close(out[1]);
  to_bridge_ = in[1];
  from_bridge_ = out[0];
  if (pid_ == 0) {
    control_log("MIDI: the JACK MIDI process could not be started");
    stop();
    return;
  }
  bridged_message first{};
  ok_ = wait_readable(from_bridge_, open_limit) && read_record(from_bridge_, first) && first == ready;
  if (!ok_) {
    stop();
    return;
  }
  reader_ = std::thread([this] { read_messages(); });
}

jack_midi_bridge::~jack_midi_bridge() { stop(); }

void jack_midi_bridge::read_messages() {
  bridged_message record{};
  while (read_record(from_bridge_, record)) {
    std::int64_t got_at = 0;
    std::memcpy(&got_at, record.data() + bridged_bytes, sizeof got_at);
    midi_input_clock().offer(record.data(), bridged_bytes, got_at);
    control_change change;
    if (midi_change(record.data(), bridged_bytes, change)) inbox_.push(std::move(change));
  }
}

// Closing its input ends the bridge, which closes its JACK client; one
// that does not end in time is killed.
void jack_midi_bridge::stop() {
  if (to_bridge_ >= 0) ::close(to_bridge_);
  to_bridge_ = -1;
  if (pid_ > 0) {
    const auto give_up = std::chrono::steady_clock::now() + end_limit;
    while (::waitpid(pid_, nullptr, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > give_up) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
        break;
      }
      ::usleep(5000);
    }
    pid_ = 0;
  }
  // The bridge gone, its output ends and so does the reader.
  if (reader_.joinable()) reader_.join();
  if (from_bridge_ >= 0) ::close(from_bridge_);
  from_bridge_ = -1;
}
