# Shared by the scripts: installs what is missing (as root, with apt-get),
# then configures and builds into build/. Sourced, not run.
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
cd "$ROOT"

PACKAGES="cmake g++ ninja-build libgtest-dev libbenchmark-dev libeigen3-dev qt6-base-dev qt6-svg-dev fonts-liberation libgdal-dev libssl-dev nlohmann-json3-dev help2man lintian python3-pandas r-base-core"

ensure_packages() {
  missing=""
  for p in $PACKAGES "$@"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
      missing="$missing $p"
    fi
  done
  if [ -n "$missing" ]; then
    if [ "$(id -u)" != 0 ]; then
      echo "missing packages:$missing (run as root, or install them first)" >&2
      exit 1
    fi
    echo "installing:$missing"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    # shellcheck disable=SC2086
    apt-get install -y -qq --no-install-recommends $missing >/dev/null
  fi
}

# build DIR [cmake options...]
build() {
  dir=$1
  shift
  if [ ! -f "$dir/CMakeCache.txt" ]; then
    cmake -S "$ROOT" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
  fi
  cmake --build "$dir"
}
