# The platform calls the LAN MAC query long after BoardDxe's entry returned;
# the session goes on through every call the boot makes into the module.
# needs: symbols
target remote :@PORT@
break LanMacQuery
continue
# expect: Breakpoint 1, LanMacQuery \(Buffer=0x[0-9a-f]+.*, Out=0x[0-9a-f]+.*\) at (.*/)?dxe/lan_mac_query\.cpp:(79|8\d)
info source
# expect: Current source file is (.*/)?dxe/lan_mac_query\.cpp
set $out = Out
# (A scripted finish does not print its "Run till exit" line.)
finish
# expect: Value returned is \$\d+ = 0
# The second list: three addresses, those of the controllers behind ports 0x18C, 0x18D and 0x18E.
x/19xb $out
# expect: :\s+0x03\s+0x02\s+0x4b\s+0x52\s+0x56\s+0x37\s+0x02\s+0x02\n.*:\s+0x4b\s+0x52\s+0x56\s+0x37\s+0x03\s+0x02\s+0x4b\s+0x52\n.*:\s+0x56\s+0x37\s+0x04\n
continue
# expect: exited normally
