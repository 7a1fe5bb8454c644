// Writes the reference table of CP932's double-byte characters, as ICU's windows-31j decoder
// reads them, to standard output: one line per valid lead/trail pair, the code and the UTF-16
// units it decodes to, in hexadecimal. Every build's decoder is tested against the committed
// table (tests/editor/cp932-pairs.txt), so Linux and Windows can never drift apart. It needs a
// Qt built with ICU (Debian's is):
//
//   kavetta-cp932-reference > tests/editor/cp932-pairs.txt

#include <QStringDecoder>
#include <cstdio>

int main() {
    std::printf("# CP932 double-byte pairs: code, then the UTF-16 units of its character.\n"
                "# Made by tools/cp932-reference.cpp from ICU's windows-31j; a pair not listed\n"
                "# has no character.\n");
    int pairs = 0;
    for (int lead = 0x81; lead <= 0xFC; ++lead) {
        if (lead > 0x9F && lead < 0xE0)
            continue;
        for (int trail = 0x40; trail <= 0xFC; ++trail) {
            if (trail == 0x7F)
                continue;
            QStringDecoder decoder("windows-31j");
            if (!decoder.isValid()) {
                std::fprintf(stderr, "no windows-31j decoder: this Qt has no ICU\n");
                return 1;
            }
            const char bytes[2] = {char(lead), char(trail)};
            const QString text = decoder.decode(QByteArrayView(bytes, 2));
            if (decoder.hasError() || text.isEmpty() || text.contains(QChar::ReplacementCharacter))
                continue;
            std::printf("%02X%02X", lead, trail);
            for (QChar unit : text)
                std::printf(" %04X", unsigned(unit.unicode()));
            std::printf("\n");
            ++pairs;
        }
    }
    std::fprintf(stderr, "%d pairs\n", pairs);
    return 0;
}
