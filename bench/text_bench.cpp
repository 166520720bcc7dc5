// Throughput of the text primitives on a 1 MB share page with Chinese text in
// GBK, each beside std::string_view::find on the same page for scale.

#include <benchmark/benchmark.h>

#include <string>
#include <string_view>

#include "text/text.h"

namespace {

// One list entry of a share page. The Chinese words are GBK bytes:
// 文件 CE C4 BC FE, 下载 CF C2 D4 D8, 大小 B4 F3 D0 A1, 分享 B7 D6 CF ED,
// 上传时间 C9 CF B4 AB CA B1 BC E4, 网盘 CD F8 C5 CC, the full-width space A1 A1.
constexpr std::string_view kEntry =
    "<div class=\"file-item\">\r\n"
    "  <a href=\"/s/1aB2cD3eF\" title=\"\xCE\xC4\xBC\xFE\">\xCE\xC4\xBC\xFE\xCF\xC2\xD4\xD8"
    "\xA1\xA1\xB7\xD6\xCF\xED</a>\r\n"
    "  <span class=\"size\">\xB4\xF3\xD0\xA1\xA3\xBA 12.5 MB</span>\r\n"
    "  <span class=\"time\">\xC9\xCF\xB4\xAB\xCA\xB1\xBC\xE4\xA3\xBA 2024-06-11 10:20</span>\r\n"
    "  <p>\xCD\xF8\xC5\xCC\xB7\xD6\xCF\xED\xCE\xC4\xBC\xFE\xCF\xC2\xD4\xD8\xB4\xF3\xD0\xA1"
    "\xC9\xCF\xB4\xAB\xCA\xB1\xBC\xE4\xCD\xF8\xC5\xCC</p>\r\n"
    "</div>\r\n";

constexpr std::string_view kTail =
    "<script>var downurl = 'https://dl.example.com/file/abc123?e=1718000000';</script>\r\n";

const std::string& Page() {
  static const std::string page = [] {
    constexpr std::size_t kSize = 1 << 20;
    std::string text;
    text.reserve(kSize + kEntry.size() + kTail.size());
    while (text.size() + kTail.size() < kSize) text += kEntry;
    text += kTail;
    return text;
  }();
  return page;
}

constexpr std::string_view kNearEnd = "var downurl = '";
constexpr std::string_view kAbsent = "var sign = '";

void SetThroughput(benchmark::State& state) {
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(Page().size()));
}

void BM_StringViewFind_NearEnd(benchmark::State& state) {
  const std::string_view page = Page();
  for (auto _ : state) benchmark::DoNotOptimize(page.find(kNearEnd));
  SetThroughput(state);
}
BENCHMARK(BM_StringViewFind_NearEnd);

void BM_FindText_NearEnd(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(morvane::FindText(Page(), kNearEnd));
  SetThroughput(state);
}
BENCHMARK(BM_FindText_NearEnd);

void BM_StringViewFind_Absent(benchmark::State& state) {
  const std::string_view page = Page();
  for (auto _ : state) benchmark::DoNotOptimize(page.find(kAbsent));
  SetThroughput(state);
}
BENCHMARK(BM_StringViewFind_Absent);

void BM_FindText_Absent(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(morvane::FindText(Page(), kAbsent));
  SetThroughput(state);
}
BENCHMARK(BM_FindText_Absent);

// A Chinese word that is absent, though its bytes occur at trail positions
// throughout the page (CE C4 BC FE read from its second byte: C4 BC).
void BM_FindText_AbsentAcrossCharacters(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(morvane::FindText(Page(), "\xC4\xBC"));
  SetThroughput(state);
}
BENCHMARK(BM_FindText_AbsentAcrossCharacters);

void BM_FindText_IgnoreCase_NearEnd(benchmark::State& state) {
  for (auto _ : state) {
    benchmark::DoNotOptimize(morvane::FindText(Page(), "VAR DOWNURL = '", 0, true));
  }
  SetThroughput(state);
}
BENCHMARK(BM_FindText_IgnoreCase_NearEnd);

void BM_FindTextFromEnd(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(morvane::FindTextFromEnd(Page(), "downurl"));
  SetThroughput(state);
}
BENCHMARK(BM_FindTextFromEnd);

void BM_TextBetween(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(morvane::TextBetween(Page(), kNearEnd, "'"));
  SetThroughput(state);
}
BENCHMARK(BM_TextBetween);

// Every entry has a match: thousands of replacements per page.
void BM_ReplaceText(benchmark::State& state) {
  for (auto _ : state) {
    benchmark::DoNotOptimize(morvane::ReplaceText(Page(), "\xCE\xC4\xBC\xFE", "file"));
  }
  SetThroughput(state);
}
BENCHMARK(BM_ReplaceText);

void BM_SplitText(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(morvane::SplitText(Page(), "\r\n"));
  SetThroughput(state);
}
BENCHMARK(BM_SplitText);

}  // namespace

BENCHMARK_MAIN();
