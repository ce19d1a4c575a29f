// Shader programs in a real context: CR handling, compile and link reports, the link
// retry with its shared counter, uniforms by name, and the checks' captions.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "gl_test_util.h"

namespace {

using gltest::FLAT_FS;
using gltest::FLAT_VS;

const char* UNIFORM_VS = R"(#version 330 core
layout(location = 1) in vec3 position;
uniform mat4 mvp;
uniform float gain;
void main() { gl_Position = mvp * vec4(position * gain, 1.0); }
)";
const char* UNIFORM_FS = R"(#version 330 core
uniform int pick;
out vec4 fragColour;
void main() { fragColour = vec4(float(pick)); }
)";
// Line 4 holds the fault: an undeclared name.
const char* BROKEN_FS = R"(#version 330 core
out vec4 fragColour;
void main() {
  fragColour = vec4(undeclaredThing);
}
)";

std::string withCrLf(std::string text) {
  for (size_t at = 0; (at = text.find('\n', at)) != std::string::npos; at += 2) text.insert(at, "\r");
  return text;
}

const char* const LINK_FAILED = "Shader link failed";

// What onReport does: when the report numbered `at` (1-based, counting only link reports)
// arrives, `path` gets `text`. Also notes linkRetries at each one.
struct Restore {
  int at = 0;
  std::string path;
  std::string text;
  bool replaceDirectory = false;
  int linkReports = 0;
  std::vector<int> retriesSeen;
} restore;

void restoreOnLinkReport(const test::Report& report) {
  if (report.caption != LINK_FAILED) return;
  restore.retriesSeen.push_back(st::linkRetries);
  if (++restore.linkReports != restore.at) return;
  if (restore.replaceDirectory) rmdir(restore.path.c_str());
  test::writeFile(restore.path, restore.text);
}

void armRestore(int at, const std::string& path, const std::string& text, bool directory = false) {
  restore = Restore{at, path, text, directory, 0, {}};
}

class ShaderTest : public testing::Test {
 protected:
  void SetUp() override {
    REQUIRE_GL();
    gltest::drainGlErrors();
    st::linkRetries = 0;
    // Link reports restore what armRestore names; unarmed, they are only counted.
    restore = Restore{};
    recorder.onReport = restoreOnLinkReport;
  }

  // Loads `name`.vs, missing (or a directory in its place) until the link report numbered
  // `restoreAt` writes it, with a good `name`.fs.
  void loadWithMissingVertexShader(st::Shader& shader, const std::string& name, int restoreAt,
                                   bool directory = false) {
    std::string vsPath = test::scratchPath(name + ".vs");
    std::string fsPath = gltest::writeScratch(name + ".fs", FLAT_FS);
    unlink(vsPath.c_str());
    if (directory) {
      ASSERT_EQ(mkdir(vsPath.c_str(), 0700), 0);
    }
    armRestore(restoreAt, vsPath, FLAT_VS, directory);
    shader.load(vsPath.c_str(), fsPath.c_str());
  }
  test::ReportRecorder recorder;
};

TEST_F(ShaderTest, LinksTwoGoodFilesWithoutReports) {
  st::Shader shader = gltest::loadProgram("good", FLAT_VS, FLAT_FS);
  EXPECT_TRUE(recorder.reports.empty());
  EXPECT_NE(shader.vertexShader, 0u);
  EXPECT_NE(shader.fragmentShader, 0u);
  EXPECT_TRUE(gltest::linked(shader.program));
  EXPECT_EQ(glGetAttribLocation(shader.program, "position"), 1);
  EXPECT_EQ(glGetAttribLocation(shader.program, "colour"), 3);
  EXPECT_EQ(st::linkRetries, 0);
}

TEST_F(ShaderTest, CrLfSourceCompilesExactlyLikeItsLfTwin) {
  st::Shader lf = gltest::loadProgram("twin_lf", UNIFORM_VS, UNIFORM_FS);
  st::Shader crlf = gltest::loadProgram("twin_crlf", withCrLf(UNIFORM_VS), withCrLf(UNIFORM_FS));
  EXPECT_TRUE(recorder.reports.empty());
  ASSERT_TRUE(gltest::linked(lf.program));
  ASSERT_TRUE(gltest::linked(crlf.program));
  for (const char* name : {"mvp", "gain", "pick"}) {
    EXPECT_GE(glGetUniformLocation(lf.program, name), 0) << name;
    EXPECT_GE(glGetUniformLocation(crlf.program, name), 0) << name;
  }

  // The same fault gives the same log, line numbers included: the CRs are gone, so they
  // count neither as extra line ends nor as stray characters.
  std::string lfPath = gltest::writeScratch("broken_lf.fs", BROKEN_FS);
  std::string crlfPath = gltest::writeScratch("broken_crlf.fs", withCrLf(BROKEN_FS));
  std::string vsPath = gltest::writeScratch("broken_twin.vs", FLAT_VS);

  armRestore(1, lfPath, FLAT_FS);
  st::Shader brokenLf{};
  brokenLf.load(vsPath.c_str(), lfPath.c_str());
  armRestore(1, crlfPath, FLAT_FS);
  st::Shader brokenCrLf{};
  brokenCrLf.load(vsPath.c_str(), crlfPath.c_str());

  ASSERT_EQ(recorder.reports.size(), 4u);
  EXPECT_EQ(recorder.reports[0].caption, lfPath);
  EXPECT_EQ(recorder.reports[2].caption, crlfPath);
  EXPECT_NE(recorder.reports[0].text.find("undeclaredThing"), std::string::npos)
      << recorder.reports[0].text;
  EXPECT_EQ(recorder.reports[0].text, recorder.reports[2].text);
}

