#pragma once
// A small CLAP host for the built Quelmar.clap: it loads the library through
// its one exported entry, as hosts do, and offers the extensions Quelmar asks
// for (parameters, latency, timers and file descriptors), counting what the
// plug-in requests. Header-only, for the Linux tests and the Windows build.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include "formats/clap/ClapInterface.h"

namespace claptest {

// The library stays mapped until the process ends, as in hosts that never
// unload a plug-in.
class ClapLibrary {
 public:
  explicit ClapLibrary(const std::string& path) {
#if defined(_WIN32)
    HMODULE module = LoadLibraryA(path.c_str());
    if (module) entry = reinterpret_cast<const clap_plugin_entry_t*>(GetProcAddress(module, "clap_entry"));
#else
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (handle) entry = static_cast<const clap_plugin_entry_t*>(dlsym(handle, "clap_entry"));
#endif
    if (entry && entry->init(path.c_str()))
      factory = static_cast<const clap_plugin_factory_t*>(entry->get_factory(CLAP_PLUGIN_FACTORY_ID));
  }
  const clap_plugin_entry_t* entry = nullptr;
  const clap_plugin_factory_t* factory = nullptr;
};

struct OutputEvent {
  std::uint16_t type;
  std::uint32_t param;
  double value;  // for value events
  std::uint32_t time;
};

// The host extensions offered to the plug-in.
struct Offers {
  bool timers = true;
  bool descriptors = true;
  bool params = true;
  bool latency = true;
};

class ClapTestHost {
 public:
  explicit ClapTestHost(const ClapLibrary& library, Offers offers = Offers{}) : offered(offers) {
    record.clap_version = CLAP_VERSION;
    record.host_data = this;
    record.name = "Quelmar test host";
    record.vendor = "Orvel Stamik";
    record.url = "";
    record.version = "1";
    record.get_extension = &ClapTestHost::hostExtension;
    record.request_restart = [](const clap_host_t* h) { self(h)->restartRequests++; };
    record.request_process = [](const clap_host_t*) {};
    record.request_callback = [](const clap_host_t*) {};
    inEvents.ctx = this;
    inEvents.size = [](const clap_input_events_t* l) {
      return std::uint32_t(static_cast<ClapTestHost*>(l->ctx)->pendingAt.size());
    };
    inEvents.get = [](const clap_input_events_t* l, std::uint32_t i) -> const clap_event_header_t* {
      auto* host = static_cast<ClapTestHost*>(l->ctx);
      if (i >= host->pendingAt.size()) return nullptr;
      return reinterpret_cast<const clap_event_header_t*>(host->pending.data() + host->pendingAt[i]);
    };
    processData.audio_inputs = &inputBuffer;
    processData.audio_outputs = &outputBuffer;
    processData.audio_inputs_count = 1;
    processData.audio_outputs_count = 1;
    processData.in_events = &inEvents;
    processData.out_events = &outEvents;
    // Room kept across blocks, so that the host allocates nothing while the
    // plug-in processes.
    pending.reserve(1 << 14);
    pendingAt.reserve(1 << 10);
    outEvents.ctx = this;
    outEvents.try_push = [](const clap_output_events_t* l, const clap_event_header_t* e) {
      auto* host = static_cast<ClapTestHost*>(l->ctx);
      OutputEvent out{e->type, 0, 0.0, e->time};
      if (e->type == CLAP_EVENT_PARAM_VALUE) {
        const auto* v = reinterpret_cast<const clap_event_param_value_t*>(e);
        out.param = v->param_id;
        out.value = v->value;
      } else if (e->type == CLAP_EVENT_PARAM_GESTURE_BEGIN || e->type == CLAP_EVENT_PARAM_GESTURE_END) {
        out.param = reinterpret_cast<const clap_event_param_gesture_t*>(e)->param_id;
      }
      host->output.push_back(out);
      return true;
    };
    if (library.factory) plugin = library.factory->create_plugin(library.factory, &record, "com.orvelstamik.quelmar");
    if (plugin && !plugin->init(plugin)) {
      plugin->destroy(plugin);
      plugin = nullptr;
    }
  }
  ~ClapTestHost() {
    if (!plugin) return;
    if (active) plugin->deactivate(plugin);
    plugin->destroy(plugin);
  }
  ClapTestHost(const ClapTestHost&) = delete;
  ClapTestHost& operator=(const ClapTestHost&) = delete;

