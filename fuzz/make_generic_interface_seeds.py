#!/usr/bin/env python3
"""Writes the seed inputs of generic_interface_fuzzer into
fuzz/corpus/generic_interface_fuzzer/ (the input format is described at the
top of generic_interface_fuzzer.cpp). Each seed is one meaningful session of
requests; the fuzzer mutates from there."""
import pathlib
import struct

OUT = pathlib.Path(__file__).resolve().parent / "corpus" / "generic_interface_fuzzer"

# Operation codes.
READ, SET, DEL, COUNT, CAPACITY, CONTAINS, FRONT, BACK, ENQ, DEQ, CALL = range(11)
NONDEFAULT, EQUAL, LESS, LOOKUP = 11, 12, 13, 28

# Attribute ids.
ENTRY_HANDLE_ATTR, GROUP = 132, 134
TABLE = dict(entryHas=518, resolvedEntry=519, entry=520, entryInHwTable=521, syncedEntry=522,
             entryRemoveAll=523, minIndex=524, entryHandle=529, unresolvedEntry=530, entrys=531,
             entryRemove=532, entryCommit=533, writeResponseSm=534, hwIndexCross=535, util=536,
             mountInfo=537, recoveryStatus=538, recover=539)
HANDLE_KEY, HANDLE_PENDING = 386, 389
UNRESOLVED_ENTRY = 387
UTIL_MIN, UTIL_DEP = 514, 523

# Pool slots at the start.
NULL, TBL, NH1, NH2, NH3, H1, H4, UTIL, MOUNTS, RECOVER, LEDGER, DEFAULT_ENTRY, ENTRY_NH1 = range(13)
CLASS = 255


def none():
    return bytes([0])


def u8(n):
    return bytes([2, n])


def u32(n):
    return bytes([3]) + struct.pack("<I", n)


def pool(i):
    return bytes([6, i])


def entry(handle_slot, group, next_hop=0):
    return bytes([7, handle_slot, group]) + struct.pack("<I", next_hop)


def chip_info(unit, entries):
    return bytes([8, unit]) + struct.pack("<H", entries)


def request(obj, attr, op, key=None, operand=None, args=()):
    return (bytes([0, obj]) + struct.pack("<H", attr) + bytes([op]) + (key or none()) +
            (operand or none()) + bytes([len(args)]) + b"".join(args))


def walk(obj, attr, start=None):
    return bytes([4, obj]) + struct.pack("<H", attr) + (start or none())


def construct(type_index, args=()):
    return bytes([5, type_index, len(args)]) + b"".join(args)


def env(event, *more):
    return bytes([6, event, *more])


def drop(slot):
    return bytes([7, slot])


CONFIRM_ALL, CONFIRM, RUN_PENDING, NEXT_HOP, REPLAY_ENDS = range(5)

