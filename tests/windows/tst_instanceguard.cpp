#include "InstanceGuard.h"

#include <QCoreApplication>
#include <QDir>
#include <QSharedMemory>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

// The guard's key is the updater's directory followed directly by "update_singleton". Qt turns
// it into a system name of its own (on Windows, a named file mapping), keeping only the ASCII
// letters of the key plus a hash of all of it; the tests use directory names that stress that.
class tst_InstanceGuard : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void keyIsUpdaterDirectoryAndSuffix();
    void secondHolderIsRefused_data();
    void secondHolderIsRefused();
    void siblingDirectoriesDoNotBlockEachOther_data();
    void siblingDirectoriesDoNotBlockEachOther();
    void simultaneousStartsLetOneIn_data();
    void simultaneousStartsLetOneIn();

private:
    // Keys below a folder of this run, so that runs on one machine never meet.
    QString keyFor(const QString &directory) const
    {
        return QDir(scope.path()).filePath(directory) + QStringLiteral("update_singleton");
    }

    QTemporaryDir scope;
};

void tst_InstanceGuard::initTestCase()
{
    QVERIFY2(scope.isValid(), qPrintable(scope.errorString()));
}

void tst_InstanceGuard::keyIsUpdaterDirectoryAndSuffix()
{
    const QString key = instanceGuardKey();
    QCOMPARE(key, QCoreApplication::applicationDirPath() + QStringLiteral("update_singleton"));
    // A host application that looks for a running updater spells the directory the way Qt
    // reports it: with forward slashes, on Windows too.
    QVERIFY2(!key.contains(QLatin1Char('\\')), qPrintable(key));
}

void tst_InstanceGuard::secondHolderIsRefused_data()
{
    QTest::addColumn<QString>("directory");
    QTest::newRow("plain") << QStringLiteral("App");
    QTest::newRow("spaces and brackets") << QStringLiteral("Program Files (x86)/Vendor App");
    QTest::newRow("Chinese") << QStringLiteral("厂商/应用/bin");
    QTest::newRow("drive letter inside") << QStringLiteral("C:/Vendor/App");
}

void tst_InstanceGuard::secondHolderIsRefused()
{
    QFETCH(QString, directory);
    const QString key = keyFor(directory);

    auto holder = std::make_unique<QSharedMemory>(key);
    QVERIFY2(takeInstanceGuard(*holder), qPrintable(holder->errorString()));
    QVERIFY2(holder->isAttached(), "the first updater holds no segment");
    {
        QSharedMemory second(key);
        QVERIFY2(!takeInstanceGuard(second), "a second updater of the same directory was let in");
    }
    holder.reset();

    QSharedMemory next(key);
    QVERIFY2(takeInstanceGuard(next), "the guard outlived the updater that held it");
}

void tst_InstanceGuard::siblingDirectoriesDoNotBlockEachOther_data()
{
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("second");
    QTest::newRow("version digits") << QStringLiteral("Apps/v1") << QStringLiteral("Apps/v2");
    QTest::newRow("blank or dash") << QStringLiteral("My App") << QStringLiteral("My-App");
    QTest::newRow("Chinese names") << QStringLiteral("厂商/应用") << QStringLiteral("厂商/软件");
    QTest::newRow("updater in bin") << QStringLiteral("App") << QStringLiteral("App/bin");
}

void tst_InstanceGuard::siblingDirectoriesDoNotBlockEachOther()
{
    QFETCH(QString, first);
    QFETCH(QString, second);
    QSharedMemory firstGuard(keyFor(first));
    QSharedMemory secondGuard(keyFor(second));
    QVERIFY2(takeInstanceGuard(firstGuard), qPrintable(firstGuard.errorString()));
    QVERIFY2(takeInstanceGuard(secondGuard),
             qPrintable(QStringLiteral("%1 blocks %2").arg(first, second)));
}

void tst_InstanceGuard::simultaneousStartsLetOneIn_data()
{
    QTest::addColumn<int>("updaters");
    QTest::newRow("two") << 2;
    QTest::newRow("eight") << 8;
}

// Updaters started at the same instant, as threads released together: each round exactly one
// takes the guard. When create's result was ignored, two got in within the first few rounds.
void tst_InstanceGuard::simultaneousStartsLetOneIn()
{
    QFETCH(int, updaters);
    for (int round = 0; round < 40; ++round) {
        const QString key = keyFor(QStringLiteral("Race%1/%2").arg(updaters).arg(round));
        std::vector<std::unique_ptr<QSharedMemory>> guards;
        for (int i = 0; i < updaters; ++i) {
            guards.push_back(std::make_unique<QSharedMemory>(key));
        }
        std::atomic<int> waiting{updaters};
        std::atomic<int> taken{0};
        std::vector<std::thread> threads;
        for (int i = 0; i < updaters; ++i) {
            threads.emplace_back([&, i] {
                --waiting;
                // Spinning, not yielding: the threads must start their attempts within
                // microseconds of each other.
                while (waiting.load() > 0) {
                }
                if (takeInstanceGuard(*guards[size_t(i)])) {
                    ++taken;
                }
            });
        }
        for (std::thread &thread : threads) {
            thread.join();
        }
        QVERIFY2(taken == 1,
                 qPrintable(QStringLiteral("round %1: %2 updaters let in").arg(round).arg(taken)));
    }
}

QTEST_GUILESS_MAIN(tst_InstanceGuard)
#include "tst_instanceguard.moc"
