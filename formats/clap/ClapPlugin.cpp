#include "formats/clap/ClapPlugin.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <thread>

#include "formats/clap/ClapEditor.h"
#include "plugin/QuelmarParameters.h"

namespace {

using namespace QuelmarParameters;

const char* const kFeatures[] = {"audio-effect", "limiter", "mastering", "stereo", nullptr};

void pushEvent(const clap_output_events_t* out, const clap_event_header_t& event) {
  if (out != nullptr && out->try_push != nullptr) out->try_push(out, &event);
}

clap_event_header_t header(std::uint32_t size, std::uint16_t type, std::uint32_t time) {
  return clap_event_header_t{size, time, CLAP_CORE_EVENT_SPACE_ID, type, 0};
}

// The state: a tag, a version and the four normalised values, little-endian.
constexpr char kStateTag[4] = {'Q', 'l', 'M', 'r'};
constexpr std::uint32_t kStateVersion = 1;
constexpr std::size_t kStateSize = 4 + 4 + 4 * kParameterCount;

void putWord(unsigned char* p, std::uint32_t word) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(word >> (8 * i));
}

std::uint32_t getWord(const unsigned char* p) {
  std::uint32_t word = 0;
  for (int i = 0; i < 4; ++i) word |= std::uint32_t(p[i]) << (8 * i);
  return word;
}

}  // namespace

const clap_plugin_descriptor_t ClapPlugin::descriptor = {
    CLAP_VERSION,
    "com.orvelstamik.quelmar",
    "Quelmar",
    "Orvel Stamik",
    "",
    "",
    "",
    QUELMAR_VERSION,
    "Stereo look-ahead loudness maximizer: a brickwall limiter with program-dependent release and "
    "inter-sample peak detection",
    kFeatures,
};

ClapPlugin* ClapPlugin::from(const clap_plugin_t* plugin) {
  return plugin != nullptr ? static_cast<ClapPlugin*>(plugin->plugin_data) : nullptr;
}

const clap_plugin_t* ClapPlugin::create(const clap_host_t* host) {
  if (host == nullptr || !clap_version_is_compatible(host->clap_version)) return nullptr;
  auto* plugin = new (std::nothrow) ClapPlugin(host);
  return plugin != nullptr ? &plugin->record : nullptr;
}

ClapPlugin::ClapPlugin(const clap_host_t* clapHost) : host(clapHost) {
  record.desc = &descriptor;
  record.plugin_data = this;
  record.init = [](const clap_plugin_t* p) {
    ClapPlugin* self = from(p);
    return self != nullptr && self->init();
  };
  record.destroy = [](const clap_plugin_t* p) { delete from(p); };
  record.activate = [](const clap_plugin_t* p, double rate, std::uint32_t, std::uint32_t maxFrames) {
    ClapPlugin* self = from(p);
    return self != nullptr && self->activate(rate, maxFrames);
  };
  record.deactivate = [](const clap_plugin_t* p) {
    if (ClapPlugin* self = from(p)) self->deactivate();
  };
  record.start_processing = [](const clap_plugin_t* p) {
    ClapPlugin* self = from(p);
    return self != nullptr && self->active;
  };
  record.stop_processing = [](const clap_plugin_t*) {};
  record.reset = [](const clap_plugin_t* p) {
    if (ClapPlugin* self = from(p)) self->reset();
  };
  record.process = [](const clap_plugin_t* p, const clap_process_t* data) -> std::int32_t {
    ClapPlugin* self = from(p);
    return self != nullptr && data != nullptr ? self->process(*data) : CLAP_PROCESS_ERROR;
  };
  record.get_extension = [](const clap_plugin_t* p, const char* id) -> const void* {
    ClapPlugin* self = from(p);
    return self != nullptr && id != nullptr ? self->extension(id) : nullptr;
  };
  record.on_main_thread = [](const clap_plugin_t*) {};
}

