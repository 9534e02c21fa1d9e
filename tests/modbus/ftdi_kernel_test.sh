#!/usr/bin/env bash
# The FTDI converter through the real kernel driver. Boots the kernel of Debian's kernel
# package under qemu-system-x86_64 (software emulation) with QEMU's emulated FTDI converter
# (an FT232BM) on its xHCI bus, the converter's far side a simulated device on a
# pseudo-terminal of this machine. Inside the machine the kernel's own ftdi_sio driver makes it
# /dev/ttyUSB0, and this build's dravonik-cli, run from this machine's root (mounted read-only
# over virtio-9p), lists it, reads and writes through its device file (as root and as a user
# who may not write sysfs), and finds it by its description (ftdi_kernel_guest.sh). Then what reached the converter, from QEMU's trace of
# its control requests, must be 57600 baud, 8 data bits, no parity, 1 stop bit, no flow control
# and a latency timer of 1 ms, for every open of the port.
#   ftdi_kernel_test.sh SOURCE_DIR BUILD_DIR
# Installs what it needs (QEMU, a static busybox) and fetches the kernel package with
# apt-get download into BUILD_DIR/kernel-test/ (unpacked there, never installed). Fails,
# saying why, when any of that or the virtual machine cannot be had.
set -euo pipefail
source_dir="$(cd "$1" && pwd)"
build="$(cd "$2" && pwd)"
bin="$build/bin"
cache="$build/kernel-test"
work="$cache/run"
fail() { echo "FAILED: $*" >&2; exit 1; }

"$source_dir/scripts/install-deps" --only qemu-system-x86 busybox-static \
  || fail "could not install qemu-system-x86 and busybox-static"
command -v qemu-system-x86_64 >/dev/null || fail "qemu-system-x86_64 is not on the PATH"
[ -x /bin/busybox ] || fail "/bin/busybox (busybox-static) is missing"

pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
}
trap cleanup EXIT
rm -rf "$work"
mkdir -p "$work"

# The kernel: the one Debian's linux-image-amd64 depends on, as its package ships it.
kernel_package() { apt-cache depends linux-image-amd64 2>/dev/null | sed -n 's/^ *Depends: //p' | head -1; }
package="$(kernel_package)"
if [ -z "$package" ]; then
  apt-get update -qq || true
  package="$(kernel_package)"
fi
[ -n "$package" ] || fail "apt knows no linux-image-amd64 (no package lists: run apt-get update)"
release="${package#linux-image-}"
tree="$cache/$package"
if [ ! -f "$tree/boot/vmlinuz-$release" ]; then
  rm -rf "$cache/download" "$tree"
  mkdir -p "$cache/download"
  (cd "$cache/download" && apt-get download -q "$package" 2>&1 | grep -v '^W: Download is performed unsandboxed') \
    || fail "apt-get download $package failed"
  dpkg-deb -x "$cache"/download/"$package"_*.deb "$tree.part" || fail "could not unpack $package"
  rm -rf "$cache/download"
  mv "$tree.part" "$tree"
fi
modules="$tree/lib/modules/$release"
[ -f "$modules/modules.dep" ] || /bin/busybox depmod -b "$tree" "$release" \
  || fail "could not index the modules of $package"

# The initial root file system: busybox, the modules the test needs with those they need, and
# an init that loads them, mounts this machine's root and runs the guest part.
initrd="$work/initrd"
mkdir -p "$initrd"/{bin,dev,proc,sys,host,lib/modules/"$release"}
cp /bin/busybox "$initrd/bin/busybox"
cp "$modules/modules.dep" "$initrd/lib/modules/$release/"
wanted=(virtio_pci 9pnet_virtio 9p xhci-pci ftdi_sio)
for module in "${wanted[@]}"; do
  line="$(grep -E "/$module\.ko:" "$modules/modules.dep")" || fail "$package has no module $module"
  for file in ${line/:/}; do
    mkdir -p "$initrd/lib/modules/$release/$(dirname "$file")"
    cp "$modules/$file" "$initrd/lib/modules/$release/$file"
  done
done
cat > "$initrd/init" <<EOF
#!/bin/busybox sh
/bin/busybox --install -s /bin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
for module in ${wanted[*]}; do modprobe \$module || echo "guest: FAILED: modprobe \$module"; done
mount -t 9p -o trans=virtio,version=9p2000.L,ro,msize=512000 host /host \
  || echo "guest: FAILED: mount the host's root"
