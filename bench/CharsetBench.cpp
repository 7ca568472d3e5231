// Charset decoding of about 1 MB of real text (the bodies of the gen-charsets corpus,
// repeated), each decoder beside glibc's iconv converting the same bytes to the same UTF-16
// string in the same run. The goal is at least iconv's speed: compare the bytes_per_second of
// BM_Decode<Charset> with that of BM_Iconv<Charset>.

#include <benchmark/benchmark.h>
#include <iconv.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>

#include "bench/BenchSupport.h"
#include "mailparser/Charsets.h"

namespace {

constexpr std::size_t kTargetSize = 1 << 20;

// The body of a corpus message (its transfer encoding is 8bit), repeated in whole copies
// until it reaches the target size, so no character is cut.
std::string corpusText(const char* message) {
  const std::filesystem::path path = Bench::corpusFolder() / "gen-charsets" / message;
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    throw std::runtime_error("cannot open " + path.string());
  }
  std::ostringstream content;
  content << file.rdbuf();
  const std::string whole = content.str();
  const std::size_t blank = whole.find("\n\n");
  const std::string body = whole.substr(blank == std::string::npos ? 0 : blank + 2);
  std::string text;
  while (text.size() < kTargetSize) {
    text += body;
  }
  return text;
}

struct Sample {
  const char* charset;  // our label
  const char* iconvName;
  const char* message;
};

const std::map<std::string, Sample> kSamples = {
    {"UTF8", {"utf-8", "UTF-8", "gmime-filters--chinese_utf-8--plain-8bit.eml"}},
    {"Windows1251", {"windows-1251", "CP1251", "gmime-filters--cyrillic_cp1251--unlabeled-8bit.eml"}},
    {"GBK", {"gbk", "GBK", "python-cjkencodings--gbk--plain-8bit.eml"}},
    {"ShiftJIS", {"shift_jis", "CP932", "gmime-filters--japanese_shift-jis--plain-8bit.eml"}},
};

const std::string& textOf(const std::string& sample) {
  static std::map<std::string, std::string> texts;
  auto found = texts.find(sample);
  if (found == texts.end()) {
    found = texts.emplace(sample, corpusText(kSamples.at(sample).message)).first;
  }
  return found->second;
}

void decodeOurs(benchmark::State& state, const std::string& sample) {
  const std::string& text = textOf(sample);
  const char* charset = kSamples.at(sample).charset;
  for (auto _ : state) {
    std::u16string wide = MailParser::toWide(text, charset, true);
    benchmark::DoNotOptimize(wide.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

// The same work through iconv: bytes in, a UTF-16 string of the converted length out.
void decodeIconv(benchmark::State& state, const std::string& sample) {
  const std::string& text = textOf(sample);
  iconv_t descriptor = iconv_open("UTF-16LE", kSamples.at(sample).iconvName);
  if (descriptor == reinterpret_cast<iconv_t>(-1)) {
    state.SkipWithError("iconv does not know the charset");
    return;
  }
  for (auto _ : state) {
    std::u16string wide(text.size() * 2, u'\0');
    char* in = const_cast<char*>(text.data());
    std::size_t inLeft = text.size();
    char* out = reinterpret_cast<char*>(wide.data());
    std::size_t outLeft = wide.size() * 2;
    iconv(descriptor, nullptr, nullptr, nullptr, nullptr);
    if (iconv(descriptor, &in, &inLeft, &out, &outLeft) == static_cast<std::size_t>(-1)) {
      state.SkipWithError("iconv refused the text");
      break;
    }
    wide.resize(wide.size() - outLeft / 2);
    benchmark::DoNotOptimize(wide.data());
    benchmark::ClobberMemory();
  }
  iconv_close(descriptor);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

void BM_IconvUTF8(benchmark::State& state) {
  decodeIconv(state, "UTF8");
}
void BM_DecodeUTF8(benchmark::State& state) {
  decodeOurs(state, "UTF8");
}
void BM_IconvWindows1251(benchmark::State& state) {
  decodeIconv(state, "Windows1251");
}
void BM_DecodeWindows1251(benchmark::State& state) {
  decodeOurs(state, "Windows1251");
}
void BM_IconvGBK(benchmark::State& state) {
  decodeIconv(state, "GBK");
}
void BM_DecodeGBK(benchmark::State& state) {
  decodeOurs(state, "GBK");
}
void BM_IconvShiftJIS(benchmark::State& state) {
  decodeIconv(state, "ShiftJIS");
}
void BM_DecodeShiftJIS(benchmark::State& state) {
  decodeOurs(state, "ShiftJIS");
}

}  // namespace

BENCHMARK(BM_IconvUTF8);
BENCHMARK(BM_DecodeUTF8);
BENCHMARK(BM_IconvWindows1251);
BENCHMARK(BM_DecodeWindows1251);
BENCHMARK(BM_IconvGBK);
BENCHMARK(BM_DecodeGBK);
BENCHMARK(BM_IconvShiftJIS);
BENCHMARK(BM_DecodeShiftJIS);
