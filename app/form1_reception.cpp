#include "form1.h"

#include "messagebox.h"
#include "textbox.h"
#include "ticks.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>

namespace kav {

void Form1::connectReception() {
    connect(&Timer1, &QTimer::timeout, this, &Form1::Timer1_Timer);
    connect(&MSComm1, &MSComm::OnComm, this, &Form1::MSComm1_OnComm);
    connect(Command130, &QPushButton::clicked, this, &Form1::Command130_Click);
    connect(Command29, &QPushButton::clicked, this, &Form1::Command29_Click);
}

void Form1::Command130_Click() {
    if (shuttingDown_)
        return;
    // Every send starts a new reception; the views keep the last one until new data arrives.
    recv_.clear();
    if (send_.isEmpty()) {
        showMessage(this, QStringLiteral("データをセットしてください。"));
        // The window may have been closed while the box was up: nothing more may happen then.
        if (shuttingDown_)
            return;
    }
    if (MSComm1.PortOpen()) {
        if (Check1->checkState() == Qt::Checked) {
            recv_.clear();
            clearReceiveViews();
            MSComm1.setInBufferCount(0);
            showZeroCount();
        }
        MSComm1.Output(send_.SendData());
    } else {
        showMessage(this, QStringLiteral("PORTをOPENにしてください。"));
        if (shuttingDown_)
            return;
    }
    TickCount_ = 0;
    Timer1.start();
}

void Form1::MSComm1_OnComm() {
    if (shuttingDown_)
        return;
    if (recv_.isFull()) {
        // Nothing is read: the bytes wait until a send or the clear button empties the data.
        Label7->setText(QStringLiteral("Over 1000"));
        return;
    }
    if (MSComm1.CommEvent() == MSComm::ComEvReceive) {
        Timer1.stop(); // Label12 keeps the reply time
        recv_.take(MSComm1.Input());
        Text4->setText(receiveView(recv_.RecvText));
        Text2->setText(recv_.RecvHex);
    }
    Label7->setText(recv_.countText());
}

void Form1::Command29_Click() {
    if (shuttingDown_)
        return;
    if (MSComm1.PortOpen() && MSComm1.InBufferCount() > 0)
        MSComm1.setInBufferCount(0);
    recv_.clear();
    clearReceiveViews();
    Text3->setFocus();
    showZeroCount();
    Timer1.stop();
}

void Form1::Timer1_Timer() {
    if (shuttingDown_)
        return;
    TickCount_ = nextTick(TickCount_);
    Label12->setText(tickText(TickCount_));
}

} // namespace kav
