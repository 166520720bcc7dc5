#include "cli/cli.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#if MORVANE_HAVE_EMULATOR
#include "service_emulator.h"
#endif

namespace morvane::cli {
namespace {

struct RunResult {
  int status;
  std::string out;
  std::string err;
};

RunResult RunCommand(std::vector<std::string> args, const std::string& input = {}) {
  args.insert(args.begin(), "morvane-cli");
  std::istringstream in(input);
  std::ostringstream out;
  std::ostringstream err;
  int status = RunCli(args, in, out, err);
  return {status, out.str(), err.str()};
}

// Every sample share address routes to exactly its own service.
TEST(DetectService, RoutesSampleAddresses) {
  const struct {
    const char* url;
    std::optional<Service> service;
  } cases[] = {
      {"https://pan.baidu.com/s/1AbCdEfGhIjK", Service::kBaidu},
      {"http://pan.baidu.com/share/init?surl=AbCdEf", Service::kBaidu},
      {"https://yun.baidu.com/s/1xyz", Service::kBaidu},
      {"HTTPS://PAN.BAIDU.COM/s/1xyz", Service::kBaidu},
      {"https://url.ctfile.com/f/123-456-789", Service::kChengtong},
      {"https://ctfile.com/f/1", Service::kChengtong},
      {"http://www.400gb.com/file/123456", Service::kChengtong},
      {"https://www.ctdisk.com/file/42", Service::kChengtong},
      {"https://www.lanzoux.com/iAbc123", Service::kLanzou},
      {"https://wwa.lanzouw.com/iAbc123", Service::kLanzou},
      {"https://lanzous.com/b0f1", Service::kLanzou},
      {"www.lanzoui.com/iAbc", Service::kLanzou},
      // Look-alikes and strangers route nowhere.
      {"https://notbaidu.com/s/1", std::nullopt},
      {"https://baidu.com.evil.example/s/1", std::nullopt},
      {"https://evil.example/?u=pan.baidu.com/s/1", std::nullopt},
      {"https://example.com/lanzou", std::nullopt},
      {"", std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DetectService(c.url), c.service) << c.url;
  }
}

TEST(RunCli, UsageErrorsExitWithTwo) {
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"--json"},
      {"--frobnicate", "https://pan.baidu.com/s/1"},
      {"-s", "dropbox", "https://pan.baidu.com/s/1"},
      {"https://pan.baidu.com/s/1", "--service"},
      {"--cacert"},
      {"--json=yes", "https://pan.baidu.com/s/1"},
  };
  for (const auto& args : cases) {
    RunResult result = RunCommand(args);
    EXPECT_EQ(result.status, 2) << testing::PrintToString(args);
    EXPECT_TRUE(result.out.empty());
    EXPECT_NE(result.err.find("morvane-cli: "), std::string::npos);
  }
}

