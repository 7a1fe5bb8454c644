// Time of one keystroke in the send box with the send buffer at its bound, both views refreshed
// and painted, and the time to fill the buffer token by token from empty to the bound.
//
//   bench_keystroke            full run (fill to 32,767 tokens, 1000 keystrokes of each kind)
//   bench_keystroke --smoke    a few hundred tokens, to check that the program still runs

#include "form1.h"
#include "startup.h"

#include "textbox.h"
#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

// One keystroke as the operator makes it: the key event reaches the box, the handlers run, and
// the window repaints before the next key.
void press(QWidget* box, Qt::Key key, const QString& text) {
    QKeyEvent down(QEvent::KeyPress, key, Qt::NoModifier, text);
    QApplication::sendEvent(box, &down);
    QKeyEvent up(QEvent::KeyRelease, key, Qt::NoModifier, text);
    QApplication::sendEvent(box, &up);
    QApplication::processEvents();
}

double percentile(std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    const size_t i = std::min(v.size() - 1, size_t(p * double(v.size() - 1) + 0.5));
    return v[i];
}

void report(const char* what, const std::vector<double>& ms) {
    std::printf("%-34s n=%zu  median %.3f ms  p99 %.3f ms  max %.3f ms\n", what, ms.size(),
                percentile(ms, 0.5), percentile(ms, 0.99), percentile(ms, 1.0));
}

} // namespace

int main(int argc, char* argv[]) {
    const bool smoke = argc > 1 && qstrcmp(argv[1], "--smoke") == 0;
    const int tokens = argc > 2 && qstrcmp(argv[1], "--tokens") == 0 ? atoi(argv[2]) : 0;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir runtime, config;
    qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());

    QApplication app(argc, argv);
    kav::setUpApplication();
    kav::Form1 form;
    if (!form.Form_Load()) {
        std::fprintf(stderr, "another copy holds the lock\n");
        return 1;
    }
    form.show();
    QApplication::processEvents();
    auto* text3 = form.findChild<kav::TextBox*>(QStringLiteral("Text3"));
    auto* text1 = form.findChild<kav::TextBox*>(QStringLiteral("Text1"));
    const kav::SendBuffer& buffer = form.sendBuffer();
    const int bound = smoke ? 300 : tokens > 0 ? tokens : kav::SendBuffer::MaxLength;

    // Fill with the characters the keyboard accepts, one key at a time.
    QElapsedTimer fill;
    fill.start();
    for (int i = 0; buffer.SendData().size() < bound; ++i) {
        const QChar ch(u'0' + i % 78);
        press(text3, Qt::Key(ch.toUpper().unicode()), QString(ch));
    }
    const double fillSeconds = double(fill.nsecsElapsed()) / 1e9;
    std::printf("fill %d tokens by key: %.2f s\n", int(buffer.SendData().size()), fillSeconds);

    const int rounds = smoke || tokens > 0 ? 20 : 1000;
    std::vector<double> append, remove;
    QElapsedTimer t;
    for (int i = 0; i < rounds; ++i) {
        t.start();
        press(text3, Qt::Key_Backspace, QStringLiteral("\b"));
        remove.push_back(double(t.nsecsElapsed()) / 1e6);
        t.start();
        press(text3, Qt::Key_A, QStringLiteral("a"));
        append.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    report("Backspace at the bound", remove);
    report("append below the bound", append);

    // A key at the bound is refused; time it too, it must not be the slow path.
    std::vector<double> refused;
    for (int i = 0; bound == kav::SendBuffer::MaxLength && i < rounds; ++i) {
        t.start();
        press(text3, Qt::Key_B, QStringLiteral("b"));
        refused.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    if (!refused.empty())
        report("refused append at the bound", refused);

    // The views must still show exactly what the buffer holds.
    const bool ok = text1->text() == buffer.SendHex() &&
                    text3->text() == buffer.SendText().left(256) &&
                    buffer.SendData().size() == bound;
    std::printf("views match the buffer: %s\n", ok ? "yes" : "NO");
    return ok ? 0 : 1;
}
