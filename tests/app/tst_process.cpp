#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#if !defined(Q_OS_WIN)
#include <csignal>
#endif

// The built program as a user starts it: one copy per user, a crashed copy never blocks the
// next, and no display or no Japanese font never ends in a crash.
class ProcessTest : public QObject {
    Q_OBJECT
    QTemporaryDir runtime;
    QTemporaryDir config;

    QProcessEnvironment environment() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("XDG_RUNTIME_DIR", runtime.path());
        env.insert("XDG_CONFIG_HOME", config.path());
        env.insert("XDG_CACHE_HOME", config.path()); // where the lock goes without a runtime folder
        return env;
    }

    static void start(QProcess& p, const QProcessEnvironment& env) {
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(KAVETTA_BINARY), {});
        QVERIFY(p.waitForStarted(5000));
    }

    // Still running after a while: it got past start-up and is showing its window.
    static bool keepsRunning(QProcess& p) { return !p.waitForFinished(1500); }

    static void stop(QProcess& p) {
        if (p.state() != QProcess::NotRunning) {
            p.kill();
            p.waitForFinished(5000);
        }
    }

private slots:
    void secondCopyEndsSilently() {
        QProcess first;
        start(first, environment());
        QVERIFY(keepsRunning(first));

        QProcess second;
        start(second, environment());
        QElapsedTimer clock;
        clock.start();
        QVERIFY(second.waitForFinished(2000));
        QVERIFY(clock.elapsed() < 2000);
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 0);
        QCOMPARE(second.readAllStandardOutput(), QByteArray());
        QCOMPARE(first.state(), QProcess::Running); // left alone

        // A copy killed outright leaves its lock behind; the next start takes it over.
#if defined(Q_OS_WIN)
        first.kill(); // TerminateProcess: no chance to clean up either
#else
        ::kill(pid_t(first.processId()), SIGKILL);
#endif
        QVERIFY(first.waitForFinished(5000));
        QProcess third;
        start(third, environment());
        QVERIFY(keepsRunning(third));
        stop(third);
    }

    void otherUsersFolderDoesNotBlock() {
#if defined(Q_OS_WIN)
        QSKIP("the guard is per Windows user; a test cannot be another user");
#endif
        // Another runtime folder is another user's: both copies run.
        QTemporaryDir otherRuntime;
        QProcess mine;
        start(mine, environment());
        QProcessEnvironment other = environment();
        other.insert("XDG_RUNTIME_DIR", otherRuntime.path());
        QProcess theirs;
        start(theirs, other);
        QVERIFY(keepsRunning(theirs));
        QCOMPARE(mine.state(), QProcess::Running);
        stop(mine);
        stop(theirs);
    }

    void unusableLockFolderStillStarts() {
#if defined(Q_OS_WIN)
        QSKIP("no lock folder on Windows");
#endif
        // A runtime "folder" and a cache "folder" that are plain files: no lock can be made, the
        // program runs anyway.
        QTemporaryDir scratch;
        QFile blocker(scratch.filePath("not-a-folder"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        QProcessEnvironment env = environment();
        env.insert("XDG_RUNTIME_DIR", blocker.fileName());
        env.insert("XDG_CACHE_HOME", blocker.fileName());
        QProcess p;
        start(p, env);
        QVERIFY(keepsRunning(p));
        stop(p);
    }

    void noDisplayGivesAMessage() {
#if defined(Q_OS_WIN)
        QSKIP("Windows always has a display");
#endif
        QProcessEnvironment env = environment();
        env.remove("QT_QPA_PLATFORM");
        env.remove("DISPLAY");
        env.remove("WAYLAND_DISPLAY");
        QProcess p;
        start(p, env);
        QVERIFY(p.waitForFinished(5000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit); // no crash, no abort
        QCOMPARE(p.exitCode(), 1);
        QVERIFY(p.readAllStandardError().contains("no display"));
    }

    void noJapaneseFontStillStarts() {
#if defined(Q_OS_WIN)
        QSKIP("fonts are found through fontconfig only on Linux");
#endif
        // A font configuration that finds no fonts at all.
        QTemporaryDir fonts;
        QFile conf(fonts.filePath("fonts.conf"));
        QVERIFY(conf.open(QIODevice::WriteOnly));
        conf.write("<?xml version=\"1.0\"?><fontconfig><dir>" + fonts.path().toUtf8() +
                   "/none</dir><cachedir>" + fonts.path().toUtf8() +
                   "/cache</cachedir></fontconfig>");
        conf.close();
        QProcessEnvironment env = environment();
        env.insert("FONTCONFIG_FILE", conf.fileName());
        QProcess p;
        start(p, env);
        QVERIFY(keepsRunning(p));
        stop(p);
        QVERIFY(p.readAllStandardError().contains("fonts-ipafont-gothic"));
    }
};

QTEST_GUILESS_MAIN(ProcessTest)
#include "tst_process.moc"
