#include "DialogScript.h"
#include "Md5Text.h"
#include "RunScratch.h"
#include "RunUpdate.h"
#include "SignedSite.h"
#include "StdoutCapture.h"
#include "TestFiles.h"
#include "TestServer.h"
#include "UpdateContext.h"

#include <QDateTime>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {

using Tree = QMap<QString, QByteArray>;

enum class Attack
{
    DescriptionByteChanged,
    SignatureMissing,
    SignatureByAnotherKey,
    SignatureOfAnotherDescription,
    PublicKeyMalformed,
    PublicKeyEmpty,
    SerialMissing,
    ListSha256Missing,
    ExpiresMalformed,
    FileAndItsMd5LineChanged,
    ListOfAnotherPublication,
    HashListChanged,
    HashListMissing,
    HashListLacksAFile,
    OlderSerial,
    Expired,
};

Tree readTree(const QDir &dir)
{
    Tree tree;
    QDirIterator it(dir.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        tree.insert(dir.relativeFilePath(path), readFile(path));
    }
    return tree;
}

QByteArray failureReport(const QString &text)
{
    return "{\"errormsg\":\"" + text.toUtf8() + "\",\"success\":false,\"update\":false}";
}

QString utcText(const QDateTime &time)
{
    return time.toUTC().toString(Qt::ISODate);
}

const QMap<QString, QByteArray> NewRelease{{"app.exe", "application 2.0"},
                                           {"lib/core.dll", "core 2.0"}};

} // namespace

Q_DECLARE_METATYPE(Attack)

// The signed check and run in process, against the test server: every way of bending what the
// server sends must end the attempt with its message before anything is saved or installed.
class tst_SignedCheck : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void attackIsRefused_data();
    void attackIsRefused();
    void signedUpdateInstallsAndRecordsSerial();
    void upToDateRecordsSerial();
    void serialRecordReplacesALink();
    void sameSerialIsAccepted();
    void firstSignedRunAcceptsAnySerial();
    void futureExpiryIsAccepted();
    void verifiedCopyOnlyReplacesTheCachedDescription();
    void failureOffersRetryToTheUser();

private:
    void useConsole() { run->context.mode = RunMode::Console; }
    QString installed(const QString &path) const { return run->installed(path); }
    // Runs in console mode; returns what it printed.
    QByteArray runConsole(int expectedExit)
    {
        useConsole();
        StdoutCapture capture;
        const int exitCode = run->update();
        const QByteArray printed = capture.text();
        if (exitCode != expectedExit) {
            qWarning("exit code %d, printed %s", exitCode, printed.constData());
        }
        return exitCode == expectedExit ? printed : QByteArray("wrong exit code");
    }

    TestKeyPair vendor;
    TestKeyPair stranger;
    QScopedPointer<RunScratch> run;
};

void tst_SignedCheck::initTestCase()
{
    vendor = newTestKeyPair();
    stranger = newTestKeyPair();
}

void tst_SignedCheck::init()
{
    run.reset(new RunScratch(QStringLiteral("/u/")));
    QVERIFY(run->isReady());
    run->context.signatureRequired = true;
    run->context.publicKey = vendor.publicKey;
}

void tst_SignedCheck::cleanup()
{
    run.reset();
}

