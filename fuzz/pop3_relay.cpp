// Server bytes through the reply handlers as the relay thread drives them: read from an
// in-memory connection whose small maximum line length makes split lines common, handed to
// a CAPA handler or a RETR handler with the pass-through bridge, and written to a client
// end that records every byte. Input: one byte choosing the handler and the maximum, then
// the server's bytes; "\r\n.\r\n" is appended so every reply can end.
// Properties: the client gets exactly what a plain model of POP3 replies predicts (the
// status line marked, unstuffed lines stuffed again, filtered capabilities gone, the reply
// ended by the first "." line); so every line ends in CR LF and "." comes last.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzCheck.h"
#include "config/TAccount.h"
#include "config/TConfig.h"
#include "config/TConfigRef.h"
#include "engine/TProxyMessageProcessorInterfaceFactory.h"
#include "platform/TMemoryConnection.h"
#include "proxy/TCAPAResponseHandler.h"
#include "proxy/TRETRorTOPResponseHandler.h"
#include "tests/support/RecordingConnection.h"

namespace {

// The lines of `bytes` as a line reader gives them: up to each LF, one CR before it dropped.
std::vector<std::string> Lines(std::string_view bytes) {
  std::vector<std::string> lines;
  for (auto end = bytes.find('\n'); end != std::string_view::npos; end = bytes.find('\n')) {
    std::string_view line = bytes.substr(0, end);
    if (line.ends_with('\r')) line.remove_suffix(1);
    lines.emplace_back(line);
    bytes.remove_prefix(end + 1);
  }
  return lines;
}

std::string Expected(const std::vector<std::string>& lines, bool capa) {
  std::string out = lines.front() + " (processed by QX)\r\n";
  if (!lines.front().starts_with("+OK")) return out;
  for (std::size_t i = 1; i < lines.size(); ++i) {
    std::string_view line = lines[i];
    if (line == ".") return out + ".\r\n";
    if (line.starts_with('.')) line.remove_prefix(1);
    if (capa && TCAPAResponseHandler::IsFilteredCapability(line)) continue;
    if (line.starts_with('.')) out += '.';
    out.append(line).append("\r\n");
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const bool capa = (data[0] & 1) != 0;
  const std::size_t maxLength = 1 + (data[0] >> 1);
  const std::string input = std::string(reinterpret_cast<const char*>(data) + 1, size - 1) + "\r\n.\r\n";

  static TConfigRef config(new TConfig);
  static const TAccount account("pop.example.net", 110, "Medium");
  RecordingConnection client;
  std::unique_ptr<TPOPResponseHandler> handler;
  if (capa) {
    handler = std::make_unique<TCAPAResponseHandler>(client);
  } else {
    handler = std::make_unique<TRETRorTOPResponseHandler>(client, nullptr, config, account, nullptr,
                                                          PassThroughMessageProcessorFactory());
  }

  auto [server, reader] = TMemoryConnection::CreatePair();
  reader->SetMaxLineLength(maxLength);
  server->Write(input);
  server->Close();
  bool complete = false;
  while (!complete) {
    const TReadResult piece = reader->ReadLine(std::chrono::milliseconds(0));
    check(piece.HasText(), "the reply ends before the input does");
    complete = handler->ProcessPiece(piece.Text, piece.Status != TReadStatus::Split);
  }
  check(client.written == Expected(Lines(input), capa), "the client gets what the model predicts");
  check(client.written.ends_with("\r\n"), "the last line ends in CR LF");
  return 0;
}
