#pragma once
// The command line: share addresses in, download addresses out.

#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace morvane::cli {

enum class Service { kBaidu, kChengtong, kLanzou };

std::string_view ServiceName(Service service);
std::optional<Service> ParseServiceName(std::string_view name);
// The service a share address belongs to, told from its host; nullopt when
// the host is none of the three services'.
std::optional<Service> DetectService(std::string_view url);

// Runs morvane-cli with its arguments (argv[0] is the program name) and
// returns the exit status: 0 when every URL gave an address, 1 when any did
// not, 2 for a usage error.
int RunCli(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
           std::ostream& err);

}  // namespace morvane::cli
