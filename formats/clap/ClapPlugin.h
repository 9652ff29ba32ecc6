#pragma once
// Quelmar as a CLAP plug-in: a small host of the instance inside the same
// library. It turns CLAP's calls into the instance's requests (parameter
// events into set-parameter calls at their sample, activation into rate,
// block size and resume) and the instance's host requests into CLAP's
// (automation into parameter events, the editor's edit brackets into
// gestures, a new latency into a restart request). It owns no parameter,
// latency or meter rule of its own.

#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>

#include "formats/clap/ClapInterface.h"
#include "formats/clap/OutgoingEventQueue.h"
#include "formats/common/EmbeddedInstance.h"

class ClapEditor;

class ClapPlugin final : private EmbeddedInstance::Listener {
 public:
  static const clap_plugin_descriptor_t descriptor;

  // The plug-in record for the host, or null. Nothing of the host is called
  // here; the instance is made by init().
  static const clap_plugin_t* create(const clap_host_t* host);

 private:
  explicit ClapPlugin(const clap_host_t* host);
  ~ClapPlugin();

  static ClapPlugin* from(const clap_plugin_t* plugin);

  // clap_plugin_t
  bool init();
  bool activate(double sampleRate, std::uint32_t maxFrames);
  void deactivate();
  void reset();
  std::int32_t process(const clap_process_t& data);
  const void* extension(const char* id) const;

  // The parameters extension.
  bool parameterInfo(std::uint32_t index, clap_param_info_t& info) const;
  bool parameterValue(clap_id id, double& value) const;
  void flush(const clap_input_events_t* in, const clap_output_events_t* out);

  // The state extension.
  bool saveState(const clap_ostream_t& stream) const;
  bool loadState(const clap_istream_t& stream);

  // Input events, and output events for the host.
  class OutputScope;
  void processAroundEvents(const clap_process_t& data, float* const* in, float* const* out, std::uint32_t count);
  void applyEvent(const clap_event_header_t& event);
  void sendQueuedEvents();
  void pushValue(std::uint32_t index, std::uint32_t time);

  // EmbeddedInstance::Listener
  void parameterAutomated(std::int32_t index) override;
  void editBegun(std::int32_t index) override;
  void editEnded(std::int32_t index) override;
  void latencyMayHaveChanged() override;
  void queue(const OutgoingEvent& event);

  clap_plugin_t record{};
  const clap_host_t* host;
  const clap_host_params_t* hostParams = nullptr;
  const clap_host_latency_t* hostLatency = nullptr;

  std::unique_ptr<EmbeddedInstance> instance;
  std::unique_ptr<ClapEditor> editor;

  bool active = false;
  // The latency the host compensates since the last activation, and whether
  // a restart for a new one has been asked for already.
  std::uint32_t activeLatency = 0;
  bool latencyReported = false;
  std::atomic<bool> restartRequested{false};

  OutgoingEventQueue queued;
  // While process() or flush() runs: its output list and the sample reached.
  const clap_output_events_t* outputs = nullptr;
  std::uint32_t outputTime = 0;
  // The thread that applies an input event, while it does.
  std::atomic<std::thread::id> eventThread{};
};