ClapPlugin::~ClapPlugin() {
  // A host should have deactivated first; one that did not still loses
  // nothing but the instance.
  editor.reset();
  if (active) deactivate();
}

bool ClapPlugin::init() {
  if (instance) return true;
  auto hostExtension = [this](const char* id) {
    return host->get_extension != nullptr ? host->get_extension(host, id) : nullptr;
  };
  hostParams = static_cast<const clap_host_params_t*>(hostExtension(CLAP_EXT_PARAMS));
  hostLatency = static_cast<const clap_host_latency_t*>(hostExtension(CLAP_EXT_LATENCY));

  instance.reset(new (std::nothrow) EmbeddedInstance(*this));
  if (!instance || !instance->isValid()) {
    instance.reset();
    return false;
  }
  if (instance->hasEditor()) editor.reset(new (std::nothrow) ClapEditor(*instance, host));
  return true;
}

bool ClapPlugin::activate(double sampleRate, std::uint32_t maxFrames) {
  if (!instance || active || !std::isfinite(sampleRate) || sampleRate <= 0.0) return false;
  instance->setSampleRate(static_cast<float>(sampleRate));
  instance->setBlockSize(static_cast<std::int32_t>(std::min<std::uint32_t>(maxFrames, INT32_MAX)));
  instance->setActive(true);
  const std::uint32_t latency = instance->latency();
  // A host that knew another latency from an earlier activation hears of the
  // new one now, the only time CLAP allows it to change.
  if (latencyReported && latency != activeLatency && hostLatency != nullptr && hostLatency->changed != nullptr)
    hostLatency->changed(host);
  activeLatency = latency;
  latencyReported = true;
  restartRequested = false;
  active = true;
  return true;
}

void ClapPlugin::deactivate() {
  if (!instance || !active) return;
  instance->setActive(false);
  active = false;
}

void ClapPlugin::reset() {
  if (!instance || !active) return;
  instance->setActive(false);
  instance->setActive(true);
}

// The output list of the process() or flush() under way: what the instance
// automates while one of its events is applied goes there.
class ClapPlugin::OutputScope {
 public:
  OutputScope(ClapPlugin& plugin, const clap_output_events_t* events) : owner(plugin) {
    owner.outputs = events;
    owner.outputTime = 0;
  }
  ~OutputScope() { owner.outputs = nullptr; }
  OutputScope(const OutputScope&) = delete;
  OutputScope& operator=(const OutputScope&) = delete;

 private:
  ClapPlugin& owner;
};

std::int32_t ClapPlugin::process(const clap_process_t& data) {
  if (!active) return CLAP_PROCESS_ERROR;
  OutputScope scope(*this, data.out_events);
  if (!queued.empty()) sendQueuedEvents();

  // The buffers are looked at once a block; without usable input the
  // limiter hears silence rather than whatever the output buffers held.
  auto stereo = [](const clap_audio_buffer_t* buffers, std::uint32_t count) {
    return buffers != nullptr && count > 0 && buffers[0].data32 != nullptr && buffers[0].channel_count >= 2 &&
           buffers[0].data32[0] != nullptr && buffers[0].data32[1] != nullptr;
  };
  float* in[2] = {nullptr, nullptr};
  float* out[2] = {nullptr, nullptr};
  if (stereo(data.audio_outputs, data.audio_outputs_count)) {
    data.audio_outputs[0].constant_mask = 0;
    out[0] = data.audio_outputs[0].data32[0];
    out[1] = data.audio_outputs[0].data32[1];
    if (stereo(data.audio_inputs, data.audio_inputs_count)) {
      in[0] = data.audio_inputs[0].data32[0];
      in[1] = data.audio_inputs[0].data32[1];
    } else {
      for (float* channel : out) std::memset(channel, 0, sizeof(float) * data.frames_count);
      in[0] = out[0];
      in[1] = out[1];
    }
  }
  const clap_input_events_t* events = data.in_events;
  const std::uint32_t count =
      events != nullptr && events->size != nullptr && events->get != nullptr ? events->size(events) : 0;
  // Most blocks bring no events: one piece.
  if (count == 0) {
    if (out[0] != nullptr) instance->process(in, out, static_cast<std::int32_t>(data.frames_count));
    return CLAP_PROCESS_CONTINUE;
  }
  processAroundEvents(data, in, out, count);
  return CLAP_PROCESS_CONTINUE;
}

