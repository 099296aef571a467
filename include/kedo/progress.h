// Where an engine object's progress goes: the timing lines, the "Saved" lines
// and the warnings of its operations.
//
//   kedo::KEDO engine("/srv/kedo");
//   engine.setProgressSink(kedo::progressToFile("/var/log/kedo.log"));
//   engine.setProgressSink([](std::string_view text) { log(text); });
//   engine.setProgressSink(nullptr);                    // nothing
//
// Each engine object owns its sink; standard output is the default. The sink
// is called on the thread that runs the operation, with whole lines (one or
// more, each ending in "\n"; only the last text of an operation may lack the
// line end), in the code page of the engine's data. Lines of engines that run
// on different threads never mix: each call carries whole lines, and the
// standard-output and file sinks write each call at once.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "kedo/export.h"

namespace kedo {

// A sink: receives the text. An empty sink discards it.
using ProgressSink = std::function<void(std::string_view text)>;

// Standard output (the default of every engine object).
KEDO_API ProgressSink progressToStandardOutput();
// Appends to the file at path, created if missing; the file stays open as
// long as a copy of the sink exists. Throws KedoError naming the file when it
// cannot be opened.
KEDO_API ProgressSink progressToFile(const std::string& path);

}  // namespace kedo
