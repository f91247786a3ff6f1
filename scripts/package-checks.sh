# Sourced by scripts/test: builds the Debian package and the Windows zip and
# checks what a user gets from them. Run each check through package_check,
# which ends it with the summary line "1 passed" or "1 failed".

# The project version, as CMake has it.
package_version() {
  sed -n 's/^CMAKE_PROJECT_VERSION:[A-Z]*=//p' "build/$1/CMakeCache.txt"
}

package_check() {
  if "$@"; then
    echo "1 passed"
  else
    echo "1 failed"
    return 1
  fi
}

# Fails with a message unless the two values are equal.
package_expect() {
  [ "$2" == "$3" ] && return 0
  echo "$1: expected '$3', got '$2'"
  return 1
}

# The first lines of a run without parameters, decoded from UTF-16LE.
package_usage_lines() {
  iconv -f UTF-16LE -t UTF-8 "$1" | tr -d '\r' | head -n 3
}

# --- Debian package ---------------------------------------------------------

deb_file() { echo "build/release/cleanup_$(package_version release)_amd64.deb"; }

# A fresh temporary root for the unpacked package; call before the checks
# (they run in subshells).
deb_prepare() {
  deb_cleanup
  deb_root=$(mktemp -d)
}

# Builds the .deb, lists it, unpacks it into deb_root, and checks its name and
# dependencies. It may depend on the C library and the C++ runtime only,
# which every Debian release has.
deb_build() {
  cmake --build --preset release --target package || return 1
  local deb depends name
  deb=$(deb_file)
  [ -f "$deb" ] || { echo "missing: $deb"; return 1; }
  dpkg-deb -c "$deb"
  dpkg-deb -x "$deb" "$deb_root" || return 1
  depends=$(dpkg-deb -f "$deb" Depends)
  echo "Depends: $depends"
  package_expect "Recommends" "$(dpkg-deb -f "$deb" Recommends)" bash-completion || return 1
  [[ $depends == *libc6* ]] || { echo "Depends lacks libc6"; return 1; }
  for name in $(sed 's/([^)]*)//g; s/[,|]/ /g' <<<"$depends"); do
    case $name in
      libc6 | libgcc-s1 | libstdc++6) ;;
      *) echo "Depends names $name, which the package must not need"; return 1 ;;
    esac
  done
}

# A second build of preset $1 from the same sources, in another tree and
# without the tests, makes package $2 with the same bytes.
package_same_bytes() {
  local preset=$1 file=$2 again=build/$1-again
  cmake --preset "$preset" -B "$again" -DCLEANUP_BUILD_TESTS=OFF >/dev/null &&
    cmake --build "$again" --target package >/dev/null || return 1
  sha256sum "build/$preset/$file" "$again/$file"
  package_expect "second build of $file" "$(sha256sum <"$again/$file")" \
    "$(sha256sum <"build/$preset/$file")"
}

deb_reproducible() { package_same_bytes release "$(basename "$(deb_file)")"; }

# A run without parameters, its output in $1 and exit status in $2, showed the
# banner of the version built by preset $3 and the usage error, and ended with 99.
package_expect_usage() {
  local expected
  expected=$(printf 'cleanup Version %s\n\nFehler: Keine Eingangsdatei definiert.' \
    "$(package_version "$3")")
  package_expect "usage" "$(package_usage_lines "$1")" "$expected" &&
    package_expect "exit status" "$2" 99
}

# The installed binary shows its usage and ends with 99 when given nothing.
deb_run() {
  local out status
  out=$(mktemp)
  "$deb_root/usr/bin/cleanup" >"$out"
  status=$?
  package_expect_usage "$out" "$status" release
  local result=$?
  rm -f "$out"
  return "$result"
}