void ClapPlugin::processAroundEvents(const clap_process_t& data, float* const* in, float* const* out,
                                     std::uint32_t count) {
  auto runAudio = [&](std::uint32_t from, std::uint32_t to) {
    if (out[0] == nullptr) return;
    float* const inputs[2] = {in[0] + from, in[1] + from};
    float* const outputs[2] = {out[0] + from, out[1] + from};
    instance->process(inputs, outputs, static_cast<std::int32_t>(to - from));
  };
  const clap_input_events_t* events = data.in_events;
  std::uint32_t done = 0;
  for (std::uint32_t i = 0; i < count; ++i) {
    const clap_event_header_t* event = events->get(events, i);
    if (event == nullptr) continue;
    // Each event takes effect at its sample: the audio before it runs with
    // the settings before it. An event past the block's end counts at the end.
    const std::uint32_t time = std::min(event->time, data.frames_count);
    if (time > done) {
      runAudio(done, time);
      done = time;
    }
    outputTime = done;
    applyEvent(*event);
  }
  if (done < data.frames_count) runAudio(done, data.frames_count);
}

void ClapPlugin::applyEvent(const clap_event_header_t& event) {
  if (event.space_id != CLAP_CORE_EVENT_SPACE_ID || event.type != CLAP_EVENT_PARAM_VALUE ||
      event.size < sizeof(clap_event_param_value_t))
    return;
  const auto& change = reinterpret_cast<const clap_event_param_value_t&>(event);
  const auto index = static_cast<std::int32_t>(change.param_id);
  if (change.param_id >= kParameterCount || !std::isfinite(change.value)) return;
  const float wanted = normalisedOf(index, change.value);
  // Automation that comes back from inside this call is the event's own
  // consequence (a linked output) and belongs in this block's output list.
  // The thread is told apart because the editor may automate at the same time
  // on the main thread; it is looked up only here, where an event is applied.
  eventThread.store(std::this_thread::get_id(), std::memory_order_relaxed);
  instance->setParameter(index, wanted);
  eventThread.store(std::thread::id(), std::memory_order_relaxed);
  // A linked threshold stops short where the output meets its bound; the
  // host is told where it stopped, so that what it shows stays true.
  if (index == kThreshold && instance->getParameter(index) != wanted) pushValue(kThreshold, outputTime);
}

void ClapPlugin::pushValue(std::uint32_t index, std::uint32_t time) {
  clap_event_param_value_t event{};
  event.header = header(sizeof event, CLAP_EVENT_PARAM_VALUE, time);
  event.param_id = index;
  event.note_id = -1;
  event.port_index = -1;
  event.channel = -1;
  event.key = -1;
  event.value = plainOf(static_cast<std::int32_t>(index), instance->getParameter(static_cast<std::int32_t>(index)));
  pushEvent(outputs, event.header);
}

void ClapPlugin::sendQueuedEvents() {
  OutgoingEvent queuedEvent;
  while (queued.pop(queuedEvent)) {
    if (queuedEvent.type == CLAP_EVENT_PARAM_VALUE) {
      clap_event_param_value_t event{};
      event.header = header(sizeof event, CLAP_EVENT_PARAM_VALUE, 0);
      event.param_id = queuedEvent.index;
      event.note_id = -1;
      event.port_index = -1;
      event.channel = -1;
      event.key = -1;
      event.value = queuedEvent.value;
      pushEvent(outputs, event.header);
    } else {
      clap_event_param_gesture_t event{header(sizeof(clap_event_param_gesture_t), queuedEvent.type, 0),
                                       queuedEvent.index};
      pushEvent(outputs, event.header);
    }
  }
}

