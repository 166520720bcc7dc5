// The script objects beside the libraries they wrap: RegexObject::Search with
// each of the system's five patterns over a 300 KB GBK page whose match lies
// near the end, against PCRE2 compiling and matching the same page in UTF-8;
// and JsonObject::Parse plus three GetText calls on a 1 MB GBK answer,
// against nlohmann's own parse of the UTF-8 text.

#include <benchmark/benchmark.h>

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "script/json_object.h"
#include "script/regex_object.h"
#include "text/charset.h"

namespace {

struct PatternCase {
  const char* name;
  const char* pattern;
  const char* tail;  // UTF-8 text that holds the match, put near the end
};

// The frame pattern holds double quotes of its own.
const PatternCase kPatterns[] = {
    {"host", R"((http[s]*\://.*?)/)", "<a>https://url89.ctfile.com/f/1234-5678</a>"},
    {"chengtong", R"(abuse\?uid\=(.*?)&[\s\S]*?free\_down\('(.*?)',\s0,\s'(.*?)')",
     "<a href=\"/abuse?uid=1234567&fid=9\">举报</a>\n<script>\n"
     "free_down('987654321', 0, '7d9e1f0a3b5c', 'x');</script>"},
    {"frame", R"re(ifr2"\sname="[\s\S]*?"\ssrc="\/(.*?)")re",
     "<iframe class=\"ifr2\" name=\"1690000000\" src=\"/fn?UDZTblhvCjdQAF1tVTYANg\" "
     "frameborder=\"0\"></iframe>"},
    {"form", R"(=\s'(.*?)';[\S\s]*?=\s'(.*?)'[\S\s]*?=\s'(.*?)'[\S\s]*?=\s'(.*?)')",
     "<script>\nvar ajaxdata = 'downprocess';\nvar postfid = '123456789';\n"
     "var cppat = 'VDNWOgswBDMGCVNjU2BSMl';\nvar websignkey = 'Zb5n';\n</script>"},
    {"charset", R"(<meta.+?charset=[^\w]?([-\w]+))",
     "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=gbk\">"},
};

// A share page in UTF-8: rows of links with Chinese names, none of which any
// pattern matches, then the tail and a little more.
std::string MakePage(const std::string& tail) {
  const std::string row =
      "<li class=\"file\"><a href=\"/s/1abcDEF\">我的资料包 2024.zip</a>"
      "<span>大小：12.5 MB 上传时间：2024-05-01</span></li>\n";
  std::string page = "<!DOCTYPE html><html><head><title>文件分享</title></head><body>\n";
  while (page.size() < 300 * 1024) page += row;
  return page + tail + row + "</body></html>";
}

void BM_RegexObjectSearch(benchmark::State& state) {
  const PatternCase& c = kPatterns[state.range(0)];
  const morvane::Text page = morvane::Utf8ToGbk(std::string_view(MakePage(c.tail)));
  for (auto _ : state) {
    morvane::RegexObject regex;
    regex.Search(c.pattern, page);
    benchmark::DoNotOptimize(regex.SubMatchText(1, 1));
  }
  state.SetLabel(c.name);
}

// PCRE2 on the UTF-8 page, compiling as Search does. With state.range(1)
// set it skips its check of the subject's UTF-8, as Search does for the
// converter's output; without it, as for a page straight off the wire.
void BM_Pcre2Reference(benchmark::State& state) {
  const PatternCase& c = kPatterns[state.range(0)];
  const std::uint32_t matchOptions = state.range(1) != 0 ? PCRE2_NO_UTF_CHECK : 0;
  const std::string page = MakePage(c.tail);
  for (auto _ : state) {
    int error = 0;
    PCRE2_SIZE errorOffset = 0;
    pcre2_code* code =
        pcre2_compile(reinterpret_cast<PCRE2_SPTR>(c.pattern), PCRE2_ZERO_TERMINATED,
                      PCRE2_UTF | PCRE2_CASELESS | PCRE2_MULTILINE, &error, &errorOffset, nullptr);
    pcre2_jit_compile(code, PCRE2_JIT_COMPLETE);
    pcre2_match_data* data = pcre2_match_data_create_from_pattern(code, nullptr);
    const int rc = pcre2_match(code, reinterpret_cast<PCRE2_SPTR>(page.data()), page.size(), 0,
                               matchOptions, data, nullptr);
    if (rc > 1) {
      const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(data);
      benchmark::DoNotOptimize(page.substr(ovector[2], ovector[3] - ovector[2]));
    }
    pcre2_match_data_free(data);
    pcre2_code_free(code);
  }
  state.SetLabel(c.name);
}

BENCHMARK(BM_RegexObjectSearch)->DenseRange(0, 4)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Pcre2Reference)->ArgsProduct({{0, 1, 2, 3, 4}, {0, 1}})->Unit(benchmark::kMicrosecond);

// A share-download answer of about 1 MB: a long file list with Chinese paths.
std::string MakeAnswer() {
  std::string answer = R"({"errno":0,"request_id":123456789,"server_time":1700000000,"list":[)";
  for (int i = 0; answer.size() < 1024 * 1024; ++i) {
    if (i > 0) answer += ',';
    answer += R"({"fs_id":)" + std::to_string(1234567890123456LL + i) +
              R"(,"path":"\/我的资源\/资料包)" + std::to_string(i) +
              R"(.zip","server_filename":"资料包.zip","size":12345678,"isdir":0,)"
              R"("dlink":"https:\/\/d.pcs.baidu.com\/file\/abc?fid=1&rt=pr&sign=FDtAER"})";
  }
  return answer + R"(],"sign":"a1b2c3d4e5"})";
}

void BM_JsonObjectParseAndRead(benchmark::State& state) {
  const morvane::Text answer = morvane::Utf8ToGbk(std::string_view(MakeAnswer()));
  for (auto _ : state) {
    morvane::JsonObject json;
    json.Parse(answer);
    benchmark::DoNotOptimize(json.GetText("sign"));
    benchmark::DoNotOptimize(json.GetText("list[0].path"));
    benchmark::DoNotOptimize(json.GetText("list[0].fs_id", true));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * answer.size()));
}
BENCHMARK(BM_JsonObjectParseAndRead)->Unit(benchmark::kMillisecond);

template <typename Json>
void BM_NlohmannReference(benchmark::State& state) {
  const std::string answer = MakeAnswer();
  for (auto _ : state) {
    const Json json = Json::parse(answer, nullptr, false);
    benchmark::DoNotOptimize(json["sign"].template get<std::string>());
    benchmark::DoNotOptimize(json["list"][0]["path"].template get<std::string>());
    benchmark::DoNotOptimize(json["list"][0]["fs_id"].dump());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * answer.size()));
}
BENCHMARK(BM_NlohmannReference<nlohmann::ordered_json>)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NlohmannReference<nlohmann::json>)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