TEST_F(ShaderTest, FiveThousandCarriageReturnsAreAllRemoved) {
  // CRs inside names and numbers: the source compiles only if every one of them is gone.
  std::string crs(1000, '\r');
  std::string fs = "#version 330 core\r\nout vec4 frag" + crs + "Colour;\r\nvoid ma" + crs +
                   "in() {\r\n  frag" + crs + "Colour = vec4(0.2" + crs + "5, 0.5, 0.75, 1" + crs +
                   ".0);\r\n}\r\n";
  ASSERT_EQ(std::count(fs.begin(), fs.end(), '\r'), 5005);  // the five line ends too

  // Should the CRs survive, the link fails: mend the file then, so the test fails here
  // instead of the seventh retry ending the process.
  armRestore(1, test::scratchPath("many_crs.fs"), FLAT_FS);
  st::Shader shader = gltest::loadProgram("many_crs", FLAT_VS, fs);
  EXPECT_TRUE(recorder.reports.empty()) << gltest::describe(recorder.reports);
  EXPECT_TRUE(gltest::linked(shader.program));
}

TEST_F(ShaderTest, CompileErrorShowsLogUnderFilePathThenLinkFailure) {
  std::string vsPath = gltest::writeScratch("compile_error.vs", FLAT_VS);
  std::string fsPath = gltest::writeScratch("compile_error.fs", BROKEN_FS);
  armRestore(1, fsPath, FLAT_FS);  // mended while the link box is open

  st::Shader shader{};
  shader.load(vsPath.c_str(), fsPath.c_str());

  ASSERT_EQ(recorder.reports.size(), 2u);
  EXPECT_EQ(recorder.reports[0].caption, fsPath);
  EXPECT_NE(recorder.reports[0].text.find("undeclaredThing"), std::string::npos);
  EXPECT_EQ(recorder.reports[1].caption, LINK_FAILED);
  EXPECT_TRUE(gltest::linked(shader.program));
  EXPECT_EQ(st::linkRetries, 0);
}

