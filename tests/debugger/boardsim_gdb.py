"""Starting boardsim under --gdb and speaking gdb's remote protocol to it."""
import re
import socket
import subprocess
import time

GREETING = re.compile(rb"target remote :(\d+)")


class Boardsim:
    """boardsim --gdb PHASE on a free port; port holds the one it chose."""

    def __init__(self, boardsim, phase, images=None):
        args = [boardsim, "--gdb", phase, "--gdb-port", "0"]
        if images:
            args += ["--images", images]
        self.process = subprocess.Popen(args, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        line = self.process.stdout.readline()
        found = GREETING.search(line)
        if not found:
            self.process.kill()
            raise RuntimeError("boardsim did not say where gdb connects: %r" % line)
        self.port = int(found.group(1))

    def finish(self, timeout=30):
        """Waits for boardsim to end; returns (exit status, stdout, stderr)."""
        out, err = self.process.communicate(timeout=timeout)
        return self.process.returncode, out.decode(), err.decode()


def frame(payload):
    return b"$" + payload + b"#%02x" % (sum(payload) & 0xFF)


class Client:
    """A raw client: sends packets, reads whole replies, checks their checksums."""

    def __init__(self, port):
        self.sock = socket.create_connection(("127.0.0.1", port), timeout=10)
        # As gdb does: an acknowledgement and the next packet go out at once.
        self.sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        self.buffer = b""

    def send_raw(self, data):
        self.sock.sendall(data)

    def read_reply(self):
        """The next reply packet's payload (acknowledgements skipped)."""
        while True:
            start = self.buffer.find(b"$")
            end = self.buffer.find(b"#", start + 1) if start >= 0 else -1
            if start >= 0 and end >= 0 and len(self.buffer) >= end + 3:
                payload = self.buffer[start + 1:end]
                checksum = int(self.buffer[end + 1:end + 3], 16)
                self.buffer = self.buffer[end + 3:]
                assert checksum == sum(payload) & 0xFF, "reply with a bad checksum: %r" % payload
                return payload
            chunk = self.sock.recv(65536)
            if not chunk:
                raise EOFError("boardsim closed the connection")
            self.buffer += chunk

    def read_ack(self):
        """The next acknowledgement byte, '+' or '-'."""
        while True:
            for i, byte in enumerate(self.buffer):
                if byte in b"+-":
                    self.buffer = self.buffer[i + 1:]
                    return bytes([byte])
                if byte == ord("$"):
                    raise AssertionError("a packet came where an acknowledgement was due: %r" % self.buffer)
            chunk = self.sock.recv(65536)
            if not chunk:
                raise EOFError("boardsim closed the connection")
            self.buffer += chunk

    def ask(self, payload):
        self.send_raw(frame(payload))
        assert self.read_ack() == b"+"
        reply = self.read_reply()
        self.send_raw(b"+")
        return reply

    def ask_skipping_console(self, payload):
        """The reply after any 'O' console packets."""
        self.send_raw(frame(payload))
        assert self.read_ack() == b"+"
        while True:
            reply = self.read_reply()
            self.send_raw(b"+")
            if not (reply.startswith(b"O") and reply != b"OK"):
                return reply

    def close(self):
        self.sock.close()


def timed(function, repeat):
    """The median of repeat calls, in milliseconds."""
    times = []
    for _ in range(repeat):
        start = time.perf_counter()
        function()
        times.append((time.perf_counter() - start) * 1000)
    times.sort()
    return times[len(times) // 2]
