#include "PathRules.h"

#include <QTest>

class tst_PathRules : public QObject
{
    Q_OBJECT

private slots:
    // Paths no folder walk produces, but which the rules must still refuse.
    void listPath_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("accepted");

        QTest::newRow("absolute") << "/etc/passwd" << false;
        QTest::newRow("parent") << "a/../b" << false;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("empty component") << "a//b" << false;
        QTest::newRow("dot component") << "./a" << false;
        QTest::newRow("NUL") << QString(QStringLiteral("a") + QChar(0) + "b") << false;
        // The installation step's own names.
        QTest::newRow("staged name") << "bin/App.exe.Update-New" << false;
        QTest::newRow("kept old copy") << "app.exe.old.update-prev" << false;
        QTest::newRow("journal") << "UPDATE_JOURNAL.INFO" << false;
        // Near misses of the refused names, which Windows and the updater handle fine.
        QTest::newRow("plain") << "bin/app.exe" << true;
        QTest::newRow("dots inside") << "lib/qt.conf.d/x.y.z" << true;
        QTest::newRow("leading dot") << ".config/a" << true;
        QTest::newRow("spaces inside") << "My Files/a b.txt" << true;
        QTest::newRow("punctuation") << "[x]{y}(z)!@$^&+=,;'~`.txt" << true;
        QTest::newRow("non-ASCII") << "数据/说明.txt" << true;
        QTest::newRow("device-like prefixes") << "console.log/config/nul_file/auxiliary" << true;
        QTest::newRow("COM10 and LPT0") << "COM10.txt/LPT0" << true;
        QTest::newRow("COM with letter") << "COMX/CONS" << true;
        QTest::newRow("journal name in a folder") << "logs/update_journal.info" << true;
    }

    void listPath()
    {
        QFETCH(QString, path);
        QFETCH(bool, accepted);
        const QString problem = listPathProblem(path);
        QVERIFY2(problem.isEmpty() == accepted, qPrintable(path + ": " + problem));
    }

    void folderName_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("accepted");

        QTest::newRow("Base") << "Base" << true;
        QTest::newRow("version") << "v4.0.0.7" << true;
        QTest::newRow("non-ASCII") << "版本4" << true;
        QTest::newRow("dot") << "." << false;
        QTest::newRow("update.ini") << "update.ini" << false;
        QTest::newRow("trailing slash") << "Base/" << false;
    }

    void folderName()
    {
        QFETCH(QString, name);
        QFETCH(bool, accepted);
        const QString problem = folderNameProblem(name);
        QVERIFY2(problem.isEmpty() == accepted, qPrintable(name + ": " + problem));
    }
};

QTEST_GUILESS_MAIN(tst_PathRules)
#include "tst_pathrules.moc"
