// The line reader over the in-memory connection: the input after a three-byte header is
// written in chunks of pseudo-random sizes and read back. Properties: the pieces with
// their line ends give back the input (CR LF read as LF); no piece is longer than the
// maximum, and only a split piece reaches it without a line end; only the last piece may
// lack a line end; after the end every read says Closed.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "FuzzCheck.h"
#include "platform/TMemoryConnection.h"

namespace {

std::string WithLineFeeds(std::string_view input) {
  std::string result;
  result.reserve(input.size());
  for (std::size_t i = 0; i < input.size(); ++i) {
    if (input[i] == '\r' && i + 1 < input.size() && input[i + 1] == '\n') {
      continue;
    }
    result += input[i];
  }
  return result;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3) {
    return 0;
  }
  // Small maxima make splits common; the proxy's 262144 behaves the same at a larger scale.
  const std::size_t maxLength = 1 + ((data[0] | (data[1] << 8)) % 300);
  std::uint32_t state = 0x9e3779b9U ^ data[2];
  const std::string_view input(reinterpret_cast<const char*>(data) + 3, size - 3);

  auto [reader, writer] = TMemoryConnection::CreatePair();
  reader->SetMaxLineLength(maxLength);
  for (std::size_t at = 0; at < input.size();) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    const std::size_t chunk = 1 + state % 64;
    writer->Write(input.substr(at, chunk));
    at += chunk;
  }
  writer->Close();

  std::string rebuilt;
  bool ended = false;
  for (;;) {
    const TReadResult read = reader->ReadLine(std::chrono::milliseconds(0));
    if (read.Status == TReadStatus::Closed) {
      break;
    }
    check(!ended, "a piece follows the unterminated last piece");
    check(read.HasText(), "only pieces and Closed come from a closed writer with everything sent");
    check(read.Text.size() <= maxLength, "no piece is longer than the maximum");
    check(read.Status != TReadStatus::Split || read.Text.size() == maxLength, "a split piece has the maximum length");
    check(read.Status != TReadStatus::Line || read.Text.find('\n') == std::string::npos, "a line holds no LF");
    check(read.Status != TReadStatus::Unterminated || !read.Text.empty(), "an unterminated piece is not empty");
    rebuilt += read.Text;
    if (read.Status == TReadStatus::Line) {
      rebuilt += '\n';
    }
    ended = read.Status == TReadStatus::Unterminated;
  }
  check(rebuilt == WithLineFeeds(input), "the pieces give back the input");
  check(reader->ReadLine(std::chrono::milliseconds(0)).Status == TReadStatus::Closed, "Closed stays Closed");
  return 0;
}
