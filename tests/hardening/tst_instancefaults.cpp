// What a start-up may find where the single-instance lock belongs, beyond a copy killed
// outright and an unusable lock folder: nothing there but a live copy's lock may keep the
// program from starting, and a program that started over debris still keeps a second copy out.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>
#include <unistd.h>

namespace {

enum class Debris {
    Garbage,
    Empty,
    OtherProgramsPid,
    InitsPid,
    DanglingLink,
    Folder,
    Unreadable,
    LiveCopyGarbled
};

} // namespace

Q_DECLARE_METATYPE(Debris)

class TestInstanceFaults : public QObject {
    Q_OBJECT
private slots:
    void startsOverDebris_data();
    void startsOverDebris();

private:
    QProcessEnvironment environment(const QTemporaryDir& runtime) const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("XDG_RUNTIME_DIR", runtime.path());
        env.insert("XDG_CONFIG_HOME", config_.path());
        return env;
    }
    static bool start(QProcess& p, const QProcessEnvironment& env) {
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(KAVETTA_BINARY), {});
        return p.waitForStarted(5000);
    }
    // Still running after a while: it got past start-up and shows its window.
    static bool keepsRunning(QProcess& p) { return !p.waitForFinished(1500); }
    static void stop(QProcess& p) {
        if (p.state() != QProcess::NotRunning) {
            p.kill();
            p.waitForFinished(5000);
        }
    }
    // The details a copy writes into its lock, as if process `pid` were that copy.
    static QByteArray detailsOf(qint64 pid) {
        return QByteArray::number(pid) + "\nkavetta\n" + QSysInfo::machineHostName().toUtf8() +
               '\n' + QSysInfo::machineUniqueId() + '\n' + QSysInfo::bootUniqueId() + '\n';
    }
    static bool writeFile(const QString& path, const QByteArray& content) {
        QFile file(path);
        return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
               file.write(content) == content.size();
    }

    QTemporaryDir config_;
};

void TestInstanceFaults::startsOverDebris_data() {
    QTest::addColumn<Debris>("debris");
    QTest::addColumn<bool>("guardedAfter"); // whether a second copy then ends at once
    QTest::newRow("garbage in the lock") << Debris::Garbage << true;
    QTest::newRow("an empty lock") << Debris::Empty << true;
    QTest::newRow("a lock naming a PID now used by another program")
        << Debris::OtherProgramsPid << true;
    QTest::newRow("a lock naming PID 1") << Debris::InitsPid << true;
    QTest::newRow("a dangling link in place of the lock") << Debris::DanglingLink << true;
    QTest::newRow("a folder in place of the lock") << Debris::Folder << false;
    QTest::newRow("a lock nobody may read") << Debris::Unreadable << false;
    QTest::newRow("a live copy's lock with garbled details") << Debris::LiveCopyGarbled << true;
}

void TestInstanceFaults::startsOverDebris() {
    QFETCH(Debris, debris);
    QFETCH(bool, guardedAfter);
    QTemporaryDir runtime;
    QVERIFY(runtime.isValid() && config_.isValid());
    const QString lock = runtime.filePath(QStringLiteral("kavetta.lock"));
    QProcess other; // a program that is not ours, for the PID row
    QProcess live;  // a copy that is running, for the garbled row

    switch (debris) {
    case Debris::Garbage:
        QVERIFY(writeFile(lock, QByteArray("\xff\xfe garbage\0\n\n", 13)));
        break;
    case Debris::Empty:
        QVERIFY(writeFile(lock, QByteArray()));
        break;
    case Debris::OtherProgramsPid:
        other.start(QStringLiteral("sleep"), {QStringLiteral("60")});
        QVERIFY(other.waitForStarted(5000));
        QVERIFY(writeFile(lock, detailsOf(other.processId())));
        break;
    case Debris::InitsPid:
        QVERIFY(writeFile(lock, detailsOf(1)));
        break;
    case Debris::DanglingLink:
        QCOMPARE(::symlink(QFile::encodeName(runtime.filePath("gone")).constData(),
                           QFile::encodeName(lock).constData()),
                 0);
        break;
    case Debris::Folder:
        QVERIFY(QDir().mkdir(lock));
        break;
    case Debris::Unreadable:
        if (::geteuid() == 0)
            QSKIP("Running as root, which reads any file whatever its permissions say.");
        QVERIFY(writeFile(lock, "123\n"));
        QVERIFY(QFile::setPermissions(lock, QFileDevice::Permissions()));
        break;
    case Debris::LiveCopyGarbled:
        QVERIFY(start(live, environment(runtime)));
        QVERIFY(keepsRunning(live));
        // Garbled in place: the running copy still has the file open and locked.
        QVERIFY(writeFile(lock, "???\n"));
        break;
    }

    QProcess first;
    if (debris == Debris::LiveCopyGarbled) {
        // The running copy keeps its place: a new start still ends at once, silently.
        QVERIFY(start(first, environment(runtime)));
        QVERIFY(first.waitForFinished(5000));
        QCOMPARE(first.exitStatus(), QProcess::NormalExit);
        QCOMPARE(first.exitCode(), 0);
        QCOMPARE(live.state(), QProcess::Running);
        stop(live);
        return;
    }
    QVERIFY(start(first, environment(runtime)));
    QVERIFY2(keepsRunning(first), "the program did not start over what was left in its place");
    QCOMPARE(first.readAllStandardOutput(), QByteArray());

    QProcess second;
    QVERIFY(start(second, environment(runtime)));
    if (guardedAfter) {
        QVERIFY(second.waitForFinished(5000));
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 0);
    } else {
        // Nothing can be locked there: both run, without the single-instance guarantee.
        QVERIFY(keepsRunning(second));
    }
    QCOMPARE(first.state(), QProcess::Running);
    stop(second);
    stop(first);
    stop(other);
}

QTEST_GUILESS_MAIN(TestInstanceFaults)
#include "tst_instancefaults.moc"
