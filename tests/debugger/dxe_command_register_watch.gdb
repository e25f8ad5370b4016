# The Command register of the controller behind port 8 (bus 0x20): the LAN
# MAC query turns its memory space on (0x07) to read the MAC, then puts the
# old value (0x06) back. Going back one instruction from the write undoes it.
target remote :@PORT@
watch *(unsigned char *)0xE0200004
continue
# expect: Hardware watchpoint 1: \*\(unsigned char \*\)0xE0200004\s+Old value = 6 '\\006'\s+New value = 7 '\\a'
set $after = $pc
reverse-stepi
printf "back at the write: %d, Command 0x%02x, rax 0x%x\n", $pc < $after, *(unsigned char *)0xE0200004, $rax
# expect: back at the write: 1, Command 0x06, rax 0xe0200004
x/i $pc
# expect: => 0x[0-9a-f]+( <[^>]*>)?:\s+mov\s+%[a-z0-9]+,\(%rax\)
stepi
printf "past the write again: %d, Command 0x%02x\n", $pc == $after, *(unsigned char *)0xE0200004
# expect: past the write again: 1, Command 0x07
continue
# expect: Old value = 7 '\\a'\s+New value = 6 '\\006'
delete
continue
# expect: exited normally
