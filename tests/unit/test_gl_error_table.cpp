// The GL error table: names and texts exactly as the reports show them.
#include <gtest/gtest.h>

#include <string>

#include "st/report.h"

TEST(GlErrorTable, NamesOfKnownCodes) {
  EXPECT_STREQ(st::glErrorName(0x0500), "GL_INVALID_ENUM");
  EXPECT_STREQ(st::glErrorName(0x0501), "GL_INVALID_VALUE");
  EXPECT_STREQ(st::glErrorName(0x0502), "GL_INVALID_OPERATION");
  EXPECT_STREQ(st::glErrorName(0x0503), "GL_STACK_OVERFLOW");
  EXPECT_STREQ(st::glErrorName(0x0504), "GL_STACK_UNDERFLOW");
  EXPECT_STREQ(st::glErrorName(0x0505), "GL_OUT_OF_MEMORY");
}

TEST(GlErrorTable, AnythingElseIsUnknown) {
  for (unsigned code : {0x0506u, 0x0507u, 0x04FFu, 1u, 0xFFFFFFFFu}) {
    EXPECT_STREQ(st::glErrorName(code), "Unknown");
    EXPECT_STREQ(st::glErrorText(code), "Unknown gl error");
  }
}

TEST(GlErrorTable, Texts) {
  const std::string ignored =
      " The offending command is ignored and has no other side effect than to set the error flag.";
  EXPECT_EQ(st::glErrorText(0x0500),
            "An unacceptable value is specified for an enumerated argument." + ignored);
  EXPECT_EQ(st::glErrorText(0x0501), "A numeric argument is out of range." + ignored);
  EXPECT_EQ(st::glErrorText(0x0502),
            "The specified operation is not allowed in the current state." + ignored);
  EXPECT_EQ(st::glErrorText(0x0503), "This command would cause a stack overflow." + ignored);
  EXPECT_EQ(st::glErrorText(0x0504), "This command would cause a stack underflow." + ignored);
  EXPECT_STREQ(st::glErrorText(0x0505),
               "There is not enough memory left to execute the command. The state of the GL is "
               "undefined, except for the state of the error flags, after this error is "
               "recorded.");
}