  template <class T>
  const T* extension(const char* id) const {
    return plugin ? static_cast<const T*>(plugin->get_extension(plugin, id)) : nullptr;
  }
  const clap_plugin_params_t* params() const { return extension<clap_plugin_params_t>(CLAP_EXT_PARAMS); }
  const clap_plugin_gui_t* gui() const { return extension<clap_plugin_gui_t>(CLAP_EXT_GUI); }
  const clap_plugin_state_t* state() const { return extension<clap_plugin_state_t>(CLAP_EXT_STATE); }

  bool activate(double rate, std::uint32_t maxFrames = 4096) {
    active = plugin->activate(plugin, rate, 1, maxFrames) && plugin->start_processing(plugin);
    return active;
  }
  void deactivate() {
    plugin->stop_processing(plugin);
    plugin->deactivate(plugin);
    active = false;
  }
  std::uint32_t latency() const {
    auto* l = extension<clap_plugin_latency_t>(CLAP_EXT_LATENCY);
    return l ? l->get(plugin) : 0;
  }

  // Events for the next process() or flush().
  void setParameter(clap_id id, double plain, std::uint32_t time = 0) {
    clap_event_param_value_t e{};
    e.header = {sizeof e, time, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_PARAM_VALUE, 0};
    e.param_id = id;
    e.note_id = -1;
    e.port_index = e.channel = e.key = -1;
    e.value = plain;
    sendRaw(&e.header, sizeof e);
  }
  void sendRaw(const clap_event_header_t* e, std::size_t bytes) {
    pendingAt.push_back(pending.size());
    pending.resize(pending.size() + (bytes + 7) / 8);
    std::memcpy(pending.data() + pendingAt.back(), e, bytes);
  }

  std::int32_t process(const float* left, const float* right, float* outLeft, float* outRight, std::uint32_t frames) {
    in[0] = const_cast<float*>(left);
    in[1] = const_cast<float*>(right);
    out[0] = outLeft;
    out[1] = outRight;
    processData.steady_time = steadyTime;
    processData.frames_count = frames;
    steadyTime += frames;
    const std::int32_t status = plugin->process(plugin, &processData);
    if (!pendingAt.empty()) {
      pending.clear();
      pendingAt.clear();
    }
    return status;
  }
  void flush() {
    params()->flush(plugin, &inEvents, &outEvents);
    pending.clear();
    pendingAt.clear();
  }
  std::vector<OutputEvent> takeOutput() { return std::exchange(output, {}); }

  double value(clap_id id) const {
    double v = -999.0;
    params()->get_value(plugin, id, &v);
    return v;
  }
  std::string text(clap_id id, double plain) const {
    char buffer[64] = {};
    return params()->value_to_text(plugin, id, plain, buffer, sizeof buffer) ? buffer : "<none>";
  }

  // The state in chunks of at most chunk bytes, as hosts may pass it.
  std::vector<unsigned char> saveState(std::size_t chunk = 1 << 20) const {
    Stream s{{}, 0, chunk};
    clap_ostream_t stream{&s, [](const clap_ostream_t* st, const void* b, std::uint64_t n) -> std::int64_t {
                            auto* s = static_cast<Stream*>(st->ctx);
                            const std::size_t take = std::size_t(std::min<std::uint64_t>(n, s->chunk));
                            s->bytes.insert(s->bytes.end(), static_cast<const unsigned char*>(b),
                                            static_cast<const unsigned char*>(b) + take);
                            return std::int64_t(take);
                          }};
    return state()->save(plugin, &stream) ? s.bytes : std::vector<unsigned char>{};
  }
  bool loadState(const std::vector<unsigned char>& bytes, std::size_t chunk = 1 << 20) {
    Stream s{bytes, 0, chunk};
    clap_istream_t stream{&s, [](const clap_istream_t* st, void* b, std::uint64_t n) -> std::int64_t {
                            auto* s = static_cast<Stream*>(st->ctx);
                            const std::size_t take =
                                std::size_t(std::min<std::uint64_t>({n, s->chunk, s->bytes.size() - s->at}));
                            if (take > 0) std::memcpy(b, s->bytes.data() + s->at, take);
                            s->at += take;
                            return std::int64_t(take);
                          }};
    return state()->load(plugin, &stream);
  }

