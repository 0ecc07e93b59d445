#include "SafePath.h"

#include <QTest>

class tst_SafePath : public QObject
{
    Q_OBJECT

private slots:
    void isSafeListPath_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("safe");

        QTest::newRow("empty") << QString() << false;
        QTest::newRow("absolute") << "/etc/x" << false;
        QTest::newRow("drive letter") << "C:/x" << false;
        QTest::newRow("drive-relative") << "C:x" << false;
        QTest::newRow("alternate stream") << "x:stream" << false;
        QTest::newRow("parent") << "../x" << false;
        QTest::newRow("parent only") << ".." << false;
        QTest::newRow("climbs out midway") << "a/../../x" << false;
        QTest::newRow("ends in parent") << "a/.." << false;
        QTest::newRow("parent after doubled slash") << "a//../x" << false;
        QTest::newRow("dot") << "." << false;
        QTest::newRow("dot slash") << "./" << false;
        QTest::newRow("dot slash dot") << "./." << false;
        QTest::newRow("backslash parent") << "..\\x" << false;
        QTest::newRow("NUL") << QString::fromLatin1("a\0b", 3) << false;

        QTest::newRow("dot prefix") << "./bin/app.exe" << true;
        QTest::newRow("doubled slash") << "a//b" << true;
        QTest::newRow("dot component") << "a/./b" << true;
        QTest::newRow("three dots") << "..." << true;
        QTest::newRow("dots inside") << "a..b" << true;
        QTest::newRow("dots in front") << "..a" << true;
        QTest::newRow("dots behind") << "a.." << true;
        QTest::newRow("plain") << "bin/app.exe" << true;
        QTest::newRow("non-ASCII") << QStringLiteral("数据/é.dat") << true;
    }

    void isSafeListPath()
    {
        QFETCH(QString, path);
        QFETCH(bool, safe);
        QCOMPARE(::isSafeListPath(path), safe);
    }

    // The installation step's journal and temporary names, and names that only resemble them.
    void reservedNames_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("reserved");

        QTest::newRow("staged file") << "bin/app.exe.update-new" << true;
        QTest::newRow("staged, other case") << "APP.EXE.Update-NEW" << true;
        QTest::newRow("kept old copy") << "app.exe.old.update-prev" << true;
        QTest::newRow("folder with the suffix") << "x.UPDATE-PREV/a.dll" << true;
        QTest::newRow("suffix alone") << ".update-new" << true;
        QTest::newRow("journal") << "update_journal.info" << true;
        QTest::newRow("journal, dot prefix") << "./update_journal.info" << true;
        QTest::newRow("journal, other case, slashes and dots")
            << ".//Update_Journal.INFO/." << true;

        QTest::newRow("journal in a folder") << "sub/update_journal.info" << false;
        QTest::newRow("journal with an extension") << "update_journal.info.txt" << false;
        QTest::newRow("journal as a suffix") << "old_update_journal.info" << false;
        QTest::newRow("suffix inside the name") << "a.update-new.txt" << false;
        QTest::newRow("suffix without its dot") << "app.exeupdate-prev" << false;
        QTest::newRow("old copy") << "app.exe.old" << false;
    }

    void reservedNames()
    {
        QFETCH(QString, path);
        QFETCH(bool, reserved);
        QCOMPARE(judgeListPath(path),
                 reserved ? ListPathVerdict::Reserved : ListPathVerdict::Usable);
    }
};

QTEST_GUILESS_MAIN(tst_SafePath)
#include "tst_safepath.moc"
