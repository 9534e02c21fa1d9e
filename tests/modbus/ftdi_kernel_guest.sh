#!/usr/bin/env bash
# The part of the kernel-driver test that runs inside the virtual machine, in the host's root
# (mounted read-only) with the guest's own /proc, /sys, /dev and a writable /tmp. The FTDI
# converter QEMU emulates is /dev/ttyUSB0, bound to the kernel's ftdi_sio driver; its far side
# is the simulated device. Prints one "guest: ..." line per check and exits with the number
# of checks that failed.
#   ftdi_kernel_guest.sh BIN_DIR WORK_DIR
set -uo pipefail
bin="$1"
work="$2"
export HOME=/tmp XDG_CONFIG_HOME=/tmp/config QT_QPA_PLATFORM=offscreen
failed=0
check() {  # check WHAT COMMAND...: runs the command, its output indented below the verdict
  local what="$1"
  shift
  local output status
  output="$("$@" 2>&1)"
  status=$?
  if [ $status -eq 0 ]; then echo "guest: ok: $what"; else echo "guest: FAILED (exit $status): $what"; failed=$((failed + 1)); fi
  [ -n "$output" ] && sed 's/^/guest:     /' <<< "$output"
  return $status
}
contains() {  # contains TEXT PATTERN...: every grep pattern matches a line of TEXT
  local text="$1"
  shift
  for pattern in "$@"; do
    grep -q -- "$pattern" <<< "$text" || { echo "no line matches \"$pattern\":"; echo "$text"; return 1; }
  done
}

ports="$("$bin/dravonik-cli" ports 2>&1)"
check "ports names the converter, its driver and its product string" \
  contains "$ports" "ttyUSB0" "ftdi_sio" "QEMU USB SERIAL"

# Through the device file, as "Serial (RS232)" opens it.
check "read through /dev/ttyUSB0" \
  "$bin/dravonik-cli" read --port /dev/ttyUSB0 --out /tmp/before.zsf
check "write --verify through /dev/ttyUSB0" \
  "$bin/dravonik-cli" write --port /dev/ttyUSB0 --in "$work/unit.zsf" --verify
# A user who may open the port (as the dialout group or the seat may) but not write sysfs:
# the latency timer then comes from the driver's low-latency flag alone.
chmod 0666 /dev/ttyUSB0
check "read through /dev/ttyUSB0 as a user without root" \
  setpriv --reuid=65534 --regid=65534 --clear-groups \
  "$bin/dravonik-cli" read --port /dev/ttyUSB0 --out /tmp/user.zsf

# By description, as "USB" opens it: QEMU's product string is fixed, so the USB device's
# product attribute is covered with a file that holds the first of the tool's descriptions.
product=""
device="$(readlink -f /sys/class/tty/ttyUSB0/device)"
for _ in 1 2 3 4; do
  if [ -f "$device/product" ]; then product="$device/product"; break; fi
  device="$(dirname "$device")"
done
echo "Dravonik" > /tmp/product
check "cover the converter's product string ($product)" mount --bind /tmp/product "$product"
check "read --usb finds the converter by its description" \
  "$bin/dravonik-cli" read --usb --out /tmp/usb.zsf
differences="$("$bin/dravonik-cli" diff "$work/unit.zsf" /tmp/usb.zsf 2>&1)"
check "the device holds what was written" test -z "$differences"
[ -n "$differences" ] && echo "$differences"
exit $failed
