#!/usr/bin/env bash
# The shipped udev rule: it parses (udevadm verify, where this udev has it) and
# gives the seat's user (uaccess) and plugdev the module's hidraw node and the
# FTDI converters' USB nodes.
set -euo pipefail
rules=$1
if udevadm verify --help >/dev/null 2>&1; then udevadm verify --no-style "$rules"; fi

# The one rule line that matches all of these patterns, or a failure.
rule() {
  local line
  line=$(grep -v '^#' "$rules" | grep -F "$1" | grep -F "$2" | grep -F "$3" | grep -F "$4") ||
    { echo "no rule for $*" >&2; exit 1; }
  for key in 'TAG+="uaccess"' 'MODE="0660"' 'GROUP="plugdev"'; do
    [[ $line == *"$key"* ]] || { echo "$key missing: $line" >&2; exit 1; }
  done
}
rule 'SUBSYSTEM=="hidraw"' 'ATTRS{idVendor}=="04d8"' 'ATTRS{idProduct}=="003f"' 'MODE='
rule 'SUBSYSTEM=="hidraw"' 'KERNELS=="0003:04D8:003F.*"' 'MODE=' 'GROUP='
for product in 6001 6010 6011 6014 6015; do
  rule 'SUBSYSTEM=="usb"' 'ENV{DEVTYPE}=="usb_device"' 'ATTR{idVendor}=="0403"' "ATTR{idProduct}==\"$product\""
done
# uaccess is applied by 73-seat-late.rules: the rule must come before it.
[[ $(basename "$rules") < 73 ]] || { echo "$rules sorts after 73-seat-late.rules" >&2; exit 1; }