void tst_SignedCheck::attackIsRefused_data()
{
    QTest::addColumn<Attack>("attack");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("exact"); // false: the text is followed by the download's reason

    const QString signature = QString::fromUtf8("升级描述文件签名无效");
    const QString list = QString::fromUtf8("更新列表文件校验不对");
    QTest::newRow("a byte of update.ini changed")
        << Attack::DescriptionByteChanged << signature << true;
    QTest::newRow("no update.ini.sig") << Attack::SignatureMissing << signature << true;
    QTest::newRow("signed by another key") << Attack::SignatureByAnotherKey << signature << true;
    QTest::newRow("signature of another description")
        << Attack::SignatureOfAnotherDescription << signature << true;
    QTest::newRow("PublicKey malformed") << Attack::PublicKeyMalformed << signature << true;
    QTest::newRow("PublicKey empty") << Attack::PublicKeyEmpty << signature << true;
    QTest::newRow("signed without Serial") << Attack::SerialMissing << signature << true;
    QTest::newRow("signed without ListSha256") << Attack::ListSha256Missing << signature << true;
    QTest::newRow("signed with a malformed Expires")
        << Attack::ExpiresMalformed << signature << true;
    QTest::newRow("a file and its MD5 line changed")
        << Attack::FileAndItsMd5LineChanged << list << true;
    QTest::newRow("md5.txt of another publication")
        << Attack::ListOfAnotherPublication << list << true;
    QTest::newRow("sha256.txt changed") << Attack::HashListChanged << list << true;
    QTest::newRow("sha256.txt missing")
        << Attack::HashListMissing << QString::fromUtf8("下载更新列表文件失败:") << false;
    QTest::newRow("sha256.txt lacks a listed file") << Attack::HashListLacksAFile << list << true;
    QTest::newRow("older publication replayed")
        << Attack::OlderSerial << QString::fromUtf8("升级描述文件版本过旧") << true;
    QTest::newRow("expired") << Attack::Expired << QString::fromUtf8("升级描述文件已过期") << true;
}

void tst_SignedCheck::attackIsRefused()
{
    QFETCH(Attack, attack);
    QFETCH(QString, text);
    QFETCH(bool, exact);

    // The installation took the publication with serial 200 last time.
    const Tree before{{"app.exe", "application 1.0"},
                      {"lib/core.dll", "core 1.0"},
                      {"update_md5.info", "previous list\n"},
                      {"update_serial.info", "200\n"}};
    for (auto it = before.cbegin(); it != before.cend(); ++it) {
        QVERIFY(writeFile(installed(it.key()), it.value()));
    }

    SignedRelease release;
    release.files = NewRelease;
    release.serial = 250;
    switch (attack) {
    case Attack::SerialMissing:
        release.droppedKeys << QStringLiteral("Serial");
        break;
    case Attack::ListSha256Missing:
        release.droppedKeys << QStringLiteral("ListSha256");
        break;
    case Attack::ExpiresMalformed:
        release.expires = QStringLiteral("next year");
        break;
    case Attack::HashListLacksAFile:
        release.unhashedFiles << QStringLiteral("lib/core.dll");
        break;
    case Attack::OlderSerial:
        release.serial = 199;
        break;
    case Attack::Expired:
        release.expires = utcText(QDateTime::currentDateTimeUtc().addSecs(-60));
        break;
    default:
        break;
    }
    SignedPublication publication = signRelease(release, vendor.privateKey);

    SignedRelease other;
    other.files = {{"app.exe", "application 0.9"}};
    other.serial = 150;
    const SignedPublication otherPublication = signRelease(other, vendor.privateKey);

    switch (attack) {
    case Attack::DescriptionByteChanged:
        publication.description.replace("UpdateType=1", "UpdateType=0");
        break;
    case Attack::SignatureMissing:
        publication.signature = QByteArray();
        break;
    case Attack::SignatureByAnotherKey:
        publication.signature = signatureFileFor(publication.description, stranger.privateKey);
        break;
    case Attack::SignatureOfAnotherDescription:
        publication.signature = otherPublication.signature;
        break;
    case Attack::PublicKeyMalformed:
        run->context.publicKey = vendor.publicKey.left(20);
        break;
    case Attack::PublicKeyEmpty:
        run->context.publicKey.clear();
        break;
    case Attack::FileAndItsMd5LineChanged: {
        const QByteArray evil = "evil 2.0 build";
        publication.list.replace(md5Text(publication.files.value("app.exe")), md5Text(evil));
        publication.list.replace("0000000f00000000", "0000000e00000000");
        publication.files.insert("app.exe", evil);
        break;
    }
    case Attack::ListOfAnotherPublication:
        publication.list = otherPublication.list;
        break;
    case Attack::HashListChanged: {
        const int last = publication.hashList.indexOf('\t') - 1;
        publication.hashList[last] = publication.hashList.at(last) == '0' ? '1' : '0';
        break;
    }
    case Attack::HashListMissing:
        publication.hashList = QByteArray();
        break;
    default:
        break;
    }
    servePublication(run->server, QStringLiteral("/u/"), publication);

    const QByteArray printed = runConsole(1);
    if (exact) {
        QCOMPARE(QString::fromUtf8(printed), QString::fromUtf8(failureReport(text)));
    } else {
        const QByteArray start = "{\"errormsg\":\"" + text.toUtf8();
        const QByteArray end = "\",\"success\":false,\"update\":false}";
        QVERIFY2(printed.startsWith(start) && printed.endsWith(end) &&
                     printed.size() > start.size() + end.size(),
                 printed.constData());
    }
    QCOMPARE(readTree(run->context.installDir), before);
    for (const QString &path : run->server.requestedPaths()) {
        QVERIFY2(!path.startsWith(QStringLiteral("/u/Base/")) || path.startsWith("/u/Base//"),
                 qPrintable("no file may be fetched after a refused check: " + path));
    }
    QTest::qWait(100);
    QVERIFY(!run->host.started());
}

