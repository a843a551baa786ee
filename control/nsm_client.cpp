#include "control/nsm_client.h"

#include <lo/lo.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include <filesystem>
#include <mutex>

#include "control/bindings.h"
#include "control/osc_args.h"
#include "control/udp_port.h"
#include "engine/externs.h"
#include "events/event_list.h"
#include "files/event_file.h"
#include "files/param_file.h"
#include "platform/replacing_file.h"
#include "files/readable_file.h"
#include "control/control_log.h"

struct nsm_client::impl {
  lo_server_thread thread = nullptr;
  lo_address manager = nullptr;
  udp_peer manager_peer;  // who alone may send
  control_queue* inbox = nullptr;
  mutable std::mutex lock;
  std::string folder;
};

namespace {

constexpr const char* api_announce = "/nsm/server/announce";
constexpr const char* open_path = "/nsm/client/open";
constexpr const char* save_path = "/nsm/client/save";
constexpr int nsm_error_general = -1;

nsm_client::impl* active = nullptr;  // the one client, while it lives

std::string file_in(const std::string& folder, const char* name) { return folder + "/" + name; }

void reply(const char* request, const std::string& failure) {
  if (!active) return;
  const lo_server server = lo_server_thread_get_server(active->thread);
  if (failure.empty())
    lo_send_from(active->manager, server, LO_TT_IMMEDIATE, "/reply", "ss", request, "OK");
  else
    lo_send_from(active->manager, server, LO_TT_IMMEDIATE, "/error", "sis", request,
                 nsm_error_general, failure.c_str());
}

// Anyone who can reach the port could send; only the manager is heard.
bool from_manager(lo_message message, const char* path) {
  if (active && sent_by(message, active->manager_peer)) return true;
  const lo_address source = lo_message_get_source(message);
  const char* host = source ? lo_address_get_hostname(source) : nullptr;
  const char* port = source ? lo_address_get_port(source) : nullptr;
  control_log("session message %s ignored: from %s:%s, not the session manager", path,
              host ? host : "?", port ? port : "?");
  return false;
}

int on_open(const char* path, const char*, lo_arg** argv, int, lo_message message, void* data) {
  if (!from_manager(message, path)) return 0;
  auto& client = *static_cast<nsm_client::impl*>(data);
  client.inbox->push({control_kind::session_open, 0, 0.0, osc_string(argv[0])});
  return 0;
}

int on_save(const char* path, const char*, lo_arg**, int, lo_message message, void* data) {
  if (!from_manager(message, path)) return 0;
  auto& client = *static_cast<nsm_client::impl*>(data);
  const std::lock_guard<std::mutex> hold(client.lock);
  client.inbox->push({control_kind::session_save, 0, 0.0, client.folder});
  return 0;
}

int on_reply(const char* path, const char* types, lo_arg** argv, int argc, lo_message message,
             void*) {
  if (!from_manager(message, path)) return 0;
  if (argc >= 1 && types[0] == 's' && std::string(osc_string(argv[0])) == api_announce)
    control_log("session manager: %s", argc >= 2 && types[1] == 's' ? osc_string(argv[1]) : "announced");
  return 0;
}

int on_error(const char* path, const char* types, lo_arg** argv, int argc, lo_message message,
             void*) {
  if (!from_manager(message, path)) return 0;
  if (argc >= 3 && types[2] == 's') control_log("session manager refused: %s", osc_string(argv[2]));
  return 0;
}

// Everything else the manager may send (show, hide, session_is_loaded...)
// needs no answer.
int on_other(const char*, const char*, lo_arg**, int, lo_message, void*) { return 0; }

// A file a new session has not got yet is missing; one that is there
// but cannot be opened is a failure.
bool missing(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) != 0 && errno == ENOENT;
}

bool load_set(const std::string& path, parameters_type& set, std::string& failure) {
  if (missing(path)) return true;
  const file_ptr fp = open_for_reading(path);
  if (!fp || read_parameters(fp.get(), set) < 0) failure = "refused " + path;
  return failure.empty();
}

bool load_list(const std::string& path, const parameters_type& base, event_list_read& list,
               std::string& failure) {
  if (missing(path)) return true;
  const file_ptr fp = open_for_reading(path);
  if (!fp || read_event_list_into(fp.get(), base, list) < 0) failure = "refused " + path;
  return failure.empty();
}

