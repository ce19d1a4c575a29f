// The capture's stop signals: noted by the handler, acted on by the frame loop.
#include "capture/signals.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "capture/virtual_display.h"

volatile sig_atomic_t stopSignal = 0;

namespace {

volatile sig_atomic_t encoderPid = -1;

extern "C" void onStopSignal(int signal) {
  stopSignal = signal;
  if (encoderPid > 0) kill((pid_t)encoderPid, SIGKILL);
}

}  // namespace

void noteEncoder(pid_t pid) {
  encoderPid = pid;
  if (stopSignal) kill(pid, SIGKILL);
}

void forgetEncoder() { encoderPid = -1; }

void catchStopSignals() {
  struct sigaction action;
  memset(&action, 0, sizeof action);
  action.sa_handler = onStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int signal : {SIGTERM, SIGINT, SIGHUP}) sigaction(signal, &action, nullptr);
}

void endBySignal() {
  int signal = stopSignal;
  fprintf(stderr, "zoov2020-capture: stopped by signal %d (%s)\n", signal, strsignal(signal));
  stopVirtualDisplay();
  struct sigaction action;
  memset(&action, 0, sizeof action);
  action.sa_handler = SIG_DFL;
  sigaction(signal, &action, nullptr);
  raise(signal);
  _exit(128 + signal);
}
