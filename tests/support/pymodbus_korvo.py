#!/usr/bin/python3
"""A Modbus TCP server with a Korvo device's register map, on pymodbus.

Binds 127.0.0.1 on a port the system picks and prints that port as the
first line of its output. Register map (0-based protocol addresses):
  coils 0x1020..0x102F            outputs 0..15
  input register 0x2000           inputs word, bit n = input n
  holding register 0x2002         outputs word (follows the coils)
  holding and input registers     counters 0..15, two registers each, high
  0x5006..0x5025                  word first; writes to the holding
                                  registers show in the input registers too
Anything else is answered by pymodbus with an exception (illegal address).

Usage: pymodbus_korvo.py [INPUTS_WORD [COUNTER0 [COUNTER1 ...]]]
"""
import asyncio
import sys

from pymodbus.datastore import ModbusServerContext, ModbusSlaveContext, ModbusSparseDataBlock
from pymodbus.server.async_io import ModbusTcpServer

COILS, INPUTS, OUTPUTS, COUNTERS = 0x1020, 0x2000, 0x2002, 0x5006


class KorvoContext(ModbusSlaveContext):
    """The device's registers: the outputs word follows the coils, and the
    counters read as holding and as input registers alike."""

    def setValues(self, fc_as_hex, address, values):
        super().setValues(fc_as_hex, address, values)
        kind = self.decode(fc_as_hex)
        if kind == "c":
            bits = self.store["c"].getValues(COILS, 16)
            self.store["h"].setValues(OUTPUTS, [sum(1 << n for n, b in enumerate(bits) if b)])
        elif kind == "h" and address >= COUNTERS:
            self.store["i"].setValues(address, list(values))


def counter_words(values):
    words = []
    for v in values:
        words += [(v >> 16) & 0xFFFF, v & 0xFFFF]
    return words


async def main():
    args = [int(a, 0) for a in sys.argv[1:]]
    inputs = args[0] if args else 0
    counters = counter_words((args[1:] + [0] * 16)[:16])
    context = KorvoContext(
        di=ModbusSparseDataBlock({}),
        co=ModbusSparseDataBlock({COILS: [0] * 16}),
        ir=ModbusSparseDataBlock({INPUTS: [inputs], COUNTERS: counters}),
        hr=ModbusSparseDataBlock({OUTPUTS: [0], COUNTERS: list(counters)}),
        zero_mode=True,
    )
    server = ModbusTcpServer(ModbusServerContext(slaves=context, single=True), address=("127.0.0.1", 0))
    task = asyncio.create_task(server.serve_forever())
    await server.serving
    print(server.server.sockets[0].getsockname()[1], flush=True)
    await task


if __name__ == "__main__":
    asyncio.run(main())
