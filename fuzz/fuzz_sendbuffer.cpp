// Any sequence of keypad presses, typed keys (accepted or refused), Backspaces, clears and slot
// writes and reads keeps the three forms of the send buffer in step, within the 16-bit bound,
// and agrees with a plain model of what the operator entered.
//
// Input: a sequence of operations, each one byte followed by its arguments (see below).

#include "check.h"
#include "keypad.h"
#include "mnemonics.h"
#include "sendbuffer.h"
#include "slots.h"

#include <array>

using namespace kav;

namespace {

// The model: the codes entered, with the display text and codes built token by token from
// them the plain way.
struct Model {
    CodeString data;
    QString text;
    QString hex;

    bool append(Code code) {
        const QString token = sendToken(code);
        if (data.size() + 1 > SendBuffer::MaxLength ||
            text.size() + token.size() > SendBuffer::MaxLength)
            return false;
        data.append(code);
        text += token;
        hex += hexOf(code);
        return true;
    }
    void removeLast() {
        if (data.isEmpty())
            return;
        const Code last = data.takeLast();
        text.chop(sendToken(last).size());
        hex.chop(2);
    }
    void clear() { *this = Model(); }
};

void checkInStep(const SendBuffer& buffer, const Model& model) {
    FUZZ_CHECK(buffer.SendData().size() <= SendBuffer::MaxLength);
    FUZZ_CHECK(buffer.SendText().size() <= SendBuffer::MaxLength);
    FUZZ_CHECK(buffer.SendData() == model.data);
    FUZZ_CHECK(buffer.SendText() == model.text);
    FUZZ_CHECK(buffer.SendHex() == model.hex);
    FUZZ_CHECK(buffer.SendHex().size() == 2 * buffer.SendData().size());
    if (!buffer.isEmpty()) {
        const Code last = buffer.SendData().constLast();
        FUZZ_CHECK(last <= 27 || (last >= 32 && last <= 125));
        FUZZ_CHECK(buffer.SendText().endsWith(sendToken(last)));
        FUZZ_CHECK(tokenWidth(last) == sendToken(last).size());
    }
}

bool pressKey(SendBuffer& buffer, Model& model, const KeypadKey& key) {
    buffer.NewChar = key.code;
    buffer.NewToken = key.token();
    const bool taken = buffer.AppendToken();
    FUZZ_CHECK(taken == model.append(key.code));
    return taken;
}

// The same button pressed again and again, until it has been pressed `presses` times or the
// buffer refuses it.
void holdKey(SendBuffer& buffer, Model& model, const KeypadKey& key, int presses) {
    const QString token = key.token();
    const QString hex = hexOf(key.code);
    for (int i = 0; i < presses; ++i) {
        buffer.NewChar = key.code;
        buffer.NewToken = token;
        const bool fits = model.data.size() + 1 <= SendBuffer::MaxLength &&
                          model.text.size() + token.size() <= SendBuffer::MaxLength;
        FUZZ_CHECK(buffer.AppendToken() == fits);
        if (!fits)
            return;
        model.data.append(key.code);
        model.text += token;
        model.hex += hex;
    }
}

// As the send box takes a typed character: only "0" to "}" get in.
void typeKey(SendBuffer& buffer, Model& model, QChar ch) {
    const char16_t unit = ch.unicode();
    FUZZ_CHECK(isKeyboardCharacter(ch) == (unit >= u'0' && unit <= u'}'));
    if (!isKeyboardCharacter(ch))
        return;
    buffer.NewChar = Code(unit);
    buffer.NewToken = QString(ch);
    FUZZ_CHECK(buffer.AppendToken() == model.append(Code(unit)));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    kavfuzz::Reader in(data, size);
    const auto keys = keypadKeys();
    SendBuffer buffer;
    SlotStore store;
    Model model;
    std::array<Model, SlotStore::Count> stored;

    while (!in.done()) {
        switch (in.byte() % 9) {
        case 0: // a keypad button
            pressKey(buffer, model, keys[in.byte() % keys.size()]);
            break;
        case 1: // any character typed, as a UTF-16 unit
            typeKey(buffer, model, QChar(char16_t(in.word())));
            break;
        case 2: // a Latin-1 character typed: dense around the accepted range
            typeKey(buffer, model, QChar(char16_t(in.byte())));
            break;
        case 3: // Backspace
            FUZZ_CHECK(buffer.RemoveLastToken() == !model.data.isEmpty());
            model.removeLast();
            break;
        case 4: // the clear button
            buffer.Clear();
            model.clear();
            break;
        case 5: { // a slot's write button, once the operator agreed
            const int n = in.byte() % SlotStore::Count + 1;
            store.SaveSlot(n, buffer);
            stored[size_t(n - 1)] = model;
            break;
        }
        case 6: { // a slot's read button
            const int n = in.byte() % SlotStore::Count + 1;
            store.LoadSlot(n, buffer);
            model = stored[size_t(n - 1)];
            const SlotStore::Slot& slot = store.slot(n);
            FUZZ_CHECK(slot.data == model.data);
            break;
        }
        case 7: { // one keypad button held down: a few presses, or up to and past the bound
            const KeypadKey& key = keys[in.byte() % keys.size()];
            const std::uint8_t count = in.byte();
            const int presses = count >= 0xF0 ? SendBuffer::MaxLength + 1 : count;
            holdKey(buffer, model, key, presses);
            break;
        }
        case 8: { // a hand-over pair whose token is another key's: refused, nothing changes
            const KeypadKey& key = keys[in.byte() % keys.size()];
            const KeypadKey& other = keys[in.byte() % keys.size()];
            buffer.NewChar = key.code;
            buffer.NewToken = other.token();
            const bool taken = buffer.AppendToken();
            FUZZ_CHECK(taken == (key.code == other.code && model.append(key.code)));
            break;
        }
        }
        checkInStep(buffer, model);
    }
    return 0;
}
