#include "FileNames.h"
#include "InstallRecovery.h"
#include "InstallTransaction.h"
#include "Md5Text.h"
#include "TestFiles.h"

#include <QDirIterator>
#include <QProcess>
#include <QScopeGuard>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <memory>

namespace {

// Every path below a folder with its content; folders show as "<folder>", so that one the
// step created and left behind is seen.
Files snapshot(const QDir &dir)
{
    Files tree;
    QDirIterator it(dir.absolutePath(), QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString name = dir.relativeFilePath(path);
        tree.insert(name, it.fileInfo().isDir() ? QByteArray("<folder>") : readFile(path));
    }
    return tree;
}

const Files InstalledBefore{{"Host.exe", "host 1"},
                            {"Host.exe.old", "host 0"},
                            {"b.txt", "b 1"},
                            {"data", "data was a file"},
                            {"data.old/inner", "older data was a folder"},
                            {"dir/inner.txt", "dir was a folder"},
                            {"keep.txt", "not listed"},
                            {SavedListFileName, "the list of version 1"}};

const Files Downloads{{"Host.exe", "host 2"},
                      {"b.txt", "b 2"},
                      {"data/x.dat", "x 2"},
                      {"dir", "dir is a file"},
                      {"new/sub/n.txt", "n 2"}};

const Files InstalledAfter{{"Host.exe", "host 2"},
                           {"Host.exe.old", "host 1"},
                           {"b.txt", "b 2"},
                           {"b.txt.old", "b 1"},
                           {"data", "<folder>"},
                           {"data/x.dat", "x 2"},
                           {"data.old", "data was a file"},
                           {"dir", "dir is a file"},
                           {"dir.old", "<folder>"},
                           {"dir.old/inner.txt", "dir was a folder"},
                           {"keep.txt", "not listed"},
                           {"new", "<folder>"},
                           {"new/sub", "<folder>"},
                           {"new/sub/n.txt", "n 2"}};

Files withFolders(const Files &files)
{
    Files tree = files;
    for (auto it = files.cbegin(); it != files.cend(); ++it) {
        for (int slash = it.key().indexOf('/'); slash > 0;
             slash = it.key().indexOf('/', slash + 1)) {
            tree.insert(it.key().left(slash), "<folder>");
        }
    }
    return tree;
}

const Files CacheAfter{{"data", "<folder>"}, {"new", "<folder>"}, {"new/sub", "<folder>"}};

FaultSeam seamFor(const QMap<int, Fault> &faults, int *steps = nullptr)
{
    return [faults, steps](int step) {
        if (steps) {
            *steps = step;
        }
        return faults.value(step, Fault::None);
    };
}

// One installation and its cache, laid out afresh for every round.
struct Scratch
{
    QTemporaryDir root;
    QDir install{root.filePath("install")};
    QDir cache{root.filePath("cache")};

    Scratch()
    {
        QVERIFY(root.isValid() && writeFiles(install, InstalledBefore) &&
                writeFiles(cache, Downloads));
    }

    bool run(const FaultSeam &seam, StepFailure &failure)
    {
        QList<FileEntry> entries;
        for (auto it = Downloads.cbegin(); it != Downloads.cend(); ++it) {
            entries.append(FileEntry{it.key(), quint64(it.value().size()), md5Text(it.value())});
        }
        InstallTransaction step(install, cache, entries, seam);
        const bool done = step.run();
        failure = step.failure();
        return done;
    }

    bool recover(const FaultSeam &seam = FaultSeam())
    {
        StepFailure ignored;
        return recoverInstallation(install, ignored, seam);
    }

    QString version() const
    {
        const Files installed = snapshot(install);
        if (installed == InstalledAfter && snapshot(cache) == CacheAfter) {
            return "after";
        }
        if (installed == withFolders(InstalledBefore) &&
            snapshot(cache) == withFolders(Downloads)) {
            return "before";
        }
        return "mixed";
    }
};

enum class CutShort
{
    Failure,
    Crash,
    CrashWhileRecovering,
    FailureWhileUndoing,
};

} // namespace

Q_DECLARE_METATYPE(CutShort)

class tst_InstallTransaction : public QObject
{
    Q_OBJECT

private slots:
    void everyStepCutShortEndsInOneVersion_data();
    void everyStepCutShortEndsInOneVersion();
    void acrossVolumesTheMoveIsACheckedCopy_data();
    void acrossVolumesTheMoveIsACheckedCopy();
};

void tst_InstallTransaction::everyStepCutShortEndsInOneVersion_data()
{
    QTest::addColumn<CutShort>("cut");
    QTest::newRow("a step fails") << CutShort::Failure;
    QTest::newRow("the process dies") << CutShort::Crash;
    QTest::newRow("it dies again while recovering") << CutShort::CrashWhileRecovering;
    QTest::newRow("a step fails, and then an undo") << CutShort::FailureWhileUndoing;
}

