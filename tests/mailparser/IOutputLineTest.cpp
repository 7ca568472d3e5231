#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mailparser/IOutputLine.h"
#include "support/FakeMessageProcessorInterface.h"

namespace {

struct CutCase {
  const char* name;
  std::size_t length;
  std::size_t maxLength;
  std::vector<std::size_t> pieces;
};

TEST(IOutputLine, CutsOverlongLinesIntoPiecesOfTheLimit) {
  const CutCase cases[] = {
      {"mail line limit", 2500, 998, {998, 998, 504}},
      {"exactly the limit", 998, 998, {998}},
      {"one over", 999, 998, {998, 1}},
      {"empty line stays a line", 0, 998, {0}},
      {"no limit", 5000, 0, {5000}},
  };
  for (const auto& c : cases) {
    FakeMessageProcessorInterface sink;
    std::string line;
    for (std::size_t i = 0; i < c.length; ++i) line += static_cast<char>('a' + i % 26);
    sink.outputLine(line, c.maxLength);
    std::vector<std::size_t> sizes;
    std::string joined;
    for (const auto& piece : sink.lines) {
      sizes.push_back(piece.size());
      joined += piece;
    }
    EXPECT_EQ(sizes, c.pieces) << c.name;
    EXPECT_EQ(joined, line) << c.name;
  }
}

}  // namespace
