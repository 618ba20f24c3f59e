# Shared by scripts/quarnc and scripts/test: installs what the build needs.
# Sourced, not run.

QUARN_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# Packages the build and the tests need, as Debian names.
QUARN_BUILD_PACKAGES=(
  cmake ninja-build g++ pkg-config ccache
  libssl-dev zlib1g-dev libxml2-dev libsqlite3-dev libssh2-1-dev libc-ares-dev libwslay-dev
  gettext
)
QUARN_TEST_PACKAGES=(
  libgtest-dev libgmock-dev libbenchmark-dev python3 openssl openssh-server nginx-light tinyproxy
  vsftpd python3-pyftpdlib python3-websockets mktorrent python3-libtorrent opentracker
  transmission-daemon transmission-cli ctorrent curl wget2 strace
)

quarn_install_packages() {
  local missing=()
  local pkg
  for pkg in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
      missing+=("$pkg")
    fi
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  if [ "$(id -u)" -ne 0 ]; then
    echo "Missing packages: ${missing[*]} (run as root to install them)" >&2
    return 1
  fi
  echo "Installing: ${missing[*]}" >&2
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq >&2 || return 1
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2 || return 1
}

# A fresh clone in another folder still hits the compiler cache.
export CCACHE_BASEDIR="$QUARN_ROOT"
export CCACHE_NOHASHDIR=1

quarn_jobs() {
  nproc 2>/dev/null || echo 2
}