SEEDS = {
    "reads": [0,
              request(TBL, TABLE["entrys"], READ),
              request(TBL, TABLE["resolvedEntry"], LOOKUP, u32(1)),
              request(TBL, TABLE["resolvedEntry"], READ, u32(5)),
              request(TBL, TABLE["syncedEntry"], LOOKUP, u32(7)),
              request(TBL, TABLE["entryHandle"], READ, u32(4)),
              request(TBL, TABLE["unresolvedEntry"], READ, u32(3)),
              request(TBL, TABLE["entry"], CONTAINS, u32(2)),
              request(TBL, TABLE["entryInHwTable"], READ, u32(63)),
              request(TBL, TABLE["writeResponseSm"], READ)],
    "commit-remove": [0,
                      request(TBL, TABLE["entryCommit"], CALL, args=(u32(9), entry(NH1, 3))),
                      env(CONFIRM, 9),
                      request(TBL, TABLE["entryCommit"], CALL, args=(u32(9), entry(NH2, 4))),
                      env(NEXT_HOP, 1, 80), env(RUN_PENDING),
                      request(TBL, TABLE["entryRemove"], CALL, args=(u32(9),)),
                      request(TBL, TABLE["entryRemove"], CALL, args=(u32(1),)),
                      drop(H4), env(CONFIRM_ALL),
                      request(TBL, TABLE["entryRemoveAll"], CALL), env(CONFIRM_ALL)],
    "handle-queue": [0,
                     request(H1, HANDLE_KEY, READ),
                     request(H1, HANDLE_PENDING, ENQ, operand=entry(NH1, 7)),
                     request(H1, HANDLE_PENDING, FRONT),
                     request(H1, HANDLE_PENDING, DEQ),
                     request(H4, HANDLE_PENDING, COUNT),
                     walk(H1, HANDLE_PENDING),
                     request(TBL, TABLE["entryHandle"], READ, u32(5)),
                     request(17, HANDLE_PENDING, BACK)],
    "walks": [0,
              walk(TBL, TABLE["entry"]), walk(TBL, TABLE["resolvedEntry"], u32(2)),
              walk(TBL, TABLE["entryHandle"]), walk(TBL, TABLE["unresolvedEntry"]),
              walk(TBL, TABLE["syncedEntry"])],
    "values": [0,
               request(DEFAULT_ENTRY, 0, NONDEFAULT),
               request(ENTRY_NH1, 0, EQUAL, operand=pool(DEFAULT_ENTRY)),
               request(ENTRY_NH1, 0, LESS, operand=entry(NH2, 1)),
               request(DEFAULT_ENTRY, GROUP, SET, operand=u8(200)),
               request(DEFAULT_ENTRY, ENTRY_HANDLE_ATTR, SET, operand=pool(NH3)),
               request(DEFAULT_ENTRY, ENTRY_HANDLE_ATTR, READ),
               construct(0, (pool(ENTRY_NH1),))],
    "records": [0,
                request(TBL, TABLE["unresolvedEntry"], READ, u32(3)),
                request(13, UNRESOLVED_ENTRY, SET, operand=entry(NH1, 5)),
                request(TBL, TABLE["util"], CALL),
                request(14, UTIL_DEP, CALL, args=(u32(70),)),
                request(UTIL, UTIL_MIN, CALL),
                construct(1, (u32(20), pool(TBL))),
                construct(5),
                request(18, TABLE["entrys"], READ)],
    "class-level": [0,
                    request(CLASS, TABLE["mountInfo"], CALL, args=(pool(MOUNTS),)),
                    request(CLASS, TABLE["recoveryStatus"], CALL, args=(pool(MOUNTS),)),
                    request(CLASS, TABLE["recover"], CALL,
                            args=(pool(RECOVER), u32(0), pool(LEDGER), chip_info(0, 16))),
                    construct(5), request(13, TABLE["entryCommit"], CALL, args=(u32(3), entry(NULL, 1))),
                    request(TBL, TABLE["writeResponseSm"], DEL),
                    request(TBL, TABLE["writeResponseSm"], SET, operand=pool(TBL))],
    "replay": [1,
               request(TBL, TABLE["syncedEntry"], COUNT),
               walk(TBL, TABLE["syncedEntry"]),
               request(TBL, TABLE["entryCommit"], CALL, args=(u32(7), entry(NH1, 7, 70))),
               request(TBL, TABLE["entryRemove"], CALL, args=(u32(2),)),
               env(REPLAY_ENDS), env(CONFIRM_ALL),
               request(TBL, TABLE["entryRemoveAll"], CALL), env(CONFIRM_ALL)],
}


# Inputs that crashed the fuzzer once are kept next to the seeds as
# crash-*: crash-pending-self-reference (a pending value naming its own
# handle leaked the handle past the table's teardown) and
# crash-write-response-sm-outlives-table (the table's write-response state
# machine set to serve a constructed table that is then dropped).


def main():
    OUT.mkdir(parents=True, exist_ok=True)
    for name, parts in SEEDS.items():
        data = bytes([parts[0]]) + b"".join(parts[1:])
        (OUT / f"seed-{name}").write_bytes(data)


if __name__ == "__main__":
    main()