TEST(RunCli, HelpAndVersionPrintAndSucceed) {
  RunResult help = RunCommand({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("Usage: morvane-cli [OPTIONS] URL..."), std::string::npos);
  EXPECT_NE(help.out.find("--lanzou-host HOST[:PORT]"), std::string::npos);

  RunResult version = RunCommand({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, "morvane-cli 1.0\n");
}

TEST(RunCli, AddressOfUnknownServiceIsAnErrorForThatAddressOnly) {
  RunResult result = RunCommand({"--json", "https://example.com/file"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out,
            "{\"url\":\"https://example.com/file\",\"service\":null,\"link\":\"\","
            "\"error\":\"cannot tell the service of this address; use --service\"}\n");

  RunResult plain = RunCommand({"https://example.com/file"});
  EXPECT_EQ(plain.status, 1);
  EXPECT_TRUE(plain.out.empty());
  EXPECT_EQ(plain.err,
            "morvane-cli: https://example.com/file: cannot tell the service of this address; use "
            "--service\n");
}

TEST(RunCli, DashReadsAddressesFromStandardInput) {
  RunResult result =
      RunCommand({"--json", "-"}, "https://example.com/a\r\n\nhttps://example.com/b\n");
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.out.find("\"url\":\"https://example.com/a\""), std::string::npos);
  EXPECT_LT(result.out.find("example.com/a"), result.out.find("example.com/b"));
  EXPECT_EQ(std::count(result.out.begin(), result.out.end(), '\n'), 2);
}

#if MORVANE_HAVE_EMULATOR

// The command line against the loopback services: the emulator's hosts stand
// in for the services' own, so the service is named with --service or found
// from the address through the options below.
class RunCliAgainstEmulator : public testing::Test {
 protected:
  std::vector<std::string> With(std::vector<std::string> args) const {
    std::vector<std::string> all = {"--lanzou-host", emulator_.HttpsHost(),  //
                                    "--baidu-host",  emulator_.HttpHost(),   //
                                    "--cacert",      emulator::ServiceEmulator::CertificateFile()};
    all.insert(all.end(), args.begin(), args.end());
    return all;
  }

  emulator::ServiceEmulator emulator_;
};

TEST_F(RunCliAgainstEmulator, PrintsAddressesInInputOrder) {
  ASSERT_TRUE(emulator_.Running());
  // Lanzou resolves run on their own threads; the one given first must still
  // be printed first even when the second finishes earlier.
  const std::string lanzouA = emulator_.LanzouShareUrl("iSlowFirst01");
  const std::string lanzouB = emulator_.LanzouShareUrl("iFastSecond2");
  emulator::EmulatorOptions options;
  options.delayOf = [](const emulator::RecordedRequest& request) {
    return request.target.find("iSlowFirst01") != std::string::npos ? std::chrono::milliseconds(300)
                                                                    : std::chrono::milliseconds(0);
  };
  emulator_.SetOptions(options);

  RunResult result = RunCommand(With({"-s", "lanzou", lanzouA, lanzouB}));
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out, emulator_.Lanzou("iSlowFirst01").downloadUrl + "\n" +
                            emulator_.Lanzou("iFastSecond2").downloadUrl + "\n");
  EXPECT_TRUE(result.err.empty()) << result.err;
}

TEST_F(RunCliAgainstEmulator, JsonLinesForEveryServiceAndFailure) {
  ASSERT_TRUE(emulator_.Running());
  const std::string chengtong = emulator_.ChengtongShareUrl();
  const std::string baidu = emulator_.BaiduShareUrl();

  RunResult result = RunCommand(With({"--json", "-s", "chengtong", chengtong}));
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, "{\"url\":\"" + chengtong + "\",\"service\":\"chengtong\",\"link\":\"" +
                            emulator_.Chengtong().downloadUrl + "\"}\n");

  result = RunCommand(With({"--json", "--service=baidu", baidu}));
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out, "{\"url\":\"" + baidu + "\",\"service\":\"baidu\",\"link\":\"" +
                            emulator_.Baidu().downloadUrl + "\"}\n");

  emulator::EmulatorOptions options;
  options.lanzouPageWithoutFrame = true;
  emulator_.SetOptions(options);
  const std::string lanzou = emulator_.LanzouShareUrl();
  result = RunCommand(With({"--json", "-s", "lanzou", lanzou}));
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, "{\"url\":\"" + lanzou +
                            "\",\"service\":\"lanzou\",\"link\":\"\",\"error\":\"解析失败\"}\n");
}

TEST_F(RunCliAgainstEmulator, FailedAddressIsReportedAndTheRestGoOn) {
  ASSERT_TRUE(emulator_.Running());
  emulator::EmulatorOptions options;
  options.lanzouPageWithoutFrame = true;
  emulator_.SetOptions(options);
  const std::string lanzou = emulator_.LanzouShareUrl();
  const std::string chengtong = emulator_.ChengtongShareUrl();
  const std::string unreachable = "http://127.0.0.1:9/f/1";

  // Standard input supplies the middle addresses.
  RunResult result =
      RunCommand(With({"-s", "chengtong", chengtong, "-", chengtong}), unreachable + "\n");
  EXPECT_EQ(result.status, 1);
  const std::string link = emulator_.Chengtong().downloadUrl;
  EXPECT_EQ(result.out, link + "\n" + link + "\n");
  EXPECT_EQ(result.err, "morvane-cli: " + unreachable + ": no download address found\n");

  result = RunCommand(With({"-s", "lanzou", lanzou}));
  EXPECT_EQ(result.status, 1);
  EXPECT_TRUE(result.out.empty());
  EXPECT_EQ(result.err, "morvane-cli: " + lanzou + ": 解析失败\n");
}

TEST_F(RunCliAgainstEmulator, OneBaiduResolverServesTheWholeRun) {
  ASSERT_TRUE(emulator_.Running());
  const std::string first = emulator_.BaiduShareUrl();
  const std::string second = emulator_.BaiduShareUrl("SecondShare0987654321");

  RunResult result = RunCommand(With({"-s", "baidu", first, second}));
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out, emulator_.Baidu().downloadUrl + "\n" +
                            emulator_.Baidu("SecondShare0987654321").downloadUrl + "\n");

  // The second share's first request carries the cookies the first gathered.
  auto pages = emulator_.RequestsTo("/s/");
  ASSERT_EQ(pages.size(), 4u);
  EXPECT_TRUE(pages[0].Cookies().empty());
  EXPECT_FALSE(pages[2].Cookies().empty());
}

TEST_F(RunCliAgainstEmulator, VerboseDescribesEachExchange) {
  ASSERT_TRUE(emulator_.Running());
  const std::string chengtong = emulator_.ChengtongShareUrl();
  RunResult result = RunCommand(With({"-v", "-s", "chengtong", chengtong}));
  EXPECT_EQ(result.status, 0);
  EXPECT_NE(result.err.find("* GET " + chengtong + " -> 200 (sent "), std::string::npos)
      << result.err;
  EXPECT_NE(result.err.find("/get_file_url.php?uid="), std::string::npos);
}

#endif  // MORVANE_HAVE_EMULATOR

}  // namespace
}  // namespace morvane::cli
