#!/usr/bin/env bash
# Boots an OVMF flash image in QEMU (TCG) with a FAT drive.
#
#   boot_ovmf.sh record OUTDIR CODE.fd APP.efi
#       APP.efi is \EFI\BOOT\BOOTX64.EFI, so the boot manager starts it; it is
#       expected to power the machine off. Leaves in OUTDIR: serial.txt (the
#       console), debugcon.txt (I/O port 0x402), qemu.log (QEMU's guest
#       errors: accesses that reach no device), seconds.txt (the boot time).
#   boot_ovmf.sh interactive CODE.fd [FILE.efi ...]
#       The console on this terminal; the files lie in the FAT drive's root
#       (fs0: in the shell); I/O port 0x402 prints there too. Quit QEMU with
#       Ctrl-A X.
set -euo pipefail

readonly vars_template=/usr/share/OVMF/OVMF_VARS_4M.fd
readonly boot_timeout=90

die() {
  echo "boot_ovmf: $*" >&2
  exit 1
}

command -v qemu-system-x86_64 >/dev/null ||
  die "qemu-system-x86_64 is missing; install it with: sudo apt-get install qemu-system-x86 (or run scripts/install-deps.sh)"
[ -f "$vars_template" ] ||
  die "$vars_template is missing; install OVMF with: sudo apt-get install ovmf (or run scripts/install-deps.sh)"

mode=${1:-}
case "$mode" in
  record) [ $# -eq 4 ] || die "usage: boot_ovmf.sh record OUTDIR CODE.fd APP.efi" ;;
  interactive) [ $# -ge 2 ] || die "usage: boot_ovmf.sh interactive CODE.fd [FILE.efi ...]" ;;
  *) die "usage: boot_ovmf.sh record|interactive ..." ;;
esac

if [ "$mode" = record ]; then
  outdir=$2
  code=$3
  shift 3
else
  outdir=$(mktemp -d)
  trap 'rm -rf "$outdir"' EXIT
  code=$2
  shift 2
fi
[ -f "$code" ] || die "firmware image $code does not exist (build it first)"
for file in "$@"; do
  [ -f "$file" ] || die "$file does not exist (build it first)"
done

rm -rf "$outdir/fat"
mkdir -p "$outdir/fat"
if [ "$mode" = record ]; then
  mkdir -p "$outdir/fat/EFI/BOOT"
  cp "$1" "$outdir/fat/EFI/BOOT/BOOTX64.EFI"
else
  for file in "$@"; do cp "$file" "$outdir/fat/"; done
fi
cp "$vars_template" "$outdir/vars.fd"

qemu=(qemu-system-x86_64 -machine q35,accel=tcg -m 512 -nographic -monitor none -net none -no-reboot
      -drive "if=pflash,format=raw,unit=0,readonly=on,file=$code"
      -drive "if=pflash,format=raw,unit=1,file=$outdir/vars.fd"
      -drive "file=fat:rw:$outdir/fat,format=raw,media=disk")

if [ "$mode" = interactive ]; then
  # The console, QEMU's monitor (Ctrl-A C) and I/O port 0x402 share this
  # terminal, so a PEI probe's report shows that the modules ran.
  "${qemu[@]}" -chardev stdio,id=console,mux=on -serial chardev:console -mon chardev=console,mode=readline \
    -device isa-debugcon,iobase=0x402,chardev=console
  exit
fi

rm -f "$outdir"/{serial.txt,debugcon.txt,qemu.log,seconds.txt}
start=$(date +%s.%N)
status=0
timeout "$boot_timeout" "${qemu[@]}" -serial "file:$outdir/serial.txt" \
  -debugcon "file:$outdir/debugcon.txt" -global isa-debugcon.iobase=0x402 \
  -d guest_errors -D "$outdir/qemu.log" </dev/null || status=$?
end=$(date +%s.%N)
echo "$start $end" | awk '{printf "%.1f\n", $2 - $1}' >"$outdir/seconds.txt"
[ "$status" -ne 124 ] || die "the boot did not power off within ${boot_timeout} s (console: $outdir/serial.txt)"
[ "$status" -eq 0 ] || die "QEMU exited with status $status (console: $outdir/serial.txt)"
echo "boot_ovmf: powered off after $(cat "$outdir/seconds.txt") s; outputs in $outdir"