void ClapPlugin::flush(const clap_input_events_t* in, const clap_output_events_t* out) {
  if (!instance) return;
  OutputScope scope(*this, out);
  sendQueuedEvents();
  const std::uint32_t count = in != nullptr && in->size != nullptr && in->get != nullptr ? in->size(in) : 0;
  for (std::uint32_t i = 0; i < count; ++i)
    if (const clap_event_header_t* event = in->get(in, i)) applyEvent(*event);
}

// ---------------------------------------------------------------- what the instance asks of its host

void ClapPlugin::parameterAutomated(std::int32_t index) {
  if (!isParameter(index)) return;
  if (eventThread.load(std::memory_order_relaxed) == std::this_thread::get_id()) {
    pushValue(static_cast<std::uint32_t>(index), outputTime);
    return;
  }
  queue({CLAP_EVENT_PARAM_VALUE, static_cast<std::uint32_t>(index), plainOf(index, instance->getParameter(index))});
}

void ClapPlugin::editBegun(std::int32_t index) {
  if (isParameter(index)) queue({CLAP_EVENT_PARAM_GESTURE_BEGIN, static_cast<std::uint32_t>(index), 0.0});
}

void ClapPlugin::editEnded(std::int32_t index) {
  if (isParameter(index)) queue({CLAP_EVENT_PARAM_GESTURE_END, static_cast<std::uint32_t>(index), 0.0});
}

void ClapPlugin::queue(const OutgoingEvent& event) {
  queued.push(event);
  // Outside process() and flush(): the host then gives us one of them soon.
  if (hostParams != nullptr && hostParams->request_flush != nullptr) hostParams->request_flush(host);
}

void ClapPlugin::latencyMayHaveChanged() {
  // The host compensates the latency it read at activation until it
  // restarts the plug-in, which is the only way CLAP lets it change.
  if (!active || instance->latency() == activeLatency) return;
  if (!restartRequested.exchange(true) && host->request_restart != nullptr) host->request_restart(host);
}

// ---------------------------------------------------------------- parameters

bool ClapPlugin::parameterInfo(std::uint32_t index, clap_param_info_t& info) const {
  if (index >= kParameterCount) return false;
  info = clap_param_info_t{};
  info.id = index;
  info.flags = std::uint32_t{CLAP_PARAM_IS_AUTOMATABLE} | (isSwitch(std::int32_t(index)) ? std::uint32_t{CLAP_PARAM_IS_STEPPED} : 0u);
  std::snprintf(info.name, sizeof info.name, "%s", kNames[index]);
  info.min_value = kPlainMinimum[index];
  info.max_value = kPlainMaximum[index];
  info.default_value = kPlainDefault[index];
  return true;
}

bool ClapPlugin::parameterValue(clap_id id, double& value) const {
  if (!instance || id >= kParameterCount) return false;
  value = plainOf(static_cast<std::int32_t>(id), instance->getParameter(static_cast<std::int32_t>(id)));
  return true;
}

// ---------------------------------------------------------------- state

bool ClapPlugin::saveState(const clap_ostream_t& stream) const {
  if (!instance || stream.write == nullptr) return false;
  unsigned char bytes[kStateSize];
  std::memcpy(bytes, kStateTag, 4);
  putWord(bytes + 4, kStateVersion);
  for (int i = 0; i < kParameterCount; ++i) {
    const float value = instance->getParameter(i);
    std::uint32_t word;
    std::memcpy(&word, &value, 4);
    putWord(bytes + 8 + 4 * i, word);
  }
  std::size_t written = 0;
  while (written < kStateSize) {
    const std::int64_t n = stream.write(&stream, bytes + written, kStateSize - written);
    if (n <= 0) return false;
    written += static_cast<std::size_t>(n);
  }
  return true;
}

