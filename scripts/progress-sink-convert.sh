#!/usr/bin/env bash
# Routes the engine's progress output through the per-engine sink: every
# std::printf under src/ (but the command-line result lines of
# facade_command.cpp) becomes progressf, and the file gains the include.
# Safe to run again on code that gained new std::printf lines.
set -euo pipefail
cd "$(dirname "$0")/.."
grep -rl 'std::printf(' src --include='*.cpp' --include='*.h' | grep -v 'src/facade/facade_command.cpp' |
  while read -r f; do
    sed -i 's/std::printf(/progressf(/g' "$f"
    if ! grep -q '#include "util/progress.h"' "$f" && [ "$f" != src/util/progress.cpp ]; then
      # After the first project include (or the first include at all).
      line=$(grep -n '^#include "' "$f" | head -1 | cut -d: -f1)
      [ -n "$line" ] || line=$(grep -n '^#include' "$f" | head -1 | cut -d: -f1)
      sed -i "${line}a #include \"util/progress.h\"" "$f"
    fi
  done
