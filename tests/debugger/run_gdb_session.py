"""Runs one scripted gdb session against boardsim --gdb and checks what gdb
printed. The script is a gdb command file in which @PORT@ stands for the
port boardsim chose; its lines "# expect: REGEX" name what gdb's output
must show, in that order. boardsim must then finish the boot cleanly, or
end with the status a line "# exit: N" gives (a fault's report instead).
A script with a line "# needs: symbols" is skipped (status 77) when IMAGES
holds no symbol file for the phase.
Usage: run_gdb_session.py BOARDSIM PHASE SCRIPT IMAGES"""
import os
import re
import subprocess
import sys
import tempfile

from boardsim_gdb import Boardsim


SKIPPED = 77


def main(boardsim_path, phase, script_path, images):
    with open(script_path) as f:
        script = f.read()
    symbols = os.path.join(images, "BoardDxe.debug" if phase == "dxe" else "BoardPei.debug")
    if "# needs: symbols" in script and not os.path.isfile(symbols):
        print("skipped: no symbol file %s" % symbols)
        sys.exit(SKIPPED)
    expected = [line.split("# expect:", 1)[1].strip() for line in script.splitlines() if "# expect:" in line]
    exits = [int(line.split("# exit:", 1)[1]) for line in script.splitlines() if "# exit:" in line]
    boardsim = Boardsim(boardsim_path, phase, images)
    with tempfile.NamedTemporaryFile("w", suffix=".gdb", delete=False) as f:
        f.write(script.replace("@PORT@", str(boardsim.port)))
        commands = f.name
    try:
        gdb = subprocess.run(["gdb", "-batch", "-nx", "-x", commands], stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                             text=True, timeout=60)
    finally:
        os.unlink(commands)
    status, out, err = boardsim.finish()
    transcript = gdb.stdout
    at = 0
    for pattern in expected:
        found = re.compile(pattern, re.MULTILINE).search(transcript, at)
        if not found:
            sys.exit("gdb's output lacks /%s/ after offset %d:\n%s\nboardsim said:\n%s%s" %
                     (pattern, at, transcript, out, err))
        at = found.end()
    clean = exits == [] and "Problems: none" in out
    if status != (exits[0] if exits else 0) or not (clean or exits):
        sys.exit("boardsim ended with status %d:\n%s%s\ngdb said:\n%s" % (status, out, err, transcript))
    print(transcript)


if __name__ == "__main__":
    main(*sys.argv[1:5])
