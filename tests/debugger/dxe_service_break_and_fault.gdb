# monitor commands, a stop at a service call with its arguments, and a
# fault: a jump outside the code stops the session where it happened and
# says why; the boot then ends with the fault.
target remote :@PORT@
monitor board
# expect: Board shipped: .*\n  PCH: H series, device id 0xA305\n  Riser: .*\n    code 0x0E
monitor break-service SMBIOS.ReadStructure
# expect: the module stops when it calls SMBIOS.ReadStructure
monitor break-service no.such
# expect: no service "no.such"; the services are BS.RaiseTPL,
continue
# expect: BoardDxe calls SMBIOS.ReadStructure\(0x9, 0x3, 0x[0-9a-f]+, 0x[0-9a-f]+\)
# The trace so far ends where the module stopped, before the call is served.
monitor trace
monitor break-service none
# expect: Trace:\n(  .*\n)*  call BS.LocateProtocol\(SMBIOS_TABLE_PROTOCOL\) = EFI_SUCCESS\nno service stops the module any more
# Back in the module, past the call, a jump to where there is no code.
stepi
set $rip = 0x5000
continue
# expect: the boot stops here: BoardDxe: execution reached 0x00005000 \(unmapped\)
# expect: Program received signal SIGSEGV
# expect: 0x0+5000 in \?\? \(\)
continue
# expect: Program terminated with signal SIGSEGV
# exit: 1
