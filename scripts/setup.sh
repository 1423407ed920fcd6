#!/usr/bin/env bash
# Set-up for a fresh Debian 12 machine.
#   scripts/setup.sh start   install what the program needs, build it, start it
#   scripts/setup.sh test    install what the tests need, build, run every test
#   scripts/setup.sh package install what packaging needs, build the Debian package
#   scripts/setup.sh fuzz [seconds]
#                            explore the settings-file reader with a random seed
#                            (default 600 seconds); what it finds goes into the
#                            seed corpus that the test command replays
set -euo pipefail
cd "$(dirname "$0")/.."

mode=${1:-start}
as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
jobs=$(nproc)

run_pkgs=(cmake ninja-build g++ pkg-config qt6-base-dev libxcb1-dev libgl-dev libsqlite3-dev libxxhash-dev libicu-dev librsvg2-bin
          fonts-wqy-microhei xdg-utils qt6-translations-l10n qt6-tools-dev qt6-l10n-tools)
# cpack's Debian generator finds the binaries with file and their libraries with
# dpkg-shlibdeps.
package_pkgs=(dpkg-dev file)
# The engine's tests also mount exFAT, FAT and NTFS images of their own through FUSE;
# the desktop tests hold a copy mid-way with a FUSE file system of their own.
test_pkgs=(clang-14 libclang-rt-14-dev clang-format-14 libxcb-damage0-dev xvfb xauth openbox xdotool x11-utils thunar
           python3 python3-gi gir1.2-gtk-3.0 imagemagick procps at-spi2-core python3-pyatspi
           dbus-daemon python3-dbus desktop-file-utils libglib2.0-bin appstream x11-xserver-utils
           sway xwayland libwayland-dev libwayland-bin passwd lintian
           kwin-wayland mutter pipewire "${package_pkgs[@]}"
           fuse3 libfuse3-dev exfat-fuse exfatprogs fusefat dosfstools ntfs-3g mount)

install() {
    local missing=()
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    "${as_root[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

case "$mode" in
start)
    install "${run_pkgs[@]}"
    cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DQB_TESTS=OFF
    cmake --build build -j "$jobs"
    exec build/quillbeck
    ;;
test)
    install "${run_pkgs[@]}" "${test_pkgs[@]}"
    # The release build, as a user gets it, must stay warning-free too.
    cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DQB_WERROR=ON
    cmake --build build -j "$jobs"
    # Every test runs against a sanitized build; clang brings libFuzzer along.
    cmake -S . -B build-test -G Ninja -DCMAKE_BUILD_TYPE=Debug \
        -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 \
        -DQB_SANITIZE=ON -DQB_FUZZ=ON -DQB_WERROR=ON
    cmake --build build-test -j "$jobs"
    cd build-test
    # A desktop test that loses a race with the machine's load gets one more run;
    # one that fails twice fails the run.
    ctest --output-on-failure -j "$jobs" --repeat until-pass:2
    ;;
package)
    install "${run_pkgs[@]}" "${package_pkgs[@]}"
    cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DQB_TESTS=OFF
    cmake --build build -j "$jobs"
    (cd build && cpack -G DEB)
    ls build/quillbeck_*.deb
    ;;
fuzz)
    seconds=${2:-600}
    install "${run_pkgs[@]}" "${test_pkgs[@]}"
    cmake -S . -B build-test -G Ninja -DCMAKE_BUILD_TYPE=Debug \
        -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 \
        -DQB_SANITIZE=ON -DQB_FUZZ=ON -DQB_WERROR=ON
    cmake --build build-test -j "$jobs" --target fuzz_ini_reader
    # The working corpus grows from run to run; failing inputs land in found/.
    work=build-test/fuzz-explore
    mkdir -p "$work/corpus" "$work/found"
    rc=0
    build-test/tests/store/fuzz_ini_reader -max_total_time="$seconds" -max_len=4096 \
        -timeout=10 -artifact_prefix="$work/found/" "$work/corpus" tests/store/fuzz_seeds || rc=$?
    found=0
    for f in "$work"/found/*; do
        [ -f "$f" ] || continue
        mv "$f" tests/store/fuzz_seeds/
        echo "found: tests/store/fuzz_seeds/$(basename "$f")" >&2
        found=1
    done
    if [ "$found" -eq 1 ] || [ "$rc" -ne 0 ]; then
        echo "The test command now replays what was found: fix the fault and commit" \
             "each case with its fix." >&2
        exit 1
    fi
    ;;
*)
    echo "usage: $0 start|test|package|fuzz [seconds]" >&2
    exit 2
    ;;
esac
