# Sourced by the project's scripts: installs the Debian packages that are
# missing, without asking. Nothing happens when all are present.
quorvane_install_deps() {
  local wanted=(cmake ninja-build g++ clang clang-format clang-tidy libclang-rt-14-dev
    binutils openssl libssl-dev python3
    libgtest-dev libgmock-dev libbenchmark-dev nlohmann-json3-dev libcli11-dev)
  local missing=()
  for package in "${wanted[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
      missing+=("$package")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "installing: ${missing[*]}" >&2
  local sudo=()
  [ "$(id -u)" -ne 0 ] && sudo=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  "${sudo[@]}" apt-get update -qq >/dev/null || true
  "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}
