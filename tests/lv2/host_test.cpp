// zelmora.lv2 in a small host of our own on lilv, with urid:map and a
// worker that works between blocks: the instance sounds as the offline
// render of the same set, its state and presets come back exactly, two
// instances side by side play as each alone, and run() allocates nothing.
#include <lilv/lilv.h>
#include <lv2/atom/forge.h>
#include <lv2/midi/midi.h>
#include <lv2/presets/presets.h>
#include <lv2/state/state.h>
#include <lv2/worker/worker.h>

#include <array>
#include <atomic>
#include <cmath>
#include <cstring>
#include <map>

#include "lv2/uris.h"
#include "tests/core/test_support.h"
#include "tests/sound/sound_measures.h"

namespace fs = std::filesystem;
using sound_measures::stereo;
using test_support::slurp;

namespace {

thread_local bool counting = false;  // inside run(), on its thread
std::atomic<long> allocations{0};

}  // namespace

// Every allocation goes through these (operator new too); those made while
// `counting` are counted.
extern "C" {
void* __libc_malloc(std::size_t);
void* __libc_calloc(std::size_t, std::size_t);
void* __libc_realloc(void*, std::size_t);
void* __libc_memalign(std::size_t, std::size_t);
void* malloc(std::size_t size) {
  if (counting) ++allocations;
  return __libc_malloc(size);
}
void* calloc(std::size_t count, std::size_t size) {
  if (counting) ++allocations;
  return __libc_calloc(count, size);
}
void* realloc(void* old, std::size_t size) {
  if (counting) ++allocations;
  return __libc_realloc(old, size);
}
void* aligned_alloc(std::size_t alignment, std::size_t size) {
  if (counting) ++allocations;
  return __libc_memalign(alignment, size);
}
int posix_memalign(void** out, std::size_t alignment, std::size_t size) {
  if (counting) ++allocations;
  *out = __libc_memalign(alignment, size);
  return *out ? 0 : ENOMEM;
}
}

namespace {

constexpr double rate = 48000;
constexpr std::uint32_t longest_block = 4096;

struct host_world {
  host_world() {
    map.handle = this;
    map.map = [](LV2_URID_Map_Handle self, const char* uri) {
      auto& uris = static_cast<host_world*>(self)->uris;
      const auto found = std::find(uris.begin(), uris.end(), uri);
      if (found != uris.end()) return static_cast<LV2_URID>(found - uris.begin() + 1);
      uris.emplace_back(uri);
      return static_cast<LV2_URID>(uris.size());
    };
    LilvNode* bundle = lilv_new_file_uri(lilv, nullptr, ZELMORA_LV2_BUNDLE "/");
    lilv_world_load_bundle(lilv, bundle);
    lilv_node_free(bundle);
    LilvNode* uri = lilv_new_uri(lilv, ZELMORA_LV2_URI);
    plugin = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(lilv), uri);
    lilv_node_free(uri);
  }
  LV2_URID id(const char* uri) { return map.map(this, uri); }

  LilvWorld* lilv = lilv_world_new();
  const LilvPlugin* plugin = nullptr;
  std::vector<std::string> uris;
  LV2_URID_Map map{};
};

host_world& world() {
  static host_world w;
  return w;
}

using state_texts = std::map<LV2_URID, std::string>;

// One instance with its ports, blocks of its own size, its worker's
// requests kept and worked after each run().
class host_instance {
 public:
  explicit host_instance(std::uint32_t block) : block_(block) {
    schedule_.handle = this;
    schedule_.schedule_work = [](LV2_Worker_Schedule_Handle self, std::uint32_t size,
                                 const void* data) {
      auto& queue = static_cast<host_instance*>(self)->queue_;
      auto& used = static_cast<host_instance*>(self)->queued_;
      if (used + sizeof size + size > queue.size()) return LV2_WORKER_ERR_NO_SPACE;
      std::memcpy(queue.data() + used, &size, sizeof size);
      std::memcpy(queue.data() + used + sizeof size, data, size);
      used += sizeof size + size;
      return LV2_WORKER_SUCCESS;
    };
    const LilvPlugin* plugin = world().plugin;
    lilv_ = lilv_plugin_instantiate(plugin, rate, features_.data());
    std::vector<float> defaults(lilv_plugin_get_num_ports(plugin));
    lilv_plugin_get_port_ranges_float(plugin, nullptr, nullptr, defaults.data());
    for (unsigned p = port_r1; p < port_count; ++p) controls_[p] = defaults[p];
    for (unsigned p = port_r1; p < port_count; ++p) connect(p, &controls_[p]);
    connect(port_out_left, left_.data());
    connect(port_out_right, right_.data());
    connect(port_control, control_in_.data());
    connect(port_notify, notify_.data());
    worker_ = static_cast<const LV2_Worker_Interface*>(
        lilv_instance_get_extension_data(lilv_, LV2_WORKER__interface));
    state_ = static_cast<const LV2_State_Interface*>(
        lilv_instance_get_extension_data(lilv_, LV2_STATE__interface));
    lv2_atom_forge_init(&forge_, &world().map);
  }
  ~host_instance() { lilv_instance_free(lilv_); }

