#!/bin/sh
# Boots Debian's kernel under QEMU with a small initramfs (busybox, the
# project's binaries and the shared libraries they need) and runs the checks of
# vm_init.sh against a real /dev/hidraw node served through /dev/uhid.
#
# Usage: run_vm_test.sh SOURCE_DIR QUENVAR_CLI UHID_BRIDGE HOTPLUG_CHECK
# Exit: 0 all checks passed, 1 a check failed or something is missing under
# CI=true, 77 skipped (outside CI, when the VM cannot be had here).
set -u

src=$1
cli=$2
bridge=$3
hotplug=$4
here=$(cd "$(dirname "$0")" && pwd)
skip=77

case "${CI:-}" in
  "" | false | 0) ci=false ;;
  *) ci=true ;;
esac

# Under CI nothing may be missing; elsewhere a missing piece is a clear skip.
unavailable() {
  if $ci; then
    echo "vm test: FAIL: $1" >&2
    exit 1
  fi
  echo "vm test: SKIP: $1" >&2
  exit $skip
}

packages="qemu-system-x86 linux-image-amd64 busybox-static cpio"
if [ "$(id -u)" -eq 0 ] || $ci || sudo -n true 2>/dev/null; then
  "$src/scripts/install-deps.sh" $packages ||
    unavailable "scripts/install-deps.sh $packages failed"
fi
for tool in qemu-system-x86_64 cpio gzip ldd timeout; do
  command -v $tool >/dev/null 2>&1 || unavailable "$tool is missing (scripts/install-deps.sh $packages)"
done
[ -x /bin/busybox ] || unavailable "/bin/busybox is missing (busybox-static)"
for f in "$cli" "$bridge" "$hotplug"; do
  [ -x "$f" ] || unavailable "$f is not built"
done

# The newest kernel that has both an image and the uhid module.
kver=
for d in $(ls /lib/modules 2>/dev/null | sort -V); do
  [ -r "/boot/vmlinuz-$d" ] && [ -f "/lib/modules/$d/modules.dep" ] &&
    grep -q '/uhid\.ko[.a-z]*:' "/lib/modules/$d/modules.dep" && kver=$d
done
[ -n "$kver" ] || unavailable "no readable /boot/vmlinuz-* with a uhid module (linux-image-amd64)"
moddir=/lib/modules/$kver

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
root=$work/root
mkdir -p "$root/bin" "$root/mods" "$root/dev" "$root/proc" "$root/sys" "$root/tmp" "$root/run"

cp /bin/busybox "$root/bin/busybox"
cp "$cli" "$root/bin/quenvar-cli"
cp "$bridge" "$root/bin/quenvar-uhid-bridge"
cp "$hotplug" "$root/bin/quenvar-vm-hotplug-check"
cp "$here/vm_init.sh" "$root/init"
chmod +x "$root/init"

# Shared libraries at the paths the loader looks for them.
for f in /bin/busybox "$cli" "$bridge" "$hotplug"; do
  ldd "$f" 2>/dev/null | sed -n 's/.*=> \(\/[^ ]*\) .*/\1/p; s/^[[:space:]]*\(\/[^ ]*\) (0x.*/\1/p'
done | sort -u >"$work/libs"
while read -r lib; do
  mkdir -p "$root$(dirname "$lib")"
  cp -L "$lib" "$root$lib" || unavailable "cannot copy $lib"
done <"$work/libs"

# uhid and hid-generic with what they depend on, dependencies first.
: >"$root/mods/order"
for m in uhid hid-generic; do
  line=$(grep "/$m\.ko[.a-z]*:" "$moddir/modules.dep" | head -n 1)
  [ -n "$line" ] || unavailable "module $m not found in $moddir"
  deps=$(echo "${line#*:}" | tr ' ' '\n' | sed '/^$/d' | sed -n '1!G;h;$p')
  for rel in $deps "${line%%:*}"; do
    name=$(basename "$rel")
    name=${name%.xz}
    name=${name%.zst}
    name=${name%.gz}
    grep -qx "$name" "$root/mods/order" && continue
    case $rel in
      *.xz) xz -dc "$moddir/$rel" >"$root/mods/$name" ;;
      *.zst) zstd -qdc "$moddir/$rel" >"$root/mods/$name" ;;
      *.gz) gzip -dc "$moddir/$rel" >"$root/mods/$name" ;;
      *) cp "$moddir/$rel" "$root/mods/$name" ;;
    esac || unavailable "cannot unpack $rel"
    echo "$name" >>"$root/mods/order"
  done
done

(cd "$root" && find . | cpio -o -H newc 2>/dev/null | gzip -1 >"$work/initrd.gz") ||
  unavailable "cannot pack the initramfs"

# Software emulation by default: the result must not depend on a usable KVM.
accel=${QUENVAR_VM_ACCEL:-tcg}
echo "vm test: kernel $kver, accel $accel, initramfs $(wc -c <"$work/initrd.gz") bytes"
start=$(date +%s)
timeout 780 qemu-system-x86_64 -accel $accel -cpu max -m 512 -smp 1 \
  -nographic -no-reboot \
  -kernel "/boot/vmlinuz-$kver" -initrd "$work/initrd.gz" \
  -append "console=ttyS0 panic=-1 loglevel=1 edd=off rdinit=/init" \
  </dev/null >"$work/console.log" 2>&1
qemu=$?
took=$(($(date +%s) - start))
# The check lines alone, without carriage returns or the terminal set-up the
# firmware writes in front of the first one.
tr -d '\r' <"$work/console.log" | sed 's/^.*\(QVM \)/\1/' >"$work/console.txt"
# Kept next to the test for a look after a failure.
cp "$work/console.txt" "${QUENVAR_VM_CONSOLE:-$PWD/vm_console.log}" 2>/dev/null

grep '^QVM ' "$work/console.txt"
echo "vm test: qemu status $qemu after $took s"

status=0
for check in device-node no-udevd list detect write-flash-verify read-flash-same read-fuses \
  write-fuses read-fuses-after-write 24xx-write 24xx-read 24xx-verify unplug-mid-write \
  replug-detect hotplug-change-on-unplug hotplug-claimed-unplugged hotplug-release \
  hotplug-change-on-replug hotplug-reclaim hotplug-report hotplug-check signals-unplug-replug \
  kernel-reports gang-list gang-write gang-unplug; do
  if ! grep -q "^QVM PASS $check\(:\|\$\)" "$work/console.txt"; then
    echo "vm test: check '$check' did not pass"
    status=1
  fi
done
if grep -q '^QVM FAIL' "$work/console.txt"; then status=1; fi
if ! grep -q '^QVM DONE' "$work/console.txt"; then
  echo "vm test: the VM did not finish its checks; console tail:"
  tail -n 40 "$work/console.txt"
  status=1
fi
[ $status -eq 0 ] && echo "vm test: all checks passed" || echo "vm test: FAILED"
exit $status
