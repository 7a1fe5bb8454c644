#include "accessibility.h"
#include "form1.h"
#include "messagebox.h"
#include "portlist.h"
#include "portsettings.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QPushButton>

namespace kav {

namespace {

const QString PortMessage =
    QStringLiteral("COM PORTの選択に問題があります。ﾃﾞﾊﾞｲｽﾏﾈｰｼﾞｬｰでCOM PORTを確認してください。");

// True while the lost-device message is up, so a second loss does not stack another box.
bool tellingLoss = false;

} // namespace

void Form1::connectSerial() {
    connect(Command133, &QPushButton::clicked, this, &Form1::Command133_Click);
    connect(Command134, &QPushButton::clicked, this, &Form1::Command134_Click);
    connect(&MSComm1, &MSComm::DeviceLost, this, &Form1::MSComm1_DeviceLost);
    Combo1->view()->installEventFilter(this); // its Show: the list opens
}

void Form1::describePortList() {
    // Read as the list opens, since adapters come and go; a new one is numbered first.
    numberNewAdapters();
    for (int i = 0; i < Combo1->count(); ++i) {
        const int n = portNumber(portNumberText(Combo1->itemText(i)));
        const QString reaches = describePortNumber(n);
        Combo1->setItemData(i, reaches, Qt::ToolTipRole);
        Combo1->setItemData(i, reaches, Qt::AccessibleDescriptionRole);
    }
}

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
    // The colours alone tell nothing to a screen reader.
    const QString state = open ? portOpenDescription() : portClosedDescription();
    Command133->setAccessibleDescription(state);
    Command134->setAccessibleDescription(state);
}

void Form1::Command133_Click() {
    try {
        // Only the text in each box counts, exactly as typed.
        const QString PortName = Combo1->currentText();
        const QString BaudRate = Combo2->currentText();
        const QString DataBits = Combo3->currentText();
        const QString Parity = Combo4->currentText();
        const QString StopBits = Combo5->currentText();
        openAsOpenButton(MSComm1, PortName,
                         BaudRate + u',' + Parity + u',' + DataBits + u',' + StopBits);
        ShowPortState();
    } catch (const CommError& error) {
        // What was written before the failing step stays written; the colours stay as they were.
        // The box says the same for every failure, so the reason goes to the log.
        qCWarning(lcPort, "OPEN failed: %s", error.what());
        showMessage(this, PortMessage);
    }
}

void Form1::Command134_Click() {
    if (MSComm1.PortOpen())
        MSComm1.setPortOpen(false);
    Timer1.stop();
    ShowPortState();
}

void Form1::MSComm1_DeviceLost() {
    // The control has already closed the port. Show the closed state as CLOSE would, and tell
    // the operator once.
    if (shuttingDown_)
        return;
    Timer1.stop();
    ShowPortState();
    if (tellingLoss)
        return;
    tellingLoss = true;
    showMessage(this, PortMessage);
    tellingLoss = false;
}

} // namespace kav
