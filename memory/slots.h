#pragma once

#include "sendbuffer.h"

#include <array>

namespace kav {

// Four memory slots, each a consistent copy of the send buffer in all three forms.
class SlotStore {
public:
    static constexpr int Count = 4;

    struct Slot {
        QString text;
        QString hex;
        CodeString data;
    };

    void SaveSlot(int n, const SendBuffer& buffer);
    void LoadSlot(int n, SendBuffer& buffer) const;
    const Slot& slot(int n) const;

private:
    std::array<Slot, Count> slots_;
};

} // namespace kav
