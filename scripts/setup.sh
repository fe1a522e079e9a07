# Shared by scripts/run, scripts/test and scripts/bench: install what is missing, configure, build.
# Sourced, not run; expects ROOT to be the repository's top folder.

packages_missing() {
    local missing=() pkg
    while read -r pkg; do
        [[ -z "$pkg" || "$pkg" == \#* ]] && continue
        if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
            missing+=("$pkg")
        fi
    done <"$ROOT/scripts/packages.txt"
    echo "${missing[@]:-}"
}

install_packages() {
    local missing
    missing=$(packages_missing)
    [[ -z "$missing" ]] && return 0
    if [[ $(id -u) -ne 0 ]]; then
        echo "Missing Debian packages. Run this once, then start again:" >&2
        echo "  sudo apt-get install -y $missing" >&2
        exit 1
    fi
    echo "Installing: $missing"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    # shellcheck disable=SC2086
    apt-get install -y -qq --no-install-recommends $missing
}

# configure_and_build DIR [cmake options...]
configure_and_build() {
    local dir=$1
    shift
    cmake -S "$ROOT" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
    cmake --build "$dir" --parallel "$(nproc)"
}
