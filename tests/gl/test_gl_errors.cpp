// GL error checks in a real context: one report per check, captions naming file and line.
#include <string>
#include <vector>

#include "gl_test_util.h"
#include "st/report.h"

namespace {

class GlErrors : public testing::Test {
 protected:
  void SetUp() override {
    REQUIRE_GL();
    gltest::drainGlErrors();
  }
  test::ReportRecorder recorder;
};

TEST_F(GlErrors, NoPendingErrorReportsNothing) {
  st::checkGlErrorIn("st_x.cpp", 7);
  EXPECT_TRUE(recorder.reports.empty());
}

TEST_F(GlErrors, InvalidEnumIsReportedWithFileLineAndName) {
  glEnable(0xFFFF);  // not a capability: GL_INVALID_ENUM
  st::checkGlErrorIn("src/st/st_renderbuf.cpp", 42);
  ASSERT_EQ(recorder.reports.size(), 1u);
  EXPECT_EQ(recorder.reports[0].caption, "src/st/st_renderbuf.cpp::42:GL_INVALID_ENUM");
  EXPECT_EQ(recorder.reports[0].text, st::glErrorText(0x0500));
}

TEST_F(GlErrors, InvalidFramebufferOperationIsUnknown) {
  // Drawing into an incomplete framebuffer raises GL_INVALID_FRAMEBUFFER_OPERATION.
  GLuint fbo = 0;
  glGenFramebuffers(1, &fbo);
  glBindFramebuffer(GL_FRAMEBUFFER, fbo);
  glClear(GL_COLOR_BUFFER_BIT);
  st::checkGlErrorIn("f", 1);
  glBindFramebuffer(GL_FRAMEBUFFER, 0);
  glDeleteFramebuffers(1, &fbo);
  ASSERT_EQ(recorder.reports.size(), 1u);
  EXPECT_EQ(recorder.reports[0].caption, "f::1:Unknown");
  EXPECT_EQ(recorder.reports[0].text, "Unknown gl error");
}

TEST_F(GlErrors, EachCheckConsumesOneError) {
  glEnable(0xFFFF);                   // GL_INVALID_ENUM
  glLineWidth(-1.0f);                 // GL_INVALID_VALUE
  st::checkGlErrorIn("a", 1);
  st::checkGlErrorIn("a", 2);
  st::checkGlErrorIn("a", 3);
  // Mesa keeps the first error only (GL may record just one flag), so the second check
  // sees either the second error or nothing; the third never sees anything.
  ASSERT_GE(recorder.reports.size(), 1u);
  EXPECT_EQ(recorder.reports[0].caption, "a::1:GL_INVALID_ENUM");
  for (size_t i = 1; i < recorder.reports.size(); ++i)
    EXPECT_EQ(recorder.reports[i].caption, "a::2:GL_INVALID_VALUE");
  EXPECT_LE(recorder.reports.size(), 2u);
}

// The browser's scheme: no check per call, one per frame; an error it finds is reported
// with its place by the next frame, which checks every call, or, when it does not come
// back, with the place of the frame check.
TEST_F(GlErrors, OncePerFrameFindsThePlaceInTheNextFrame) {
  st::checkGlErrorsOncePerFrame(true);
  auto frame = [](bool fault) {
    st::checkGlErrorIn("st_x.cpp", 1);
    if (fault) glEnable(0xFFFF);  // GL_INVALID_ENUM
    st::checkGlErrorIn("st_x.cpp", 2);
    st::endFrameGlCheck("main.cpp", 9);
  };
  frame(true);
  EXPECT_TRUE(recorder.reports.empty()) << "found at the frame's end, place unknown yet";
  frame(true);
  frame(true);
  frame(false);
  frame(false);
  frame(false);
  frame(true);
  frame(false);
  std::vector<std::string> captions;
  for (const auto& r : recorder.reports) captions.push_back(r.caption);
  EXPECT_EQ(captions, (std::vector<std::string>{"st_x.cpp::2:GL_INVALID_ENUM", "st_x.cpp::2:GL_INVALID_ENUM",
                                                "main.cpp::9:GL_INVALID_ENUM"}));
  st::checkGlErrorsOncePerFrame(false);
  glEnable(0xFFFF);
  st::checkGlErrorIn("st_x.cpp", 3);
  EXPECT_EQ(recorder.reports.back().caption, "st_x.cpp::3:GL_INVALID_ENUM") << "every call checked again";
}

}  // namespace
