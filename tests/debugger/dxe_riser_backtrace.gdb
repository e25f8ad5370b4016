# The riser code is read pad by pad from the Setup string handler; the
# SMBIOS slot handler runs when the platform installs SMBIOS.
# needs: symbols
target remote :@PORT@
break GetInputValue
continue
# expect: Breakpoint 1, GetInputValue \(
bt
# expect: #0 +GetInputValue \(.*\) at (.*/)?dxe/gpio\.cpp:\d+
# expect: #1 +0x[0-9a-f]+ in ReadRiserCode \(\) at (.*/)?dxe/riser\.cpp:\d+
# expect: #2 +0x[0-9a-f]+ in SetupStringArrivalHandler \(.*\) at (.*/)?dxe/riser\.cpp:\d+
delete
break SmbiosSlotArrivalHandler
continue
# expect: Breakpoint 2, SmbiosSlotArrivalHandler \(
delete
continue
# expect: exited normally
