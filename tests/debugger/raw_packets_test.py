"""A client that is not gdb: malformed, oversized and unknown packets, a
second connection and a disconnect in the middle of the boot. boardsim
refuses each clearly, keeps serving, and finishes the boot when the client
goes. Usage: raw_packets_test.py BOARDSIM"""
import socket
import sys

from boardsim_gdb import Boardsim, Client, frame


def main(boardsim_path):
    boardsim = Boardsim(boardsim_path, "dxe")
    client = Client(boardsim.port)

    # Once the first client is served, the listener is gone: a second gdb
    # finds the port closed while the first is attached.
    assert client.ask(b"?").startswith(b"T05")
    try:
        socket.create_connection(("127.0.0.1", boardsim.port), timeout=2).close()
        raise AssertionError("a second connection was accepted")
    except ConnectionRefusedError:
        pass

    # A wrong checksum is refused with '-'; a checksum that is not hex too.
    client.send_raw(b"$g#00")
    assert client.read_ack() == b"-"
    client.send_raw(b"$g#zz")
    assert client.read_ack() == b"-"
    # Bytes outside any packet are ignored; the next packet is served.
    client.send_raw(b"garbage without a dollar")
    assert client.ask(b"?").startswith(b"T05")

    # A packet longer than the advertised size is refused whole, with a reason.
    client.send_raw(frame(b"M1000," + b"00" * 5000))
    assert client.read_ack() == b"+"
    reply = client.read_reply()
    assert reply.startswith(b"E.") and b"longer than" in reply, reply

    # Malformed requests get errors that say what a request looks like.
    for bad in [b"mzz,4", b"m1000", b"m1000,ffffffffffffffffff", b"M1000,4:0", b"Z0,,1", b"Pzz=00", b"p999",
                b"qXfer:features:read:target.xml:x", b"qRcmd,zz", b"X1000,4:}"]:
        reply = client.ask(bad)
        assert reply.startswith(b"E"), (bad, reply)
    # An unknown packet gets the empty reply, as gdb expects.
    assert client.ask(b"vUnknownPacket;1") == b""
    # Reading too much memory at once is refused rather than cut short.
    assert client.ask(b"m1000000,100000").startswith(b"E.")
    # The code and the register windows cannot be written from the client.
    assert client.ask(b"M1001000,1:cc").startswith(b"E.")
    assert client.ask(b"ME0200004,1:00").startswith(b"E.")

    # Still serving: the registers, the entry point's first byte.
    registers = client.ask(b"g")
    assert len(registers) > 16 * 16, len(registers)
    assert client.ask(b"p10") == bytes.fromhex("0010000100000000").hex().encode()  # rip = 0x1001000
    assert client.ask(b"m1001000,1") != b""

    # Disconnect mid-boot: the boot runs to its end without the debugger.
    client.ask(b"s")
    client.close()
    status, out, err = boardsim.finish()
    assert status == 0, (status, out, err)
    assert "Problems: none" in out, out
    assert "gdb went away" in err, err
    print("raw packets: every malformed packet refused, the boot finished after the disconnect")


if __name__ == "__main__":
    main(sys.argv[1])
