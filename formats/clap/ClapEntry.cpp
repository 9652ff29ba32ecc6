// The library's one export: the CLAP entry, with a factory of one plug-in.

#include <cstring>

#include "formats/clap/ClapInterface.h"
#include "formats/clap/ClapPlugin.h"

namespace {

const clap_plugin_factory_t factory = {
    [](const clap_plugin_factory_t*) -> std::uint32_t { return 1; },
    [](const clap_plugin_factory_t*, std::uint32_t index) -> const clap_plugin_descriptor_t* {
      return index == 0 ? &ClapPlugin::descriptor : nullptr;
    },
    [](const clap_plugin_factory_t*, const clap_host_t* host, const char* id) -> const clap_plugin_t* {
      if (id == nullptr || std::strcmp(id, ClapPlugin::descriptor.id) != 0) return nullptr;
      return ClapPlugin::create(host);
    },
};

}  // namespace

#if defined(_WIN32)
#define QUELMAR_CLAP_EXPORT __declspec(dllexport)
#else
#define QUELMAR_CLAP_EXPORT __attribute__((visibility("default")))
#endif

// Nothing to set up or tear down per library: init and deinit may come in
// any number and order.
extern "C" QUELMAR_CLAP_EXPORT const clap_plugin_entry_t clap_entry = {
    CLAP_VERSION,
    [](const char*) { return true; },
    []() {},
    [](const char* id) -> const void* {
      return id != nullptr && std::strcmp(id, CLAP_PLUGIN_FACTORY_ID) == 0 ? &factory : nullptr;
    },
};
