#include "form1.h"

namespace kav {

void Form1::connectReception() {
    connect(&Timer1, &QTimer::timeout, this, &Form1::Timer1_Timer);
}

void Form1::Command130_Click() {}
void Form1::MSComm1_OnComm() {}
void Form1::Command29_Click() {}

void Form1::Timer1_Timer() {
    if (shuttingDown_)
        return;
    if (TickCount_ > 600)
        TickCount_ = 0;
    ++TickCount_;
}

} // namespace kav
