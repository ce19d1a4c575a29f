// Cutting a shader source at its carriage returns: any number of them, and the pieces
// always add up to the source without them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "st/st_shader.h"

namespace {

struct Split {
  std::vector<char> buffer;
  st::SourcePieces pieces;
};

Split split(const std::string& source) {
  Split s;
  s.buffer.assign(source.begin(), source.end());
  s.buffer.push_back(0);
  s.pieces = st::splitAtCarriageReturns(s.buffer.data());
  return s;
}

std::vector<std::string> piecesOf(const Split& s) {
  std::vector<std::string> out;
  EXPECT_EQ(s.pieces.text.size(), s.pieces.lengths.size());
  for (size_t i = 0; i < s.pieces.text.size(); ++i) {
    // Each piece is NUL-terminated at its length, as GL may read either way.
    EXPECT_EQ(s.pieces.text[i][s.pieces.lengths[i]], 0) << i;
    out.emplace_back(s.pieces.text[i], size_t(s.pieces.lengths[i]));
  }
  return out;
}

std::string withoutCr(const std::string& text) {
  std::string out;
  for (char c : text)
    if (c != '\r') out += c;
  return out;
}

std::string joined(const std::vector<std::string>& pieces) {
  std::string out;
  for (const auto& p : pieces) out += p;
  return out;
}

TEST(ShaderSource, EachCarriageReturnEndsAPiece) {
  const struct {
    const char* source;
    std::vector<std::string> pieces;
  } cases[] = {
      {"void main() {}\n", {"void main() {}\n"}},
      {"", {""}},
      {"a\r\nbc\r\n", {"a", "\nbc", "\n"}},  // the LF of a CR LF starts the next piece
      {"\rx\r\r\ry\r", {"", "x", "", "", "y", ""}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(std::string(c.source)));
    Split s = split(c.source);
    EXPECT_EQ(piecesOf(s), c.pieces);
    // Cut in place: the pieces point into the buffer, where every CR became a NUL.
    const char* at = s.buffer.data();
    for (size_t i = 0; i < s.pieces.text.size(); ++i) {
      EXPECT_EQ(s.pieces.text[i], at) << "piece " << i;
      at += s.pieces.lengths[i] + 1;
    }
  }
}

TEST(ShaderSource, ManyCarriageReturnsAreAllHandled) {
  for (int crs : {1023, 1024, 1025, 5000}) {
    std::string source;
    for (int i = 0; i < crs; ++i) source += (i % 3 == 0) ? "line\r\n" : "\r";
    Split s = split(source);
    std::vector<std::string> pieces = piecesOf(s);
    EXPECT_EQ(pieces.size(), size_t(crs) + 1) << crs;
    EXPECT_EQ(joined(pieces), withoutCr(source)) << crs;
  }
}

}  // namespace
