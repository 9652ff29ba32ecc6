// Quelmar.clap as a CLAP host meets it: its descriptor and ports, audio that
// is bit for bit the VST build's, parameters, state, latency, and every entry
// surviving what a careless host may pass.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <tuple>

#include "AllocationCounter.h"
#include "clap/ClapTestHost.h"
#include "plugin/PluginFixture.h"
#include "plugin/QuelmarParameters.h"
#include "support/TestSignals.h"

namespace {

using namespace claptest;
using QuelmarParameters::normalisedForTenths;
using QuelmarParameters::plainOf;
using testsignals::Stereo;

const ClapLibrary& library() {
  static ClapLibrary lib(QUELMAR_CLAP_PATH);
  return lib;
}

// A session as both hosts play it: blocks, parameter changes between them
// (normalised, as the VST host sets them; the CLAP host sends the plain value
// the instance shows for it), resets and new sample rates.
struct Op {
  enum Kind { kProcess, kSet, kReset, kRate } kind;
  int index = 0;
  float value = 0.0f;  // normalised for kSet, Hz for kRate
  std::uint32_t frames = 0;
};

Stereo renderVst(const Stereo& in, float rate, const std::vector<Op>& ops) {
  auto p = makeRunningQuelmar(rate);
  Stereo out(in.frames());
  std::size_t at = 0;
  for (const Op& op : ops) {
    switch (op.kind) {
      case Op::kProcess:
        processThrough(*p, &in.left[at], &in.right[at], &out.left[at], &out.right[at], int(op.frames));
        at += op.frames;
        break;
      case Op::kSet: p->setParameter(op.index, op.value); break;
      case Op::kReset:
        p->dispatch(effMainsChanged, 0, 0);
        p->dispatch(effMainsChanged, 0, 1);
        break;
      case Op::kRate:
        p->dispatch(effMainsChanged, 0, 0);
        p->dispatch(effSetSampleRate, 0, 0, nullptr, op.value);
        p->dispatch(effMainsChanged, 0, 1);
        break;
    }
  }
  return out;
}

Stereo renderClap(const Stereo& in, float rate, const std::vector<Op>& ops, bool inPlace = false) {
  ClapTestHost h(library());
  EXPECT_TRUE(h.activate(rate));
  Stereo out = in;
  if (!inPlace) std::fill(out.left.begin(), out.left.end(), 7.0f);
  std::size_t at = 0;
  for (const Op& op : ops) {
    switch (op.kind) {
      case Op::kProcess: {
        const float* l = inPlace ? &out.left[at] : &in.left[at];
        const float* r = inPlace ? &out.right[at] : &in.right[at];
        EXPECT_EQ(h.process(l, r, &out.left[at], &out.right[at], op.frames), CLAP_PROCESS_CONTINUE);
        at += op.frames;
        break;
      }
      case Op::kSet: h.setParameter(clap_id(op.index), plainOf(op.index, op.value)); break;
      case Op::kReset: h.plugin->reset(h.plugin); break;
      case Op::kRate:
        h.deactivate();
        EXPECT_TRUE(h.activate(op.value));
        break;
    }
  }
  return out;
}

void expectSameBits(const Stereo& a, const Stereo& b) { EXPECT_EQ(testsignals::firstDifferentFrame(a, b), b.frames()); }

// Blocks of one size over the signal, with settings moving every few blocks.
std::vector<Op> session(std::size_t frames, std::uint32_t block, bool withResetAndRate) {
  std::vector<Op> ops{{Op::kSet, 0, normalisedForTenths(-80)}, {Op::kSet, 1, normalisedForTenths(-10)}};
  std::size_t done = 0;
  for (int n = 0; done < frames; ++n) {
    if (n % 9 == 4) ops.push_back({Op::kSet, 0, normalisedForTenths(-10 * (n % 23))});
    if (n % 13 == 6) ops.push_back({Op::kSet, 3, float(n / 13 % 2)});
    if (n % 17 == 8) ops.push_back({Op::kSet, 2, float(n / 17 % 2)});
    if (withResetAndRate && done >= frames / 3 && done < frames / 3 + block) ops.push_back({Op::kReset});
    if (withResetAndRate && done >= 2 * frames / 3 && done < 2 * frames / 3 + block)
      ops.push_back({Op::kRate, 0, 96000.0f});
    const auto n2 = std::uint32_t(std::min<std::size_t>(block, frames - done));
    ops.push_back({Op::kProcess, 0, 0.0f, n2});
    done += n2;
  }
  return ops;
}

TEST(Clap, TheFactoryDescribesOneStereoEffect) {
  ASSERT_TRUE(library().factory);
  EXPECT_EQ(library().factory->get_plugin_count(library().factory), 1u);
  const clap_plugin_descriptor_t* d = library().factory->get_plugin_descriptor(library().factory, 0);
  ASSERT_TRUE(d);
  EXPECT_EQ(std::string(d->id) + "|" + d->name + "|" + d->vendor + "|" + d->version,
            "com.orvelstamik.quelmar|Quelmar|Orvel Stamik|1.4.4");
  std::string features;
  for (const char* const* f = d->features; *f; ++f) features += std::string(*f) + " ";
  EXPECT_EQ(features, "audio-effect limiter mastering stereo ");

  ClapTestHost h(library());
  auto* ports = h.extension<clap_plugin_audio_ports_t>(CLAP_EXT_AUDIO_PORTS);
  ASSERT_TRUE(ports);
  for (bool input : {true, false}) {
    clap_audio_port_info_t info{};
    EXPECT_EQ(ports->count(h.plugin, input), 1u);
    ASSERT_TRUE(ports->get(h.plugin, 0, input, &info));
    EXPECT_TRUE(info.channel_count == 2 && info.flags == CLAP_AUDIO_PORT_IS_MAIN && info.in_place_pair == 0);
    EXPECT_STREQ(info.port_type, CLAP_PORT_STEREO);
  }
  const char* names[] = {"Thresh", "Output", "Fader Link", "ISP Detection"};
  ASSERT_EQ(h.params()->count(h.plugin), 4u);
  for (std::uint32_t i = 0; i < 4; ++i) {
    clap_param_info_t info{};
    ASSERT_TRUE(h.params()->get_info(h.plugin, i, &info));
    EXPECT_STREQ(info.name, names[i]);
    EXPECT_EQ(std::make_tuple(info.id, info.min_value, info.max_value, info.default_value),
              std::make_tuple(i, i < 2 ? -30.0 : 0.0, i < 2 ? 0.0 : 1.0, 0.0));
    EXPECT_EQ(info.flags, i < 2 ? std::uint32_t(CLAP_PARAM_IS_AUTOMATABLE)
                                : std::uint32_t(CLAP_PARAM_IS_AUTOMATABLE | CLAP_PARAM_IS_STEPPED));
  }
}

// Partitions, setting changes at block starts, a reset, a new rate by
// reactivation: every sample as the VST build gives it.
TEST(Clap, RendersBitForBitLikeTheVstBuild) {
  const auto in = testsignals::program(44100 * 2, 11, 1.6f);
  for (std::uint32_t block : {1u, 7u, 64u, 4096u}) {
    SCOPED_TRACE(block);
    const auto ops = session(in.frames(), block, block != 1);
    const Stereo reference = renderVst(in, 44100.0f, ops);
    expectSameBits(renderClap(in, 44100.0f, ops), reference);
    if (block == 64) expectSameBits(renderClap(in, 44100.0f, ops, true), reference);
  }
}

// An event inside a block applies from its own sample on.
TEST(Clap, AnEventInsideABlockTakesEffectAtItsSample) {
  const auto in = testsignals::program(8192, 5, 1.8f);
  const Stereo reference = renderVst(in, 48000.0f,
                                     {{Op::kProcess, 0, 0, 1000},
                                      {Op::kSet, 0, normalisedForTenths(-120)},
                                      {Op::kProcess, 0, 0, 2500},
                                      {Op::kSet, 3, 1.0f},
                                      {Op::kProcess, 0, 0, 4692}});
  ClapTestHost h(library());
  ASSERT_TRUE(h.activate(48000.0, 8192));
  Stereo out(8192);
  h.setParameter(0, -12.0, 1000);
  h.setParameter(3, 1.0, 3500);
  h.process(in.left.data(), in.right.data(), out.left.data(), out.right.data(), 8192);
  expectSameBits(out, reference);
}

TEST(Clap, ParameterTextsAreTheInstancesAndReadBack) {
  ClapTestHost h(library());
  auto vst = makeQuelmar();
  for (int tenths = -300; tenths <= 0; ++tenths) {
    vst->setParameter(1, normalisedForTenths(tenths));
    const std::string expected = text(*vst, effGetParamDisplay, 1) + " dB";
    const std::string shown = h.text(1, tenths / 10.0);
    ASSERT_EQ(shown, expected);
    double back = 1.0;
    ASSERT_TRUE(h.params()->text_to_value(h.plugin, 1, shown.c_str(), &back));
    ASSERT_EQ(back, tenths / 10.0);
  }
  EXPECT_EQ(h.text(3, 1.0), "ON");
  EXPECT_EQ(h.text(2, 0.0), "OFF");
  double v = -1;
  EXPECT_TRUE(h.params()->text_to_value(h.plugin, 2, " on ", &v));
  EXPECT_EQ(v, 1.0);
  EXPECT_TRUE(h.params()->text_to_value(h.plugin, 0, "-45", &v));
  EXPECT_EQ(v, -30.0);
  for (const char* bad : {"", "dB", "loud", "-3 dBFS", "nan"}) EXPECT_FALSE(h.params()->text_to_value(h.plugin, 0, bad, &v)) << bad;
  EXPECT_FALSE(h.params()->text_to_value(h.plugin, 3, "maybe", &v));

  // Between tenths the instance decides where a value lands.
  h.setParameter(0, -12.34);
  h.flush();
  EXPECT_EQ(h.value(0), -12.3);
  EXPECT_EQ(h.text(0, -12.34), "-12.3 dB");
}

// With the link on the output follows the threshold, and the host hears it
// as an event of the output, at the threshold's sample; a threshold held
// back by the output's bound is reported where it stopped.
TEST(Clap, TheLinkedOutputReachesTheHost) {
  ClapTestHost h(library());
  ASSERT_TRUE(h.activate(44100.0));
  std::vector<float> l(256), r(256), ol(256), orr(256);
  h.setParameter(1, -6.0);
  h.setParameter(2, 1.0);
  h.process(l.data(), r.data(), ol.data(), orr.data(), 256);
  EXPECT_TRUE(h.takeOutput().empty());

  h.setParameter(0, -9.0, 100);
  h.process(l.data(), r.data(), ol.data(), orr.data(), 256);
  auto events = h.takeOutput();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].type, CLAP_EVENT_PARAM_VALUE);
  EXPECT_EQ(events[0].param, 1u);
  EXPECT_EQ(events[0].value, -15.0);
  EXPECT_EQ(events[0].time, 100u);
  EXPECT_EQ(h.value(1), -15.0);

  // Outside processing the same comes through flush(). Up by 9 dB with the
  // output at -5 dB: the output stops at 0 dB, the threshold at -4 dB.
  h.deactivate();
  h.setParameter(1, -5.0);
  h.flush();
  EXPECT_TRUE(h.takeOutput().empty());
  h.setParameter(0, 0.0);
  h.flush();
  events = h.takeOutput();
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].param, 1u);
  EXPECT_EQ(events[0].value, 0.0);
  EXPECT_EQ(events[1].param, 0u);
  EXPECT_EQ(events[1].value, -4.0);
  EXPECT_EQ(h.value(0), -4.0);
}