bool ClapPlugin::loadState(const clap_istream_t& stream) {
  if (!instance || stream.read == nullptr) return false;
  // One byte more than a state holds: a longer stream is not ours.
  unsigned char bytes[kStateSize + 1];
  std::size_t got = 0;
  while (got < sizeof bytes) {
    const std::int64_t n = stream.read(&stream, bytes + got, sizeof bytes - got);
    if (n < 0) return false;
    if (n == 0) break;
    got += static_cast<std::size_t>(std::min<std::int64_t>(n, std::int64_t(sizeof bytes - got)));
  }
  if (got != kStateSize || std::memcmp(bytes, kStateTag, 4) != 0 || getWord(bytes + 4) != kStateVersion) return false;
  float values[kParameterCount];
  for (int i = 0; i < kParameterCount; ++i) {
    const std::uint32_t word = getWord(bytes + 8 + 4 * i);
    std::memcpy(&values[i], &word, 4);
    if (!(values[i] >= 0.0f && values[i] <= 1.0f)) return false;
  }
  // The link last: set earlier, it would move the output with the threshold.
  instance->setParameter(kFaderLink, 0.0f);
  instance->setParameter(kThreshold, values[kThreshold]);
  instance->setParameter(kOutput, values[kOutput]);
  if (switchIsOn(values[kIspDetection]) != switchIsOn(instance->getParameter(kIspDetection)))
    instance->setParameter(kIspDetection, values[kIspDetection]);
  instance->setParameter(kFaderLink, values[kFaderLink]);
  return true;
}

// ---------------------------------------------------------------- extensions

