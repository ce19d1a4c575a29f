// Report recording through the toolkit's report seam.
#include "support/reports.h"

#include "st/report.h"

namespace test {
namespace {
ReportRecorder* active = nullptr;
void record(const char* text, const char* caption) {
  if (!active) return;
  active->reports.push_back({text, caption});
  if (active->onReport) active->onReport(active->reports.back());
}
}  // namespace

ReportRecorder::ReportRecorder() {
  active = this;
  st::setReportSink(record);
}

ReportRecorder::~ReportRecorder() {
  st::setReportSink(nullptr);
  active = nullptr;
}
}  // namespace test