TEST(Clap, StateRoundTripsAndRefusesGarbage) {
  ClapTestHost a(library());
  a.setParameter(0, -7.5);
  a.setParameter(1, -1.0);
  a.setParameter(3, 1.0);
  a.setParameter(2, 1.0);
  a.flush();
  const auto saved = a.saveState(3);  // a host that takes three bytes a write
  ASSERT_FALSE(saved.empty());
  EXPECT_LE(saved.size(), 64u);

  ClapTestHost b(library());
  ASSERT_TRUE(b.loadState(saved, 5));
  for (clap_id i = 0; i < 4; ++i) EXPECT_EQ(b.value(i), a.value(i)) << i;

  ClapTestHost c(library());
  c.setParameter(0, -3.0);
  c.flush();
  std::vector<std::vector<unsigned char>> garbage = {
      {}, {1, 2, 3}, std::vector<unsigned char>(saved.begin(), saved.end() - 1), std::vector<unsigned char>(4096, 0xAB)};
  auto longer = saved;
  longer.push_back(0);
  garbage.push_back(longer);
  auto otherVersion = saved;
  otherVersion[4] = 99;
  garbage.push_back(otherVersion);
  auto notANumber = saved;
  std::fill(notANumber.end() - 4, notANumber.end(), 0xFF);
  garbage.push_back(notANumber);
  for (const auto& bytes : garbage) {
    EXPECT_FALSE(c.loadState(bytes)) << bytes.size();
    EXPECT_EQ(c.value(0), -3.0);
    EXPECT_EQ(c.value(3), 0.0);
  }
}

