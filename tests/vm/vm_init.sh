#!/bin/busybox sh
# /init of the test VM: loads the HID modules, serves the simulated programmer
# through /dev/uhid and runs quenvar-cli and the hotplug check against the real
# hidraw node. Every check prints "QVM PASS <name>" or "QVM FAIL <name>: why"
# on the serial console; run_vm_test.sh reads them.
/bin/busybox --install -s /bin
export PATH=/bin
mkdir -p /proc /sys /dev /tmp /run
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev
mount -t tmpfs tmp /tmp
mount -t tmpfs run /run

pass() { echo "QVM PASS $1${2:+: $2}"; }
fail() {
  echo "QVM FAIL $1: $2"
  [ -n "${3:-}" ] && [ -f "$3" ] && sed 's/^/QVM   | /' "$3"
}

echo "QVM INFO booted after $(cut -d' ' -f1 /proc/uptime) s"
for m in $(cat /mods/order); do
  insmod "/mods/$m" || echo "QVM FAIL modules: insmod $m"
done
[ -c /dev/uhid ] || mknod /dev/uhid c 10 239

ctl=/run/bridge.ctl
log=/tmp/bridge.log
# The programmer streams a whole read without flow control, and hidraw keeps
# at most 64 reports per reader. Under software emulation the application runs
# many times slower than on a real machine, so the device is slowed alike: one
# report per 4 ms instead of the frame's 1 ms.
quenvar-uhid-bridge --sim "isp=ATmega8,socket=24AA64,timing=real" --frame-us 4000 \
  --control "$ctl" >"$log" 2>&1 &
bridge=$!

# present|absent: waits up to 10 s for a hidraw node to appear or go.
wait_node() {
  i=0
  while [ $i -lt 100 ]; do
    if ls /dev/hidraw* >/dev/null 2>&1; then
      [ "$1" = present ] && return 0
    else
      [ "$1" = absent ] && return 0
    fi
    sleep 0.1
    i=$((i + 1))
  done
  return 1
}

# Runs quenvar-cli with its output in /tmp/out and the status in $rc.
cli() {
  timeout 120 quenvar-cli --quiet --timeout 10 "$@" >/tmp/out 2>&1
  rc=$?
}

if wait_node present; then
  pass device-node "$(ls /dev/hidraw*)"
else
  fail device-node "no /dev/hidraw node after UHID_CREATE2" "$log"
fi
[ -e /run/udev/control ] && fail no-udevd "/run/udev/control exists" || pass no-udevd

cli list
# Without a physical path the node itself stands for the port.
if [ $rc -eq 0 ] && grep -qx '1  0451:3210  /dev/hidraw[0-9]*  -  read-write' /tmp/out; then
  pass list "$(cat /tmp/out)"
else
  fail list "status $rc" /tmp/out
fi

cli detect
if [ $rc -eq 0 ] && grep -qx 'Chip: ATmega8, 8192 bytes of flash' /tmp/out; then
  pass detect
else
  fail detect "status $rc" /tmp/out
fi

dd if=/dev/urandom of=/tmp/flash.bin bs=8192 count=1 2>/dev/null
cli write-flash /tmp/flash.bin
if [ $rc -eq 0 ] && grep -qx 'verifying...' /tmp/out && grep -qx 'Successfully finished.' /tmp/out; then
  pass write-flash-verify "8 KiB, $(grep '^Duration' /tmp/out)"
else
  fail write-flash-verify "status $rc" /tmp/out
fi
cli read-flash /tmp/flash-back.bin
if [ $rc -eq 0 ] && cmp /tmp/flash.bin /tmp/flash-back.bin >/tmp/cmp 2>&1; then
  pass read-flash-same "$(grep '^Duration' /tmp/out)"
else
  fail read-flash-same "status $rc, $(cat /tmp/cmp)" /tmp/out
fi

