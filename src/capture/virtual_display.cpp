// Starting and stopping the capture's own virtual display (Xvfb).
#include "capture/virtual_display.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

pid_t virtualDisplayPid = -1;  // the Xvfb we started, until it is taken down

}  // namespace

void stopVirtualDisplay() {
  if (virtualDisplayPid <= 0) return;
  kill(virtualDisplayPid, SIGTERM);
  while (waitpid(virtualDisplayPid, nullptr, 0) < 0 && errno == EINTR) {
  }
  virtualDisplayPid = -1;
}

// Without a display, start a virtual one (Xvfb) of our own, as a child of this process:
// a signal to the capture then reaches the capture, which takes the display down with it.
bool ensureDisplay(const volatile sig_atomic_t& stop) {
  if (getenv("DISPLAY") && *getenv("DISPLAY")) {
    fprintf(stderr, "zoov2020-capture: rendering off screen in display %s\n", getenv("DISPLAY"));
    return true;
  }
  fprintf(stderr, "zoov2020-capture: no display set; starting a virtual display (Xvfb)\n");
  int ready[2];
  if (pipe2(ready, O_CLOEXEC) != 0) {
    fprintf(stderr, "zoov2020-capture: cannot make a pipe: %s\n", strerror(errno));
    return false;
  }
  pid_t pid = fork();
  if (pid == 0) {
    // Xvfb writes the number of the display it found free to `ready`; it goes when we
    // go, and a Ctrl-C at the terminal is ours to handle, not its.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    setpgid(0, 0);
    fcntl(ready[1], F_SETFD, 0);
    int quiet = open("/dev/null", O_RDWR);
    if (quiet >= 0) {
      dup2(quiet, 0);
      dup2(quiet, 1);
      dup2(quiet, 2);
    }
    std::string fd = std::to_string(ready[1]);
    execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "640x480x24", "-nolisten",
           "tcp", "-noreset", (char*)nullptr);
    _exit(127);
  }
  close(ready[1]);
  if (pid < 0) {
    close(ready[0]);
    fprintf(stderr, "zoov2020-capture: cannot start Xvfb: %s\n", strerror(errno));
    return false;
  }
  virtualDisplayPid = pid;
  std::string number;
  for (int waited = 0; waited < 300 && !stop; ++waited) {
    pollfd p{ready[0], POLLIN, 0};
    if (poll(&p, 1, 100) <= 0) continue;
    char c;
    ssize_t n = read(ready[0], &c, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0 || c == '\n') break;
    number += c;
  }
  close(ready[0]);
  if (stop) return false;  // the caller ends the process by the signal
  if (number.empty()) {
    int status = 0;
    bool gone = waitpid(pid, &status, WNOHANG) == pid;
    if (gone) virtualDisplayPid = -1;
    stopVirtualDisplay();
    if (gone && WIFEXITED(status) && WEXITSTATUS(status) == 127)
      fprintf(stderr, "zoov2020-capture: no display and no Xvfb (Debian package xvfb)\n");
    else
      fprintf(stderr, "zoov2020-capture: the virtual display did not start\n");
    return false;
  }
  setenv("DISPLAY", (":" + number).c_str(), 1);
  fprintf(stderr, "zoov2020-capture: rendering in a virtual display (Xvfb :%s)\n", number.c_str());
  return true;
}
