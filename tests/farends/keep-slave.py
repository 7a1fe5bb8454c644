# A far end as device simulators write it: os.openpty(), the slave kept open and set raw, its
# name linked where the program under test looks. Answers each ENQ with ACK until it is ended.
import os
import sys
import tty

master, slave = os.openpty()
tty.setraw(slave)
os.symlink(os.ttyname(slave), sys.argv[1])
while True:
    data = os.read(master, 256)
    if b"\x05" in data:
        os.write(master, b"\x06" * data.count(b"\x05"))
