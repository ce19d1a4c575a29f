// Message-box reports and the GL error table shared by the toolkit's error checks.
#include "st/report.h"

#include <cstdio>
#include <cstring>

#include "host/host.h"
#include "st/gl.h"

namespace st {

namespace {
ReportSink reportSink = nullptr;
}  // namespace

void writeReport(FILE* stream, const char* text, const char* caption) {
  // One group per report: the caption on its own line, the text under it, a blank line.
  size_t length = strlen(text);
  fprintf(stream, "%s\n%s%s\n", caption, text, length > 0 && text[length - 1] == '\n' ? "" : "\n");
  fflush(stream);
}

void showReport(const char* text, const char* caption) {
  if (reportSink) {
    reportSink(text, caption);
    return;
  }
  // No owner window: the box stands on its own and blocks until OK. Where no box can be
  // shown (no X fonts, a display that went away) the report goes to standard error and
  // the program carries on as if OK had been pressed: a report is never lost.
  if (!host::showErrorBox(caption, text)) writeReport(stderr, text, caption);
}

ReportSink setReportSink(ReportSink sink) {
  ReportSink previous = reportSink;
  reportSink = sink;
  return previous;
}

const char* glErrorName(unsigned code) {
  switch (code) {
    case 0x0500: return "GL_INVALID_ENUM";
    case 0x0501: return "GL_INVALID_VALUE";
    case 0x0502: return "GL_INVALID_OPERATION";
    case 0x0503: return "GL_STACK_OVERFLOW";
    case 0x0504: return "GL_STACK_UNDERFLOW";
    case 0x0505: return "GL_OUT_OF_MEMORY";
    default: return "Unknown";
  }
}

const char* glErrorText(unsigned code) {
  switch (code) {
    case 0x0500:
      return "An unacceptable value is specified for an enumerated argument. The offending "
             "command is ignored and has no other side effect than to set the error flag.";
    case 0x0501:
      return "A numeric argument is out of range. The offending command is ignored and has no "
             "other side effect than to set the error flag.";
    case 0x0502:
      return "The specified operation is not allowed in the current state. The offending "
             "command is ignored and has no other side effect than to set the error flag.";
    case 0x0503:
      return "This command would cause a stack overflow. The offending command is ignored and "
             "has no other side effect than to set the error flag.";
    case 0x0504:
      return "This command would cause a stack underflow. The offending command is ignored and "
             "has no other side effect than to set the error flag.";
    case 0x0505:
      return "There is not enough memory left to execute the command. The state of the GL is "
             "undefined, except for the state of the error flags, after this error is recorded.";
    default: return "Unknown gl error";
  }
}

namespace {
// The checks of the browser build (see checkGlErrorsOncePerFrame): set-up checks every call;
// then a frame checks once at its end and, after one that found an error, the next frame
// checks call by call again so that the error is reported where it happens.
struct FrameChecks {
  bool oncePerFrame = false;
  bool callByCall = true;   // this frame checks every call
  bool foundInFrame = false;  // a check in this frame reported an error
  unsigned pending = 0;     // an error the last frame's single check found, place unknown
};
FrameChecks frameChecks;

void reportGlError(GLenum code, const char* file, int line) {
  char caption[256];
  snprintf(caption, sizeof caption, "%s::%d:%s", file, line, glErrorName(code));
  showReport(glErrorText(code), caption);
}
}  // namespace

void checkGlErrorIn(const char* file, int line) {
  if (!frameChecks.callByCall) return;
  // One error per check: a second queued error is left for the next check.
  GLenum code = glGetError();
  if (code == GL_NO_ERROR) return;
  frameChecks.foundInFrame = true;
  reportGlError(code, file, line);
}

void checkGlErrorsOncePerFrame(bool on) {
  frameChecks = FrameChecks();
  frameChecks.oncePerFrame = on;
  frameChecks.callByCall = !on;
}

void endFrameGlCheck(const char* file, int line) {
  if (!frameChecks.oncePerFrame) return;
  if (frameChecks.callByCall) {
    // This frame looked for the last one's error call by call. Found again, it has been
    // reported where it happened; not found, it happened once: it is reported here.
    if (frameChecks.pending != GL_NO_ERROR && !frameChecks.foundInFrame)
      reportGlError(frameChecks.pending, file, line);
    frameChecks.pending = GL_NO_ERROR;
  }
  // Whatever is still queued (a call-by-call frame consumes one error per check) counts
  // for this frame's single check.
  GLenum code = glGetError();
  // A frame that found errors call by call keeps the next one checking that way too, so a
  // recurring error is reported in every frame with its place, as where every call is checked.
  bool again = frameChecks.callByCall && frameChecks.foundInFrame;
  frameChecks.callByCall = code != GL_NO_ERROR || again;
  frameChecks.pending = code;
  frameChecks.foundInFrame = false;
}

}  // namespace st
