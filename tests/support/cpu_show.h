// One show per test process for the pure tests: its line and sprite buffers made on the
// CPU-only GL stand-ins, and nothing else (no programs, no targets). The parts under test
// write into its batches and generators exactly as the frame does.
#pragma once
#include "show/show.h"

namespace test {

Show& cpuShow();
// cpuShow().lines: where addLineSegment, the texts and the figures append.
LineBatch& lines();

}  // namespace test
