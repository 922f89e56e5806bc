#!/usr/bin/env bash
# Tests the packages in dist/ (tools/build-deb.sh) the way a person uses them, on this machine, as
# root: lintian, install, what the installed programs say and where their files lie, the simulated
# monitor through the installed varnoctl, a reinstall, an upgrade, a purge. Whatever happens, our
# packages are purged again at the end.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "$(id -u)" -ne 0 ]; then
    echo "tools/test-deb.sh installs and removes packages: run it as root" >&2
    exit 1
fi
packages=(varno-device-manager varnoctl)
source tools/packages.sh
fail() { echo "test-deb: $*" >&2; exit 1; }
step() { echo "== $*"; }

varno_install_missing lintian desktop-file-utils appstream dpkg-dev

version=$(sed -n 's/^project(varno VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[ "$(dpkg-parsechangelog -S Version)" = "$version" ] \
    || fail "debian/changelog's version is not $version, the one CMakeLists.txt says"
debs=()
for p in "${packages[@]}"; do
    deb=$(ls dist/"${p}_${version}"_*.deb 2>/dev/null | head -n1)
    [ -n "$deb" ] || fail "no dist/${p}_${version}_*.deb: run tools/build-deb.sh first"
    debs+=("./$deb")
done
# The simulator is not packaged: the one of the test build, or else that of the package build.
simulator=${VARNO_DEVSIM:-build/tools/devsim/varno-devsim}
[ -x "$simulator" ] || simulator=build-deb/varno-device-manager/obj-$(dpkg-architecture -qDEB_HOST_GNU_TYPE)/tools/devsim/varno-devsim
[ -x "$simulator" ] || fail "no device simulator (set VARNO_DEVSIM to one)"

scratch=$(mktemp -d)
sim_pid=""
installed() { dpkg-query -W -f='${db:Status-Abbrev}' "$1" 2>/dev/null | grep -q '^.[^n]'; }
purge_ours() {
    local present=()
    for p in "${packages[@]}"; do installed "$p" && present+=("$p"); done
    [ ${#present[@]} -eq 0 ] || varno_apt_get purge "${present[@]}" >/dev/null
}
cleanup() {
    [ -z "$sim_pid" ] || { kill "$sim_pid" 2>/dev/null; wait "$sim_pid" 2>/dev/null; } || true
    purge_ours || echo "test-deb: could not purge ${packages[*]}" >&2
    rm -rf "$scratch"
}
trap cleanup EXIT
trap 'exit 1' INT TERM
# Left over from a run that was killed: start from a machine without them.
purge_ours

step "lintian"
lintian --fail-on error,warning --info "${debs[@]}"

# Every file and link each package lists is on disk, unchanged.
check_installed() {
    for p in "${packages[@]}"; do
        [ "$(dpkg-query -W -f='${Version} ${db:Status-Abbrev}' "$p")" = "$1 ii " ] \
            || fail "$p is not installed at version $1"
        dpkg --verify "$p" || fail "$p: installed files differ from the package"
        while IFS= read -r f; do
            [ -e "$f" ] || [ -L "$f" ] || fail "$p: $f is missing"
        done < <(dpkg -L "$p")
    done
}
# Paths of the packages' files and links (not the folders they share with others).
list_files() {
    for p in "${packages[@]}"; do
        dpkg -L "$p" | while IFS= read -r f; do [ -d "$f" ] || echo "$f"; done
    done | sort -u
}

step "install"
varno_apt_get install "${debs[@]}" >/dev/null
check_installed "$version"
[ "$(varnoctl --version)" = "varnoctl $version" ] || fail "varnoctl --version: $(varnoctl --version)"
out=$(env -u DISPLAY -u WAYLAND_DISPLAY varnodevm --version) || fail "varnodevm --version failed"
[ "$out" = "varnodevm $version" ] || fail "varnodevm --version: $out"
app_id=example.varno.DeviceManager
rule=/lib/udev/rules.d/60-varno-monitor.rules
cmp -s "$rule" packaging/60-varno-monitor.rules || fail "the udev rule is not $rule"
desktop-file-validate /usr/share/applications/$app_id.desktop
appstreamcli validate --no-net /usr/share/metainfo/$app_id.metainfo.xml
grep -q "<release version=\"$version\"" /usr/share/metainfo/$app_id.metainfo.xml \
    || fail "the metainfo's newest release is not $version"
[ -f /usr/share/icons/hicolor/64x64/apps/$app_id.png ] || fail "no icon"
[ -f /usr/share/varnodevm/locales/languages.xml ] || fail "no language catalogue"
for qm in /usr/share/varnodevm/locales/*.qm; do
    [ -r "$qm" ] || fail "$qm does not lead to a translation"
done
unit=/usr/lib/systemd/user/varno-watch.service
grep -q '^ExecStart=/usr/bin/varnoctl watch' "$unit" || fail "$unit does not start /usr/bin/varnoctl"
if find /etc/systemd/user -name varno-watch.service 2>/dev/null | grep -q .; then
    fail "varno-watch is enabled; only the user may enable it"
fi

step "varnoctl list finds an attached simulator"
# A home and runtime folder of the test's own: the simulator announces itself in the latter.
mkdir -p "$scratch/home" && mkdir -m 700 "$scratch/runtime"
as_user=(env HOME="$scratch/home" XDG_RUNTIME_DIR="$scratch/runtime" VARNO_SIMULATORS=1)
"${as_user[@]}" "$simulator" --attach > "$scratch/devsim.out" 2>"$scratch/devsim.err" &
sim_pid=$!
for _ in $(seq 100); do [ -s "$scratch/devsim.out" ] && break; sleep 0.1; done
[ -s "$scratch/devsim.out" ] || fail "the simulator did not start: $(cat "$scratch/devsim.err")"
listed=$("${as_user[@]}" timeout 60 varnoctl list) || fail "varnoctl list failed: $listed"
[ -n "$listed" ] && [ "$listed" != "no monitor found" ] || fail "varnoctl list found nothing"
echo "varnoctl list: $listed"
"${as_user[@]}" timeout 60 varnoctl info > "$scratch/info" || fail "varnoctl info failed"
kill "$sim_pid"; wait "$sim_pid" 2>/dev/null || true; sim_pid=""

step "reinstall"
varno_apt_get install --reinstall "${debs[@]}" >/dev/null
check_installed "$version"

step "upgrade"
# The next version, repacked from this one: it has a changelog entry of its own and moves the
# icon, so a file of the old version that the new one lacks must be gone after the upgrade.
next="$version+upgradetest1"
upgrade_debs=()
for deb in "${debs[@]}"; do
    p=$(dpkg-deb -f "$deb" Package)
    root=$scratch/$p
    dpkg-deb -R "$deb" "$root"
    sed -i "s/^Version: .*/Version: $next/" "$root/DEBIAN/control"
    changelog=$root/usr/share/doc/$p/changelog.gz
    { printf '%s (%s) unstable; urgency=medium\n\n  * Upgrade test.\n\n -- %s  %s\n\n' \
          varno-device-manager "$next" "Test <test@varno.example>" "$(date -R)"
      zcat "$changelog"; } | gzip -9n > "$changelog.new"
    mv "$changelog.new" "$changelog"
    if [ "$p" = varno-device-manager ]; then
        mkdir -p "$root/usr/share/icons/hicolor/128x128/apps"
        mv "$root/usr/share/icons/hicolor/64x64/apps/$app_id.png" "$root/usr/share/icons/hicolor/128x128/apps/"
        rmdir "$root/usr/share/icons/hicolor/64x64/apps" "$root/usr/share/icons/hicolor/64x64" 2>/dev/null || true
    fi
    (cd "$root" && find . -path ./DEBIAN -prune -o -type f -printf '%P\0' | sort -z | xargs -0 md5sum > DEBIAN/md5sums)
    dpkg-deb --root-owner-group -b "$root" "$scratch/${p}_${next}.deb" >/dev/null
    upgrade_debs+=("$scratch/${p}_${next}.deb")
done
list_files > "$scratch/old.files"
varno_apt_get install "${upgrade_debs[@]}" >/dev/null
check_installed "$next"
list_files > "$scratch/new.files"
gone=$(comm -23 "$scratch/old.files" "$scratch/new.files")
[ -n "$gone" ] || fail "the upgrade test has no file that the new version dropped"
while IFS= read -r f; do
    [ ! -e "$f" ] && [ ! -L "$f" ] || fail "$f of the old version is left after the upgrade"
done <<< "$gone"

step "purge"
list_files > "$scratch/ours.files"
for p in "${packages[@]}"; do dpkg -L "$p"; done | grep -i varno | sort -u > "$scratch/ours.folders"
varno_apt_get purge "${packages[@]}" >/dev/null
for p in "${packages[@]}"; do
    ! installed "$p" || fail "$p is still known to dpkg after the purge"
done
while IFS= read -r f; do
    [ ! -e "$f" ] && [ ! -L "$f" ] || fail "$f is left after the purge"
done < <(cat "$scratch/ours.files" "$scratch/ours.folders")
if find /etc/systemd/user /var/lib/systemd -name 'varno-watch*' 2>/dev/null | grep -q .; then
    fail "traces of varno-watch are left after the purge"
fi
echo "The packages pass: lintian, install, reinstall, upgrade and purge."
