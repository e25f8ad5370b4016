#!/usr/bin/env python3
"""The host-built modules' edges that the boot corpus reaches.

Replays the inputs with module_edges (which keeps the modules' edge counters
and PC tables in libFuzzer's place) and reports per module how many of
BoardDxeHost's and BoardPeiHost's edges the inputs reached. Edges that only lead into a sanitizer's report (a failed
UBSan check) are counted apart: reaching one is a finding, not coverage.
Every other edge not reached is listed with its function and source line,
and must be explained in the exceptions file, one line per function and
line: "MODULE | FUNCTION | FILE:LINE | REASON" (FILE relative to the
repository). Exits 1 on an edge not explained, or an exception that names
no edge left unreached (the file says what is true now).

usage: fuzz_edges.py MODULE_EDGES MODULE_DIR REPOSITORY EXCEPTIONS INPUT_DIR...
"""
import collections
import os
import re
import subprocess
import sys

MODULES = ("BoardDxeHost", "BoardPeiHost")
INSTRUCTION = re.compile(r"^\s*([0-9a-f]+):\s+(\S+)\s*(.*)$")
REPORTS = ("__ubsan_handle_", "__asan_report_", "__ubsan_")
FUNCTION_SIGNATURE = "$0x327606eb"  # the word -fsanitize=function puts before each checked function


def run(command, **options):
    return subprocess.run(command, check=True, capture_output=True, text=True, errors="replace", **options).stdout


def observe(replay, inputs):
    """module -> (module-relative edge address -> reached)."""
    result = subprocess.run([replay, *inputs], capture_output=True, text=True, errors="replace")
    if result.returncode != 0:
        sys.exit(result.stdout + result.stderr + f"\n{replay} failed on the inputs")
    edges = collections.defaultdict(dict)
    for line in result.stdout.splitlines():
        module, offset, state = line.split()
        edges[module][int(offset, 16)] = state == "hit"
    return edges


def disassembly(module):
    lines = {}
    order = []
    for line in run(["objdump", "-d", "--no-show-raw-insn", module]).splitlines():
        match = INSTRUCTION.match(line)
        if match:
            address = int(match.group(1), 16)
            lines[address] = (match.group(2), match.group(3))
            order.append(address)
    return lines, order


def type_checks(lines, order):
    """Address ranges of UBSan's check of the callee's type before each call
    through a pointer: from the test of the callee's signature word to the
    indirect call's own coverage callback."""
    ranges, start = [], None
    for address in order:
        mnemonic, operands = lines[address]
        if mnemonic.startswith("cmp") and FUNCTION_SIGNATURE in operands:
            start = address
        elif start is not None and mnemonic.startswith("call") and "__sanitizer_cov_trace_pc_indir" in operands:
            ranges.append((start, address))
            start = None
    return ranges


def only_reports(pc, lines, order, index, checks):
    """True if the block at pc is a sanitizer's: it runs straight into a
    report, or belongs to the check of a callee's type."""
    at = index.get(pc)
    if at is None:
        return False
    if any(begin <= pc <= end for begin, end in checks):
        return True
    for address in order[at:at + 40]:
        mnemonic, operands = lines[address]
        if mnemonic.startswith("call"):
            return any(report in operands for report in REPORTS)
        if mnemonic.startswith(("j", "ret", "ud2")):
            return False
    return False


def symbolize(module, pcs, root):
    if not pcs:
        return {}
    text = run(["llvm-symbolizer", "--obj=" + module, "--functions=linkage", "--demangle", "--inlining=false"],
               input="".join(f"0x{pc:x}\n" for pc in pcs))
    blocks = [block.splitlines() for block in text.strip().split("\n\n")]
    named = {}
    for pc, block in zip(pcs, blocks):
        function = block[0] if block else "??"
        where = block[1] if len(block) > 1 else "??:0"
        path, _, rest = where.partition(":")
        path = os.path.relpath(os.path.normpath(path), root) if path.startswith("/") else path
        named[pc] = (function, f"{path}:{rest.split(':')[0]}")
    return named


def read_exceptions(path):
    exceptions = {}
    with open(path, encoding="utf-8") as file:
        for number, line in enumerate(file, 1):
            line = line.strip()
            if not line or line.startswith("#"):
                continue
            fields = [field.strip() for field in line.split("|")]
            if len(fields) != 4 or not all(fields):
                sys.exit(f"{path}:{number}: expected MODULE | FUNCTION | FILE:LINE | REASON")
            exceptions[tuple(fields[:3])] = fields[3]
    return exceptions


def main():
    if len(sys.argv) < 6:
        sys.exit(__doc__)
    replay, module_dir, root, exceptions_path = sys.argv[1:5]
    root = os.path.realpath(root)
    edges = observe(replay, sys.argv[5:])
    exceptions = read_exceptions(exceptions_path)
    missed = collections.Counter()
    for name in MODULES:
        module = os.path.join(module_dir, name + ".so")
        if name not in edges:
            sys.exit(f"the boots never loaded {module}, or it has no edge counters (not the fuzz build?)")
        lines, order = disassembly(module)
        index = {address: i for i, address in enumerate(order)}
        type_ranges = type_checks(lines, order)
        reached = {pc for pc, hit in edges[name].items() if hit}
        checks = {pc for pc, hit in edges[name].items() if not hit and only_reports(pc, lines, order, index, type_ranges)}
        total = len(edges[name]) - len(checks)
        unreached = sorted(pc for pc in edges[name] if pc not in reached and pc not in checks)
        print(f"{name}: {len(reached)}/{total} edges reached ({100.0 * len(reached) / total:.1f}%); "
              f"{len(checks)} more lead only into a sanitizer report")
        for function, where in symbolize(module, unreached, root).values():
            missed[(name, function, where)] += 1
    unexplained = 0
    for key, count in sorted(missed.items()):
        reason = exceptions.get(key)
        unexplained += reason is None
        print(f"  not reached: {' | '.join(key)} ({count} edge{'s' if count > 1 else ''}): "
              f"{reason or 'NOT EXPLAINED'}")
    stale = [key for key in exceptions if key not in missed]
    for key in stale:
        print(f"  {exceptions_path}: {' | '.join(key)} is reached now, or gone: remove it")
    if unexplained or stale:
        print(f"{unexplained} unexplained, {len(stale)} stale")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
