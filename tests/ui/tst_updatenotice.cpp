#include "CUpdateNotice.h"
#include "ModalAnswer.h"

#include <QLabel>
#include <QPushButton>
#include <QtTest>

class tst_UpdateNotice : public QObject
{
    Q_OBJECT

private slots:
    void form();
    void version_data();
    void version();
    void execResult_data();
    void execResult();

private:
    static QLabel *versionLabel(CUpdateNotice &dialog)
    {
        return dialog.findChild<QLabel *>(QStringLiteral("version"));
    }
};

void tst_UpdateNotice::form()
{
    CUpdateNotice dialog;
    QCOMPARE(dialog.objectName(), QStringLiteral("CUpdateNoticeClass"));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("CUpdateNotice"));
    QCOMPARE(dialog.size(), QSize(640, 455));
    QVERIFY(dialog.windowFlags() & Qt::FramelessWindowHint);

    auto *update = dialog.findChild<QPushButton *>(QStringLiteral("update"));
    auto *skip = dialog.findChild<QPushButton *>(QStringLiteral("skip"));
    QVERIFY(update && skip && versionLabel(dialog));
    QCOMPARE(update->geometry(), QRect(380, 400, 100, 30));
    QCOMPARE(skip->geometry(), QRect(510, 400, 100, 30));
    QCOMPARE(versionLabel(dialog)->geometry(), QRect(30, 280, 580, 40));
    QCOMPARE(update->text(), QString::fromUtf8("立即更新"));
    QCOMPARE(skip->text(), QString::fromUtf8("以后再说"));
    QCOMPARE(versionLabel(dialog)->text(), QString::fromUtf8("发现新版本：3.0.2.0"));
    QCOMPARE(versionLabel(dialog)->font().pointSize(), 15);
    QVERIFY(update->isDefault());
    QCOMPARE(update->nextInFocusChain(), skip);
}

void tst_UpdateNotice::version_data()
{
    QTest::addColumn<QString>("version");
    QTest::addColumn<QString>("shown");
    QTest::newRow("number") << "4.1.0.3" << QString::fromUtf8("发现新版本：4.1.0.3");
    QTest::newRow("empty") << QString() << QString::fromUtf8("发现新版本：");
    QTest::newRow("place markers stay verbatim")
        << "%1 %2 %L1" << QString::fromUtf8("发现新版本：%1 %2 %L1");
    QTest::newRow("non-ASCII") << QString::fromUtf8("第三版")
                               << QString::fromUtf8("发现新版本：第三版");
}

void tst_UpdateNotice::version()
{
    QFETCH(QString, version);
    QFETCH(QString, shown);
    CUpdateNotice dialog;
    dialog.setVersion(version);
    QCOMPARE(versionLabel(dialog)->text(), shown);
}

void tst_UpdateNotice::execResult_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<int>("result");
    QTest::newRow("update now") << "update" << 1;
    QTest::newRow("later") << "skip" << 0;
    QTest::newRow("enter answers update now") << "enter" << 1;
    QTest::newRow("escape answers later") << "escape" << 0;
    QTest::newRow("close command") << "close" << 0;
}

void tst_UpdateNotice::execResult()
{
    QFETCH(QString, action);
    QFETCH(int, result);
    CUpdateNotice dialog;
    whenShown(&dialog, [&dialog, action] {
        if (action == QLatin1String("enter"))
            QTest::keyClick(&dialog, Qt::Key_Return);
        else if (action == QLatin1String("escape"))
            QTest::keyClick(&dialog, Qt::Key_Escape);
        else if (action == QLatin1String("close"))
            dialog.close();
        else
            QTest::mouseClick(dialog.findChild<QPushButton *>(action), Qt::LeftButton);
    });
    QCOMPARE(dialog.exec(), result);
}

QTEST_MAIN(tst_UpdateNotice)
#include "tst_updatenotice.moc"
