#pragma once

#include "codepage.h"

#include <QString>

namespace kav {

// The message being composed, in its three parallel forms. Tokens enter and leave only at the
// end, so the three forms stay in step whatever the operator does.
class SendBuffer {
public:
    // Lengths were 16-bit in the original design; past this bound they would overflow, so an
    // append that would cross it is refused instead.
    static constexpr int MaxLength = 32767;

    // Hand-over pair: set both, then call AppendToken.
    Code NewChar = 0;
    QString NewToken;

    // Appends NewChar/NewToken; returns false and changes nothing when the bound would be crossed
    // or when NewToken is not the display form of NewChar.
    bool AppendToken();
    // Removes the last token; its display width comes from the code of the last raw character.
    // Returns false (and changes nothing) on an empty buffer.
    bool RemoveLastToken();
    void Clear();
    // Replaces all three forms at once, as a memory slot hands them back.
    void Restore(const QString& text, const QString& hex, const CodeString& data);

    const CodeString& SendData() const { return data_; }
    const QString& SendText() const { return text_; }
    const QString& SendHex() const { return hex_; }
    bool isEmpty() const { return data_.isEmpty(); }

private:
    CodeString data_;
    QString text_;
    QString hex_;
};

// Appends each code as its own token, as the keypad would; false, with the buffer as far as it
// got, when the bound is reached.
bool appendCodes(SendBuffer& buffer, const CodeString& codes);

} // namespace kav
