// Header parsing and the multipart boundary scan, each beside a baseline in the same run: the
// same line splitting feeding a no-op. The boundary scan should run at no less than half the
// speed of its baseline.

#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <string>
#include <string_view>

#include "mailparser/Header.h"
#include "mailparser/MIMEEntity.h"
#include "mailparser/MIMEEntityHeader.h"
#include "mailparser/MultipartMIMEEntity.h"

namespace {

using namespace MailParser;

// The one line splitter every benchmark here uses, so that only what is fed differs.
template <typename Sink>
inline void forEachLine(std::string_view text, Sink&& sink) {
  std::size_t start = 0;
  while (start < text.size()) {
    auto end = text.find('\n', start);
    if (end == std::string_view::npos) {
      end = text.size();
    }
    std::size_t lineEnd = end;
    if (lineEnd > start && text[lineEnd - 1] == '\r') {
      --lineEnd;
    }
    sink(text.substr(start, lineEnd - start));
    start = end + 1;
  }
}

const std::string& typicalHeader() {
  static const std::string header =
      "Return-Path: <newsletter-bounces+bob=example.net@lists.example.org>\r\n"
      "Delivered-To: bob@example.net\r\n"
      "Received: from mx2.example.net (mx2.example.net [198.51.100.7])\r\n"
      "\tby pop.example.net (Postfix) with ESMTPS id 4VqK2L6xR9z1xyz\r\n"
      "\tfor <bob@example.net>; Tue, 14 May 2024 09:12:44 +0200 (CEST)\r\n"
      "Received: from mail-out.lists.example.org (mail-out.lists.example.org [203.0.113.25])\r\n"
      "\tby mx2.example.net (Postfix) with ESMTPS id 4VqK2K3mNhz9abc\r\n"
      "\tfor <bob@example.net>; Tue, 14 May 2024 09:12:43 +0200 (CEST)\r\n"
      "Received: by mail-out.lists.example.org with SMTP id a640c23a62f3a-a5a4bc9578eso12345\r\n"
      "\tfor <bob@example.net>; Tue, 14 May 2024 00:12:42 -0700 (PDT)\r\n"
      "DKIM-Signature: v=1; a=rsa-sha256; c=relaxed/relaxed; d=lists.example.org; s=2024a;\r\n"
      "\tt=1715670762; x=1716275562; h=to:subject:message-id:date:from:mime-version\r\n"
      "\t:from:to:cc:subject:date:message-id:reply-to;\r\n"
      "\tbh=47DEQpj8HBSa+/TImW+5JCeuQeRkm5NMpJWZG3hSuFU=;\r\n"
      "\tb=dGhpcyBpcyBub3QgYSByZWFsIHNpZ25hdHVyZSBidXQgaXQgaGFzIHRoZSBzYW1lIGxlbmd0aA\r\n"
      "\t hGZvciBiZW5jaG1hcmtpbmcgcHVycG9zZXMgb25seSwgc28gaXQgZG9lcyBub3QgbWF0dGVy==\r\n"
      "ARC-Seal: i=1; a=rsa-sha256; t=1715670763; cv=none; d=example.net; s=arc-2024;\r\n"
      "\tb=Zm9yIGJlbmNobWFya2luZyBwdXJwb3NlcyBvbmx5IGFuZCBub3QgYSByZWFsIHNlYWw=\r\n"
      "Authentication-Results: mx2.example.net; dkim=pass header.d=lists.example.org;\r\n"
      "\tspf=pass smtp.mailfrom=lists.example.org; dmarc=pass header.from=lists.example.org\r\n"
      "X-Google-DKIM-Signature: v=1; a=rsa-sha256; c=relaxed/relaxed; d=1e100.net; s=20230601\r\n"
      "X-Gm-Message-State: AOJu0YzK3zJx9wq2b1Rk8pQn5m2Vb7cXyZ==\r\n"
      "X-Received: by 2002:a17:906:1b1b:b0:a59:a0b5:7f2c with SMTP id o27mr123456ejd.30\r\n"
      "MIME-Version: 1.0\r\n"
      "From: \"Example Lists\" <newsletter@lists.example.org>\r\n"
      "Date: Tue, 14 May 2024 09:12:40 +0200\r\n"
      "Message-ID: <CAF=Kx9q2LmV+8s1Tz6Q@mail.lists.example.org>\r\n"
      "Subject: =?UTF-8?Q?Your_weekly_digest_=E2=80=94_14_May?=\r\n"
      "To: Bob <bob@example.net>\r\n"
      "Reply-To: no-reply@lists.example.org\r\n"
      "List-Id: Weekly news <news.lists.example.org>\r\n"
      "List-Unsubscribe: <mailto:unsubscribe@lists.example.org?subject=unsubscribe>,\r\n"
      "\t<https://lists.example.org/unsubscribe?u=bob%40example.net>\r\n"
      "List-Unsubscribe-Post: List-Unsubscribe=One-Click\r\n"
      "Precedence: bulk\r\n"
      "X-Mailer: ListServer 4.2\r\n"
      "X-Priority: 3\r\n"
      "Thread-Index: AdqlzYz3kq9xR2bTQ1OvJk8c5vYh3w==\r\n"
      "Content-Language: en-GB\r\n"
      "Content-Type: multipart/alternative;\r\n"
      "\tboundary=\"----=_Part_123456_789012.1715670762000\"\r\n"
      "Content-Transfer-Encoding: 7bit\r\n";
  return header;
}

void BM_HeaderLinesBaseline(benchmark::State& state) {
  const std::string& text = typicalHeader();
  for (auto _ : state) {
    forEachLine(text, [](std::string_view line) { benchmark::DoNotOptimize(line); });
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

void BM_HeaderParse(benchmark::State& state) {
  const std::string& text = typicalHeader();
  for (auto _ : state) {
    Header header;
    forEachLine(text, [&header](std::string_view line) { header.addLine(line); });
    MIMEEntityHeader entityHeader(header);
    benchmark::DoNotOptimize(entityHeader);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

constexpr std::string_view kBoundary = "----=_Part_123456_789012.1715670762000";

// About 10 MB of a multipart/mixed: text parts and base64 attachments, each with a small
// header, lines of typical length.
const std::string& largeMultipart() {
  static const std::string body = [] {
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::mt19937 random(7);
    std::string text = "This is a multi-part message in MIME format.\r\n\r\n";
    std::size_t partNumber = 0;
    while (text.size() < 10 * 1000 * 1000) {
      text += "--";
      text += kBoundary;
      text += "\r\n";
      if (partNumber++ % 2 == 0) {
        text += "Content-Type: text/plain; charset=\"utf-8\"\r\nContent-Transfer-Encoding: 8bit\r\n\r\n";
        for (int line = 0; line < 200; ++line) {
          const std::size_t length = 20 + random() % 58;
          for (std::size_t i = 0; i < length; ++i) {
            text += (i % 7 == 6) ? ' ' : static_cast<char>('a' + random() % 26);
          }
          text += "\r\n";
          if (line % 25 == 24) {
            text += "\r\n";
          }
        }
      } else {
        text +=
            "Content-Type: application/pdf; name=\"report.pdf\"\r\nContent-Transfer-Encoding: base64\r\n"
            "Content-Disposition: attachment; filename=\"report.pdf\"\r\n\r\n";
        for (int line = 0; line < 1000; ++line) {
          for (int i = 0; i < 76; ++i) {
            text += kAlphabet[random() % 64];
          }
          text += "\r\n";
        }
      }
    }
    text += "--";
    text += kBoundary;
    text += "--\r\n";
    return text;
  }();
  return body;
}

class DiscardingEntity : public MIMEEntity {
 public:
  using MIMEEntity::MIMEEntity;
  void processLine(std::string_view line) override { benchmark::DoNotOptimize(line); }
  void end() override {}
};

class DiscardingMultipart : public MultipartMIMEEntity {
 public:
  using MultipartMIMEEntity::MultipartMIMEEntity;

 protected:
  std::unique_ptr<MIMEEntity> createEntity(const MIMEEntityHeader& partHeader) override {
    return std::make_unique<DiscardingEntity>(partHeader);
  }
  void closed() override {}
};

MIMEEntityHeader multipartHeader() {
  Header header;
  header.addLine("Content-Type: multipart/mixed; boundary=\"" + std::string(kBoundary) + "\"");
  return MIMEEntityHeader(header);
}

void BM_MultipartLinesBaseline(benchmark::State& state) {
  const std::string& text = largeMultipart();
  for (auto _ : state) {
    forEachLine(text, [](std::string_view line) { benchmark::DoNotOptimize(line); });
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

void BM_MultipartBoundaryScan(benchmark::State& state) {
  const std::string& text = largeMultipart();
  const MIMEEntityHeader header = multipartHeader();
  for (auto _ : state) {
    DiscardingMultipart multipart(header);
    forEachLine(text, [&multipart](std::string_view line) { multipart.processLine(line); });
    multipart.end();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

}  // namespace

BENCHMARK(BM_HeaderLinesBaseline);
BENCHMARK(BM_HeaderParse);
BENCHMARK(BM_MultipartLinesBaseline)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MultipartBoundaryScan)->Unit(benchmark::kMillisecond);
