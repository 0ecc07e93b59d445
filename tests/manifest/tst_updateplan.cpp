#include "FifoProbe.h"
#include "FileNames.h"
#include "Md5Text.h"
#include "TableToString.h"
#include "UpdatePlan.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using Files = QMap<QString, QByteArray>;
Q_DECLARE_METATYPE(Files)

namespace {

const QByteArray Old = "old content";
const QByteArray New = "new content";
const QByteArray Other = "NEW content"; // as long as New

// One list line of a file with the given content; `path` is written as the list has it.
QByteArray line(const QByteArray &path, const QByteArray &content, const QByteArray &md5 = {})
{
    const QByteArray size = QByteArray::number(content.size(), 16).rightJustified(8, '0');
    return (md5.isNull() ? md5Text(content) : md5) + '\t' + size + "00000000\t" + path + "\r\n";
}

// A path ending in "/" is made a folder, content "->TARGET" a symbolic link to TARGET.
bool writeFile(const QString &path, const QByteArray &content)
{
    if (path.endsWith(QLatin1Char('/'))) {
        return QDir().mkpath(path);
    }
    if (!QDir().mkpath(QFileInfo(path).path())) {
        return false;
    }
    if (content.startsWith("->")) {
        return QFile::link(QString::fromUtf8(content.mid(2)), path);
    }
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

} // namespace

class tst_UpdatePlan : public QObject
{
    Q_OBJECT

private slots:
    void plan_data()
    {
        QTest::addColumn<Files>("disk"); // relative to the temporary root; install/ is installDir
        QTest::addColumn<QByteArray>("saved"); // null: no saved list
        QTest::addColumn<QByteArray>("remote");
        QTest::addColumn<QStringList>("planned");

        const Files current{{"install/a.dll", New}, {"install/sub/b.dat", New}};
        const QByteArray remote = line("a.dll", New) + line("sub\\b.dat", New);

        QTest::newRow("remote empty") << current << QByteArray() << QByteArray() << QStringList();
        QTest::newRow("all on disk match") << current << QByteArray() << remote << QStringList();
        QTest::newRow("one missing")
            << Files{{"install/a.dll", New}} << QByteArray() << remote << QStringList{"sub/b.dat"};
        QTest::newRow("one different") << Files{{"install/a.dll", New}, {"install/sub/b.dat", Old}}
                                       << QByteArray() << remote << QStringList{"sub/b.dat"};
        QTest::newRow("sizes not consulted")
            << current << QByteArray() << QByteArray(md5Text(New) + "\tffffffff00000000\ta.dll\n")
            << QStringList();
        QTest::newRow("upper-case MD5 text")
            << current << QByteArray() << line("a.dll", New, md5Text(New).toUpper())
            << QStringList{"a.dll"};

        // Where the saved list names the remote MD5 text, only what stands there is looked at.
        const QStringList both{"a.dll", "sub/b.dat"};
        QTest::newRow("saved names remote MD5, files missing")
            << Files() << remote << remote << both;
        QTest::newRow("saved names remote MD5, folder in a file's place")
            << Files{{"install/a.dll/", {}}, {"install/sub/b.dat", New}} << remote << remote
            << QStringList{"a.dll"};
        QTest::newRow("saved names remote MD5, size differs")
            << Files{{"install/a.dll", New + '!'}, {"install/sub/b.dat", New.left(3)}} << remote
            << remote << both;
        QTest::newRow("saved names remote MD5, dangling link")
            << Files{{"install/a.dll", "->gone.dll"}, {"install/sub/b.dat", New}} << remote
            << remote << QStringList{"a.dll"};
        QTest::newRow("saved names remote MD5, link to a file of that size")
            << Files{{"install/a.dll", "->../kept.dll"},
                     {"kept.dll", Other},
                     {"install/sub/b.dat", New}}
            << remote << remote << QStringList();
        QTest::newRow("saved names old MD5, disk already new")
            << current << QByteArray(line("a.dll", Old) + line("sub/b.dat", New)) << remote
            << QStringList{"a.dll"};
        QTest::newRow("saved overrides a different disk file of the same size")
            << Files{{"install/a.dll", Other}, {"install/sub/b.dat", Other}} << line("a.dll", New)
            << remote << QStringList{"sub/b.dat"};
        QTest::newRow("saved list empty") << Files{{"install/a.dll", Old}} << QByteArray("")
                                          << remote << QStringList{"a.dll", "sub/b.dat"};
        QTest::newRow("saved list holds no valid line")
            << current << QByteArray("md5\tsize\n\r\n" + md5Text(Old) + "\t1\ta.dll\t\n") << remote
            << QStringList();

        QTest::newRow("order independent of line order")
            << Files() << QByteArray(line("a.dll", Old) + line("Z.dll", Old))
            << QByteArray(line("b.dll", New) + line("a.dll", New) + line("Z.dll", New) +
                          line("B.dll", New))
            << QStringList{"B.dll", "Z.dll", "a.dll", "b.dll"};

        // Had they been judged on disk or by the saved list, these would count as up to date.
        const Files outside{{"outside.txt", New}, {"install/a.dll", New}};
        QTest::newRow("parent path to a matching file")
            << outside << QByteArray() << line("..\\outside.txt", New)
            << QStringList{"../outside.txt"};
        QTest::newRow("absolute path to a matching file")
            << outside << QByteArray() << line("/@ROOT@/outside.txt", New)
            << QStringList{"@ROOT@/outside.txt"};
        QTest::newRow("saved list names the unsafe path")
            << outside << line("../outside.txt", New) << line("../outside.txt", New)
            << QStringList{"../outside.txt"};
        QTest::newRow("device") << outside << QByteArray() << line("//dev/zero", "")
                                << QStringList{"/dev/zero"};
    }

