// The one way the toolkit tells the person at the screen about a problem: a blocking
// modal message box with one OK button. Tests install a sink to record reports instead.
#pragma once

namespace st {

using ReportSink = void (*)(const char* text, const char* caption);

// Shows `text` under `caption` and returns when the box is dismissed (or the sink returns).
void showReport(const char* text, const char* caption);

// Routes reports to `sink` (nullptr: the real message box); returns the previous sink.
ReportSink setReportSink(ReportSink sink);

// Reads the GL error flag once; when an error is pending, reports it with the caption
// "file::line:NAME" and the error's text. Each toolkit source file wraps this in its own
// checkGlError(line) so the caption names the file that made the check.
void checkGlErrorIn(const char* file, int line);

// The error table: symbolic name and description of a GL error code ("Unknown" and
// "Unknown gl error" for anything not in the table).
const char* glErrorName(unsigned code);
const char* glErrorText(unsigned code);

}  // namespace st
