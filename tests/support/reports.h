// Records toolkit reports (message boxes) instead of showing them, for tests.
#pragma once
#include <string>
#include <vector>

namespace test {

struct Report {
  std::string text;
  std::string caption;
};

// While alive, every st::showReport lands in `reports` instead of a message box.
class ReportRecorder {
 public:
  ReportRecorder();
  ~ReportRecorder();
  ReportRecorder(const ReportRecorder&) = delete;
  ReportRecorder& operator=(const ReportRecorder&) = delete;

  std::vector<Report> reports;
  // Called during a report, before it returns (for example to fix a file on disk).
  void (*onReport)(const Report&) = nullptr;
};

}  // namespace test