cli read-fuses
if [ $rc -eq 0 ] && grep -qx '\[ \] CKSEL0' /tmp/out && grep -qx '\[x\] SPIEN (greyed)' /tmp/out &&
  grep -qx 'Calibration Byte 0: A7' /tmp/out; then
  pass read-fuses
else
  fail read-fuses "status $rc" /tmp/out
fi
cli write-fuses --program CKSEL0
if [ $rc -eq 0 ] && grep -qx 'programming fuse/lock bis...' /tmp/out; then
  pass write-fuses
else
  fail write-fuses "status $rc" /tmp/out
fi
cli read-fuses
if [ $rc -eq 0 ] && grep -qx '\[x\] CKSEL0' /tmp/out && grep -qx '\[x\] CKSEL1' /tmp/out; then
  pass read-fuses-after-write
else
  fail read-fuses-after-write "status $rc" /tmp/out
fi

dd if=/dev/urandom of=/tmp/eeprom.bin bs=8192 count=1 2>/dev/null
cli --target 24AA64 write-flash /tmp/eeprom.bin
if [ $rc -eq 0 ] && grep -qx 'Successfully finished.' /tmp/out; then
  pass 24xx-write "8 KiB, $(grep '^Duration' /tmp/out)"
else
  fail 24xx-write "status $rc" /tmp/out
fi
cli --target 24AA64 read-flash /tmp/eeprom-back.bin
if [ $rc -eq 0 ] && cmp /tmp/eeprom.bin /tmp/eeprom-back.bin >/tmp/cmp 2>&1; then
  pass 24xx-read "$(grep '^Duration' /tmp/out)"
else
  fail 24xx-read "status $rc, $(cat /tmp/cmp)" /tmp/out
fi
cli --target 24AA64 verify /tmp/eeprom.bin
if [ $rc -eq 0 ] && grep -qx 'Successfully finished.' /tmp/out; then
  pass 24xx-verify
else
  fail 24xx-verify "status $rc" /tmp/out
fi

# The cable goes after the 40th report: well inside the 142 chunks of 8 KiB.
echo "unplug-after 40" >"$ctl"
start=$(date +%s)
cli write-flash /tmp/flash.bin
took=$(($(date +%s) - start))
if { [ $rc -eq 1 ] || [ $rc -eq 3 ]; } && [ $took -lt 60 ] && wait_node absent; then
  pass unplug-mid-write "status $rc after ${took} s: $(tail -n 1 /tmp/out)"
else
  fail unplug-mid-write "status $rc after ${took} s" /tmp/out
fi

echo replug >"$ctl"
if wait_node present; then
  cli detect
  if [ $rc -eq 0 ] && grep -qx 'Chip: ATmega8, 8192 bytes of flash' /tmp/out; then
    pass replug-detect
  else
    fail replug-detect "status $rc" /tmp/out
  fi
else
  fail replug-detect "no hidraw node after the replug" "$log"
fi

timeout 120 quenvar-vm-hotplug-check "$ctl" >/tmp/hotplug 2>&1
rc=$?
cat /tmp/hotplug
[ $rc -eq 0 ] && pass hotplug-check || fail hotplug-check "status $rc"

# The same pull and plug by signal.
kill -USR1 $bridge
if ! wait_node absent; then
  fail signals-unplug-replug "a hidraw node is left after SIGUSR1" "$log"
else
  kill -USR2 $bridge
  if ! wait_node present; then
    fail signals-unplug-replug "no hidraw node after SIGUSR2" "$log"
  else
    cli detect
    if [ $rc -eq 0 ] && grep -qx 'Chip: ATmega8, 8192 bytes of flash' /tmp/out; then
      pass signals-unplug-replug
    else
      fail signals-unplug-replug "detect: status $rc" /tmp/out
    fi
  fi
fi

