# BoardPei writes its lane overrides: port 0xA8, offsets 0x1558 and 0x1D58.
# needs: symbols
target remote :@PORT@
# The override table is read-only data inside .text; naming it as a symbol
# only earns gdb warnings.
set print symbol off
break lane_overrides.cpp:26
continue
# expect: Breakpoint 1, ApplyLaneOverrides \(.*\) at (.*/)?pei/lane_overrides\.cpp:26
printf "port 0x%X offset 0x%X\n", ($eax >> 16) & 0xFF, $eax & 0xFFFF
# expect: port 0xA8 offset 0x1558
continue
# expect: Breakpoint 1, ApplyLaneOverrides
printf "port 0x%X offset 0x%X\n", ($eax >> 16) & 0xFF, $eax & 0xFFFF
# expect: port 0xA8 offset 0x1D58
delete
continue
# expect: exited normally