TEST_F(ShaderTest, FileRestoredDuringReportIsLoadedByTheRetry) {
  st::Shader shader{};
  loadWithMissingVertexShader(shader, "restored", 3);
  // One box per failed attempt, nothing at read time for the missing file.
  ASSERT_EQ(recorder.reports.size(), 3u);
  for (const auto& r : recorder.reports) EXPECT_EQ(r.caption, LINK_FAILED);
  EXPECT_EQ(restore.retriesSeen, (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(st::linkRetries, 0);
  EXPECT_TRUE(gltest::linked(shader.program));
  EXPECT_EQ(glGetAttribLocation(shader.program, "colour"), 3);

  // The count starts over: a later load may fail six times in a row and still live.
  st::Shader again{};
  loadWithMissingVertexShader(again, "restored", 6);
  EXPECT_EQ(restore.retriesSeen, (std::vector<int>{0, 1, 2, 3, 4, 5}));
  EXPECT_EQ(st::linkRetries, 0);
  EXPECT_TRUE(gltest::linked(again.program));
}

st::Shader* watched = nullptr;
GLuint failedProgram = 0;
void noteFailedProgram(const test::Report& report) {
  restoreOnLinkReport(report);
  if (watched) failedProgram = watched->program;
}

TEST_F(ShaderTest, RetryReplacesTheNamesOfTheFailedAttempt) {
  st::Shader shader{};
  recorder.onReport = noteFailedProgram;
  watched = &shader;
  loadWithMissingVertexShader(shader, "names", 1);
  watched = nullptr;
  ASSERT_EQ(recorder.reports.size(), 1u);
  ASSERT_NE(failedProgram, 0u);
  EXPECT_NE(shader.program, failedProgram);
  EXPECT_FALSE(gltest::linked(failedProgram));
  EXPECT_TRUE(gltest::linked(shader.program));
  EXPECT_EQ(gltest::programInt(shader.program, GL_ATTACHED_SHADERS), 2);
}

TEST_F(ShaderTest, DirectoryInPlaceOfAFileIsTreatedAsMissing) {
  // A directory opens, but its "length" is nonsense: no compile, no crash, the link reports.
  st::Shader shader{};
  loadWithMissingVertexShader(shader, "folder", 1, true);
  ASSERT_EQ(recorder.reports.size(), 1u);
  EXPECT_EQ(recorder.reports[0].caption, LINK_FAILED);
  EXPECT_TRUE(gltest::linked(shader.program));
}

TEST_F(ShaderTest, NullPathCreatesAndAttachesNothingForThatStage) {
  std::string fsPath = gltest::writeScratch("alone.fs", FLAT_FS);
  st::Shader shader{};
  shader.load(nullptr, fsPath.c_str());
  EXPECT_EQ(shader.vertexShader, 0u);
  EXPECT_EQ(gltest::programInt(shader.program, GL_ATTACHED_SHADERS), 1);
  GLuint names[2] = {0, 0};
  glGetAttachedShaders(shader.program, 2, nullptr, names);
  EXPECT_EQ(names[0], shader.fragmentShader);
}

TEST_F(ShaderTest, MissingUniformIsReportedWithItsNameAndTheReportLine) {
  st::Shader shader = gltest::loadProgram("uniforms", UNIFORM_VS, UNIFORM_FS);
  ASSERT_TRUE(gltest::linked(shader.program));
  shader.use();
  EXPECT_EQ(shader.uniformLocation("noSuchThing"), -1);
  shader.setFloat("noSuchThing", 1.0f);
  shader.setInt("alsoMissing", 3);
  ASSERT_EQ(recorder.reports.size(), 3u);
  for (const auto& r : recorder.reports) EXPECT_EQ(r.text, "Bad uniform name");

  // The caption names st_shader's own source and the line that formats the report.
  gltest::expectCaption(recorder.reports[0], "src/st/st_shader.cpp", "noSuchThing", "__LINE__", 1,
                        "Bad uniform name");
  // Same line wherever the lookup comes from; no GL error is raised by setting location -1.
  const std::string& first = recorder.reports[0].caption;
  EXPECT_EQ(recorder.reports[1].caption, first);
  EXPECT_EQ(recorder.reports[2].caption, first.substr(0, first.rfind(':') + 1) + "alsoMissing");
  shader.unuse();
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(ShaderTest, SettersReachTheProgramUntransposed) {
  st::Shader shader = gltest::loadProgram("setters", UNIFORM_VS, UNIFORM_FS);
  ASSERT_TRUE(gltest::linked(shader.program));
  shader.use();
  EXPECT_EQ(GLuint(gltest::getInt(GL_CURRENT_PROGRAM)), shader.program);

  float matrix[16];
  for (int i = 0; i < 16; ++i) matrix[i] = float(i + 1);
  shader.setMatrix4("mvp", matrix);
  shader.setFloat("gain", 2.5f);
  shader.setInt("pick", 7);

  float back[16] = {};
  glGetUniformfv(shader.program, glGetUniformLocation(shader.program, "mvp"), back);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(back[i], matrix[i]) << i;
  float gain = 0.0f;
  glGetUniformfv(shader.program, glGetUniformLocation(shader.program, "gain"), &gain);
  EXPECT_EQ(gain, 2.5f);
  GLint pick = 0;
  glGetUniformiv(shader.program, glGetUniformLocation(shader.program, "pick"), &pick);
  EXPECT_EQ(pick, 7);

  shader.unuse();
  EXPECT_EQ(gltest::getInt(GL_CURRENT_PROGRAM), 0);
  EXPECT_TRUE(recorder.reports.empty());
}

TEST_F(ShaderTest, GlErrorsAreCheckedRightAfterTheCall) {
  st::Shader shader{};
  shader.program = 0xFFFFu;  // no such program: glUseProgram raises GL_INVALID_VALUE
  shader.use();
  ASSERT_EQ(recorder.reports.size(), 1u);
  gltest::expectCheckAfterCall(recorder.reports[0], "src/st/st_shader.cpp", "GL_INVALID_VALUE",
                               "glUseProgram(program)");
}

// The seventh failed link in a row ends the process with -1 (status 255), after exactly
// one report per attempt. The child prints what it saw from an exit handler.
int childReports = 0;
bool childAllLink = true;
void countChildReport(const test::Report& report) {
  ++childReports;
  childAllLink = childAllLink && report.caption == LINK_FAILED;
}
void printChildSummary() {
  fprintf(stderr, "reports=%d all-link=%d linkRetries=%d\n", childReports, childAllLink ? 1 : 0,
          st::linkRetries);
}
void loadMissingForever(const std::string& vsPath, const std::string& fsPath) {
  static test::ReportRecorder recorder;
  recorder.onReport = countChildReport;
  atexit(printChildSummary);
  st::Shader shader{};
  shader.load(vsPath.c_str(), fsPath.c_str());
  fprintf(stderr, "load returned\n");
}

TEST(ShaderDeathTest, SeventhFailedLinkInARowExitsWithStatus255) {
  REQUIRE_GL();
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  // Leak reports of a sanitizer build would replace the status the program chose.
  const char* asan = getenv("ASAN_OPTIONS");
  std::string options = std::string(asan ? asan : "") + (asan && *asan ? ":" : "") + "detect_leaks=0";
  setenv("ASAN_OPTIONS", options.c_str(), 1);
  std::string vsPath = test::scratchPath("never_there.vs");
  std::string fsPath = gltest::writeScratch("never_there.fs", FLAT_FS);
  EXPECT_EXIT(loadMissingForever(vsPath, fsPath), testing::ExitedWithCode(255),
              "reports=7 all-link=1 linkRetries=6");
}

}  // namespace
