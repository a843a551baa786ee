#include "control/osc_server.h"

#include <lo/lo.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstring>
#include <optional>

#include "control/control_apply.h"
#include "control/tuning_control.h"
#include "control/control_log.h"
#include "control/osc_args.h"
#include "control/udp_port.h"
#include "dsp/grain_design.h"

struct osc_server::impl {
  lo_server_thread thread = nullptr;
  int port = 0;
};

namespace {

constexpr const char* prefix = "/zelmora/";

struct address {
  const char* name;
  const char* types;  // 'f' a number, 'i' a whole number, 's' a text
  control_kind kind;
};

constexpr address addresses[] = {
    {"r1", "f", control_kind::r1},
    {"r2", "f", control_kind::r2},
    {"k", "f", control_kind::k},
    {"dur", "f", control_kind::dur},
    {"reduce", "s", control_kind::reduce},
    {"state", "if", control_kind::state},
    {"instrument", "if", control_kind::instrument},
    {"reseed", "", control_kind::reseed},
    {"load", "s", control_kind::load},
    {"play", "", control_kind::play},
    {"stop", "", control_kind::stop},
};

void ignore(const char* path, const char* types) {
  control_log("OSC message ignored: %s with arguments \"%s\" is not in zelmora's address space",
              path, types);
}

enum class arguments { taken, wrong, refused };

// The arguments as `wanted` takes them: any number type for a number, a
// whole number only when it is one an int holds (2^32 + 3 is not 3).
arguments read_arguments(const char* wanted, const char* types, lo_arg** argv, int argc,
                    control_change& change, const char* path) {
  if (static_cast<std::size_t>(argc) != std::strlen(wanted)) return arguments::wrong;
  for (int i = 0; i < argc; ++i) {
    if (wanted[i] == 's') {
      if (types[i] != 's' && types[i] != 'S') return arguments::wrong;
      change.text = osc_string(argv[i]);
      continue;
    }
    const std::optional<double> value = osc_number(types[i], argv[i]);
    if (!value) return arguments::wrong;
    if (wanted[i] == 'f') {
      change.value = *value;
    } else if (*value == std::trunc(*value) && *value >= INT_MIN && *value <= INT_MAX) {
      change.index = static_cast<int>(*value);
    } else {
      control_log("OSC %s refused: %.17g is no index", path, *value);
      return arguments::refused;
    }
  }
  return arguments::taken;
}

bool reduction_of(const char* path, control_change& change) {
  if (change.text != "mean" && change.text != "mode") {
    control_log("OSC %s refused: \"%s\" is neither \"mean\" nor \"mode\"", path, change.text.c_str());
    return false;
  }
  change.index = change.text == "mode" ? 1 : 0;
  change.text.clear();
  return true;
}

int on_message(const char* path, const char* types, lo_arg** argv, int argc, lo_message,
               void* data) {
  auto& inbox = *static_cast<control_queue*>(data);
  const auto* a = std::find_if(std::begin(addresses), std::end(addresses), [&](const address& x) {
    return std::strcmp(path + std::strlen(prefix), x.name) == 0;
  });
  control_change change{a->kind, 0, 0.0, ""};
  const arguments read = read_arguments(a->types, types, argv, argc, change, path);
  if (read == arguments::wrong) ignore(path, types);
  if (read != arguments::taken) return 0;
  if (a->kind == control_kind::reduce && !reduction_of(path, change)) return 0;
  if (!control_value_ok(change.kind, change.value)) {
    control_log("OSC %s refused: %g is outside %s", path, change.value,
                control_range_text(change.kind).c_str());
    return 0;
  }
  inbox.push(std::move(change));
  return 0;
}

// ---- The grain design: /zelmora/grain/<key> with one argument, a number
// or, for wave, window and limiter, the choice's name ("saw", "off").

constexpr const char* grain_prefix = "/zelmora/grain/";

int on_grain_message(const char* path, const char* types, lo_arg** argv, int argc, lo_message,
                     void* data) {
  auto& inbox = *static_cast<control_queue*>(data);
  const std::string key = path + std::strlen(grain_prefix);
  const auto* named = std::find(std::begin(grain_keys), std::end(grain_keys), key);
  grain_design checked;
  bool taken = false;
  if (argc == 1 && (types[0] == 's' || types[0] == 'S')) {
    taken = set_grain_key(checked, key, osc_string(argv[0]));
  } else if (argc == 1) {
    const std::optional<double> value = osc_number(types[0], argv[0]);
    taken = value && grain_number_ok(key, *value) && set_grain_number(checked, key, *value);
  }
  if (!taken) {
    control_log("OSC %s refused: its argument (type \"%s\") is no value of %s", path, types,
                key.c_str());
    return 0;
  }
  inbox.push({control_kind::grain, static_cast<int>(named - std::begin(grain_keys)),
              grain_number(checked, key), ""});
  return 0;
}

void add_grain_methods(lo_server server, control_queue& inbox) {
  for (const char* key : grain_keys)
    lo_server_add_method(server, (std::string(grain_prefix) + key).c_str(), nullptr,
                         on_grain_message, &inbox);
}

// ---- end of the grain design

// Whatever no address took.
int on_unmatched(const char* path, const char* types, lo_arg**, int, lo_message, void*) {
  ignore(path, types);
  return 0;
}

void on_error(int number, const char* message, const char* where) {
  control_log("OSC error %d: %s%s%s", number, message ? message : "", where ? " at " : "",
              where ? where : "");
}

}  // namespace

bool valid_port(const std::string& text) {
  if (text.empty() || text.size() > 5 ||
      !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return false;
  const int port = std::stoi(text);
  return port >= 1 && port <= 65535;
}

void osc_add_methods(lo_server server, control_queue& inbox) {
  // Every type of argument comes to the handler, which judges them itself.
  for (const address& a : addresses)
    lo_server_add_method(server, (std::string(prefix) + a.name).c_str(), nullptr, on_message, &inbox);
  add_grain_methods(server, inbox);
  add_tuning_methods(server, inbox);
  lo_server_add_method(server, nullptr, nullptr, on_unmatched, nullptr);
}

osc_server::osc_server(const std::string& where, control_queue& inbox)
    : impl_(std::make_unique<impl>()) {
  std::string host, port;
  if (!split_listen_address(where, host, port, true)) {
    control_log("can't listen for OSC on %s: not [ADDRESS:]PORT", where.c_str());
    return;
  }
  impl_->thread = lo_server_thread_new_with_proto(nullptr, LO_UDP, on_error);
  if (impl_->thread)
    impl_->port = rebind_udp(lo_server_thread_get_server(impl_->thread), host, port);
  if (impl_->port == 0) {
    control_log("can't listen for OSC on UDP %s: %s", where.c_str(), std::strerror(errno));
    if (impl_->thread) lo_server_thread_free(impl_->thread);
    impl_->thread = nullptr;
    return;
  }
  osc_add_methods(lo_server_thread_get_server(impl_->thread), inbox);
  lo_server_thread_start(impl_->thread);
}

osc_server::~osc_server() {
  if (impl_->thread) lo_server_thread_free(impl_->thread);
}

bool osc_server::ok() const { return impl_->thread != nullptr; }
int osc_server::port() const { return impl_->port; }
