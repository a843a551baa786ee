#include "control/osc_server.h"

#include <lo/lo.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "control/control_apply.h"
#include "control/osc_args.h"
#include "control/tuning_control.h"
#include "control/control_log.h"
#include "dsp/grain_design.h"

struct osc_server::impl {
  lo_server_thread thread = nullptr;
  control_queue* inbox = nullptr;
};

namespace {

constexpr const char* prefix = "/zelmora/";

struct address {
  const char* name;
  const char* types;
  control_kind kind;
};

// Every address and the arguments it takes (numbers coerced by liblo).
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

void queue_or_refuse(osc_server::impl& server, const char* path, control_change change) {
  if (!control_value_ok(change.kind, change.value)) {
    control_log("OSC %s refused: %g is outside %s", path, change.value,
                control_range_text(change.kind).c_str());
    return;
  }
  server.inbox->push(std::move(change));
}

int on_message(const char* path, const char*, lo_arg** argv, int argc, lo_message,
               void* data) {
  auto& server = *static_cast<osc_server::impl*>(data);
  const auto* a = std::find_if(std::begin(addresses), std::end(addresses), [&](const address& x) {
    return std::strcmp(path + std::strlen(prefix), x.name) == 0;
  });
  control_change change{a->kind, 0, 0.0, ""};
  switch (a->kind) {
    case control_kind::reduce: {
      const std::string how = osc_string(argv[0]);
      if (how != "mean" && how != "mode") {
        control_log("OSC %s refused: \"%s\" is neither \"mean\" nor \"mode\"", path, how.c_str());
        return 0;
      }
      change.index = how == "mode" ? 1 : 0;
      break;
    }
    case control_kind::load:
      change.text = osc_string(argv[0]);
      break;
    case control_kind::state:
    case control_kind::instrument:
      change.index = osc_int(argv[0]);
      change.value = osc_float(argv[1]);
      break;
    default:
      if (argc == 1) change.value = osc_float(argv[0]);
      break;
  }
  queue_or_refuse(server, path, std::move(change));
  return 0;
}

// ---- The grain design: /zelmora/grain/<key> with one argument, a number
// or, for wave, window and limiter, the choice's name ("saw", "off").

constexpr const char* grain_prefix = "/zelmora/grain/";

int on_grain_message(const char* path, const char* types, lo_arg** argv, int argc, lo_message,
                     void* data) {
  auto& server = *static_cast<osc_server::impl*>(data);
  const std::string key = path + std::strlen(grain_prefix);
  const auto* named = std::find(std::begin(grain_keys), std::end(grain_keys), key);
  grain_design checked;
  bool taken = false;
  if (argc == 1 && types[0] == 's')
    taken = set_grain_key(checked, key, osc_string(argv[0]));
  else if (argc == 1 && (types[0] == 'f' || types[0] == 'i'))
  {
    const double value = types[0] == 'f' ? osc_float(argv[0]) : osc_int(argv[0]);
    taken = grain_number_ok(key, value) && set_grain_number(checked, key, value);
  }
  if (!taken) {
    control_log("OSC %s refused: its argument (type \"%s\") is no value of %s", path, types,
                key.c_str());
    return 0;
  }
  server.inbox->push({control_kind::grain, static_cast<int>(named - std::begin(grain_keys)),
                      grain_number(checked, key), ""});
  return 0;
}

void add_grain_methods(lo_server_thread thread, osc_server::impl* server) {
  for (const char* key : grain_keys)
    lo_server_thread_add_method(thread, (std::string(grain_prefix) + key).c_str(), nullptr,
                                on_grain_message, server);
}

// ---- end of the grain design

// Whatever no address took.
int on_unmatched(const char* path, const char* types, lo_arg**, int, lo_message, void*) {
  control_log("OSC message ignored: %s with arguments \"%s\" is not in zelmora's address space",
              path, types);
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

osc_server::osc_server(const std::string& port, control_queue& inbox)
    : impl_(std::make_unique<impl>()) {
  impl_->inbox = &inbox;
  impl_->thread =
      lo_server_thread_new_with_proto(port == "0" ? nullptr : port.c_str(), LO_UDP, on_error);
  if (!impl_->thread) {
    control_log("can't listen for OSC on UDP port %s", port.c_str());
    return;
  }
  for (const address& a : addresses)
    lo_server_thread_add_method(impl_->thread, (std::string(prefix) + a.name).c_str(), a.types,
                                on_message, impl_.get());
  add_grain_methods(impl_->thread, impl_.get());
  add_tuning_methods(impl_->thread, *impl_->inbox);
  lo_server_thread_add_method(impl_->thread, nullptr, nullptr, on_unmatched, nullptr);
  lo_server_thread_start(impl_->thread);
}

osc_server::~osc_server() {
  if (impl_->thread) lo_server_thread_free(impl_->thread);
}

bool osc_server::ok() const { return impl_->thread != nullptr; }
int osc_server::port() const { return impl_->thread ? lo_server_thread_get_port(impl_->thread) : 0; }
