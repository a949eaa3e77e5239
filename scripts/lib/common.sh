# Shared by the scripts: the project root, and installing missing Debian packages.
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
JOBS=2

# Everything the build, the tests, the benchmarks and the demo need.
PACKAGES=(
  build-essential cmake pkg-config clang libclang-rt-14-dev
  libgtk2.0-dev libx11-dev libgtest-dev libgmock-dev libbenchmark-dev libicu-dev libstb-dev
  xvfb openbox xdotool wmctrl x11-utils imagemagick desktop-file-utils
  dpkg-dev file xpad man-db python3
)

# Installs the packages that are missing: apt-get update once, then install,
# through sudo when not root.
ensure_packages() {
  local missing=()
  local p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local sudo=()
  [ "$(id -u)" -ne 0 ] && sudo=(sudo)
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" </dev/null
}
