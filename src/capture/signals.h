// Termination signals (SIGTERM, SIGINT, SIGHUP) stop a capture cleanly: the handler only
// notes the signal and kills the encoder, so that a frame loop waiting on ffmpeg's pipe
// wakes up; the loop then cleans up and the process ends by the same signal.
#pragma once
#include <sys/types.h>

#include <csignal>

// The stop signal that came; 0 while none has.
extern volatile sig_atomic_t stopSignal;

void catchStopSignals();
// The encoder the handler is to kill; killed at once when a stop signal came before it.
void noteEncoder(pid_t pid);
// The encoder has been reaped: its pid may be reused.
void forgetEncoder();
// Ends the process after a stop signal, by that signal, once the virtual display is down.
[[noreturn]] void endBySignal();
