#include "codepage.h"

#include <QStringDecoder>

namespace kav {

QString decodePair(Code code) {
    // A fresh decoder per pair: it is given exactly one valid pair, so no state can leak from one
    // character into the next.
    QStringDecoder decoder("windows-31j");
    if (!decoder.isValid())
        decoder = QStringDecoder("Shift_JIS");
    if (!decoder.isValid())
        return QString(StandIn);
    const char bytes[2] = {char(code >> 8), char(code & 0xFF)};
    QString text = decoder.decode(QByteArrayView(bytes, 2));
    if (decoder.hasError() || text.isEmpty() || text.contains(QChar::ReplacementCharacter))
        return QString(StandIn);
    return text;
}

} // namespace kav
