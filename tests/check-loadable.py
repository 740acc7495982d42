#!/usr/bin/env python3
"""The shipping DLL must load on Windows 95 and run on the processors of its time.

Checked on the linked DLL, so that what the static runtime contributes counts as much as our own code:
  - no thread-local-storage directory (Windows 95 refuses to load a DLL that has one);
  - no instruction newer than the Pentium: conditional moves, the P6 floating-point compares and moves,
    long NOPs, MMX, SSE and everything later;
  - with the linker map: no unwinder linked in. The start-up code hands the DLL's unwind tables to any
    other libgcc_s_dw2-1.dll already in the process, so a DLL that unwinds would depend on that copy.
Usage: check-loadable.py DLL [MAP]. With the linker map only the code of .text is disassembled (the
start-up tables the linker places there are data) and each offending instruction is traced to the object
it came from; without it the whole section counts as code.
"""
import re
import subprocess
import sys

# Mnemonics (AT&T, as objdump prints them) of the Pentium Pro and later. "pause" (rep nop) and "tzcnt"
# (rep bsf, which the compiler emits for generic tuning where the input is never zero) run as their
# old forms on a Pentium; ud2 faults on every processor, as intended.
NEWER = re.compile(r"""^(cmov\w*|fcmov\w*|fu?comip?|nop[lwq]|rdpmc|sysenter|sysexit|syscall|sysret\w*
  |fxsave\w*|fxrstor\w*|emms|femms|[slm]fence|prefetch\w*|clflush\w*|movnti|ldmxcsr|stmxcsr|fisttp\w*
  |monitor|mwait|popcnt\w*|lzcnt\w*|crc32\w*|movbe\w*|rdrand|rdseed|rdtscp|xgetbv|xsetbv|xsave\w*
  |xrstor\w*|cmpxchg16b|adcx|adox|andn|bextr|blsi|blsmsk|blsr|bzhi|mulx|pdep|pext|rorx|sarx|shlx|shrx
  |endbr32|endbr64|\(bad\))$""", re.X)
VECTOR_REGISTER = re.compile(r"%[xyz]?mm\d")
PREFIXES = {"rep", "repz", "repnz", "repe", "repne", "lock", "data16", "addr16", "cs", "ds", "es", "fs",
            "gs", "ss", "bnd", "notrack"}


def objdump(*args):
    return subprocess.run(["objdump", *args], check=True, capture_output=True, text=True).stdout


def tls_directory(dll):
    for line in objdump("-p", dll).splitlines():
        fields = line.split()
        if fields[:2] == ["Entry", "9"]:
            return int(fields[2], 16), int(fields[3], 16)
    return 0, 0


def text_section(dll):
    for line in objdump("-h", dll).splitlines():
        fields = line.split()
        if len(fields) > 3 and fields[1] == ".text":
            return int(fields[3], 16), int(fields[3], 16) + int(fields[2], 16)
    sys.exit(f"{dll}: no .text section")


def map_inputs(map_path):
    """Input sections of the .text output section: (start, size, section name or linker data, object)."""
    inputs, inside, pending = [], False, None
    with open(map_path, errors="replace") as lines:
        for line in lines:
            if re.match(r"^\.text\s", line):
                inside = True
                continue
            if inside and re.match(r"^\S", line):
                break
            if not inside:
                continue
            m = re.match(r"^ (\S+)\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)\s+(.*)$", line)
            if m:
                inputs.append((int(m[2], 16), int(m[3], 16), m[1], m[4].strip()))
                continue
            m = re.match(r"^ ([^\s*]\S*)\s*$", line)
            if m:
                pending = m[1]
                continue
            m = re.match(r"^\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)\s+(.*)$", line)
            if m and pending:
                inputs.append((int(m[1], 16), int(m[2], 16), pending, m[3].strip()))
                pending = None
            elif m and re.match(r"(LONG|QUAD|SHORT|BYTE)\b", m[3]):
                inputs.append((int(m[1], 16), int(m[2], 16), m[3].split()[0], "linker data"))
    return inputs


def unwinder_members(map_path):
    with open(map_path, errors="replace") as text:
        return set(re.findall(r"libgcc_eh\.a\(([^)]+)\)", text.read()))


def code_ranges(text, inputs):
    start, stop = text
    at, ranges = start, []
    for begin, size, name, _ in sorted(inputs):
        if size == 0 or name.startswith(".text"):
            continue
        if begin > at:
            ranges.append((at, begin))
        at = max(at, begin + size)
    if stop > at:
        ranges.append((at, stop))
    return ranges


def newer_instructions(dll, ranges):
    for start, stop in ranges:
        listing = objdump("-d", "--no-show-raw-insn", f"--start-address={start:#x}", f"--stop-address={stop:#x}", dll)
        for line in listing.splitlines():
            parts = line.split("\t")
            if len(parts) < 2 or not re.match(r"^\s*[0-9a-f]+:$", parts[0]):
                continue
            words = parts[1].split()
            mnemonic = words[0] if words else ""
            if mnemonic in PREFIXES and len(words) > 1:
                mnemonic = words[1]
            if NEWER.match(mnemonic) or VECTOR_REGISTER.search(parts[1]):
                yield int(parts[0].strip().rstrip(":"), 16), parts[1].strip()


def origin(address, inputs):
    best = None
    for begin, size, _, obj in inputs:
        if begin <= address < begin + max(size, 1) and (best is None or begin >= best[0]):
            best = (begin, obj)
    return best[1].rsplit("/", 1)[-1] if best else "?"


def main():
    dll = sys.argv[1]
    inputs = map_inputs(sys.argv[2]) if len(sys.argv) > 2 else []
    failed = False
    tls = tls_directory(dll)
    if tls != (0, 0):
        print(f"the DLL has a thread-local-storage directory at {tls[0]:#x} ({tls[1]} bytes): "
              "Windows 95 refuses to load it")
        failed = True
    unwinder = sorted(unwinder_members(sys.argv[2])) if len(sys.argv) > 2 else []
    if unwinder:
        print("the DLL links the exception unwinder's library (" + ", ".join(unwinder) + "): something "
              "in it throws, catches or uses thread-local variables")
        failed = True
    text = text_section(dll)
    ranges = code_ranges(text, inputs) if inputs else [text]
    found = list(newer_instructions(dll, ranges))
    if found:
        print(f"{len(found)} instructions newer than the Pentium (or undecodable) in the DLL's code:")
        for address, instruction in found[:80]:
            print(f"  {address:#x}  {instruction:40}  {origin(address, inputs) if inputs else ''}")
        failed = True
    if failed:
        return 1
    print(f"no TLS directory; no instruction newer than the Pentium in {len(ranges)} code range(s)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
