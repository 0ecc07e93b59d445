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
};

QTEST_GUILESS_MAIN(tst_SafePath)
#include "tst_safepath.moc"