    void plan()
    {
        QFETCH(Files, disk);
        QFETCH(QByteArray, saved);
        QFETCH(QByteArray, remote);
        QFETCH(QStringList, planned);

        QTemporaryDir root;
        QVERIFY2(root.isValid(), qPrintable(root.errorString()));
        // Absolute paths need the run's own root, which the data table cannot know.
        const QByteArray rootName = QFile::encodeName(root.path());
        remote.replace("@ROOT@", rootName);
        planned.replaceInStrings(QStringLiteral("@ROOT@"), QString::fromUtf8(rootName));

        QDir installDir(root.filePath("install"));
        QVERIFY(QDir().mkpath(installDir.path()));
        for (auto it = disk.cbegin(); it != disk.cend(); ++it) {
            QVERIFY2(writeFile(root.filePath(it.key()), it.value()), qPrintable(it.key()));
        }
        if (!saved.isNull()) {
            QVERIFY(writeFile(installDir.filePath(SavedListFileName), saved));
        }

        const FileTable remoteTable = parseFileList(remote);
        FileTable expected;
        for (const QString &path : qAsConst(planned)) {
            QVERIFY2(remoteTable.contains(path), qPrintable(path));
            expected.insert(path, remoteTable.value(path));
        }
        QCOMPARE(planUpdate(remoteTable, installDir), expected);
    }

    void fifosPlannedWithoutBlocking()
    {
        QTemporaryDir root;
        QVERIFY2(root.isValid(), qPrintable(root.errorString()));
        QDir installDir(root.filePath("install"));
        QVERIFY(QDir().mkpath(installDir.path()));
        const QStringList fifos{installDir.filePath("pipe"), root.filePath("outside-pipe"),
                                installDir.filePath(SavedListFileName)};
        for (const QString &fifo : fifos) {
            QVERIFY2(makeFifo(fifo), qPrintable(fifo));
        }
        QVERIFY(writeFile(installDir.filePath("a.dll"), New));

        const FileTable remote = parseFileList(line("pipe", "") + line("../outside-pipe", "") +
                                               line("a.dll", New) + line("//dev/zero", ""));
        FileTable plan;
        QVERIFY2(finishesWithoutFifoWriter([&] { plan = planUpdate(remote, installDir); }, fifos),
                 "planUpdate blocked opening a FIFO");
        QCOMPARE(plan.keys(), (QStringList{"../outside-pipe", "/dev/zero", "pipe"}));
    }
};

QTEST_GUILESS_MAIN(tst_UpdatePlan)
#include "tst_updateplan.moc"