// The latency is the instance's; a switch of detection while active asks for
// a restart, and the next activation reports the new latency.
TEST(Clap, ALatencyChangeWaitsForARestart) {
  ClapTestHost h(library());
  ASSERT_TRUE(h.activate(48000.0));
  EXPECT_EQ(h.latency(), 60u);
  EXPECT_EQ(h.latencyChanges, 0);
  std::vector<float> l(64), r(64), ol(64), orr(64);
  h.setParameter(3, 1.0, 10);
  h.process(l.data(), r.data(), ol.data(), orr.data(), 64);
  h.setParameter(3, 1.0);
  h.process(l.data(), r.data(), ol.data(), orr.data(), 64);
  EXPECT_EQ(h.restartRequests, 1);
  h.deactivate();
  ASSERT_TRUE(h.activate(48000.0));
  EXPECT_EQ(h.latency(), 66u);
  EXPECT_EQ(h.latencyChanges, 1);
  // Off and on again before the restart came: nothing new to report.
  h.setParameter(3, 0.0);
  h.setParameter(3, 1.0, 5);
  h.process(l.data(), r.data(), ol.data(), orr.data(), 64);
  EXPECT_EQ(h.restartRequests, 2);
  h.deactivate();
  ASSERT_TRUE(h.activate(48000.0));
  EXPECT_EQ(h.latencyChanges, 1);
  h.deactivate();
  ASSERT_TRUE(h.activate(96000.0));
  EXPECT_EQ(h.latency(), 126u);
  EXPECT_EQ(h.latencyChanges, 2);
}

