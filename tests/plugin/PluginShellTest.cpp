// The plug-in as a host meets it: the entry point, the record, every request
// of the dispatcher, and the texts and parameters the host shows.

#include "AllocationCounter.h"
#include "PluginFixture.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <map>

namespace {

VstIntPtr VST_CALLBACK refusingHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
  return opcode == audioMasterVersion ? 0 : 44100;
}

bool hasEditor(host::HostedPlugin& plugin) { return (plugin.effect()->flags & effFlagsHasEditor) != 0; }

}  // namespace

TEST(EntryPoint, MainIsTheSameFunctionAsVSTPluginMain) {
  EXPECT_EQ(quelmarLibrary().symbol("main"), quelmarLibrary().symbol("VSTPluginMain"));
  EXPECT_NE(quelmarLibrary().symbol("VSTPluginMain"), nullptr);
}

TEST(EntryPoint, AHostAnsweringNoVersionGetsNothingAndNothingIsAllocated) {
  quelmarLibrary();  // loading the library allocates; that is not what is measured
  const allocations::Counts before = allocations::onThisThread();
  EXPECT_EQ(quelmarLibrary().entry()(&refusingHost), nullptr);
  EXPECT_EQ(quelmarLibrary().entry()(nullptr), nullptr);
  const allocations::Counts after = allocations::onThisThread();
  EXPECT_EQ(after.news, before.news);
}

TEST(EntryPoint, TheVersionRequestComesFirstAndCarriesNoRecord) {
  auto plugin = makeQuelmar();
  const std::vector<host::HostRequest> requests = plugin->requests();
  ASSERT_GE(requests.size(), 2u);
  EXPECT_EQ(requests[0].opcode, audioMasterVersion);
  EXPECT_EQ(requests[0].effect, nullptr);
  EXPECT_EQ(requests[1].opcode, audioMasterGetSampleRate);
  EXPECT_EQ(requests[1].effect, plugin->effect());
}

TEST(EntryPoint, CloseAnswersOneAndFreesEverything) {
  makeQuelmar();  // one-time set-up of the library and the runtime is not what is measured
  const allocations::Counts before = allocations::onThisThread();
  {
    auto plugin = makeQuelmar();
    plugin->dispatch(effOpen);
    plugin->dispatch(effMainsChanged, 0, 1);
    EXPECT_EQ(plugin->close(), 1);
  }
  const allocations::Counts after = allocations::onThisThread();
  EXPECT_EQ(after.news - before.news, after.deletes - before.deletes);
}

TEST(Record, FreshInstanceFields) {
  auto plugin = makeQuelmar();
  const AEffect* e = plugin->effect();
  EXPECT_EQ(e->magic, 0x56737450);
  EXPECT_EQ(e->numPrograms, 1);
  EXPECT_EQ(e->numParams, 4);
  EXPECT_EQ(e->numInputs, 2);
  EXPECT_EQ(e->numOutputs, 2);
  EXPECT_EQ(e->flags & ~effFlagsHasEditor, 0x18);
  EXPECT_EQ(e->uniqueID, 0x516C4D72);
  EXPECT_EQ(e->version, 1);
  EXPECT_EQ(e->initialDelay, 55);
  EXPECT_EQ(e->ioRatio, 1.0f);
  EXPECT_EQ(e->resvd1, 0);
  EXPECT_EQ(e->resvd2, 0);
  EXPECT_EQ(e->realQualities, 0);
  EXPECT_EQ(e->offQualities, 0);
  EXPECT_NE(e->object, nullptr);
  EXPECT_NE(e->process, nullptr);
  EXPECT_NE(e->processReplacing, nullptr);
  ASSERT_NE(e->processDoubleReplacing, nullptr);
  for (char c : e->future) EXPECT_EQ(c, 0);

  // The double-precision entry exists but leaves the buffers alone.
  double in[4] = {0.5, 0.5, 0.5, 0.5}, out[4] = {7, 7, 7, 7};
  double* ins[2] = {in, in + 2};
  double* outs[2] = {out, out + 2};
  plugin->effect()->processDoubleReplacing(plugin->effect(), ins, outs, 2);
  for (double v : out) EXPECT_EQ(v, 7.0);
  float fin[2] = {1, 1}, fout[2] = {3, 3};
  float* fins[2] = {fin, fin + 1};
  float* fouts[2] = {fout, fout + 1};
  plugin->effect()->process(plugin->effect(), fins, fouts, 1);
  EXPECT_EQ(fout[0], 3.0f);
}

