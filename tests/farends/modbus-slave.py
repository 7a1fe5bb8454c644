# pymodbus's own Modbus ASCII slave on a serial device: unit 1, every holding register 0x1234.
import sys

from pymodbus.datastore import (ModbusSequentialDataBlock, ModbusServerContext,
                                ModbusSlaveContext)
from pymodbus.server import StartSerialServer
from pymodbus.transaction import ModbusAsciiFramer

registers = ModbusSequentialDataBlock(0, [0x1234] * 16)
context = ModbusServerContext(slaves=ModbusSlaveContext(hr=registers), single=True)
StartSerialServer(context=context, framer=ModbusAsciiFramer, port=sys.argv[1], baudrate=9600)
