#!/usr/bin/env bash
# Installs the Debian packages Keyscope builds and runs with, when missing.
# Runs as root (apt-get) or through sudo. The names hold on Debian 12 and 13;
# the one that carries a compiler's version (clang's sanitizer and fuzzer
# runtime) is asked of apt for the clang that is, or will be, installed.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config clang clang-format clang-tidy
    qt6-base-dev qt6-qpa-plugins libgl-dev libx11-dev libhidapi-dev fonts-liberation2
    libgtest-dev libgmock-dev libbenchmark-dev
    xvfb xdotool imagemagick x11-utils
    dpkg-dev file desktop-file-utils appstream
    poppler-utils
)

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
apt_get() {
    # Another apt run on the same machine holds the lock for a while; wait for it.
    DEBIAN_FRONTEND=noninteractive $sudo apt-get -o DPkg::Lock::Timeout=600 "$@"
}
installed() {
    dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"
}
# The major version of clang: the installed one's, else the one apt would install.
clang_major() {
    if installed clang; then
        dpkg-query -W -f='${Depends}\n' clang
    else
        apt-cache depends --no-recommends --no-suggests clang 2>/dev/null
    fi | grep -o 'clang-[0-9][0-9]*' | head -1 | cut -d- -f2
}

updated=""
version=$(clang_major)
if [ -z "$version" ]; then
    # No package lists yet (a fresh machine): read them, then ask again.
    apt_get update -qq
    updated=1
    version=$(clang_major)
fi
[ -n "$version" ] || { echo "setup-deps: apt knows no clang package" >&2; exit 1; }
packages+=("libclang-rt-$version-dev")

missing=()
for p in "${packages[@]}"; do
    installed "$p" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi
echo "Installing: ${missing[*]}"
[ -n "$updated" ] || apt_get update -qq
apt_get install -y -qq --no-install-recommends "${missing[@]}"