TEST(Record, LatencyFollowsTheHostRateAndDetection) {
  const struct {
    VstIntPtr rate;
    int off, on;
  } cases[] = {{44100, 55, 61}, {48000, 60, 66}, {96000, 120, 126}, {0, 55, 61}, {-1, 55, 61}};
  for (const auto& c : cases) {
    host::HostAnswers answers;
    answers.sampleRate = c.rate;
    auto plugin = makeQuelmar(answers);
    EXPECT_EQ(plugin->effect()->initialDelay, c.off) << c.rate;
    plugin->setParameter(3, 1.0f);
    EXPECT_EQ(plugin->effect()->initialDelay, c.on) << c.rate;
  }
}

TEST(Record, AnyNonZeroVersionAnswerIsEnough) {
  host::HostAnswers answers;
  answers.version = 2;  // some hosts answer the interface's major version only
  auto plugin = makeQuelmar(answers);
  ASSERT_TRUE(plugin);
  EXPECT_EQ(plugin->dispatch(effGetVstVersion), 2400);
}

TEST(Dispatcher, EveryRequestOfTheTable) {
  std::map<VstInt32, VstIntPtr> expected;
  for (VstInt32 op = 0; op <= 79; ++op) expected[op] = 0;
  expected[effIdentify] = 0x4E764566;
  expected[effCanBeAutomated] = 1;
  expected[effGetPlugCategory] = 1;
  expected[effGetEffectName] = 1;
  expected[effGetVendorString] = 1;
  expected[effGetProductString] = 1;
  expected[effGetVendorVersion] = 1440;
  expected[effGetVstVersion] = 2400;
  expected[effGetCurrentMidiProgram] = -1;
  expected[effSetTotalSampleToProcess] = 12345;
  expected.erase(effClose);

  for (const auto& [opcode, answer] : expected) {
    auto plugin = makeQuelmar();
    const bool editor = hasEditor(*plugin);
    char buffer[256] = {};
    void* arrangementIn = &buffer;
    void* arrangementOut = &buffer;
    ERect* rect = nullptr;
    void* chunk = nullptr;
    VstIntPtr value = 0;
    void* ptr = buffer;
    float opt = 0.0f;
    switch (opcode) {
      case effSetSampleRate: opt = 48000.0f; break;
      case effSetBlockSize: value = 512; break;
      case effMainsChanged: value = 1; break;
      case effEditGetRect: ptr = &rect; break;
      case effEditOpen: ptr = nullptr; break;
      case effGetChunk: ptr = &chunk; break;
      case effGetSpeakerArrangement:
        value = reinterpret_cast<VstIntPtr>(&arrangementIn);
        ptr = &arrangementOut;
        break;
      case effSetTotalSampleToProcess: value = 12345; break;
      default: break;
    }
    VstIntPtr want = answer;
    if (editor && (opcode == effEditGetRect || opcode == effSetEditKnobMode)) want = 1;
    if (opcode == effEditOpen || opcode == effEditKeyDown || opcode == effEditKeyUp) continue;  // editor tests
    EXPECT_EQ(plugin->dispatch(opcode, 0, value, ptr, opt), want) << "opcode " << opcode;
    if (opcode == effGetSpeakerArrangement) {
      EXPECT_EQ(arrangementIn, nullptr);
      EXPECT_EQ(arrangementOut, nullptr);
    }
    if (opcode == effGetChunk) {
      EXPECT_EQ(chunk, nullptr);
    }
  }

  auto plugin = makeQuelmar();
  EXPECT_EQ(plugin->dispatch(80), 0);
  EXPECT_EQ(plugin->dispatch(-1), 0);
  EXPECT_EQ(plugin->dispatch(std::numeric_limits<VstInt32>::min()), 0);
  EXPECT_EQ(plugin->dispatch(effGetSpeakerArrangement, 0, 0, nullptr), 0) << "null addresses are skipped";
  EXPECT_EQ(plugin->dispatch(effSetTotalSampleToProcess, 0, -7), -7);
}

TEST(Dispatcher, CanDoAnswersZeroForEveryCapability) {
  auto plugin = makeQuelmar();
  for (const char* capability : {"receiveVstEvents", "receiveVstMidiEvent", "bypass", "sendVstEvents", "offline",
                                 "plugAsChannelInsert", "", "anything"}) {
    EXPECT_EQ(plugin->dispatch(effCanDo, 0, 0, const_cast<char*>(capability)), 0) << capability;
  }
  EXPECT_EQ(plugin->dispatch(effCanDo, 0, 0, nullptr), 0);
}

TEST(Dispatcher, IdentityTexts) {
  auto plugin = makeQuelmar();
  EXPECT_EQ(text(*plugin, effGetEffectName), "QuelmarVostel");
  EXPECT_EQ(text(*plugin, effGetVendorString), "Orvel Stamik");
  EXPECT_EQ(text(*plugin, effGetProductString), "Quelmar");
}

