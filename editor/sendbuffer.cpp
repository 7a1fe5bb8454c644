#include "sendbuffer.h"

#include "mnemonics.h"

namespace kav {

bool SendBuffer::AppendToken() {
    // Removal strips as many display characters as the code's token is wide, so a token that is
    // not the code's own display form would put the three forms out of step for good.
    if (NewToken != sendToken(NewChar))
        return false;
    if (data_.size() + 1 > MaxLength || text_.size() + NewToken.size() > MaxLength)
        return false;
    text_ += NewToken;
    data_.append(NewChar);
    // Extending the rendering by the new code gives exactly what a rebuild over the whole string
    // would, without the cost of one on every keystroke.
    appendHex(hex_, NewChar);
    return true;
}

bool SendBuffer::RemoveLastToken() {
    if (data_.isEmpty())
        return false;
    const Code last = data_.takeLast();
    hex_.chop(hexOf(last).size());
    text_.chop(tokenWidth(last));
    return true;
}

void SendBuffer::Clear() {
    data_.clear();
    text_.clear();
    hex_.clear();
    NewChar = 0;
    NewToken.clear();
}

void SendBuffer::Restore(const QString& text, const QString& hex, const CodeString& data) {
    text_ = text;
    hex_ = hex;
    data_ = data;
}

bool appendCodes(SendBuffer& buffer, const CodeString& codes) {
    for (Code code : codes) {
        buffer.NewChar = code;
        buffer.NewToken = sendToken(code);
        if (!buffer.AppendToken())
            return false;
    }
    return true;
}

} // namespace kav
