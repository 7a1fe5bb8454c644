#include "form1.h"

#include "layout.h"
#include "messagebox.h"
#include "textbox.h"

#include <QPushButton>

namespace kav {

void Form1::connectMemory() {
    for (const SlotControls& row : slotControls()) {
        const int n = row.slot;
        connect(this->*row.writeButton, &QPushButton::clicked, this, [this, n] { slotWrite(n); });
        connect(this->*row.readButton, &QPushButton::clicked, this, [this, n] { slotRead(n); });
    }
}

void Form1::slotWrite(int n) {
    TextBox* box = this->*slotControls()[size_t(n - 1)].box;
    // The question depends on what the box shows, not on what the slot holds.
    if (!box->text().isEmpty() &&
        !askYesNo(this, QStringLiteral("一時保存データが上書きされ消去されます。")))
        return;
    SaveSlot(n);
    box->setText(send_.SendText());
}

void Form1::slotRead(int n) {
    LoadSlot(n);
}

void Form1::SaveSlot(int n) {
    slots_.SaveSlot(n, send_);
}

void Form1::LoadSlot(int n) {
    slots_.LoadSlot(n, send_);
    refreshSendViews();
}

} // namespace kav
