#pragma once

namespace varno {
// The compiled-in resources live in the static core library; executables call this once at start.
void initResources();
}
