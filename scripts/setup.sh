#!/usr/bin/env bash
# Installs the Debian 12 packages the project needs to build, run and test.
# Does nothing when everything is already there; uses sudo when not root.
set -euo pipefail

packages=(
  g++ cmake make pkg-config git
  qt6-base-dev qt6-qpa-plugins libqt6sql6-sqlite libqt6sql6-psql
  nlohmann-json3-dev libgtest-dev libgmock-dev
  postgresql postgresql-client sqlite3 libsqlite3-dev
  clang libclang-rt-14-dev
  xvfb xauth fonts-dejavu-core
  qt6-tools-dev libqt6opengl6-dev dpkg-dev file desktop-file-utils appstream
  libpq-dev sqlite3-tools
  # test oracles of the EDI acknowledgments and JSON form: an independent X12
  # parser, and a JSON Schema validator
  libx12-parser-perl python3-jsonschema
)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

sudo=""
[[ $(id -u) -eq 0 ]] || sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
