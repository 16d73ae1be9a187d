# tests/test_shared_object.py: the extension as a shared object: its one export, and the timer Box2D binds to.
import os
import re
import struct
import subprocess
import sys

import pytest

import _quorvel
from quorvel import _batch

# b2Timer's constructor, Reset() and GetMilliseconds() const, as Box2D's library calls them.
TIMER = {"_ZN7b2TimerC1Ev", "_ZN7b2Timer5ResetEv", "_ZNK7b2Timer15GetMillisecondsEv"}
ONE_TICK = "import _quorvel as q; q.Engine(q.EngineConfig(), 1).step((q.Actions([]), q.Actions([])))"
BINDING = re.compile(r"binding file (\S+) \[\d+\] to (\S+) \[\d+\]: normal symbol `([^']+)'")


def exported_symbols(path):
    """The symbols an ELF64 little-endian shared object defines in its dynamic symbol table."""
    with open(path, "rb") as f:
        data = f.read()
    assert data[:6] == b"\x7fELF\x02\x01", "not a 64-bit little-endian ELF file"
    (section_table,) = struct.unpack_from("<Q", data, 0x28)
    entry_size, count = struct.unpack_from("<HH", data, 0x3A)
    # (name, type, flags, addr, offset, size, link, info, addralign, entsize)
    sections = [struct.unpack_from("<IIQQQQIIQQ", data, section_table + i * entry_size)
                for i in range(count)]
    names = set()
    for _, kind, _, _, offset, size, link, _, _, symbol_size in sections:
        if kind != 11:  # SHT_DYNSYM
            continue
        strings = sections[link][4]
        for at in range(offset + symbol_size, offset + size, symbol_size):  # entry 0 is null
            name, info, _, section = struct.unpack_from("<IBBH", data, at)
            if section != 0 and info >> 4 != 0:  # defined, and global or weak
                start = strings + name
                names.add(data[start:data.index(b"\0", start)].decode())
    return names


@pytest.mark.parametrize("module", [_quorvel, _batch], ids=lambda m: m.__name__)
def test_each_extension_exports_its_entry_point_only(module):
    assert exported_symbols(module.__file__) == {"PyInit_" + module.__name__.rpartition(".")[2]}


def test_box2d_binds_its_step_timer_to_the_no_op_library():
    # The dynamic linker's own record of the process that imports this extension
    # and plays a tick: where each of Box2D's timer calls went.
    stderr = subprocess.run([sys.executable, "-c", ONE_TICK], env=dict(os.environ, LD_DEBUG="bindings"),
                            capture_output=True, text=True, check=True).stderr
    bound = {}
    for caller, target, symbol in BINDING.findall(stderr):
        if os.path.basename(caller).startswith("libbox2d.so") and symbol in TIMER:
            bound[symbol] = os.path.basename(target)
    assert bound == dict.fromkeys(TIMER, "libquorvel_box2d_timer.so")