void tst_SignedCheck::signedUpdateInstallsAndRecordsSerial()
{
    QVERIFY(writeFile(installed("update_serial.info"), "200\n"));
    SignedRelease release;
    release.files = NewRelease;
    release.serial = 201;
    const SignedPublication publication = signRelease(release, vendor.privateKey);
    servePublication(run->server, QStringLiteral("/u/"), publication);

    QCOMPARE(runConsole(0), QByteArray("{\"errormsg\":\"\",\"success\":true,\"update\":true}"));
    QCOMPARE(readFile(installed("app.exe")), NewRelease.value("app.exe"));
    QCOMPARE(readFile(installed("lib/core.dll")), NewRelease.value("lib/core.dll"));
    QCOMPARE(readFile(installed("update_md5.info")), publication.list);
    QCOMPARE(readFile(installed("update_serial.info")), QByteArray("201\n"));
    QCOMPARE(run->server.requestedPaths(),
             QStringList({"/u//update.ini", "/u//update.ini.sig", "/u/Base//md5.txt",
                          "/u/Base//sha256.txt", "/u/Base/app.exe", "/u/Base/lib/core.dll"}));
}

void tst_SignedCheck::upToDateRecordsSerial()
{
    for (auto it = NewRelease.cbegin(); it != NewRelease.cend(); ++it) {
        QVERIFY(writeFile(installed(it.key()), it.value()));
    }
    QVERIFY(writeFile(installed("update_serial.info"), "180\n"));
    SignedRelease release;
    release.files = NewRelease;
    release.serial = 300;
    const SignedPublication publication = signRelease(release, vendor.privateKey);
    servePublication(run->server, QStringLiteral("/u/"), publication);

    QCOMPARE(runConsole(1), QByteArray("{\"errormsg\":\"\",\"success\":true,\"update\":false}"));
    QCOMPARE(readFile(installed("update_md5.info")), publication.list);
    QCOMPARE(readFile(installed("update_serial.info")), QByteArray("300\n"));
}

// An elevated updater must not write wherever a link in the record's place points.
void tst_SignedCheck::serialRecordReplacesALink()
{
    for (auto it = NewRelease.cbegin(); it != NewRelease.cend(); ++it) {
        QVERIFY(writeFile(installed(it.key()), it.value()));
    }
    const QString outside = run->root.filePath(QStringLiteral("outside.txt"));
    QVERIFY(writeFile(outside, "keep me\n"));
    QVERIFY(QFile::link(outside, installed("update_serial.info")));
    SignedRelease release;
    release.files = NewRelease;
    release.serial = 300;
    servePublication(run->server, QStringLiteral("/u/"), signRelease(release, vendor.privateKey));

    QCOMPARE(runConsole(1), QByteArray("{\"errormsg\":\"\",\"success\":true,\"update\":false}"));
    QCOMPARE(readFile(outside), QByteArray("keep me\n"));
    QVERIFY(!QFileInfo(installed("update_serial.info")).isSymLink());
    QCOMPARE(readFile(installed("update_serial.info")), QByteArray("300\n"));
}

