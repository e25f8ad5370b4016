#!/usr/bin/env bash
# One non-interactive boot of the patched OVMF image with both probes: the
# PEI probe's report (I/O port 0x402), the probe application's report (the
# console, shipped board's registers standing in), and a verdict.
#
#   ovmf_check.sh OUTDIR CODE.fd APP.efi
set -euo pipefail
[ $# -eq 3 ] || { echo "usage: ovmf_check.sh OUTDIR CODE.fd APP.efi" >&2; exit 2; }
outdir=$1
"$(dirname "$0")/boot_ovmf.sh" record "$outdir" "$2" "$3"

pei=$(sed -n '/^pei probe: begin/,/^pei probe: end/p' "$outdir/debugcon.txt" | tr -d '\r')
dxe=$(tr -d '\r' <"$outdir/serial.txt" | sed -n '/^dxe probe: begin/,/^dxe probe: end/p')
echo "== BoardPei, seen by the PEI probe"
echo "${pei:-(no report)}"
echo "== BoardDxe, seen by the probe application"
echo "${dxe:-(no report)}"

verdict=0
check() {
  if grep -qxF "$2" <<<"$1"; then echo "ok: $3"; else echo "FAILED: $3 (no line \"$2\")"; verdict=1; fi
}
echo "== verdict"
check "$pei" "locate BOARD_HOOK_PPI: status 0x00000000" "BoardPei ran and installed BOARD_HOOK_PPI"
check "$pei" "pei probe: end" "the PEI probe finished"
check "$dxe" "locate BOARD_HOOK_PROTOCOL = 0x0000000000000000" "BoardDxe ran and installed BOARD_HOOK_PROTOCOL"
check "$dxe" "dxe probe: end" "the probe application finished"
exit $verdict
