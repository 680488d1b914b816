# Sourced by the project's scripts: installs the Debian packages that are
# missing, without asking. Nothing happens when all are present.

# Runs a command as root: directly, or through sudo.
quorvane_as_root() {
  if [ "$(id -u)" -ne 0 ]; then sudo "$@"; else "$@"; fi
}

# quorvane_install_packages PACKAGE...: installs those that are missing.
quorvane_install_packages() {
  local missing=()
  for package in "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
      missing+=("$package")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "installing: ${missing[*]}" >&2
  export DEBIAN_FRONTEND=noninteractive
  quorvane_as_root apt-get update -qq >/dev/null || true
  quorvane_as_root apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

quorvane_install_deps() {
  quorvane_install_packages cmake ninja-build g++ clang clang-format clang-tidy \
    libclang-rt-14-dev binutils openssl libssl-dev python3 \
    libgtest-dev libgmock-dev libbenchmark-dev nlohmann-json3-dev libcli11-dev
}