for _ in \$(seq 100); do [ -e /sys/class/tty/ttyUSB0 ] && break; sleep 0.1; done
mount -t proc proc /host/proc
mount -t sysfs sysfs /host/sys
mount -t devtmpfs devtmpfs /host/dev
# The guest's /tmp is its own; a folder of this test under the host's /tmp (a checkout there)
# stays reachable at its own path.
mkdir -p /host-tmp
mount --bind /host/tmp /host-tmp
mount -t tmpfs tmpfs /host/tmp
for dir in "$source_dir" "$bin" "$work"; do
  case "\$dir" in
    /tmp/*)
      top="\${dir#/tmp/}"
      top="\${top%%/*}"
      mkdir -p "/host/tmp/\$top"
      mount --bind "/host-tmp/\$top" "/host/tmp/\$top" || echo "guest: FAILED: reach \$dir"
      ;;
  esac
done
chroot /host /bin/bash "$source_dir/tests/modbus/ftdi_kernel_guest.sh" "$bin" "$work"
echo "guest-status \$?"
poweroff -f
EOF
chmod +x "$initrd/init"
(cd "$initrd" && find . | /bin/busybox cpio -o -H newc 2>/dev/null | gzip -1) > "$work/initrd.gz"

# The simulated devices: one that gives the settings file to write, one behind the converter.
start_sim() {  # start_sim LINK ARGS...
  local link="$1"
  shift
  "$bin/dravonik-sim" --link "$link" "$@" > /dev/null &
  pids+=($!)
  for _ in $(seq 100); do [ -e "$link" ] && return 0; sleep 0.05; done
  fail "dravonik-sim did not make $link"
}
# Both are the bundled V200 (device id 3) with its factory defaults; the first has another
# airflow setpoint (holding register 41) and minimum fan speed (45).
read -r -a defaults <<< "$("$bin/dravonik-cli" preset --device-id 3)"
start_sim "$work/source" "${defaults[@]}" --set 41=950 --set 45=40
"$bin/dravonik-cli" read --port "$work/source" --out "$work/unit.zsf" 2> "$work/source.log" \
  || fail "could not read the settings file to write: $(cat "$work/source.log")"
start_sim "$work/target" "${defaults[@]}" --dump "$work/target.dump"

echo "Booting $package under QEMU (software emulation)"
start=$SECONDS
status=0
timeout 300 qemu-system-x86_64 -machine q35 -accel tcg -m 1024 -smp 1 -no-reboot \
  -display none -monitor none -nic none -serial "file:$work/console.log" \
  -kernel "$tree/boot/vmlinuz-$release" -initrd "$work/initrd.gz" \
  -append "console=ttyS0 quiet panic=-1 rdinit=/init" \
  -virtfs local,path=/,mount_tag=host,security_model=none,readonly=on \
  -device qemu-xhci -device usb-serial,chardev=converter \
  -chardev serial,id=converter,path="$work/target" \
  -trace 'usb_serial_*' -D "$work/trace.log" > "$work/qemu.log" 2>&1 || status=$?
echo "The virtual machine ran $((SECONDS - start)) s"
grep '^guest' "$work/console.log" || true
if [ $status -ne 0 ]; then
  cat "$work/qemu.log" >&2
  tail -20 "$work/console.log" >&2
  fail "qemu-system-x86_64 exited $status$([ $status -eq 124 ] && echo ' (timed out)')"
fi
grep -qx 'guest-status 0' <(tr -d '\r' < "$work/console.log") \
  || { tail -30 "$work/console.log" >&2; fail "checks inside the virtual machine failed"; }
for written in 'h 41 950' 'h 45 40'; do
  grep -qx "$written" "$work/target.dump" || fail "the device does not hold \"$written\""
done

# What reached the converter. ftdi_sio resets the chip (control request 0x4000, value 0) at
# every open; a line setting sends the data format (0x4004) first, then the baud divisor
# (0x4003), then the flow control. The settings a port worked with are those in force after the
# divisor for 57600 and before the next change of format or divisor (the restoring at closing).
# The chip keeps its latency timer across opens, so each open must set it (0x4009) itself.
opens="$(awk '
  / got control 0x4000, value 0x0$/ {
    if (n) report()
    n++; inwindow = 0; seen = 0; latency = "not set in this open"; next
  }
  / got control 0x4004,/ || /usb_serial_set_baud/ { if (inwindow) { report(); inwindow = 0 } }
  /usb_serial_set_baud/ && n { if ($NF == 57553) { inwindow = 1; seen = 1 } }
  /usb_serial_set_data/ { sub(/.*dev [0-9:]+ /, ""); data = $0 }
  /usb_serial_set_flow_control/ { flow = $NF }
  / got control 0x4009,/ { latency = $NF }
  function report() {
    if (done[n]++) return
    printf "open %d: %s baud, %s, flow control %s, latency timer %s\n", n,
      seen ? 57553 : "never 57553", data, flow, latency
  }
  END { if (n) report() }
' "$work/trace.log")"
echo "$opens"
[ "$(grep -c '^open' <<< "$opens")" -ge 4 ] || fail "fewer opens of the converter than commands run"
bad="$(grep -v '^open [0-9]*: 57553 baud, parity N, data bits 8, stop bits 1, flow control 0, latency timer 0x1$' <<< "$opens" || true)"
[ -z "$bad" ] || fail "the converter was not set to 57600 8N1, no flow control, 1 ms latency: $bad"
echo "PASSED: through ftdi_sio, every open at 57600 8N1, no flow control, 1 ms latency"