const void* ClapPlugin::extension(const char* id) const {
  static const clap_plugin_params_t params = {
      [](const clap_plugin_t*) -> std::uint32_t { return kParameterCount; },
      [](const clap_plugin_t* p, std::uint32_t index, clap_param_info_t* info) {
        ClapPlugin* self = from(p);
        return self != nullptr && info != nullptr && self->parameterInfo(index, *info);
      },
      [](const clap_plugin_t* p, clap_id id, double* value) {
        ClapPlugin* self = from(p);
        return self != nullptr && value != nullptr && self->parameterValue(id, *value);
      },
      [](const clap_plugin_t*, clap_id id, double value, char* text, std::uint32_t capacity) {
        if (id >= kParameterCount || text == nullptr || capacity == 0 || !std::isfinite(value)) return false;
        formatPlain(static_cast<std::int32_t>(id), value, text, capacity);
        return true;
      },
      [](const clap_plugin_t*, clap_id id, const char* text, double* value) {
        double plain = 0.0;
        if (value == nullptr || id >= kParameterCount || !parsePlain(static_cast<std::int32_t>(id), text, plain))
          return false;
        *value = plain;
        return true;
      },
      [](const clap_plugin_t* p, const clap_input_events_t* in, const clap_output_events_t* out) {
        if (ClapPlugin* self = from(p)) self->flush(in, out);
      },
  };
  static const clap_plugin_audio_ports_t audioPorts = {
      [](const clap_plugin_t*, bool) -> std::uint32_t { return 1; },
      [](const clap_plugin_t*, std::uint32_t index, bool input, clap_audio_port_info_t* info) {
        if (index != 0 || info == nullptr) return false;
        *info = clap_audio_port_info_t{};
        info->id = 0;
        std::snprintf(info->name, sizeof info->name, "%s", input ? "Stereo In" : "Stereo Out");
        info->flags = CLAP_AUDIO_PORT_IS_MAIN;
        info->channel_count = 2;
        info->port_type = CLAP_PORT_STEREO;
        info->in_place_pair = 0;  // the port of the other direction
        return true;
      },
  };
  static const clap_plugin_latency_t latency = {
      [](const clap_plugin_t* p) -> std::uint32_t {
        ClapPlugin* self = from(p);
        return self != nullptr && self->instance ? self->instance->latency() : 0;
      },
  };
  static const clap_plugin_state_t state = {
      [](const clap_plugin_t* p, const clap_ostream_t* stream) {
        ClapPlugin* self = from(p);
        return self != nullptr && stream != nullptr && self->saveState(*stream);
      },
      [](const clap_plugin_t* p, const clap_istream_t* stream) {
        ClapPlugin* self = from(p);
        return self != nullptr && stream != nullptr && self->loadState(*stream);
      },
  };
  static const clap_plugin_gui_t gui = {
      [](const clap_plugin_t* p, const char* api, bool floating) {
        ClapPlugin* self = from(p);
        return self != nullptr && self->editor && self->editor->isApiSupported(api, floating);
      },
      [](const clap_plugin_t*, const char** api, bool* floating) {
        if (api == nullptr || floating == nullptr) return false;
        *api = ClapEditor::windowApi();
        *floating = false;
        return true;
      },
      [](const clap_plugin_t* p, const char* api, bool floating) {
        ClapPlugin* self = from(p);
        return self != nullptr && self->editor && self->editor->create(api, floating);
      },
      [](const clap_plugin_t* p) {
        ClapPlugin* self = from(p);
        if (self != nullptr && self->editor) self->editor->destroy();
      },
      [](const clap_plugin_t*, double) { return false; },  // a fixed panel of fixed pixels
      [](const clap_plugin_t* p, std::uint32_t* width, std::uint32_t* height) {
        ClapPlugin* self = from(p);
        return self != nullptr && self->editor && self->editor->getSize(width, height);
      },
      [](const clap_plugin_t*) { return false; },
      [](const clap_plugin_t*, clap_gui_resize_hints_t*) { return false; },
      [](const clap_plugin_t*, std::uint32_t*, std::uint32_t*) { return false; },
      [](const clap_plugin_t* p, std::uint32_t width, std::uint32_t height) {
        ClapPlugin* self = from(p);
        return self != nullptr && self->editor && self->editor->setSize(width, height);
      },
      [](const clap_plugin_t* p, const clap_window_t* window) {
        ClapPlugin* self = from(p);
        return self != nullptr && self->editor && self->editor->setParent(window);
      },
      [](const clap_plugin_t*, const clap_window_t*) { return false; },  // embedded only
      [](const clap_plugin_t*, const char*) {},
      [](const clap_plugin_t* p) {
        ClapPlugin* self = from(p);
        return self != nullptr && self->editor && self->editor->show();
      },
      [](const clap_plugin_t* p) {
        ClapPlugin* self = from(p);
        return self != nullptr && self->editor && self->editor->hide();
      },
  };
  static const clap_plugin_timer_support_t timers = {
      [](const clap_plugin_t* p, clap_id timer) {
        ClapPlugin* self = from(p);
        if (self != nullptr && self->editor) self->editor->onTimer(timer);
      },
  };
  static const clap_plugin_posix_fd_support_t descriptors = {
      [](const clap_plugin_t* p, int fd, std::uint32_t) {
        ClapPlugin* self = from(p);
        if (self != nullptr && self->editor) self->editor->onDescriptor(fd);
      },
  };

  if (std::strcmp(id, CLAP_EXT_PARAMS) == 0) return &params;
  if (std::strcmp(id, CLAP_EXT_AUDIO_PORTS) == 0) return &audioPorts;
  if (std::strcmp(id, CLAP_EXT_LATENCY) == 0) return &latency;
  if (std::strcmp(id, CLAP_EXT_STATE) == 0) return &state;
  if (editor) {
    if (std::strcmp(id, CLAP_EXT_GUI) == 0) return &gui;
    if (std::strcmp(id, CLAP_EXT_TIMER_SUPPORT) == 0) return &timers;
    if (std::strcmp(id, CLAP_EXT_POSIX_FD_SUPPORT) == 0) return &descriptors;
  }
  return nullptr;
}
