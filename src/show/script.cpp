// PLACEHOLDER until the show script lands: draws nothing.
#include "show/script.h"

int emissionFlag = 0;

void runScript(const FrameClock& clock, int32_t tick) {
  (void)clock;
  (void)tick;
}
