#!/usr/bin/env bash
# check_package.sh BUILD_FOLDER
#
# Makes the .deb from the build with CPack, checks its file list and its
# dependencies, unpacks it into a fresh folder and runs the unpacked program:
# --help and --version without a display, and the window (offscreen) on a
# server list in the user's settings folder, as an installed program finds it.
set -euo pipefail
BUILD="$1"
for tool in cpack dpkg-deb dpkg-shlibdeps; do
    command -v "$tool" >/dev/null || { echo "SKIP: no $tool"; exit 77; }
done
WORK="$(mktemp -d)"
trap 'rm -rf "$WORK"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

cpack -G DEB --config "$BUILD/CPackConfig.cmake" -B "$WORK/out" >"$WORK/cpack.log" 2>&1 ||
    { cat "$WORK/cpack.log"; fail "cpack"; }
DEB="$(ls "$WORK"/out/velmora_*.deb)"

# The file list: the programs side by side in /usr/bin, the desktop entry,
# the icon in every size of the theme; nothing of the build or the tests.
dpkg-deb -c "$DEB" | awk '{print $6}' | sed 's|^\./|/|' | grep -v '/$' | sort >"$WORK/files"
for f in /usr/bin/velmora /usr/bin/velmora-smb /usr/bin/velmora-copier \
    /usr/share/applications/velmora.desktop /usr/share/doc/velmora/README.md; do
    grep -qx "$f" "$WORK/files" || fail "$f is not in the package"
done
for size in 16 22 24 32 48 64 128 256; do
    grep -qx "/usr/share/icons/hicolor/${size}x${size}/apps/velmora.png" "$WORK/files" ||
        fail "no ${size}x${size} icon"
done
if grep -Ev '^/usr/(bin/velmora(-smb|-copier|-cli)?|share/applications/velmora\.desktop|share/icons/hicolor/[0-9]+x[0-9]+/apps/velmora\.png|share/doc/velmora/README\.md)$' \
    "$WORK/files"; then
    fail "files the package should not carry (above)"
fi

# The dependencies: the libraries the programs link, found by dpkg-shlibdeps.
DEPENDS="$(dpkg-deb -f "$DEB" Depends)"
for library in libqt6widgets6 libqt6gui6 libqt6core6 libqt6sql6 libsmbclient libc6 libstdc++6; do
    grep -q "$library" <<<"$DEPENDS" || fail "Depends lacks $library: $DEPENDS"
done
# Every package named exists in the system's package lists.
for package in $(sed 's/([^)]*)//g; s/[,|]/ /g' <<<"$DEPENDS"); do
    dpkg-query -W "$package" >/dev/null 2>&1 || apt-cache show "$package" >/dev/null 2>&1 ||
        fail "no package $package"
done

# The unpacked program.
ROOT="$WORK/root"
dpkg-deb -x "$DEB" "$ROOT"
VELMORA="$ROOT/usr/bin/velmora"
HOME_DIR="$WORK/home"
mkdir -p "$HOME_DIR"
run() { env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM -u XDG_CONFIG_HOME -u XDG_STATE_HOME \
    HOME="$HOME_DIR" "$@"; }
[ "$(run "$VELMORA" --version)" = "velmora 2.0" ] || fail "--version"
run "$VELMORA" --help | grep -q "$HOME_DIR/.config/velmora/serveri.txt" || fail "--help"
if run env QT_QPA_PLATFORM=offscreen VELMORA_NONINTERACTIVE=1 "$VELMORA" 2>"$WORK/refused"; then
    fail "started without a server list"
fi
grep -q "Ne postoji fajl serveri.txt!" "$WORK/refused" || fail "refusal: $(cat "$WORK/refused")"
mkdir -p "$HOME_DIR/.config/velmora" "$WORK/srv/app"
printf '%s\r\n' "$WORK/srv/app" >"$HOME_DIR/.config/velmora/serveri.txt"
set +e
run env QT_QPA_PLATFORM=offscreen VELMORA_NONINTERACTIVE=1 timeout 3 "$VELMORA" 2>"$WORK/ran"
code=$?
set -e
[ "$code" -eq 124 ] || fail "the window did not stay open ($code): $(cat "$WORK/ran")"
grep -q '"record":"start"' "$HOME_DIR"/.local/state/velmora/journal-*.jsonl ||
    fail "the unpacked program wrote no journal"
grep -q "\"servers\":\"$HOME_DIR/.config/velmora/serveri.txt\"" \
    "$HOME_DIR"/.local/state/velmora/journal-*.jsonl || fail "the list in the settings folder"
# The copier beside it runs too (bad usage: 16).
set +e
"$ROOT/usr/bin/velmora-copier" >/dev/null
code=$?
set -e
[ "$code" -eq 16 ] || fail "velmora-copier ended with $code"
if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$ROOT/usr/share/applications/velmora.desktop" || fail "desktop file"
fi
echo "package OK: $(basename "$DEB"), Depends: $DEPENDS"
