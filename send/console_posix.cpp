#include "console.h"

#include <cstdio>

namespace kav {

namespace {

void writeTo(FILE* stream, const QString& text) {
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

} // namespace

void writeOut(const QString& text) {
    writeTo(stdout, text);
}

void writeErr(const QString& text) {
    writeTo(stderr, text);
}

} // namespace kav
