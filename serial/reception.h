#pragma once

#include "codepage.h"

#include <QString>

namespace kav {

// What has been received since the last reset, in the three forms the receive views show.
// RecvText, RecvData and RecvHex always describe the same characters in arrival order; new
// characters only ever go on at the end.
class Reception {
public:
    // Once this many characters are held, receive events stop reading until the next reset.
    static constexpr qsizetype Limit = 1000;

    CodeString RecvChunk; // what the latest receive event took from the port
    QString RecvText;     // receive-side tokens: mnemonics for 1-27 and 32, else the character
    CodeString RecvData;  // the raw codes
    QString RecvHex;      // two hexadecimal digits per single byte, four per double-byte code
    qint16 RecvCount = 0; // the count the clearing operations set and show

    // Empties the chunk and the three accumulators; RecvCount is left to the caller.
    void clear();
    // True once the limit is reached: the receive event then reads nothing.
    bool isFull() const { return RecvData.size() >= Limit; }
    // Takes one chunk as the port delivered it and appends it to all three forms.
    void take(const CodeString& chunk);
    // The number shown beside "Byte": the characters held.
    QString countText() const { return QString::number(RecvData.size()); }

private:
    void append(Code code);
};

// What the text view shows for RecvText. The few raw control characters it can hold (NUL, 28-31
// and DEL) have no glyph and NUL would cut the text short, so the view shows their Unicode
// control pictures instead; RecvText itself keeps the characters.
QString receiveView(const QString& recvText);

} // namespace kav
