// What a start-up may find where the single-instance lock belongs, beyond a copy killed
// outright and an unusable lock folder: nothing there but a live copy's lock may keep the
// program from starting, and a program that started over debris still keeps a second copy out.

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

enum class Debris {
    Garbage,
    Empty,
    OtherProgramsPid,
    InitsPid,
    DanglingLink,
    Fifo,
    Folder,
    Unreadable,
    LiveCopyGarbled
};

// What another user of the machine can prepare where an unguarded program would put its lock.
enum class Planted {
    LockInTemp,
    FifoInTemp,
    LinkInTemp,
    SharedTempLock,
    RelativeRuntime,
    LinkedRuntime,
    RuntimeUnderTheirs
};

} // namespace

Q_DECLARE_METATYPE(Debris)
Q_DECLARE_METATYPE(Planted)

class TestInstanceFaults : public QObject {
    Q_OBJECT
private slots:
    void startsOverDebris_data();
    void startsOverDebris();
    void otherUsersPlantsIgnored_data();
    void otherUsersPlantsIgnored();

private:
    QProcessEnvironment environment(const QTemporaryDir& runtime) const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("XDG_RUNTIME_DIR", runtime.path());
        env.insert("XDG_CONFIG_HOME", config_.path());
        env.insert("XDG_CACHE_HOME",
                   config_.path()); // where the lock goes without a runtime folder
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
    QTest::newRow("a FIFO in place of the lock") << Debris::Fifo << true;
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
    case Debris::Fifo:
        QCOMPARE(::mkfifo(QFile::encodeName(lock).constData(), 0600), 0);
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

void TestInstanceFaults::otherUsersPlantsIgnored_data() {
    QTest::addColumn<Planted>("planted");
    // Without a runtime folder (ssh, su, sudo, cron) the lock must not be looked for under a
    // name in the temporary folder that any user can take first.
    QTest::newRow("another user's live lock in kavetta-<uid> of the temporary folder")
        << Planted::LockInTemp;
    QTest::newRow("another user's FIFO in kavetta-<uid> of the temporary folder")
        << Planted::FifoInTemp;
    QTest::newRow("kavetta-<uid> of the temporary folder a link to another folder")
        << Planted::LinkInTemp;
    // A runtime folder that is not the user's own is no reason to share one lock with everyone.
    QTest::newRow("no runtime folder from Qt, over a live lock in the temporary folder")
        << Planted::SharedTempLock;
    // A relative runtime folder names another folder in each working folder.
    QTest::newRow("a relative runtime folder") << Planted::RelativeRuntime;
    // Another user's link to a private folder of this user's, given as "LINK/" (O_NOFOLLOW
    // does not apply to a name ending in "/"): they could point it elsewhere at any moment.
    QTest::newRow("the runtime folder through another user's link, with a trailing slash")
        << Planted::LinkedRuntime;
    // This user's 0700 folder in another user's: they may swap it between a check and a use.
    QTest::newRow("the runtime folder inside another user's folder") << Planted::RuntimeUnderTheirs;
}

void TestInstanceFaults::otherUsersPlantsIgnored() {
    QFETCH(Planted, planted);
    if (::geteuid() != 0)
        QSKIP("Another user's files can only be made as root.");
    constexpr uid_t Other = 65534; // nobody
    QTemporaryDir scratch;
    QVERIFY(scratch.isValid() && config_.isValid());
    const QString temp = scratch.filePath("tmp");
    QVERIFY(QDir().mkpath(temp));
    QCOMPARE(::chmod(QFile::encodeName(temp).constData(), 01777), 0);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.remove("XDG_RUNTIME_DIR");
    env.insert("TMPDIR", temp);
    env.insert("XDG_CONFIG_HOME", config_.path());
    env.insert("XDG_CACHE_HOME", scratch.filePath("cache"));
    const auto own = [](const QString& path) {
        return ::lchown(QFile::encodeName(path).constData(), Other, Other) == 0;
    };
    const QString guessed = temp + QStringLiteral("/kavetta-%1").arg(::getuid());
    int held = -1; // the other user's copy holds its lock with flock()
    const auto plantLiveLock = [&](const QString& path) {
        QVERIFY(writeFile(path, "4242\nkavetta\n"));
        QVERIFY(own(path));
        held = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
        QVERIFY(held >= 0);
        QCOMPARE(::flock(held, LOCK_EX | LOCK_NB), 0);
    };
    QString firstFolder = scratch.path(), secondFolder = scratch.path();
    QString shunned; // a private folder of this user's that must stay empty

    switch (planted) {
    case Planted::LockInTemp:
    case Planted::FifoInTemp:
        QVERIFY(QDir().mkdir(guessed));
        QVERIFY(own(guessed));
        if (planted == Planted::LockInTemp) {
            plantLiveLock(guessed + "/kavetta.lock");
        } else {
            QCOMPARE(::mkfifo(QFile::encodeName(guessed + "/kavetta.lock").constData(), 0644), 0);
            QVERIFY(own(guessed + "/kavetta.lock"));
        }
        break;
    case Planted::LinkInTemp:
        QVERIFY(QDir().mkdir(temp + "/elsewhere"));
        QCOMPARE(::symlink("elsewhere", QFile::encodeName(guessed).constData()), 0);
        QVERIFY(own(guessed));
        break;
    case Planted::SharedTempLock: {
        const QString theirs = scratch.filePath("run-other");
        QVERIFY(QDir().mkdir(theirs));
        QCOMPARE(::chmod(QFile::encodeName(theirs).constData(), 0700), 0);
        QVERIFY(own(theirs));
        env.insert("XDG_RUNTIME_DIR", theirs);
        // Qt's own stand-in for a runtime folder, taken first, so that Qt gives none at all.
        const QString standIn =
            temp + "/runtime-" + QString::fromLocal8Bit(::getpwuid(::getuid())->pw_name);
        QVERIFY(QDir().mkdir(standIn));
        QVERIFY(own(standIn));
        plantLiveLock(temp + "/kavetta.lock");
        break;
    }
    case Planted::RelativeRuntime:
        firstFolder = scratch.filePath("a");
        secondFolder = scratch.filePath("b");
        for (const QString& folder : {firstFolder, secondFolder}) {
            QVERIFY(QDir().mkpath(folder + "/run"));
            QCOMPARE(::chmod(QFile::encodeName(folder + "/run").constData(), 0700), 0);
        }
        env.insert("XDG_RUNTIME_DIR", "run");
        break;
    case Planted::LinkedRuntime:
        shunned = scratch.filePath("mine");
        QVERIFY(QDir().mkdir(shunned));
        QCOMPARE(::chmod(QFile::encodeName(shunned).constData(), 0700), 0);
        QCOMPARE(::symlink(QFile::encodeName(shunned).constData(),
                           QFile::encodeName(temp + "/theirs").constData()),
                 0);
        QVERIFY(own(temp + "/theirs"));
        env.insert("XDG_RUNTIME_DIR", temp + "/theirs/");
        break;
    case Planted::RuntimeUnderTheirs:
        QVERIFY(QDir().mkpath(temp + "/theirs/mine"));
        QVERIFY(own(temp + "/theirs"));
        shunned = temp + "/theirs/mine";
        QCOMPARE(::chmod(QFile::encodeName(shunned).constData(), 0700), 0);
        env.insert("XDG_RUNTIME_DIR", shunned);
        break;
    }
    const auto unlock = qScopeGuard([&held] {
        if (held >= 0)
            ::close(held);
    });
    const auto contents = [&temp] {
        QStringList found;
        QDirIterator it(temp, QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot,
                        QDirIterator::Subdirectories);
        // Qt itself makes runtime-<user> there for its own needs when there is no runtime
        // folder; the rest is what the program may have touched.
        while (it.hasNext())
            if (const QString entry = it.next(); !entry.startsWith(temp + "/runtime-"))
                found << entry;
        found.sort();
        return found;
    };
    const QStringList before = contents();

    QProcess first, second;
    first.setWorkingDirectory(firstFolder);
    second.setWorkingDirectory(secondFolder);
    QVERIFY(start(first, env));
    const auto stopBoth = qScopeGuard([&] {
        stop(second);
        stop(first);
    });
    QVERIFY2(keepsRunning(first), "the other user's plant kept the program from starting");
    // It is guarded all the same: a second copy ends at once, silently.
    QVERIFY(start(second, env));
    QVERIFY2(second.waitForFinished(5000), "a second copy did not see the first");
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.exitCode(), 0);
    QCOMPARE(second.readAllStandardOutput(), QByteArray());
    QCOMPARE(first.state(), QProcess::Running);
    // Nothing was made, read through or removed in the temporary folder.
    QCOMPARE(contents(), before);
    if (!shunned.isEmpty())
        QVERIFY2(QDir(shunned).isEmpty(), "the lock went where another user could steer it");
}

QTEST_GUILESS_MAIN(TestInstanceFaults)
#include "tst_instancefaults.moc"