  LV2_State_Status restore(const state_texts& texts) {
    const auto retrieve = [](LV2_State_Handle handle, std::uint32_t key, std::size_t* size,
                             std::uint32_t* type, std::uint32_t* flags) -> const void* {
      const auto& texts = *static_cast<const state_texts*>(handle);
      const auto found = texts.find(key);
      if (found == texts.end()) return nullptr;
      *size = found->second.size() + 1;
      *type = world().id(LV2_ATOM__String);
      *flags = LV2_STATE_IS_POD;
      return found->second.c_str();
    };
    return state_->restore(lilv_instance_get_handle(lilv_), retrieve,
                           const_cast<state_texts*>(&texts), 0, nullptr);
  }
  state_texts saved() {
    state_texts texts;
    const auto store = [](LV2_State_Handle handle, std::uint32_t key, const void* value,
                          std::size_t size, std::uint32_t, std::uint32_t) {
      (*static_cast<state_texts*>(handle))[key] = std::string(static_cast<const char*>(value), size - 1);
      return LV2_STATE_SUCCESS;
    };
    EXPECT_EQ(state_->save(lilv_instance_get_handle(lilv_), store, &texts, 0, nullptr),
              LV2_STATE_SUCCESS);
    return texts;
  }
  void restore(const LilvState* preset) {
    const auto set_port = [](const char* symbol, void* self, const void* value, std::uint32_t,
                             std::uint32_t) {
      const LilvPlugin* plugin = world().plugin;
      LilvNode* name = lilv_new_string(world().lilv, symbol);
      const LilvPort* port = lilv_plugin_get_port_by_symbol(plugin, name);
      lilv_node_free(name);
      static_cast<host_instance*>(self)->controls_[lilv_port_get_index(plugin, port)] =
          *static_cast<const float*>(value);
    };
    lilv_state_restore(preset, lilv_, set_port, this, 0, nullptr);
  }

  float& control(unsigned port) { return controls_[port]; }
  void note_on(int key, int velocity) { note_ = {0x90, static_cast<std::uint8_t>(key), static_cast<std::uint8_t>(velocity)}; }

  void activate() { lilv_instance_activate(lilv_); }
  // One block of at most `frames`, appended to `out`.
  std::uint32_t play_block(std::size_t frames) {
    const auto n = static_cast<std::uint32_t>(std::min<std::size_t>(frames, block_));
    write_control_events();
    reinterpret_cast<LV2_Atom*>(notify_.data())->size = notify_.size() - sizeof(LV2_Atom);
    counting = true;
    lilv_instance_run(lilv_, n);
    counting = false;
    out.left.insert(out.left.end(), left_.begin(), left_.begin() + n);
    out.right.insert(out.right.end(), right_.begin(), right_.begin() + n);
    for (std::size_t at = 0; at < queued_;) {
      std::uint32_t size = 0;
      std::memcpy(&size, queue_.data() + at, sizeof size);
      worker_->work(lilv_instance_get_handle(lilv_), nullptr, nullptr, size,
                    queue_.data() + at + sizeof size);
      at += sizeof size + size;
    }
    queued_ = 0;
    return n;
  }
  void play(std::size_t frames) {
    while (frames > 0) frames -= play_block(frames);
  }

  stereo out;

