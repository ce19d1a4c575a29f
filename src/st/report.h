// The one way the toolkit tells the person at the screen about a problem: a blocking
// modal message box with one OK button. Tests install a sink to record reports instead.
#pragma once
#include <cstdio>

namespace st {

using ReportSink = void (*)(const char* text, const char* caption);

// Shows `text` under `caption` and returns when the box is dismissed (or the sink returns).
// When no box can be shown, writes the report to standard error and returns at once.
void showReport(const char* text, const char* caption);

// Writes one report to `stream` as a group of lines: the caption, the text, a blank line.
void writeReport(FILE* stream, const char* text, const char* caption);

// Routes reports to `sink` (nullptr: the real message box); returns the previous sink.
ReportSink setReportSink(ReportSink sink);

// Reads the GL error flag once; when an error is pending, reports it with the caption
// "file::line:NAME" and the error's text. Each toolkit source file wraps this in its own
// checkGlError(line) so the caption names the file that made the check.
void checkGlErrorIn(const char* file, int line);

// The browser build, where each glGetError is a synchronous round trip to the GPU process,
// calls this once set-up is done: from then on checkGlErrorIn reads nothing, and
// endFrameGlCheck, called after each frame, reads the flag once. When that finds an error,
// the next frame checks every call again, reporting the error with the place that raised
// it (and so do the frames after, as long as they find errors); an error that does not
// come back is reported with the place of the frame check, "file::line:NAME". The
// desktop calls neither and checks every call (as after checkGlErrorsOncePerFrame(false)).
void checkGlErrorsOncePerFrame(bool on);
void endFrameGlCheck(const char* file, int line);

// The error table: symbolic name and description of a GL error code ("Unknown" and
// "Unknown gl error" for anything not in the table).
const char* glErrorName(unsigned code);
const char* glErrorText(unsigned code);

}  // namespace st
