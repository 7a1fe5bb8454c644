#include "console.h"

#include <csignal>
#include <cstdio>

namespace kav {

namespace {

void writeTo(FILE* stream, const QString& text) {
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

volatile std::sig_atomic_t interruptSeen = 0;

void noteInterrupt(int) {
    interruptSeen = 1;
}

} // namespace

void catchInterrupt() {
    struct sigaction action {};
    action.sa_handler = noteInterrupt;
    action.sa_flags = SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool interrupted() {
    return interruptSeen != 0;
}

void writeOut(const QString& text) {
    writeTo(stdout, text);
}

void writeErr(const QString& text) {
    writeTo(stderr, text);
}

} // namespace kav