  // The host's loop: every registered timer fires, and every watched
  // descriptor reports input.
  void runLoop() {
    auto* t = extension<clap_plugin_timer_support_t>(CLAP_EXT_TIMER_SUPPORT);
    auto* f = extension<clap_plugin_posix_fd_support_t>(CLAP_EXT_POSIX_FD_SUPPORT);
    for (const auto& timer : std::vector<std::pair<clap_id, std::uint32_t>>(timers)) t->on_timer(plugin, timer.first);
    for (int fd : std::vector<int>(descriptors)) f->on_fd(plugin, fd, CLAP_POSIX_FD_READ);
  }

  const clap_plugin_t* plugin = nullptr;
  bool active = false;
  int restartRequests = 0;
  int latencyChanges = 0;
  int flushRequests = 0;
  std::vector<std::pair<clap_id, std::uint32_t>> timers;  // id, period
  std::vector<int> descriptors;

 private:
  struct Stream {
    std::vector<unsigned char> bytes;
    std::size_t at;
    std::size_t chunk;
  };

  static ClapTestHost* self(const clap_host_t* h) { return static_cast<ClapTestHost*>(h->host_data); }

  static const void* CLAP_ABI hostExtension(const clap_host_t* h, const char* id) {
    static const clap_host_params_t params = {
        [](const clap_host_t*, std::uint32_t) {},
        [](const clap_host_t*, clap_id, std::uint32_t) {},
        [](const clap_host_t* host) { self(host)->flushRequests++; },
    };
    static const clap_host_latency_t latency = {[](const clap_host_t* host) { self(host)->latencyChanges++; }};
    static const clap_host_timer_support_t timerSupport = {
        [](const clap_host_t* host, std::uint32_t period, clap_id* id) {
          static clap_id next = 100;
          *id = next++;
          self(host)->timers.emplace_back(*id, period);
          return true;
        },
        [](const clap_host_t* host, clap_id id) {
          return std::erase_if(self(host)->timers, [id](const auto& t) { return t.first == id; }) > 0;
        },
    };
    static const clap_host_posix_fd_support_t fdSupport = {
        [](const clap_host_t* host, int fd, std::uint32_t) {
          self(host)->descriptors.push_back(fd);
          return true;
        },
        [](const clap_host_t*, int, std::uint32_t) { return true; },
        [](const clap_host_t* host, int fd) { return std::erase(self(host)->descriptors, fd) > 0; },
    };
    const Offers& o = self(h)->offered;
    if (o.params && std::strcmp(id, CLAP_EXT_PARAMS) == 0) return &params;
    if (o.latency && std::strcmp(id, CLAP_EXT_LATENCY) == 0) return &latency;
    if (o.timers && std::strcmp(id, CLAP_EXT_TIMER_SUPPORT) == 0) return &timerSupport;
    if (o.descriptors && std::strcmp(id, CLAP_EXT_POSIX_FD_SUPPORT) == 0) return &fdSupport;
    return nullptr;
  }

  Offers offered;
  clap_host_t record{};
  clap_input_events_t inEvents{};
  clap_output_events_t outEvents{};
  std::vector<std::uint64_t> pending;  // the events, each at a word boundary
  std::vector<std::size_t> pendingAt;
  std::vector<OutputEvent> output;
  std::int64_t steadyTime = 0;
  float* in[2] = {nullptr, nullptr};
  float* out[2] = {nullptr, nullptr};
  clap_audio_buffer_t inputBuffer{in, nullptr, 2, 0, 0};
  clap_audio_buffer_t outputBuffer{out, nullptr, 2, 0, 0};
  clap_process_t processData{};
};

}  // namespace claptest
