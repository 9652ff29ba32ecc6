#pragma once
// Many files with the same settings, rendered in parallel into one directory;
// with --album, one threshold for all of them, searched so that the album as
// one programme lands on the target loudness.

#include "host/render/Options.h"
#include "host/render/Report.h"

#include <string>

namespace render {

// Where each input goes: <outDir>/<input's name>.<--format or input's extension>.
// Throws UsageError when two inputs would land on the same output.
std::vector<std::string> batchOutputs(const Options& options);
// Where each input's picture goes with --plot-dir: <plotDir>/<input's name>.png;
// empty names without it. Throws UsageError when two would land on one.
std::vector<std::string> batchPlots(const Options& options);

// Renders every file it can; a file that fails is named on stderr, leaves
// nothing behind and does not stop the others. Throws RenderError only for
// what stops the whole batch (the directory).
BatchReport renderBatch(const Options& options, const std::string& pluginPath);

}  // namespace render
