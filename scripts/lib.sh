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
    # Another distribution (scripts/install): its own packages of the same names.
    if ! command -v apt-get >/dev/null 2>&1 || ! command -v dpkg-query >/dev/null 2>&1; then
        echo "Not a Debian system: install what these Debian packages hold, if missing: ${missing[*]}"
        return 0
    fi
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

BUILD_PACKAGES=(cmake ninja-build g++ ccache qt6-base-dev libgl-dev libgtest-dev googletest
    fonts-dejavu-core fonts-liberation fp-utils)
RUN_PACKAGES=(xdg-utils xchm file)
# Qt's Wayland plugin, for Wayland sessions without Xwayland.
RUN_PACKAGES+=(qt6-wayland)
# scripts/bench: the private X session it measures on, and strace for the idle figure.
BENCH_PACKAGES=(xvfb openbox trayer xdotool x11-utils procps strace python3)
TEST_PACKAGES=(g++-mingw-w64-x86-64 wine wine64 xvfb xauth openbox trayer xdotool imagemagick
    x11-utils locales clang libclang-rt-14-dev desktop-file-utils sigrok-cli python3)
# The desktops stage: Wayland compositors (weston, GNOME's mutter) with Xwayland,
# Qt's Wayland plugin, a session bus and a StatusNotifierItem tray.
DESKTOP_PACKAGES=(weston mutter xwayland qt6-wayland dbus-daemon libglib2.0-bin
    haskell-status-notifier-item-utils haskell-gtk-sni-tray-utils)
# scripts/kernel-test: Debian's kernel under QEMU with a busybox initramfs; X for
# the program in the second guest, python3 for the lab scripts there.
KERNEL_TEST_PACKAGES=(qemu-system-x86 busybox-static cpio xvfb xdotool x11-utils python3)
# scripts/install: setcap for the agent.
INSTALL_PACKAGES=(libcap2-bin)
# scripts/package: debhelper and its Python helper (debian/control's Build-Depends
# beyond BUILD_PACKAGES); scripts/package-test: lintian, a Debian 12 chroot to
# install the package in, getcap and desktop-file-validate.
PACKAGE_PACKAGES=(debhelper dh-python dpkg-dev fakeroot python3 git)
PACKAGE_TEST_PACKAGES=(lintian mmdebstrap zstd libcap2-bin desktop-file-utils util-linux)
BUILD_DEB="$TOP/build-deb"

ensure_locale() {
    if ! locale -a 2>/dev/null | grep -qi '^ru_RU\.utf-\?8$'; then
        local sudo=""
        [ "$(id -u)" -ne 0 ] && sudo="sudo"
        $sudo sed -i 's/^# *\(ru_RU.UTF-8 UTF-8\)/\1/' /etc/locale.gen
        grep -q '^ru_RU.UTF-8 UTF-8' /etc/locale.gen || echo 'ru_RU.UTF-8 UTF-8' | $sudo tee -a /etc/locale.gen >/dev/null
        $sudo locale-gen >/dev/null
    fi
}

# Every build goes through ccache: a second scripts/test, or scripts/run after it,
# recompiles only what changed.
# Paths are hashed relative to the checkout, so two checkouts share the cache.
CCACHE=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
# Debian gets ccache from BUILD_PACKAGES; another distribution may have none.
if ! command -v ccache >/dev/null 2>&1 && ! command -v apt-get >/dev/null 2>&1; then CCACHE=(); fi
export CCACHE_BASEDIR="$TOP" CCACHE_NOHASHDIR=1

configure_native() {
    cmake -S "$TOP" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${CCACHE[@]}" >/dev/null
}
# The native build: the given targets, or everything.
build_native() {
    configure_native
    cmake --build "$BUILD" ${1:+--target "$@"}
}

build_windows() {
    cmake -S "$TOP" -B "$BUILD_WIN" -G Ninja -DCMAKE_BUILD_TYPE=Release "${CCACHE[@]}" \
        -DCMAKE_TOOLCHAIN_FILE="$TOP/cmake/mingw-w64.cmake" >/dev/null
    cmake --build "$BUILD_WIN"
}

# The AddressSanitizer + UBSan build of everything (scripts/sanitize, scripts/soak).
BUILD_ASAN="$TOP/build-asan"
ASAN_FLAGS="-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
configure_asan() {
    cmake -S "$TOP" -B "$BUILD_ASAN" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARVIK_GUI=ON "${CCACHE[@]}" \
        -DCMAKE_CXX_FLAGS="$ASAN_FLAGS" -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null
}
# Leaks count in our code; the suppressions name only system libraries.
export_asan_options() {
    export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:detect_stack_use_after_return=1${1:+:$1}}"
    export LSAN_OPTIONS="${LSAN_OPTIONS:-suppressions=$TOP/tests/sanitizers/lsan.supp:print_suppressions=0}"
    export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
}
