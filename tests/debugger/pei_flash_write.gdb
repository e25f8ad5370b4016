# A write to the read-only flash (the stack moved there by hand) stops the
# session at the writing instruction and says why; the boot then ends with
# the fault.
target remote :@PORT@
x/i $pc
# expect: => 0xfffe0200( <[^>]*>)?:\s+push\s+%ebp
set $esp = 0xfffe1000
stepi
# expect: the boot stops here: BoardPei: 4-byte write of 0x[0-9A-F]+ to 0xFFFE0FFC \(boot flash\+0xFFC \(erased\)\), read-only flash, by the instruction at 0xFFFE0200
# expect: Program received signal SIGSEGV
# expect: (0xfffe0200 in|BoardPeiEntry \(.*\) at (.*/)?pei/entry\.cpp:\d+)
continue
# expect: Program terminated with signal SIGSEGV
# exit: 1
