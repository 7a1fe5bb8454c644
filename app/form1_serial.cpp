#include "form1.h"

#include <QComboBox>
#include <QPushButton>

namespace kav {

void Form1::connectSerial() {}

void Form1::fillPortLists() {
    struct List {
        QComboBox* combo;
        QStringList entries;
        QString text;
    };
    QStringList ports;
    for (int n = 1; n <= 15; ++n)
        ports << (n < 10 ? QStringLiteral("COM %1") : QStringLiteral("COM%1")).arg(n);
    const List lists[] = {
        {Combo1, ports, QStringLiteral("COM1")},
        {Combo2,
         {"300", "600", "1200", "2400", "4800", "9600", "19200", "38400", "57600", "115200"},
         QStringLiteral("9600")},
        {Combo3, {"7", "8"}, QStringLiteral("8")},
        {Combo4, {"N", "E", "O"}, QStringLiteral("N")},
        {Combo5, {"1", "2"}, QStringLiteral("1")},
    };
    for (const List& list : lists) {
        list.combo->addItems(list.entries);
        list.combo->setEditText(list.text);
    }
}

void Form1::ShowPortState() {
    const bool open = MSComm1.PortOpen();
    setFaceColour(Command133, open ? OpenColour : ClosedColour);
    setFaceColour(Command134, open ? ClosedColour : OpenColour);
}

void Form1::Command133_Click() {}
void Form1::Command134_Click() {}
void Form1::MSComm1_DeviceLost() {}

} // namespace kav