 private:
  void connect(unsigned port, void* data) { lilv_instance_connect_port(lilv_, port, data); }
  void write_control_events() {
    lv2_atom_forge_set_buffer(&forge_, control_in_.data(), control_in_.size());
    LV2_Atom_Forge_Frame frame;
    lv2_atom_forge_sequence_head(&forge_, &frame, 0);
    if (note_[0] != 0) {
      lv2_atom_forge_frame_time(&forge_, 0);
      lv2_atom_forge_atom(&forge_, 3, world().id(LV2_MIDI__MidiEvent));
      lv2_atom_forge_write(&forge_, note_.data(), 3);
      note_[0] = 0;
    }
    lv2_atom_forge_pop(&forge_, &frame);
  }

  std::uint32_t block_;
  LV2_Worker_Schedule schedule_{};
  LV2_Feature map_feature_{LV2_URID__map, &world().map};
  LV2_Feature schedule_feature_{LV2_WORKER__schedule, &schedule_};
  std::array<const LV2_Feature*, 3> features_{&map_feature_, &schedule_feature_, nullptr};
  LilvInstance* lilv_ = nullptr;
  const LV2_Worker_Interface* worker_ = nullptr;
  const LV2_State_Interface* state_ = nullptr;
  std::array<float, port_count> controls_{};
  std::array<float, longest_block> left_{}, right_{};
  alignas(8) std::array<std::uint8_t, 4096> control_in_{}, notify_{};
  std::array<std::uint8_t, 1 << 16> queue_{};
  std::size_t queued_ = 0;
  std::array<std::uint8_t, 3> note_{};
  LV2_Atom_Forge forge_{};
};

state_texts texts_of(const std::string& set, const std::string& events = "") {
  const std::string examples = ZELMORA_EXAMPLES "/";
  return {{world().id(ZELMORA_LV2_PREFIX "parameters"), slurp(examples + set)},
          {world().id(ZELMORA_LV2_PREFIX "events"), events.empty() ? "" : slurp(examples + events)}};
}

// `seconds` of an instance restored from `texts`, in blocks of `block`.
stereo played(const state_texts& texts, double seconds, std::uint32_t block = 512,
              int key = 60, float transpose = 0) {
  host_instance instance(block);
  EXPECT_EQ(instance.restore(texts), LV2_STATE_SUCCESS);
  instance.control(port_transpose) = transpose;
  if (key != 60) instance.note_on(key, 127);
  instance.activate();
  instance.play(static_cast<std::size_t>(seconds * rate));
  return instance.out;
}

double loudest_difference(const stereo& a, const stereo& b, std::size_t frames) {
  double loudest = 0;
  for (std::size_t i = 0; i < frames; ++i)
    loudest = std::max({loudest, std::abs(a.left[i] - b.left[i]), std::abs(a.right[i] - b.right[i])});
  return loudest;
}

TEST(lv2_host, SoundsAsTheOfflineRenderOfItsState) {
  struct piece {
    const char *set, *events, *reduce;  // the set's own reduction: the render takes none
    int iterations;
    double grain;  // seconds
    std::uint32_t block;
  };
  for (const piece p : {piece{"chimes.csp", "", "mode", 40, 0.08, 1000},
                        piece{"rain.csp", "calm-to-storm.cse", "mean", 180, 0.025, 64}}) {
    SCOPED_TRACE(p.set);
    const test_support::temp_dir dir("zelmora-lv2-");
    const std::string wav = (dir.path / "render.wav").string();
    const std::string events = *p.events ? std::string(" --events " ZELMORA_EXAMPLES "/") + p.events : "";
    const std::string render = ZELMORA_RENDER " --quiet --orchestra " ZELMORA_ORCHESTRA " --rate 48000 --iterations " +
                               std::to_string(p.iterations) + " --reduce " + p.reduce + " --params " ZELMORA_EXAMPLES "/" + p.set + events + " --sound " + wav;
    ASSERT_EQ(std::system(render.c_str()), 0) << render;
    const stereo offline = sound_measures::read_sound(wav);
    // Up to the next iteration's first notes, which the render never has.
    const double seconds = p.iterations * p.grain;
    const stereo plugin = played(texts_of(p.set, p.events), seconds, p.block);
    ASSERT_GE(offline.frames(), plugin.frames());
    ASSERT_GT(sound_measures::sample_peak(plugin), 0.01);
    EXPECT_LT(sound_measures::dbfs(loudest_difference(offline, plugin, plugin.frames())), -90.0);
  }
}

