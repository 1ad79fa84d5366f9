#!/usr/bin/env bash
# Runs test programs against the libcurl and OpenSSL of older client systems:
# Debian 11's libcurl 7.74 and OpenSSL 1.1.1, fetched with apt-get download
# from the Debian archive this machine already uses (a private sources list
# and state folder; the system's apt settings are left as they are) and put in
# front of the system's libraries with LD_LIBRARY_PATH.
#   old_libraries.sh BUILD_DIR TEST_PROGRAM...
#   old_libraries.sh --fetch BUILD_DIR     (the download alone, once)
# Exits 77 (skipped) with the reason when the archive cannot be reached. The
# libraries stay in the build folder, so a run after --fetch needs no network.
set -euo pipefail
fetch_only=false
if [ "${1:-}" = --fetch ]; then
  fetch_only=true
  shift
fi
build=$1
shift
dest=$build/old-libs
packages=(libcurl4 libssl1.1 libldap-2.4-2 libssh2-1)

skip() {
  echo "skipped: $*"
  exit 77
}

fetch() {
  # The Debian archive the machine's own sources name.
  local uri
  uri=$(sed -n 's/^URIs:[[:space:]]*\([^[:space:]]*\).*/\1/p' /etc/apt/sources.list.d/*.sources \
          2>/dev/null | grep -v -- '-security' | head -n 1 || true)
  [ -n "$uri" ] || uri=$(sed -n 's/^deb[[:space:]]\+\(\[[^]]*\][[:space:]]\+\)\?\([^[:space:]]*\).*/\2/p' \
                           /etc/apt/sources.list 2>/dev/null | grep -v -- '-security' | head -n 1 || true)
  [ -n "$uri" ] || skip "no Debian archive named in /etc/apt sources"
  local state
  state=$(mktemp -d)
  trap 'rm -rf "$state"' RETURN
  mkdir -p "$state/lists/partial" "$state/cache/archives/partial" "$state/debs" "$state/root"
  : >"$state/status"
  local keyring=/usr/share/keyrings/debian-archive-keyring.gpg
  echo "deb [signed-by=$keyring] $uri bullseye main" >"$state/sources.list"
  local apt=(apt-get -q -o Dir::Etc::SourceList="$state/sources.list"
             -o Dir::Etc::SourceParts=/dev/null -o Dir::State="$state"
             -o Dir::State::Lists="$state/lists" -o Dir::State::status="$state/status"
             -o Dir::Cache="$state/cache" -o Debug::NoLocking=1)
  if ! timeout 300 "${apt[@]}" update >"$state/update.log" 2>&1; then
    tail -n 5 "$state/update.log"
    skip "the bullseye suite of $uri cannot be reached"
  fi
  if ! (cd "$state/debs" && timeout 300 "${apt[@]}" download "${packages[@]}") \
         >"$state/download.log" 2>&1; then
    tail -n 5 "$state/download.log"
    skip "Debian 11's ${packages[*]} cannot be downloaded"
  fi
  for deb in "$state"/debs/*.deb; do dpkg-deb -x "$deb" "$state/root"; done
  rm -rf "$dest.new"
  mkdir -p "$dest.new"
  cp -a "$state"/root/usr/lib/x86_64-linux-gnu/*.so.* "$dest.new/"
  rm -rf "$dest"
  mv "$dest.new" "$dest"
}

[ -e "$dest/libcurl.so.4" ] && [ -e "$dest/libssh2.so.1" ] && [ -e "$dest/libcrypto.so.1.1" ] || fetch
$fetch_only && exit 0

missing=$(LD_LIBRARY_PATH=$dest ldd "$dest/libcurl.so.4" | grep 'not found' || true)
[ -z "$missing" ] || { echo "libcurl 7.74 lacks: $missing"; exit 1; }

export LD_LIBRARY_PATH=$dest${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}
# The test programs check that these are the libraries they got.
export ZORVANE_EXPECT_CURL=7.74
export ZORVANE_EXPECT_CRYPTO=libcrypto.so.1.1
status=0
for program in "$@"; do
  echo "== $(basename "$program") with libcurl 7.74 and OpenSSL 1.1.1"
  "$program" --gtest_brief=1 || status=1
done
exit $status
