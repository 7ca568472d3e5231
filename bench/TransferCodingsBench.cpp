// Throughput of the body decoders and the quoted-printable encoder over about 1 MB of
// realistic input, each beside a per-byte copy of the same buffer: the decoders should run at
// no less than half the speed of that copy.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <string>
#include <string_view>

#include "mailparser/TransferCodings.h"

namespace {

constexpr std::size_t kTargetSize = 1 << 20;

// Base64 as mailers send attachments: random bytes, 76 characters a line.
std::string makeBase64Block() {
  static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::mt19937 random(1);
  std::string block;
  std::size_t column = 0;
  while (block.size() < kTargetSize) {
    const std::uint32_t bits = random() & 0xFFFFFFU;
    for (int shift = 18; shift >= 0; shift -= 6) {
      block.push_back(kAlphabet[(bits >> shift) & 63]);
    }
    column += 4;
    if (column == 76) {
      block += "\r\n";
      column = 0;
    }
  }
  block += "QUI=\r\n";
  return block;
}

// Mail text in a Latin-1 language: mostly ASCII words, about one 8-bit letter in forty bytes,
// an "=" sign now and then, and lines of uneven length, some longer than the encoder's line
// width so that it has to break them.
std::string makePlainText(std::size_t size) {
  static constexpr std::string_view kWords[] = {
      "the",
      "message",
      "report",
      "for",
      "and",
      "quarterly",
      "numbers",
      "attached",
      "please",
      "review",
      "with",
      "meeting",
      "on",
      "Tuesday",
      "at",
      "our",
      "office",
      "we",
      "will",
      "discuss",
      "budget",
      "of",
      "next",
      "year",
      "caf\xE9",
      "na\xEFve",
      "se\xF1or",
      "Stra\xDF"
      "e",
      "x=1",
  };
  std::mt19937 random(2);
  std::string text;
  std::size_t lineLength = 0;
  std::size_t lineTarget = 40 + random() % 80;
  while (text.size() < size) {
    const std::string_view word = kWords[random() % std::size(kWords)];
    text += word;
    lineLength += word.size() + 1;
    if (lineLength >= lineTarget) {
      text += "\r\n";
      lineLength = 0;
      lineTarget = 40 + random() % 80;
    } else {
      text.push_back(' ');
    }
  }
  return text;
}

const std::string& base64Block() {
  static const std::string block = makeBase64Block();
  return block;
}

const std::string& plainText() {
  static const std::string text = makePlainText(kTargetSize);
  return text;
}

// Encoded text grows by the escapes and soft breaks; start smaller so the block is near 1 MB.
const std::string& quotedPrintableBlock() {
  static const std::string block =
      MailParser::encodeQuotedPrintable(makePlainText(kTargetSize * 9 / 10)) + "\r\n";
  return block;
}

void copyEveryByte(benchmark::State& state, const std::string& buffer) {
  for (auto _ : state) {
    std::string copy;
    copy.reserve(buffer.size());
    for (const char c : buffer) {
      copy.push_back(c);
    }
    benchmark::DoNotOptimize(copy.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * buffer.size()));
}

template <std::string (*Coding)(std::string_view)>
void runCoding(benchmark::State& state, const std::string& buffer) {
  for (auto _ : state) {
    std::string result = Coding(buffer);
    benchmark::DoNotOptimize(result.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * buffer.size()));
}

void BM_CopyBase64Baseline(benchmark::State& state) {
  copyEveryByte(state, base64Block());
}
void BM_DecodeBase64(benchmark::State& state) {
  runCoding<MailParser::decodeBase64>(state, base64Block());
}

void BM_CopyQuotedPrintableBaseline(benchmark::State& state) {
  copyEveryByte(state, quotedPrintableBlock());
}
void BM_DecodeQuotedPrintable(benchmark::State& state) {
  runCoding<MailParser::decodeQuotedPrintable>(state, quotedPrintableBlock());
}

void BM_CopyPlainTextBaseline(benchmark::State& state) {
  copyEveryByte(state, plainText());
}
void BM_EncodeQuotedPrintable(benchmark::State& state) {
  runCoding<MailParser::encodeQuotedPrintable>(state, plainText());
}

}  // namespace

BENCHMARK(BM_CopyBase64Baseline);
BENCHMARK(BM_DecodeBase64);
BENCHMARK(BM_CopyQuotedPrintableBaseline);
BENCHMARK(BM_DecodeQuotedPrintable);
BENCHMARK(BM_CopyPlainTextBaseline);
BENCHMARK(BM_EncodeQuotedPrintable);
