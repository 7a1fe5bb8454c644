#include "slots.h"

namespace kav {

const SlotStore::Slot& SlotStore::slot(int n) const {
    Q_ASSERT(n >= 1 && n <= Count);
    return slots_[size_t(n - 1)];
}

void SlotStore::SaveSlot(int n, const SendBuffer& buffer) {
    Q_ASSERT(n >= 1 && n <= Count);
    Slot& s = slots_[size_t(n - 1)];
    s.text = buffer.SendText();
    s.hex = buffer.SendHex();
    s.data = buffer.SendData();
}

void SlotStore::LoadSlot(int n, SendBuffer& buffer) const {
    const Slot& s = slot(n);
    buffer.Restore(s.text, s.hex, s.data);
}

} // namespace kav
