"""A Modbus ASCII master (pymodbus's serial client) reads holding register 0 of unit 1 on the
port given, at 9600 baud, and prints its value."""
import sys

from pymodbus.client import ModbusSerialClient
from pymodbus.transaction import ModbusAsciiFramer

client = ModbusSerialClient(port=sys.argv[1], framer=ModbusAsciiFramer, baudrate=9600,
                            timeout=3)
if not client.connect():
    sys.exit("cannot open " + sys.argv[1])
response = client.read_holding_registers(0, 1, slave=1)
client.close()
if response.isError():
    sys.exit("no register: " + str(response))
print(response.registers[0])