TEST(Dispatcher, MissingTextBuffersAreNotWrittenThrough) {
  auto plugin = makeQuelmar();
  for (VstInt32 op : {effSetProgramName, effGetProgramName, effGetParamLabel, effGetParamDisplay, effGetParamName,
                      effGetEffectName, effGetVendorString, effGetProductString, effEditGetRect, effGetChunk,
                      effString2Parameter, effGetProgramNameIndexed, effShellGetNextPlugin}) {
    EXPECT_EQ(plugin->dispatch(op, 0, 0, nullptr), 0) << "opcode " << op;
  }
  plugin->processReplacing(nullptr, nullptr, 64);
  float buffer[64] = {};
  float* partial[2] = {buffer, nullptr};
  plugin->processReplacing(partial, partial, 64);
  EXPECT_EQ(plugin->effect()->dispatcher(nullptr, effGetVstVersion, 0, 0, nullptr, 0.0f), 0);
}

TEST(Dispatcher, ProgramNumberAndName) {
  auto plugin = makeQuelmar();
  EXPECT_EQ(text(*plugin, effGetProgramName), "Default");
  plugin->dispatch(effSetProgram, 0, 1);
  EXPECT_EQ(plugin->dispatch(effGetProgram), 0);
  plugin->dispatch(effSetProgram, 0, 0);
  EXPECT_EQ(plugin->dispatch(effGetProgram), 0);

  char longName[] = "A thirty character long name!!";
  plugin->dispatch(effSetProgramName, 0, 0, longName);
  char name[40];
  std::memset(name, 'x', sizeof name);
  plugin->dispatch(effGetProgramName, 0, 0, name);
  EXPECT_EQ(std::string(name), std::string(longName, 24));
  EXPECT_EQ(name[25], 'x') << "exactly 25 bytes are written";

  char shortName[] = "Mix";
  plugin->dispatch(effSetProgramName, 0, 0, shortName);
  std::memset(name, 'x', sizeof name);
  plugin->dispatch(effGetProgramName, 0, 0, name);
  EXPECT_EQ(std::string(name), "Mix");
  for (int i = 3; i <= 24; ++i) EXPECT_EQ(name[i], 0) << "zero padded";
}

TEST(Dispatcher, SampleRateChangesTheLatencyWithoutTellingTheHost) {
  auto plugin = makeQuelmar();
  plugin->clearRequests();
  plugin->dispatch(effSetSampleRate, 0, 0, nullptr, 44100.0f);
  EXPECT_EQ(plugin->effect()->initialDelay, 55);
  plugin->dispatch(effSetSampleRate, 0, 0, nullptr, 96000.0f);
  EXPECT_EQ(plugin->effect()->initialDelay, 120);
  plugin->dispatch(effSetSampleRate, 0, 0, nullptr, std::numeric_limits<float>::quiet_NaN());
  EXPECT_EQ(plugin->effect()->initialDelay, 55) << "an unusable rate means 44100";
  plugin->dispatch(effSetSampleRate, 0, 0, nullptr, std::numeric_limits<float>::infinity());
  EXPECT_EQ(plugin->effect()->initialDelay, 480);
  plugin->dispatch(effSetSampleRate, 0, 0, nullptr, 1000.0f);
  EXPECT_EQ(plugin->effect()->initialDelay, 2);
  EXPECT_TRUE(plugin->requests().empty());
}

TEST(Parameters, NamesLabelsAndDisplays) {
  auto plugin = makeQuelmar();
  const char* names[] = {"Thresh", "Output", "Fader Link", "ISP Detection"};
  const char* labels[] = {"dB", "dB", "", ""};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(text(*plugin, effGetParamName, i), names[i]);
    EXPECT_EQ(text(*plugin, effGetParamLabel, i), labels[i]);
  }
  EXPECT_EQ(text(*plugin, effGetParamDisplay, 0), "0.0");
  EXPECT_EQ(text(*plugin, effGetParamDisplay, 2), "OFF");

  // Unknown indices leave names and labels untouched and give an empty display.
  char buffer[16];
  std::strcpy(buffer, "keep");
  plugin->dispatch(effGetParamName, 4, 0, buffer);
  plugin->dispatch(effGetParamLabel, -1, 0, buffer);
  EXPECT_STREQ(buffer, "keep");
  plugin->dispatch(effGetParamDisplay, 9, 0, buffer);
  EXPECT_STREQ(buffer, "");
  EXPECT_EQ(plugin->getParameter(4), 0.0f);

  const struct {
    int index;
    float value;
    const char* display;
  } cases[] = {{0, 0.5f, "-15.0"}, {0, 0.9999f, "-0.0"}, {0, 0.0f, "-30.0"}, {0, 1e20f, "3000000"},
               {1, 0.75f, "-7.5"},  {1, 1.1f, "3.0"},     {2, 0.5f, "OFF"},  {2, 0.51f, "ON"},
               {3, 1.0f, "ON"}};
  for (const auto& c : cases) {
    plugin->setParameter(c.index, c.value);
    const std::string shown = text(*plugin, effGetParamDisplay, c.index);
    EXPECT_EQ(shown.substr(0, 7), std::string(c.display).substr(0, 7)) << c.index << " " << c.value;
    EXPECT_LE(shown.size(), 8u);
  }
}