void tst_SignedCheck::sameSerialIsAccepted()
{
    QVERIFY(writeFile(installed("update_serial.info"), "250\n"));
    SignedRelease release;
    release.files = NewRelease;
    release.serial = 250;
    servePublication(run->server, QStringLiteral("/u/"), signRelease(release, vendor.privateKey));

    QCOMPARE(runConsole(0), QByteArray("{\"errormsg\":\"\",\"success\":true,\"update\":true}"));
    QCOMPARE(readFile(installed("update_serial.info")), QByteArray("250\n"));
}

void tst_SignedCheck::firstSignedRunAcceptsAnySerial()
{
    SignedRelease release;
    release.files = NewRelease;
    release.serial = 1;
    servePublication(run->server, QStringLiteral("/u/"), signRelease(release, vendor.privateKey));

    QCOMPARE(runConsole(0), QByteArray("{\"errormsg\":\"\",\"success\":true,\"update\":true}"));
    QCOMPARE(readFile(installed("update_serial.info")), QByteArray("1\n"));
}

void tst_SignedCheck::futureExpiryIsAccepted()
{
    SignedRelease release;
    release.files = NewRelease;
    release.expires = utcText(QDateTime::currentDateTimeUtc().addSecs(3600));
    servePublication(run->server, QStringLiteral("/u/"), signRelease(release, vendor.privateKey));

    QCOMPARE(runConsole(0), QByteArray("{\"errormsg\":\"\",\"success\":true,\"update\":true}"));
}

void tst_SignedCheck::verifiedCopyOnlyReplacesTheCachedDescription()
{
    SignedRelease release;
    release.files = NewRelease;
    const SignedPublication good = signRelease(release, vendor.privateKey);
    servePublication(run->server, QStringLiteral("/u/"), good);
    QCOMPARE(runConsole(0), QByteArray("{\"errormsg\":\"\",\"success\":true,\"update\":true}"));
    const QString copy = run->context.cacheDir.filePath(QStringLiteral("update.ini"));
    QCOMPARE(readFile(copy), good.description);

    SignedPublication forged = good;
    forged.description.replace("Folder=Base", "Folder=Evil");
    servePublication(run->server, QStringLiteral("/u/"), forged);
    QCOMPARE(runConsole(1), failureReport(QString::fromUtf8("升级描述文件签名无效")));
    QCOMPARE(readFile(copy), good.description);
}

void tst_SignedCheck::failureOffersRetryToTheUser()
{
    SignedRelease release;
    release.files = NewRelease;
    release.updateType = 0;
    const SignedPublication publication = signRelease(release, vendor.privateKey);
    servePublication(run->server, QStringLiteral("/u/"), publication);
    // The first signature that arrives is not the vendor's; the second one is.
    run->server.setRouteSequence(
        QStringLiteral("/u//update.ini.sig"),
        {TestResponse::ok(signatureFileFor(publication.description, stranger.privateKey)),
         TestResponse::ok(publication.signature)});
    DialogScript script;
    script.expect("CUpdateError", DialogScript::click("retry"));
    script.expect("CUpdateNotice", DialogScript::click("update"));

    QCOMPARE(run->update(), 0);
    QCOMPARE(script.unexpected, QStringList());
    QCOMPARE(script.seen.first().headline, QString::fromUtf8("更新失败"));
    QCOMPARE(script.seen.first().text, QString::fromUtf8("升级描述文件签名无效"));
    QVERIFY2(script.seen.first().buttons, "the user must be offered to try again");
    QCOMPARE(readFile(installed("app.exe")), NewRelease.value("app.exe"));
    QTRY_VERIFY(run->host.started());
}

QTEST_MAIN(tst_SignedCheck)
#include "tst_signedcheck.moc"