# Every report crossed the kernel: all writes arrived as 65-byte output
# reports with id 0, every reply went out as a 64-byte UHID_INPUT2.
lines=$(wc -l <"$log")
echo stats >"$ctl"
i=0
while [ "$(wc -l <"$log")" -le "$lines" ] && [ $i -lt 50 ]; do
  sleep 0.1
  i=$((i + 1))
done
stats=$(tail -n 1 "$log")
outputs=$(echo "$stats" | sed -n 's/.*outputs \([0-9]*\) (bad \([0-9]*\),.*/\1 \2/p')
set -- $outputs
if [ "${1:-0}" -gt 500 ] && [ "${2:-1}" -eq 0 ]; then
  pass kernel-reports "${stats#uhid-bridge: }"
else
  fail kernel-reports "$stats" "$log"
fi

echo quit >"$ctl"
wait $bridge

# Production: three programmers, each a bridge of its own in its own "port",
# programmed at once with serial numbers; then one is pulled mid-write.
gang_start=$(cut -d' ' -f1 /proc/uptime)
for k in 1 2 3; do
  quenvar-uhid-bridge --sim "isp=ATmega8,timing=real" --frame-us 4000 \
    --phys "usb-qvsim-$k/input0" --uniq "QVSIM$k" --control "/run/gang$k.ctl" >"/tmp/gang$k.log" 2>&1 &
done
i=0
while [ "$(ls /dev/hidraw* 2>/dev/null | wc -l)" -lt 3 ] && [ $i -lt 100 ]; do
  sleep 0.1
  i=$((i + 1))
done
cli list
if [ $rc -eq 0 ] && [ "$(cat /tmp/out)" = "1  0451:3210  usb-qvsim-1/input0  QVSIM1  read-write
2  0451:3210  usb-qvsim-2/input0  QVSIM2  read-write
3  0451:3210  usb-qvsim-3/input0  QVSIM3  read-write" ]; then
  pass gang-list
else
  fail gang-list "status $rc" /tmp/out
fi

dd if=/dev/urandom of=/tmp/gang.bin bs=2048 count=1 2>/dev/null
echo 1000 >/tmp/serial
gang() {
  cli --programmer all --serial flash:0x800:4:be --serial-file /tmp/serial --log /tmp/gang.jsonl \
    write-flash /tmp/gang.bin
}
gang
ok=$(grep -c '"result":"ok"' /tmp/gang.jsonl)
if [ $rc -eq 0 ] && [ "$ok" -eq 3 ] && [ "$(cat /tmp/serial)" = 1003 ] &&
  [ "$(grep -c '^\[[123]\] Successfully finished\.$' /tmp/out)" -eq 3 ]; then
  pass gang-write "$(grep -o '"serial":[0-9]*' /tmp/gang.jsonl | tr '\n' ' ')"
else
  fail gang-write "status $rc, $ok ok, serial file $(cat /tmp/serial)" /tmp/out
fi

# Programmer 2 goes after its 20th report: inside the 36 chunks of the write.
echo "unplug-after 20" >/run/gang2.ctl
gang
if [ $rc -eq 3 ] && [ "$(grep -c '"result":"ok"' /tmp/gang.jsonl)" -eq 5 ] &&
  grep -q '"number":2,.*"result":"unplugged"' /tmp/gang.jsonl && [ "$(cat /tmp/serial)" = 1006 ]; then
  pass gang-unplug "$(tail -n 3 /tmp/gang.jsonl | grep -o '"result":"[a-z-]*"' | tr '\n' ' ')"
else
  fail gang-unplug "status $rc" /tmp/out
  sed 's/^/QVM   | /' /tmp/gang.jsonl
fi
for k in 1 2 3; do echo quit >"/run/gang$k.ctl"; done
wait
echo "QVM INFO gang checks took $(awk -v s="$gang_start" '{ printf "%.1f", $1 - s }' /proc/uptime) s"
echo "QVM INFO checks done after $(cut -d' ' -f1 /proc/uptime) s"
echo "QVM DONE"
poweroff -f
