# Sourced by the scripts that need Debian packages. apt may be busy with another install: wait for
# its lock, never break in.

varno_apt_get() {
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    DEBIAN_FRONTEND=noninteractive $sudo apt-get -o DPkg::Lock::Timeout=900 -y -qq \
        --no-install-recommends "$@"
}

# Installs those of the named packages that are not installed yet.
varno_install_missing() {
    local missing=() p
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    varno_apt_get update
    varno_apt_get install "${missing[@]}"
}
