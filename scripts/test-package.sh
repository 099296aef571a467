#!/usr/bin/env bash
# Builds the Debian package in build-deb/ (prefix /usr, no tests) and checks
# it without installing it on this machine: its control fields and
# dependencies (dpkg-deb -I), its files (dpkg-deb -c), and a run of the
# packaged program, unpacked into a scratch folder, on its packaged data.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=build-deb
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DKEDO_BUILD_TESTS=OFF -DKEDO_BUILD_BENCH=OFF >/dev/null
cmake --build "$dir" -j "$(nproc)"
rm -f "$dir"/kedo_*.deb
(cd "$dir" && cpack -G DEB >/dev/null)
deb=$(ls "$dir"/kedo_*.deb)
echo "== $deb"
fail() { echo "FAILED: $*" >&2; exit 1; }

info=$(dpkg-deb -I "$deb")
echo "$info" | grep -E '^ (Package|Version|Architecture|Depends|Installed-Size):'
depends=$(dpkg-deb -f "$deb" Depends)
names=$(echo "$depends" | tr ',' '\n' | awk '{print $1}')
# The libraries the program and libkedo.so link, by their Debian 12 packages.
for package in libc6 libstdc++6 libgcc-s1 libasound2 libavcodec59 libavformat59 libavutil57 libswresample4 \
               libcpp-httplib0.11; do
  echo "$names" | grep -qxF "$package" || fail "Depends lacks $package: $depends"
done

contents=$(dpkg-deb -c "$deb" | awk '{print $6}')
for path in ./usr/bin/kedo ./usr/include/kedo/kedo.h ./usr/share/kedo/kedoData/english.sa.prm \
            ./usr/share/man/man1/kedo.1.gz; do
  echo "$contents" | grep -qx "$path" || fail "$path is not in the package"
done
for pattern in 'usr/lib/.*/libkedo\.so\.1\.0\.0$' 'usr/lib/.*/libkedo\.a$' 'usr/lib/.*/pkgconfig/kedo\.pc$' \
               'usr/lib/.*/cmake/kedo/kedoConfig\.cmake$' 'usr/lib/.*/kedo/libkedo-serve\.so$'; do
  echo "$contents" | grep -qE "$pattern" || fail "nothing in the package matches $pattern"
done
echo "$contents" | grep -q 'kedoData/output/.' && fail "the package holds run output"

# The packaged program, unpacked elsewhere than /usr, finds the packaged data
# beside itself; the data folder is read-only, so the output goes to the
# per-user folder.
scratch=$(mktemp -d)
trap 'chmod -R u+w "$scratch"; rm -rf "$scratch"' EXIT
dpkg-deb -x "$deb" "$scratch/root"
chmod -R a-w "$scratch/root/usr/share/kedo"
sample=data/kedoData/samples/english.wav
[ -e tests/data/toy/kedoData/samples/english.wav ] && sample=tests/data/toy/kedoData/samples/english.wav
run=(env -u KEDO_HOME XDG_STATE_HOME="$scratch/state")
[ "$(id -u)" -eq 0 ] && { mkdir -p "$scratch/state"; chown 65534:65534 "$scratch/state"; run=(setpriv --reuid=65534 --regid=65534 --clear-groups "${run[@]}"); }
chmod a+rx "$scratch"
json=$("${run[@]}" "$scratch/root/usr/bin/kedo" assess "$PWD/$sample" "$(cat "${sample%.wav}.txt")" --json --quiet)
echo "$json" | /usr/bin/python3 -c '
import json, sys
r = json.load(sys.stdin)
assert 0 <= r["score"] <= 100, r["score"]
assert r["outputFolder"].endswith("/state/kedo/output"), r["outputFolder"]
print("== packaged program: score", r["score"], "output in", r["outputFolder"])'
