# Shared by scripts/run and scripts/test: installs what the build needs and
# builds the program into build/.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${VELMORA_BUILD_DIR:-$ROOT/build}"

# Debian packages the build, the program and its tests need.
PACKAGES=(
    cmake g++ make pkg-config
    qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins libqt6sql6-sqlite libqt6sql6-odbc
    libgtest-dev
    libsmbclient-dev samba smbclient
    xdg-utils iputils-ping fonts-liberation fonts-dejavu-core
    dpkg-dev
)

install_packages() {
    local missing=()
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=()
    [ "$(id -u)" -ne 0 ] && sudo=(sudo)
    "${sudo[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends \
        "${missing[@]}" >/dev/null
}

# Wine, to run the Windows build's tests headless.
WINE_PACKAGES=(wine wine64)

# Makes the Wine prefix in the folder (once) in the background; every Wine
# program of this run then uses it. wait_for_wine_prefix waits for it.
start_wine_prefix() {
    export WINEPREFIX="$1"
    export WINEDEBUG=-all
    # No Mono or Gecko: nothing here needs .NET or a browser engine.
    export WINEDLLOVERRIDES="mscoree,mshtml="
    WINE_PREFIX_JOB=""
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        mkdir -p "$WINEPREFIX"
        (nice wineboot -i >/dev/null 2>&1 && wineserver -w) &
        WINE_PREFIX_JOB=$!
    fi
}

wait_for_wine_prefix() {
    if [ -n "${WINE_PREFIX_JOB:-}" ]; then
        wait "$WINE_PREFIX_JOB" || { echo "wineboot failed for $WINEPREFIX"; return 1; }
    fi
}

build_program() {
    cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
    cmake --build "$BUILD" -j "$(nproc)"
}
