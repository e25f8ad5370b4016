"""How long a step and a reverse step take, late in the DXE boot (at the
restore of the last controller's Command register, in the LAN MAC query),
where a reverse step replays the most. Prints the medians in ms.
Usage: step_latency.py BOARDSIM [REPEAT]"""
import sys

from boardsim_gdb import Boardsim, Client, timed


def main(boardsim_path, repeat):
    boardsim = Boardsim(boardsim_path, "dxe")
    client = Client(boardsim.port)
    client.ask(b"?")
    assert client.ask(b"Z2,e0500004,1") == b"OK"
    assert client.ask(b"c").startswith(b"T05watch")  # the 0x07 write
    assert client.ask(b"c").startswith(b"T05watch")  # the restore
    assert client.ask(b"z2,e0500004,1") == b"OK"
    # Back first, then forward over the same instructions: past the restore
    # the boot soon ends.
    reverse = timed(lambda: client.ask(b"bs"), repeat)
    step = timed(lambda: client.ask(b"s"), repeat)
    client.ask(b"D")
    client.close()
    boardsim.finish()
    print("step: %.2f ms, reverse step: %.2f ms (median of %d)" % (step, reverse, repeat))


if __name__ == "__main__":
    main(sys.argv[1], int(sys.argv[2]) if len(sys.argv) > 2 else 20)
