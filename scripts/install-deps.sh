#!/usr/bin/env bash
# Installs the Debian packages the project needs; returns at once when all are present.
set -euo pipefail

packages=(
  g++ cmake ninja-build pkg-config
  libicu-dev libgtest-dev libgmock-dev libbenchmark-dev
  libcurl4-openssl-dev libpcre2-dev nlohmann-json3-dev libcpp-httplib-dev
  libssl-dev tinyproxy openssl ca-certificates
  qt6-base-dev xvfb xauth x11-utils fonts-wqy-microhei python3
  clang libclang-rt-14-dev
)

missing=()
for package in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$package")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

echo "Installing missing packages: ${missing[*]}" >&2
sudo_cmd=()
[[ $(id -u) -eq 0 ]] || sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
