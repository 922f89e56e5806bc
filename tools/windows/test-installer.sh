#!/usr/bin/env bash
# Packs a Windows build (tools/windows/package.sh), installs the setup program silently under Wine
# in a fresh prefix, starts the installed varnoctl.exe --version and varnodevm.exe (on Xvfb),
# uninstalls silently and checks that nothing of ours is left: no files, no Start-menu entry, no
# entry in Add/Remove Programs.
#
#   bash tools/windows/test-installer.sh [BUILD_DIR]   (default: build-win)
#   bash tools/windows/test-installer.sh SETUP_EXE     (tests that setup program as it is)
#
# Needs no display of its own. Wine shows no UAC prompt and has no real Program Files permissions:
# the silent install runs with the rights Wine gives every program.
set -euo pipefail
cd "$(dirname "$0")/../.."

version=$(sed -n 's/^project(varno VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
target=${1:-build-win}
if [[ "$target" == *.exe ]]; then
    setup=$target
else
    bash tools/windows/package.sh "$target"
    setup=dist/VARNO-Device-Manager-$version-setup.exe
fi
[ -f "$setup" ] || { echo "No setup program $setup" >&2; exit 1; }
setup=$(readlink -f "$setup")

work=$(mktemp -d)
export WINEPREFIX=$work/wine
export WINEDEBUG=-all
# No desktop entries or file associations in the user's own home from this prefix's Start menu.
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree,mshtml="
cleanup() {
    timeout 30 wineserver -k >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*" >&2
    exit 1
}
# Every Wine call is bounded; wineserver -w waits until the prefix's programs have ended (the
# uninstaller runs on from a copy of itself in the temporary folder).
winerun() {
    local limit=$1
    shift
    timeout "$limit" wine "$@"
}
settle() {
    timeout 120 wineserver -w || fail "Wine programs still running after 2 minutes"
}

started=$SECONDS
timeout 180 wineboot --init >/dev/null 2>&1 || fail "wineboot did not set up the prefix"
settle

program_files="$WINEPREFIX/drive_c/Program Files/VARNO Device Manager"
shortcut="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/VARNO Device Manager.lnk"
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\VARNO Device Manager'

echo "Installing $(basename "$setup") silently"
winerun 300 "$setup" /S || fail "the setup program failed (exit $?)"
settle
for f in varnodevm.exe varnoctl.exe uninstall.exe Qt5Core.dll sqlite3.dll platforms/qwindows.dll \
    sqldrivers/qsqlite.dll locales/languages.xml locales/varnodevm_ru.qm locales/qtbase_ru.qm; do
    [ -f "$program_files/$f" ] || fail "not installed: $f"
done
[ -f "$shortcut" ] || fail "no Start-menu entry"

# A program update runs the setup over the installed version: it removes that one first.
echo "Installing again over the installed version"
winerun 300 "$setup" /S || fail "the setup program failed over an installed version (exit $?)"
settle
for f in varnoctl.exe uninstall.exe; do
    [ -f "$program_files/$f" ] || fail "the second install left no $f"
done
registered=$(winerun 60 reg query "$key" /v DisplayVersion /reg:64 2>/dev/null | tr -d '\r') \
    || fail "no entry in Add/Remove Programs"
grep -q "DisplayVersion.*$version" <<<"$registered" || fail "Add/Remove Programs shows: $registered"

# Started by its installed path alone, so every DLL must have been installed beside it.
out=$(cd "$work" && winerun 60 'C:\Program Files\VARNO Device Manager\varnoctl.exe' --version \
    2>&1 | tr -d '\r') || fail "varnoctl.exe --version failed: $out"
settle
grep -qF "$version" <<<"$out" || fail "varnoctl.exe --version said '$out', expected $version"
echo "Installed varnoctl.exe --version: $out"

# The installed program opens its window with the shipped platform plugin (no WINEPATH, no Qt
# variables): a window titled "VARNO Device Manager" appears on a virtual display.
cat > "$work/window-shown.sh" <<'EOF'
wine 'C:\Program Files\VARNO Device Manager\varnodevm.exe' >/dev/null 2>&1 &
for _ in $(seq 600); do
    xwininfo -root -tree 2>/dev/null | grep -q '"VARNO Device Manager"' && exit 0
    sleep 0.1
done
exit 1
EOF
(cd "$work" && timeout 120 xvfb-run -a -s "-screen 0 1024x700x24" bash "$work/window-shown.sh") \
    || fail "the installed varnodevm.exe showed no window within a minute"
timeout 30 wineserver -k || true
settle
echo "Installed varnodevm.exe opened its window"

echo "Uninstalling silently"
winerun 120 'C:\Program Files\VARNO Device Manager\uninstall.exe' /S || fail "the uninstaller failed"
settle
if [ -e "$program_files" ]; then
    find "$program_files" >&2
    fail "left behind in Program Files"
fi
[ ! -e "$shortcut" ] || fail "the Start-menu entry is left"
if winerun 60 reg query "$key" /reg:64 >/dev/null 2>&1; then
    fail "the Add/Remove Programs entry is left"
fi
echo "PASS: installed, ran and uninstalled without a trace in $((SECONDS - started)) s"