# The manual page renders without a warning, carries the version, and quotes
# every option line of the tool's usage text as the tool prints it.
deb_manual() {
  local page="$deb_root/usr/share/man/man1/cleanup.1.gz" warnings rendered usage line
  warnings=$(man --warnings -l "$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] || { echo "man warnings:"; echo "$warnings"; return 1; }
  rendered=$(MANWIDTH=200 LC_ALL=C.UTF-8 man -l "$page" 2>/dev/null | sed 's/^ *//')
  [[ $rendered == *"cleanup $(package_version release)"* ]] ||
    { echo "the manual page does not name version $(package_version release)"; return 1; }
  usage=$(mktemp)
  "$deb_root/usr/bin/cleanup" >"$usage"
  local missing=0
  while IFS= read -r line; do
    [[ $line == "  -"* ]] || continue
    if ! grep -qxF -- "${line#  }" <<<"$rendered"; then
      echo "not quoted in the manual page: $line"
      missing=1
    fi
  done < <(iconv -f UTF-16LE -t UTF-8 "$usage" | tr -d '\r')
  rm -f "$usage"
  return "$missing"
}

# lintian finds no error (its warnings and notes are shown).
deb_lintian() {
  local report
  report=$(lintian --info "$(deb_file)" 2>&1)
  echo "$report"
  ! grep -q '^E:' <<<"$report"
}

# The scheduling examples are valid systemd units, and the service's exposure
# is 1.5 or lower.
deb_units() {
  local examples="$deb_root/usr/share/doc/cleanup/examples"
  MANPATH="$deb_root/usr/share/man" systemd-analyze verify \
    "$examples/cleanup-app-logs.service" "$examples/cleanup-app-logs.timer" || return 1
  systemd-analyze security --offline=yes --threshold=15 "$examples/cleanup-app-logs.service" |
    tail -n 1
  [ "${PIPESTATUS[0]}" -eq 0 ] || { echo "exposure above 1.5"; return 1; }
}

deb_cleanup() {
  [ -n "${deb_root:-}" ] && rm -rf "$deb_root"
  deb_root=
}

# --- Windows zip ------------------------------------------------------------

zip_name() { echo "cleanup-$(package_version windows)-win64"; }

# Builds the zip, lists it and checks its contents and README's line ends.
zip_build() {
  cmake --build --preset windows --target package || return 1
  local zip listing expected
  zip="build/windows/$(zip_name).zip"
  [ -f "$zip" ] || { echo "missing: $zip"; return 1; }
  unzip -l "$zip"
  listing=$(unzip -Z1 "$zip" | grep -v '/$' | LC_ALL=C sort)
  expected=$(printf "$(zip_name)/%s\n" LICENSE.txt PCRE-LICENCE.txt README.txt cleanup-task.cmd \
    cleanup.exe utf16le-bom.bin)
  package_expect "zip contents" "$listing" "$expected" || return 1
  local lines crlf
  lines=$(unzip -p "$zip" "$(zip_name)/README.txt" | wc -l)
  crlf=$(unzip -p "$zip" "$(zip_name)/README.txt" | grep -c $'\r$')
  package_expect "README.txt lines ending in CR LF" "$crlf" "$lines" || return 1
  package_expect "README.txt's title" \
    "$(unzip -p "$zip" "$(zip_name)/README.txt" | head -n 1)" $'cleanup for Windows\r'
}

zip_reproducible() { package_same_bytes windows "$(zip_name).zip"; }

# cleanup.exe, unpacked from the zip, shows its usage under Wine and ends with 99.
zip_run() {
  local dir out status
  dir=$(mktemp -d)
  unzip -q "build/windows/$(zip_name).zip" -d "$dir" || return 1
  out="$dir/out"
  wine "$dir/$(zip_name)/cleanup.exe" </dev/null >"$out" 2>/dev/null
  status=$?
  package_expect_usage "$out" "$status" windows
  local result=$?
  # Its version resource names the product and the version.
  local resource
  resource=$(strings -n 3 -el "$dir/$(zip_name)/cleanup.exe" | grep -A1 -xE 'ProductName|ProductVersion')
  package_expect "version resource" "$resource" \
    "$(printf 'ProductName\ncleanup\nProductVersion\n%s' "$(package_version windows)")" ||
    result=1
  rm -rf "$dir"
  return "$result"
}