// Null records, unknown ids, values that are not numbers, events of unknown
// kinds or cut short, missing buffers: nothing breaks, every sample finite,
// and the audio thread allocates nothing.
TEST(Clap, EveryEntrySurvivesWhatAHostMayPass) {
  const clap_plugin_factory_t* f = library().factory;
  EXPECT_EQ(f->create_plugin(f, nullptr, "com.orvelstamik.quelmar"), nullptr);
  const clap_host_t old{{0, 9, 0}, nullptr, "old", "", "", "0", nullptr, nullptr, nullptr, nullptr};
  EXPECT_EQ(f->create_plugin(f, &old, "com.orvelstamik.quelmar"), nullptr);
  ClapTestHost h(library());
  EXPECT_EQ(f->create_plugin(f, &old, nullptr), nullptr);
  EXPECT_EQ(library().entry->get_factory(nullptr), nullptr);
  EXPECT_EQ(library().entry->get_factory("clap.nothing"), nullptr);
  EXPECT_EQ(h.plugin->get_extension(h.plugin, nullptr), nullptr);
  EXPECT_EQ(h.plugin->get_extension(nullptr, CLAP_EXT_PARAMS), nullptr);
  EXPECT_EQ(h.plugin->process(h.plugin, nullptr), CLAP_PROCESS_ERROR);
  EXPECT_FALSE(h.plugin->activate(h.plugin, std::nan(""), 1, 64));
  EXPECT_FALSE(h.plugin->activate(h.plugin, 0.0, 1, 64));
  auto* p = h.params();
  clap_param_info_t info;
  double v = 0;
  char text[8];
  EXPECT_FALSE(p->get_info(h.plugin, 4, &info));
  EXPECT_FALSE(p->get_info(h.plugin, 0, nullptr));
  EXPECT_FALSE(p->get_value(h.plugin, 99, &v));
  EXPECT_FALSE(p->get_value(nullptr, 0, &v));
  EXPECT_FALSE(p->value_to_text(h.plugin, 0, std::numeric_limits<double>::infinity(), text, sizeof text));
  EXPECT_FALSE(p->value_to_text(h.plugin, 0, -1.0, nullptr, 8));
  EXPECT_TRUE(p->value_to_text(h.plugin, 3, 1.0, text, 2));
  EXPECT_STREQ(text, "O");
  EXPECT_FALSE(p->text_to_value(h.plugin, 0, nullptr, &v));
  p->flush(h.plugin, nullptr, nullptr);
  EXPECT_FALSE(h.state()->save(h.plugin, nullptr));
  EXPECT_FALSE(h.state()->load(h.plugin, nullptr));

  ASSERT_TRUE(h.activate(192000.0, 4096));
  auto in = testsignals::program(4096, 3, 4.0f);
  in.left[100] = std::numeric_limits<float>::quiet_NaN();
  in.right[900] = std::numeric_limits<float>::infinity();
  std::vector<float> ol(4096), orr(4096);
  for (double bad : {std::nan(""), std::numeric_limits<double>::infinity(), 1e300, -1e300}) h.setParameter(0, bad);
  h.setParameter(77, -3.0);
  clap_event_param_value_t cut{};
  cut.header = {8, 5, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_PARAM_VALUE, 0};
  h.sendRaw(&cut.header, sizeof cut);
  clap_event_header_t odd{sizeof(clap_event_header_t), 9999999, 7, 42, 0};
  h.sendRaw(&odd, sizeof odd);
  const auto before = allocations::onThisThread();
  EXPECT_EQ(h.process(in.left.data(), in.right.data(), ol.data(), orr.data(), 4096), CLAP_PROCESS_CONTINUE);
  for (std::size_t i = 0; i < 4096; ++i) ASSERT_TRUE(std::isfinite(ol[i]) && std::isfinite(orr[i])) << i;
  for (std::size_t i = 0; i < 4096; ++i) ASSERT_LE(std::fabs(ol[i]), 1.0f) << i;

  // No input buffers: silence in; no output buffers: nothing written.
  clap_process_t data{};
  data.frames_count = 64;
  float* outs[2] = {ol.data(), orr.data()};
  clap_audio_buffer_t out{outs, nullptr, 2, 0, 0};
  data.audio_outputs = &out;
  data.audio_outputs_count = 1;
  EXPECT_EQ(h.plugin->process(h.plugin, &data), CLAP_PROCESS_CONTINUE);
  EXPECT_EQ(ol[0], 0.0f);
  clap_audio_buffer_t mono{outs, nullptr, 1, 0, 0};
  data.audio_outputs = &mono;
  EXPECT_EQ(h.plugin->process(h.plugin, &data), CLAP_PROCESS_CONTINUE);
  h.plugin->reset(h.plugin);
  const auto after = allocations::onThisThread();
  EXPECT_EQ(after.news, before.news);
  EXPECT_EQ(after.deletes, before.deletes);
}