// Walks the cut over every step of an update that replaces files and ".old" copies, creates
// folders, and turns a file into a folder and a folder into a file.
void tst_InstallTransaction::everyStepCutShortEndsInOneVersion()
{
    QFETCH(CutShort, cut);
    StepFailure failure;
    int total = 0;
    {
        Scratch clean;
        QVERIFY(clean.run(seamFor({}, &total), failure));
        QCOMPARE(clean.version(), QString("after"));
    }
    int hostMissing = 0;
    QSet<QString> outcomes;
    for (int n = 1; n <= total; ++n) {
        const QByteArray where = "cut at step " + QByteArray::number(n);
        if (cut == CutShort::Failure) {
            Scratch s;
            if (s.run(seamFor({{n, Fault::Fail}}), failure)) {
                // Only removals after every file is in place may fail without failing the step.
                QVERIFY2(s.recover(), where);
                QVERIFY2(s.version() == "after", where);
            } else {
                QVERIFY2(s.version() == "before", where);
                QVERIFY2(!failure.text.isEmpty() && failure.path.startsWith(s.install.path()),
                         where);
            }
        } else if (cut == CutShort::Crash) {
            Scratch s;
            s.run(seamFor({{n, Fault::Crash}}), failure);
            hostMissing += QFileInfo::exists(s.install.filePath("Host.exe")) ? 0 : 1;
            QVERIFY2(s.recover(), where);
            QVERIFY2(s.version() != "mixed", where);
            outcomes.insert(s.version());
        } else {
            // The second cut walks over every step that follows the first.
            for (int m = 1;; ++m) {
                Scratch s;
                int reached = 0;
                if (cut == CutShort::CrashWhileRecovering) {
                    s.run(seamFor({{n, Fault::Crash}}), failure);
                    s.recover(seamFor({{m, Fault::Crash}}, &reached));
                } else {
                    s.run(seamFor({{n, Fault::Fail}, {n + m, Fault::Fail}}, &reached), failure);
                }
                QVERIFY2(s.recover(), where + ", then at " + QByteArray::number(m));
                QVERIFY2(s.version() != "mixed", where + ", then at " + QByteArray::number(m));
                if (reached < (cut == CutShort::CrashWhileRecovering ? m : n + m)) {
                    break;
                }
            }
        }
    }
    if (cut == CutShort::Crash) {
        // Only between moving the host program aside and renaming its new version in.
        QCOMPARE(hostMissing, 1);
        QCOMPARE(outcomes, (QSet<QString>{"before", "after"}));
    }
}

void tst_InstallTransaction::acrossVolumesTheMoveIsACheckedCopy_data()
{
    QTest::addColumn<int>("installVolumeKiB");
    QTest::newRow("room enough") << 0;
    QTest::newRow("installation volume full") << 256;
}

// The cache on one volume, the installation on another: every rename out of the cache fails
// and each file is copied instead.
void tst_InstallTransaction::acrossVolumesTheMoveIsACheckedCopy()
{
#ifndef Q_OS_LINUX
    QSKIP("needs a second volume at /dev/shm and tmpfs mounts");
#else
    QFETCH(int, installVolumeKiB);
    QTemporaryDir installRoot;
    QTemporaryDir cacheRoot(installVolumeKiB ? QDir::tempPath() + "/cache-XXXXXX"
                                             : "/dev/shm/cache-XXXXXX");
    QVERIFY(installRoot.isValid() && cacheRoot.isValid());
    if (installVolumeKiB) {
        const QString size = "size=" + QString::number(installVolumeKiB) + "k";
        if (QProcess::execute("mount", {"-t", "tmpfs", "-o", size, "tmpfs", installRoot.path()}))
            QSKIP("mounting a small volume needs the right to mount");
    }
    const auto unmount = qScopeGuard([&] {
        if (installVolumeKiB)
            QProcess::execute("umount", {installRoot.path()});
    });
    const QDir install(installRoot.path());
    const QDir cache(cacheRoot.path());
    const Files before{{"Host.exe", "host 1"}, {"big.bin", QByteArray(100 * 1024, 'o')}};
    const Files downloads{{"Host.exe", "host 2"}, {"big.bin", QByteArray(200 * 1024, 'n')}};
    QVERIFY(writeFiles(install, before) && writeFiles(cache, downloads));
    QList<FileEntry> entries;
    for (auto it = downloads.cbegin(); it != downloads.cend(); ++it)
        entries.append(FileEntry{it.key(), quint64(it.value().size()), md5Text(it.value())});

    InstallTransaction step(install, cache, entries);
    const bool done = step.run();

    QCOMPARE(done, installVolumeKiB == 0);
    if (done) {
        QCOMPARE(snapshot(install), (Files{{"Host.exe", "host 2"},
                                           {"Host.exe.old", "host 1"},
                                           {"big.bin", downloads.value("big.bin")},
                                           {"big.bin.old", before.value("big.bin")}}));
        QCOMPARE(snapshot(cache), Files());
    } else {
        QCOMPARE(step.failure().text, QString("覆盖文件big.bin失败"));
        QCOMPARE(snapshot(install), before);
        QCOMPARE(snapshot(cache), downloads);
    }
#endif
}

QTEST_GUILESS_MAIN(tst_InstallTransaction)
#include "tst_installtransaction.moc"