// A note-on of an octave up is the transpose port at +12; a set and its
// event list come back from the state as saved, a refused state changes
// nothing, and a restored instance plays as the one it came from.
TEST(lv2_host, NotesTransposeAndStateComesBackExactly) {
  const state_texts texts = texts_of("spirals.csp", "glissando.cse");
  const stereo plain = played(texts, 0.5);
  EXPECT_EQ(played(texts, 0.5, 512, 72).left, played(texts, 0.5, 512, 60, 12).left);
  EXPECT_NE(played(texts, 0.5, 512, 72).left, plain.left);

  host_instance first(512), second(512);
  ASSERT_EQ(first.restore(texts), LV2_STATE_SUCCESS);
  const state_texts saved = first.saved();
  EXPECT_NE(saved.at(world().id(ZELMORA_LV2_PREFIX "events")), "");
  const state_texts refused{{world().id(ZELMORA_LV2_PREFIX "parameters"), "r1=banana\n"}};
  EXPECT_NE(first.restore(refused), LV2_STATE_SUCCESS);
  EXPECT_EQ(first.saved(), saved);
  ASSERT_EQ(second.restore(saved), LV2_STATE_SUCCESS);
  EXPECT_EQ(second.saved(), saved);
  second.activate();
  second.play(static_cast<std::size_t>(0.5 * rate));
  EXPECT_EQ(second.out.left, plain.left);
  EXPECT_EQ(second.out.right, plain.right);
}

// Every example set is a preset whose state is the set's own.
TEST(lv2_host, EveryExampleSetIsAPreset) {
  LilvNode* preset_class = lilv_new_uri(world().lilv, LV2_PRESETS__Preset);
  LilvNodes* presets = lilv_plugin_get_related(world().plugin, preset_class);
  std::vector<std::string> names;
  LILV_FOREACH (nodes, i, presets) {
    const LilvNode* preset = lilv_nodes_get(presets, i);
    lilv_world_load_resource(world().lilv, preset);
    LilvState* state = lilv_state_new_from_world(world().lilv, &world().map, preset);
    ASSERT_NE(state, nullptr);
    names.push_back(lilv_state_get_label(state));
    host_instance from_preset(512), from_file(512);
    from_preset.restore(state);
    lilv_state_free(state);
    ASSERT_EQ(from_file.restore(texts_of(names.back() + ".csp")), LV2_STATE_SUCCESS);
    EXPECT_EQ(from_preset.saved(), from_file.saved()) << names.back();
  }
  lilv_nodes_free(presets);
  lilv_node_free(preset_class);
  std::vector<std::string> sets;
  for (const auto& entry : fs::directory_iterator(ZELMORA_EXAMPLES))
    if (entry.path().extension() == ".csp") sets.push_back(entry.path().stem().string());
  std::sort(names.begin(), names.end());
  std::sort(sets.begin(), sets.end());
  EXPECT_EQ(names, sets);
}

// Instances share nothing: side by side, blocks interleaved, each plays as
// it does alone.
TEST(lv2_host, TwoInstancesPlayAsEachAlone) {
  const state_texts a = texts_of("chimes.csp"), b = texts_of("rain.csp", "calm-to-storm.cse");
  const double seconds = 1.5;
  host_instance first(1000), second(64);
  ASSERT_EQ(first.restore(a), LV2_STATE_SUCCESS);
  ASSERT_EQ(second.restore(b), LV2_STATE_SUCCESS);
  first.activate();
  second.activate();
  const auto frames = static_cast<std::size_t>(seconds * rate);
  while (first.out.frames() < frames) second.play(first.play_block(frames - first.out.frames()));
  const stereo alone_a = played(a, seconds, 1000), alone_b = played(b, seconds, 64);
  EXPECT_EQ(first.out.left, alone_a.left);
  EXPECT_EQ(first.out.right, alone_a.right);
  EXPECT_EQ(second.out.left, alone_b.left);
  EXPECT_EQ(second.out.right, alone_b.right);
}

}  // namespace