TEST(Parameters, ValuesAreHeldAsGivenAndSwitchesAsFlags) {
  auto plugin = makeQuelmar();
  EXPECT_EQ(plugin->getParameter(0), 1.0f);
  EXPECT_EQ(plugin->getParameter(1), 1.0f);
  plugin->setParameter(0, 0.123f);
  EXPECT_EQ(plugin->getParameter(0), 0.123f);
  plugin->setParameter(2, 0.7f);
  EXPECT_EQ(plugin->getParameter(2), 1.0f);
  plugin->setParameter(3, 0.5f);
  EXPECT_EQ(plugin->getParameter(3), 0.0f);
  for (float bad : {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity()}) {
    plugin->setParameter(0, bad);
    plugin->setParameter(2, bad);
    EXPECT_EQ(plugin->getParameter(0), 0.123f);
    EXPECT_EQ(plugin->getParameter(2), 1.0f);
  }
  EXPECT_EQ(plugin->dispatch(effCanBeAutomated, 77), 1);
}

TEST(Parameters, FaderLinkMovesTheOutputAndTellsTheHost) {
  auto plugin = makeQuelmar();
  plugin->setParameter(2, 1.0f);
  plugin->setParameter(1, 0.8f);
  plugin->clearRequests();
  plugin->setParameter(0, 0.7f);
  EXPECT_NEAR(plugin->getParameter(1), 0.5f, 1e-6);
  auto automate = requestsWith(*plugin, audioMasterAutomate);
  ASSERT_EQ(automate.size(), 1u);
  EXPECT_EQ(automate[0].index, 1);
  EXPECT_EQ(automate[0].opt, plugin->getParameter(1));
  EXPECT_EQ(plugin->countRequests(audioMasterUpdateDisplay), 1u);
  EXPECT_EQ(plugin->requests().size(), 2u);
  EXPECT_EQ(plugin->requests()[0].opcode, audioMasterAutomate) << "automate first, then the display";
  EXPECT_EQ(text(*plugin, effGetParamDisplay, 1), "-15.0");

  // The output stops at its bound and the threshold stops short with it.
  plugin->setParameter(0, 0.6f);
  plugin->setParameter(1, 0.9f);
  plugin->setParameter(0, 0.9f);
  EXPECT_EQ(plugin->getParameter(1), 1.0f);
  EXPECT_NEAR(plugin->getParameter(0), 0.7f, 1e-6);
  plugin->setParameter(1, 0.05f);
  plugin->setParameter(0, plugin->getParameter(0) - 0.1f);
  EXPECT_EQ(plugin->getParameter(1), 0.0f);

  // Moving the output alone never moves the threshold.
  const float threshold = plugin->getParameter(0);
  plugin->clearRequests();
  plugin->setParameter(1, 0.3f);
  EXPECT_EQ(plugin->getParameter(0), threshold);
  EXPECT_TRUE(plugin->requests().empty());
}

TEST(Parameters, DetectionSwitchReportsTheLatencyEveryTime) {
  auto plugin = makeQuelmar();
  plugin->clearRequests();
  plugin->setParameter(3, 0.5f);
  EXPECT_EQ(plugin->effect()->initialDelay, 55);
  EXPECT_EQ(plugin->countRequests(audioMasterIOChanged), 1u);
  plugin->setParameter(3, 0.51f);
  EXPECT_EQ(plugin->effect()->initialDelay, 61);
  plugin->setParameter(3, 1.0f);
  EXPECT_EQ(plugin->effect()->initialDelay, 61);
  EXPECT_EQ(plugin->countRequests(audioMasterIOChanged), 3u);
  plugin->setParameter(3, 0.0f);
  EXPECT_EQ(plugin->effect()->initialDelay, 55);
}

TEST(Parameters, SettingsThroughTheDispatcherAndDirectEntriesAgree) {
  auto plugin = makeQuelmar();
  plugin->setParameter(0, 0.5f);
  EXPECT_EQ(plugin->effect()->getParameter(plugin->effect(), 0), 0.5f);
  EXPECT_EQ(plugin->effect()->getParameter(nullptr, 0), 0.0f);
  plugin->effect()->setParameter(nullptr, 0, 0.1f);  // a host bug must not crash us
  EXPECT_EQ(plugin->getParameter(0), 0.5f);
}
