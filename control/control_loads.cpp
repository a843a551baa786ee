#include "control/control_loads.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <optional>
#include <thread>

#include "control/control_change.h"
#include "control/control_log.h"
#include "engine/externs.h"
#include "engine/report.h"
#include "events/event_list.h"
#include "files/event_file.h"
#include "files/param_file.h"

namespace {

enum class file_kind { set, list };

struct load_job {
  std::string path;
  file_kind kind = file_kind::set;
  parameters_type base;
};

struct load_result {
  bool ok = false;
  file_kind kind = file_kind::set;
  parameters_type set;
  event_list_read list;
};

bool ends_with(const std::string& text, const char* suffix) {
  const std::size_t n = std::strlen(suffix);
  return text.size() > n && text.compare(text.size() - n, n, suffix) == 0;
}

// The whole file, or nothing (said why). Judged on what was opened, and
// never read beyond the limit, should it grow meanwhile.
std::optional<std::string> read_bounded(const std::string& path, const char* what) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    control_log("can't open %s %s: %s", what, path.c_str(), std::strerror(errno));
    return std::nullopt;
  }
  struct stat st {};
  std::optional<std::string> text;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
    control_log("load refused: %s is not a regular file", path.c_str());
  else if (static_cast<std::size_t>(st.st_size) > max_control_load_size)
    control_log("load refused: %s is larger than %zu KiB", path.c_str(), max_control_load_size >> 10);
  else
    text.emplace();
  std::array<char, 65536> buffer{};
  ssize_t n = 0;
  while (text && (n = ::read(fd, buffer.data(), buffer.size())) > 0 &&
         text->size() + static_cast<std::size_t>(n) <= max_control_load_size)
    text->append(buffer.data(), static_cast<std::size_t>(n));
  if (text && n != 0) {
    control_log("can't read %s %s: %s", what, path.c_str(),
                n < 0 ? std::strerror(errno) : "it grew beyond the limit");
    text.reset();
  }
  ::close(fd);
  return text;
}

void log_report(const std::string& text) {
  std::string line = text;
  while (!line.empty() && line.back() == '\n') line.pop_back();
  control_log("%s", line.c_str());
}

// On the worker: its messages go to the log, its echo nowhere.
load_result read_job(const load_job& job) {
  const report_redirect to_log(log_report);
  const echo_silenced quiet;
  load_result result;
  result.kind = job.kind;
  const char* what = job.kind == file_kind::set ? "parameter file" : "event list file";
  std::optional<std::string> text = read_bounded(job.path, what);
  if (!text) return result;
  std::FILE* fp = ::fmemopen(text->data(), text->size(), "r");
  if (!fp) return result;  // an empty file: fmemopen takes no size 0
  if (job.kind == file_kind::set) {
    result.set = job.base;
    const int status = read_parameters(fp, result.set);
    if (status < 0) report_parameter_refusal(status, job.path);
    result.ok = status >= 0;
  } else {
    result.ok = read_event_list_into(fp, job.base, result.list) >= 0;
  }
  std::fclose(fp);
  return result;
}

class load_worker {
 public:
  ~load_worker() {
    {
      const std::lock_guard<std::mutex> hold(lock_);
      quit_ = true;
    }
    ready_.notify_all();
    if (thread_.joinable()) thread_.join();
  }
  void start(load_job job) {
    {
      const std::lock_guard<std::mutex> hold(lock_);
      job_ = std::move(job);
      running_ = true;
      if (!thread_.joinable()) thread_ = std::thread([this] { work(); });
    }
    ready_.notify_all();
  }
  bool running() const { return running_; }
  std::optional<load_result> take() {
    const std::lock_guard<std::mutex> hold(lock_);
    std::optional<load_result> done = std::move(result_);
    result_.reset();
    if (done) running_ = false;
    return done;
  }

 private:
  void work() {
    std::unique_lock<std::mutex> hold(lock_);
    while (true) {
      ready_.wait(hold, [this] { return quit_ || job_.has_value(); });
      if (quit_) return;
      const load_job job = std::move(*job_);
      job_.reset();
      hold.unlock();
      load_result result = read_job(job);
      hold.lock();
      result_ = std::move(result);
      hold.unlock();
      control_inbox().wake();
      hold.lock();
    }
  }

  std::mutex lock_;
  std::condition_variable ready_;
  std::optional<load_job> job_;
  std::optional<load_result> result_;
  bool running_ = false;  // engine thread only
  bool quit_ = false;
  std::thread thread_;
};

load_worker& worker() {
  static load_worker the_worker;
  return the_worker;
}

void apply_set(const load_result& r, bool rendering, control_effects& effects) {
  parameters_type loaded = r.set;
  if (rendering) {
    loaded.x = Current_State.x;
    loaded.y = Current_State.y;
    loaded.Ns = Current_State.Ns;
    loaded.noinstrm = Current_State.noinstrm;
    loaded.iter = Current_State.iter;
  }
  Current_State = loaded;
  effects.panel = effects.frequencies = effects.amplitudes = true;
}

void apply_list(load_result& r, bool rendering, control_effects& effects) {
  clear_event_list();
  Event_List = std::move(r.list.first);
  List_Size = r.list.count;
  effects.events = true;
  if (!rendering) return;
  // Play on from here: the events still to come.
  Next_Event = Event_List.get();
  while (Next_Event && Next_Event->time_stamp <= Current_Iteration) Next_Event = Next_Event->next.get();
}

}  // namespace

void start_control_load(const std::string& path) {
  if (ends_with(path, ".csp"))
    worker().start({path, file_kind::set, Current_State});
  else if (ends_with(path, ".cse"))
    worker().start({path, file_kind::list, Current_State});
  else
    control_log("load refused: %s is neither a parameter set (.csp) nor an event list (.cse)",
                path.c_str());
}

bool control_load_running() { return worker().running(); }

void finish_control_load(bool rendering, control_effects& effects) {
  std::optional<load_result> done = worker().take();
  if (!done || !done->ok) return;
  if (done->kind == file_kind::set)
    apply_set(*done, rendering, effects);
  else
    apply_list(*done, rendering, effects);
}
