# Sourced by scripts/build-windows and scripts/test-windows: the cross
# toolchain for 64-bit Windows, set up on a fresh Debian machine without
# asking. Debian's mingw-w64 (posix threads: the win32 model has no working
# std::mutex or std::call_once) and wine64 come as packages; libcrypto and
# googletest are cross-built once from Debian's own sources and cached under
# QUORVANE_CACHE (default ~/.cache/quorvane), keyed by source version,
# compiler version and options, and published with one rename so that an
# interrupted build never leaves a half-made cache entry behind.
#
# After quorvane_windows_deps: QUORVANE_WIN_OPENSSL, QUORVANE_WIN_GTEST and
# QUORVANE_WIN_HEADERS name the prefixes.

. "$(dirname "${BASH_SOURCE[0]}")/deps.sh"

QUORVANE_MINGW=x86_64-w64-mingw32
QUORVANE_WINE=/usr/lib/wine/wine64

# apt-get source needs a deb-src entry; this one mirrors the binary entries.
quorvane_enable_deb_src() {
  local list=/etc/apt/sources.list.d/quorvane-deb-src.sources
  [ -f "$list" ] && return 0
  echo "adding $list (Debian source packages)" >&2
  quorvane_as_root tee "$list" >/dev/null <<'EOF'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb-src
URIs: http://deb.debian.org/debian-security
Suites: bookworm-security
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
  quorvane_as_root apt-get update -qq >/dev/null || true
}

# The source versions of openssl that apt knows, the main archive's first:
# the newest security version's files have been seen missing from the
# mirror, so every known version is tried in turn.
quorvane_openssl_versions() {
  apt-cache madison openssl | awk -F'|' '/Sources/ {
      gsub(/ /, "", $2); print ($3 ~ /bookworm\/main/ ? 0 : 1), $2 }' |
    sort -s -k1,1 | awk '{ print $2 }'
}

# quorvane_cached NAME KEY BUILD_FUNCTION: runs BUILD_FUNCTION SRC_DIR PREFIX
# in a scratch folder unless the entry NAME-KEY exists; prints its path.
quorvane_cached() {
  local name=$1 key=$2 build=$3
  local cache=${QUORVANE_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/quorvane}
  local entry=$cache/$name-$key
  if [ ! -d "$entry" ]; then
    mkdir -p "$cache"
    local scratch
    scratch=$(mktemp -d "$cache/.$name.XXXXXX")
    echo "building $name for Windows (cached in $entry)" >&2
    if ! (cd "$scratch" && "$build" "$scratch/src" "$scratch/prefix") >"$scratch.log" 2>&1; then
      tail -n 40 "$scratch.log" >&2
      rm -rf "$scratch"
      echo "building $name failed; see $scratch.log" >&2
      return 1
    fi
    # rename(2) publishes the whole entry at once; a concurrent winner wins.
    mv -T "$scratch/prefix" "$entry" 2>/dev/null || true
    rm -rf "$scratch" "$scratch.log"
  fi
  echo "$entry"
}

# The algorithms are Debian's own choice (debian/rules leaves out IDEA, MDC2
# and RC5), so that both builds open exactly the same containers.
quorvane_openssl_options="mingw64 no-shared no-module no-tests no-idea no-mdc2 no-rc5 no-zlib"
# Where libcrypto looks for openssl.cnf: the platform's usual place, which
# only administrators can write (the default would be the build folder).
quorvane_openssl_dir="C:/Program Files/Common Files/SSL"

quorvane_build_openssl() {
  local src=$1 prefix=$2 version fetched=""
  for version in $(quorvane_openssl_versions); do
    if apt-get source -qq "openssl=$version" >/dev/null 2>&1; then
      fetched=$version
      break
    fi
  done
  [ -n "$fetched" ] || { echo "no openssl source package could be fetched" >&2; return 1; }
  mv openssl-*/ "$src"
  cd "$src"
  # dso stays: without it the process crashed at exit after the DLL unloaded.
  # no-module builds the legacy provider into libcrypto.a.
  # shellcheck disable=SC2086
  ./Configure $quorvane_openssl_options --cross-compile-prefix=$QUORVANE_MINGW- \
    CC=gcc-posix CXX=g++-posix --prefix="$prefix" --libdir=lib \
    --openssldir="$quorvane_openssl_dir"
  make build_generated
  make -j "$(nproc)" libcrypto.a
  mkdir -p "$prefix/lib" "$prefix/include"
  cp libcrypto.a "$prefix/lib/"
  cp -r include/openssl "$prefix/include/"
  echo "$fetched" >"$prefix/VERSION"
}

quorvane_build_gtest() {
  local src=$1 prefix=$2
  cmake -S /usr/src/googletest -B "$src" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_SYSTEM_NAME=Windows \
    -DCMAKE_C_COMPILER=$QUORVANE_MINGW-gcc-posix \
    -DCMAKE_CXX_COMPILER=$QUORVANE_MINGW-g++-posix \
    -DCMAKE_INSTALL_PREFIX="$prefix" -Dgtest_disable_pthreads=OFF
  cmake --build "$src"
  cmake --install "$src"
}

# CLI11 and nlohmann::json are header-only: staged apart from /usr/include,
# with their CMake package files, so the cross build finds them alone.
quorvane_stage_headers() {
  local src=$1 prefix=$2
  mkdir -p "$prefix/include" "$prefix/share/cmake"
  cp -r /usr/include/CLI /usr/include/nlohmann "$prefix/include/"
  cp -r /usr/share/cmake/CLI11 /usr/share/cmake/nlohmann_json "$prefix/share/cmake/"
  : "$src"
}

quorvane_windows_deps() {
  quorvane_install_deps
  quorvane_install_packages g++-mingw-w64-x86-64-posix wine64 dpkg-dev googletest
  quorvane_enable_deb_src
  local compiler openssl_version gtest_version
  compiler=$($QUORVANE_MINGW-g++-posix -dumpfullversion)
  openssl_version=$(quorvane_openssl_versions | head -n 1)
  [ -n "$openssl_version" ] || { echo "apt knows no openssl source package" >&2; return 1; }
  gtest_version=$(dpkg-query -W -f='${Version}' googletest)
  local options_key
  options_key=$(echo "$quorvane_openssl_options $quorvane_openssl_dir" | md5sum | cut -c1-8)
  QUORVANE_WIN_OPENSSL=$(quorvane_cached openssl \
    "$openssl_version-gcc$compiler-$options_key" quorvane_build_openssl)
  QUORVANE_WIN_GTEST=$(quorvane_cached googletest \
    "$gtest_version-gcc$compiler" quorvane_build_gtest)
  QUORVANE_WIN_HEADERS=$(quorvane_cached headers "$(dpkg-query -W \
    -f='${Version}\n' libcli11-dev nlohmann-json3-dev | tr -c 'A-Za-z0-9.+~\n' _ | paste -sd-)" \
    quorvane_stage_headers)
  export QUORVANE_WIN_OPENSSL QUORVANE_WIN_GTEST QUORVANE_WIN_HEADERS
}
