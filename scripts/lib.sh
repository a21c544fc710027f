# Shared by scripts/run and scripts/test: package set-up and the builds.
set -euo pipefail

TOP="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="$TOP/build"
BUILD_WIN="$TOP/build-win"

apt_updated=0
# Installs the Debian packages that are missing (apt-get update at most once).
ensure_packages() {
    local missing=()
    local p
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" ||
            missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    echo "Installing: ${missing[*]}"
    if [ $apt_updated -eq 0 ]; then
        $sudo apt-get update -qq
        apt_updated=1
    fi
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends \
        "${missing[@]}" >/dev/null
}

BUILD_PACKAGES=(cmake ninja-build g++ qt6-base-dev libgl-dev libgtest-dev googletest
    fonts-dejavu-core fonts-liberation fp-utils)
RUN_PACKAGES=(xdg-utils xchm file)
TEST_PACKAGES=(g++-mingw-w64-x86-64 wine wine64 xvfb xauth openbox trayer xdotool imagemagick
    x11-utils locales clang libclang-rt-14-dev)

ensure_locale() {
    if ! locale -a 2>/dev/null | grep -qi '^ru_RU\.utf-\?8$'; then
        local sudo=""
        [ "$(id -u)" -ne 0 ] && sudo="sudo"
        $sudo sed -i 's/^# *\(ru_RU.UTF-8 UTF-8\)/\1/' /etc/locale.gen
        grep -q '^ru_RU.UTF-8 UTF-8' /etc/locale.gen || echo 'ru_RU.UTF-8 UTF-8' | $sudo tee -a /etc/locale.gen >/dev/null
        $sudo locale-gen >/dev/null
    fi
}

build_native() {
    cmake -S "$TOP" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    cmake --build "$BUILD"
}

build_windows() {
    cmake -S "$TOP" -B "$BUILD_WIN" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$TOP/cmake/mingw-w64.cmake" >/dev/null
    cmake --build "$BUILD_WIN"
}