template <typename Writer>
bool save_file(const std::string& path, Writer write, std::string& failure) {
  replacing_file file(path);
  if (file.stream() && write(file.stream()) >= 0 && file.commit()) return true;
  failure = "can't write " + path;
  return false;
}

}  // namespace

nsm_client::nsm_client(const std::string& url, const std::string& executable,
                       control_queue& inbox)
    : impl_(std::make_unique<impl>()) {
  impl_->inbox = &inbox;
  impl_->manager = lo_address_new_from_url(url.c_str());
  if (impl_->manager) {
    impl_->manager_peer =
        resolve_peer(lo_address_get_hostname(impl_->manager), lo_address_get_port(impl_->manager));
    impl_->thread =
        lo_server_thread_new_with_proto(nullptr, lo_address_get_protocol(impl_->manager), nullptr);
  }
  // A manager on this machine reaches us on the loopback interface alone.
  if (impl_->thread && impl_->manager_peer.loopback() &&
      rebind_udp(lo_server_thread_get_server(impl_->thread), "", "0") == 0) {
    lo_server_thread_free(impl_->thread);
    impl_->thread = nullptr;
  }
  if (!impl_->manager || !impl_->thread || impl_->manager_peer.addresses.empty()) {
    control_log("session manager unreachable: NSM_URL=%s", url.c_str());
    return;
  }
  nsm_add_methods(lo_server_thread_get_server(impl_->thread), *this);
  active = impl_.get();
  lo_server_thread_start(impl_->thread);
  lo_send_from(impl_->manager, lo_server_thread_get_server(impl_->thread), LO_TT_IMMEDIATE,
               api_announce, "sssiii", "zelmora", ":", executable.c_str(), 1, 2,
               static_cast<int>(::getpid()));
}

nsm_client::~nsm_client() {
  if (active == impl_.get()) active = nullptr;
  if (impl_->thread) lo_server_thread_free(impl_->thread);
  if (impl_->manager) lo_address_free(impl_->manager);
}

void nsm_add_methods(lo_server server, nsm_client& client) {
  lo_server_add_method(server, open_path, "sss", on_open, client.impl_.get());
  lo_server_add_method(server, save_path, "", on_save, client.impl_.get());
  lo_server_add_method(server, "/reply", nullptr, on_reply, nullptr);
  lo_server_add_method(server, "/error", nullptr, on_error, nullptr);
  lo_server_add_method(server, nullptr, nullptr, on_other, nullptr);
}

bool nsm_client::ok() const { return impl_->thread && impl_->manager; }

std::string nsm_client::folder() const {
  const std::lock_guard<std::mutex> hold(impl_->lock);
  return impl_->folder;
}

std::string bindings_file() {
  if (active) {
    const std::lock_guard<std::mutex> hold(active->lock);
    if (!active->folder.empty()) return file_in(active->folder, "bindings");
  }
  return default_bindings_path();
}

bool nsm_open_session(const std::string& folder) {
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  std::string failure;
  if (error) failure = "can't make " + folder;
  // All three are read before any replaces the program's, so a refused
  // file anywhere changes nothing; a new, empty session starts afresh.
  binding_table bindings;
  parameters_type set{};
  default_parameters(set);
  event_list_read list;
  if (failure.empty() && !read_bindings(file_in(folder, "bindings"), bindings))
    failure = "refused " + file_in(folder, "bindings");
  if (failure.empty() && load_set(file_in(folder, "parameters.csp"), set, failure))
    load_list(file_in(folder, "events.cse"), set, list, failure);
  if (failure.empty()) {
    Current_State = set;
    Bindings = bindings;
    clear_event_list();
    Event_List = std::move(list.first);
    List_Size = list.count;
    if (active) {
      const std::lock_guard<std::mutex> hold(active->lock);
      active->folder = folder;
    }
  }
  reply(open_path, failure);
  return failure.empty();
}

void nsm_save_session(const std::string& folder) {
  std::string failure;
  if (folder.empty()) {
    failure = "no session open";
  } else if (save_file(file_in(folder, "parameters.csp"),
                       [](std::FILE* fp) { return write_parameters(fp, Current_State); }, failure) &&
             save_file(file_in(folder, "events.cse"), write_event_list, failure) &&
             !write_bindings(file_in(folder, "bindings"), Bindings)) {
    failure = "can't write " + file_in(folder, "bindings");
  }
  reply(save_path, failure);
}