// Without a host loop to run it, a Linux GUI would be a window nobody paints.
TEST(Clap, TheGuiNeedsTheHostsLoopOnLinux) {
  ClapTestHost without(library(), Offers{false, false, true, true});
  ASSERT_TRUE(without.gui());
  EXPECT_TRUE(without.gui()->is_api_supported(without.plugin, CLAP_WINDOW_API_X11, false));
  EXPECT_FALSE(without.gui()->is_api_supported(without.plugin, CLAP_WINDOW_API_X11, true));
  EXPECT_FALSE(without.gui()->is_api_supported(without.plugin, CLAP_WINDOW_API_WAYLAND, false));
  EXPECT_FALSE(without.gui()->create(without.plugin, CLAP_WINDOW_API_X11, false));

  ClapTestHost h(library());
  auto* gui = h.gui();
  const char* api = nullptr;
  bool floating = true;
  ASSERT_TRUE(gui->get_preferred_api(h.plugin, &api, &floating));
  EXPECT_STREQ(api, CLAP_WINDOW_API_X11);
  EXPECT_FALSE(floating);
  EXPECT_FALSE(gui->show(h.plugin));  // nothing created yet
  ASSERT_TRUE(gui->create(h.plugin, CLAP_WINDOW_API_X11, false));
  std::uint32_t w = 0, hgt = 0;
  ASSERT_TRUE(gui->get_size(h.plugin, &w, &hgt));
  EXPECT_EQ(w, 340u);
  EXPECT_EQ(hgt, 215u);
  EXPECT_FALSE(gui->can_resize(h.plugin));
  EXPECT_TRUE(gui->set_size(h.plugin, 340, 215));
  EXPECT_FALSE(gui->set_size(h.plugin, 400, 300));
  EXPECT_FALSE(gui->set_parent(h.plugin, nullptr));
  clap_window_t wrong{CLAP_WINDOW_API_WIN32, {}};
  EXPECT_FALSE(gui->set_parent(h.plugin, &wrong));
  gui->destroy(h.plugin);
  gui->destroy(h.plugin);
  EXPECT_TRUE(h.timers.empty());
}

}  // namespace
