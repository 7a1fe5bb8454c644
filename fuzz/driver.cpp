// Runs a fuzz target without libFuzzer, so that every build can give it a short run: each
// file of the seed corpus as it is, then a fixed number of inputs made from the seeds by
// deterministic random changes. A failed check aborts, which fails the test.
//
//   short_<target> <corpus folder> [inputs] [seed]

#include "check.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QList>
#include <cstdio>
#include <cstdlib>

namespace {

class Random {
public:
    explicit Random(quint64 seed) : state_(seed ? seed : 0x9E3779B97F4A7C15ull) {}
    quint64 next() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 7;
        state_ ^= state_ << 17;
        return state_;
    }
    int below(qsizetype n) { return n <= 0 ? 0 : int(next() % quint64(n)); }

private:
    quint64 state_;
};

// Bytes that sit on the edges of what the targets tell apart: lead and trail ranges of the
// double-byte code page, control codes, the keyboard range, digits, separators.
constexpr quint8 edges[] = {0x00, 0x01, 0x1B, 0x1F, 0x20, 0x2C, 0x2E, 0x2F, 0x30, 0x31,
                            0x35, 0x39, 0x3A, 0x3F, 0x40, 0x41, 0x7D, 0x7E, 0x7F, 0x80,
                            0x81, 0x9F, 0xA0, 0xA1, 0xDF, 0xE0, 0xFC, 0xFD, 0xFF};

QByteArray mutate(const QList<QByteArray>& seeds, Random& random) {
    QByteArray input = seeds.isEmpty() ? QByteArray() : seeds[random.below(seeds.size())];
    const int changes = 1 + random.below(8);
    for (int c = 0; c < changes; ++c) {
        const qsizetype n = input.size();
        switch (random.below(7)) {
        case 0: // flip a bit
            if (n > 0)
                input[random.below(n)] ^= char(1 << random.below(8));
            break;
        case 1: // put an edge byte somewhere
            if (n > 0)
                input[random.below(n)] = char(edges[random.below(sizeof edges)]);
            break;
        case 2: // insert a random byte
            input.insert(random.below(n + 1), char(random.next()));
            break;
        case 3: // drop a few bytes
            if (n > 0)
                input.remove(random.below(n), 1 + random.below(4));
            break;
        case 4: // repeat a piece
            if (n > 0) {
                const qsizetype from = random.below(n);
                const qsizetype length = 1 + random.below(qMin<qsizetype>(n - from, 64));
                input.insert(random.below(n + 1), input.mid(from, length));
            }
            break;
        case 5: // splice with another seed
            if (!seeds.isEmpty()) {
                const QByteArray& other = seeds[random.below(seeds.size())];
                input = input.left(random.below(n + 1)) + other.mid(random.below(other.size()));
            }
            break;
        case 6: // a few random bytes at the end
            for (int i = random.below(16); i > 0; --i)
                input.append(char(random.next()));
            break;
        }
    }
    return input.left(4096);
}

void run(const QByteArray& input) {
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(input.constData()),
                           std::size_t(input.size()));
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <corpus folder> [inputs] [seed]\n", argv[0]);
        return 2;
    }
    const QDir corpus(QFile::decodeName(argv[1]));
    const long inputs = argc > 2 ? std::strtol(argv[2], nullptr, 10) : 20000;
    const quint64 seed = argc > 3 ? std::strtoull(argv[3], nullptr, 10) : 1;
    QList<QByteArray> seeds;
    for (const QString& name : corpus.entryList(QDir::Files, QDir::Name)) {
        QFile file(corpus.filePath(name));
        if (!file.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "cannot read %s\n", qPrintable(file.fileName()));
            return 2;
        }
        seeds.append(file.readAll());
    }
    if (seeds.isEmpty()) {
        std::fprintf(stderr, "no seeds in %s\n", argv[1]);
        return 2;
    }
    for (const QByteArray& input : seeds)
        run(input);
    Random random(seed);
    for (long i = 0; i < inputs; ++i)
        run(mutate(seeds, random));
    std::printf("%lld seeds and %ld changed inputs, no failure\n", qlonglong(seeds.size()), inputs);
    return 0;
}
