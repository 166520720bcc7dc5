// Utf8ToGbk over a 1 MB UTF-8 page with Chinese text, beside a bare ICU
// ucnv_convert of the same bytes, and a short-text conversion that shows the
// cost of the per-thread converter cache.

#include <benchmark/benchmark.h>
#include <unicode/ucnv.h>

#include <string>

#include "text/charset.h"

namespace {

std::string MakeChinesePage(std::size_t size) {
  std::string page =
      "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>"
      "\xE6\x96\x87\xE4\xBB\xB6\xE5\x88\x86\xE4\xBA\xAB</title></head><body>\n";
  const std::string row =
      "<li class=\"file\"><a href=\"/s/1abcDEF\">\xE6\x88\x91\xE7\x9A\x84\xE8\xB5\x84"
      "\xE6\x96\x99\xE5\x8C\x85 2024.zip</a><span>\xE5\xA4\xA7\xE5\xB0\x8F\xEF\xBC\x9A"
      "12.5 MB \xE4\xB8\x8A\xE4\xBC\xA0\xE6\x97\xB6\xE9\x97\xB4\xEF\xBC\x9A"
      "2024-05-01</span></li>\n";
  while (page.size() + row.size() < size) page += row;
  return page;
}

const std::string& Page() {
  static const std::string page = MakeChinesePage(1 << 20);
  return page;
}

void BM_Utf8ToGbk(benchmark::State& state) {
  const std::string& page = Page();
  for (auto _ : state) {
    benchmark::DoNotOptimize(morvane::Utf8ToGbk(std::string_view(page)));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * page.size()));
}
BENCHMARK(BM_Utf8ToGbk);

void BM_IcuConvertReference(benchmark::State& state) {
  const std::string& page = Page();
  std::string out(page.size(), '\0');
  for (auto _ : state) {
    UErrorCode status = U_ZERO_ERROR;
    const int32_t written =
        ucnv_convert("GBK", "UTF-8", out.data(), static_cast<int32_t>(out.size()), page.data(),
                     static_cast<int32_t>(page.size()), &status);
    benchmark::DoNotOptimize(written);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * page.size()));
}
BENCHMARK(BM_IcuConvertReference);

// The other way, which every regular-expression search takes.
void BM_GbkToUtf8(benchmark::State& state) {
  const std::string gbk = morvane::Utf8ToGbk(std::string_view(Page()));
  for (auto _ : state) benchmark::DoNotOptimize(morvane::GbkToUtf8(gbk));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * gbk.size()));
}
BENCHMARK(BM_GbkToUtf8);

void BM_IcuConvertToUtf8Reference(benchmark::State& state) {
  const std::string gbk = morvane::Utf8ToGbk(std::string_view(Page()));
  std::string out(gbk.size() * 2, '\0');
  for (auto _ : state) {
    UErrorCode status = U_ZERO_ERROR;
    benchmark::DoNotOptimize(ucnv_convert("UTF-8", "GBK", out.data(),
                                          static_cast<int32_t>(out.size()), gbk.data(),
                                          static_cast<int32_t>(gbk.size()), &status));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * gbk.size()));
}
BENCHMARK(BM_IcuConvertToUtf8Reference);

void BM_Utf8ToGbkShort(benchmark::State& state) {
  const std::string text = "file_list.list[0].\xE8\xB7\xAF\xE5\xBE\x84";
  for (auto _ : state) benchmark::DoNotOptimize(morvane::Utf8ToGbk(std::string_view(text)));
}
BENCHMARK(BM_Utf8ToGbkShort);

void BM_IcuConvertShortReference(benchmark::State& state) {
  const std::string text = "file_list.list[0].\xE8\xB7\xAF\xE5\xBE\x84";
  char out[64];
  for (auto _ : state) {
    UErrorCode status = U_ZERO_ERROR;
    benchmark::DoNotOptimize(ucnv_convert("GBK", "UTF-8", out, sizeof out, text.data(),
                                          static_cast<int32_t>(text.size()), &status));
  }
}
BENCHMARK(BM_IcuConvertShortReference);

}  // namespace

BENCHMARK_MAIN();
