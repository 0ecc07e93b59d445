#include "Ed25519.h"
#include "FileList.h"
#include "HashList.h"
#include "PublicationWriter.h"
#include "PublishTestSupport.h"
#include "Sha256Text.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

namespace {

// The output lines that are a public key and nothing else; the tool's notes go to standard
// error, which the test run merges in.
QList<QByteArray> publicKeyLines(const QString &output)
{
    QList<QByteArray> keys;
    for (const QString &line : outputLines(output)) {
        if (isValidPublicKey(line.toLatin1())) {
            keys << line.toLatin1();
        }
    }
    return keys;
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The lines of the tool's output that start with `prefix`, without it.
QStringList linesAfter(const QString &output, const QString &prefix)
{
    QStringList values;
    for (const QString &line : outputLines(output)) {
        if (line.startsWith(prefix)) {
            values << line.mid(prefix.size());
        }
    }
    return values;
}

QString versionValue(const QString &descriptionPath, const QString &key)
{
    return QSettings(descriptionPath, QSettings::IniFormat)
        .value(QStringLiteral("Version/") + key)
        .toString();
}

} // namespace

// update-publish's key generation and signed publications, run as the vendor runs it.
class tst_SignedPublish : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        temp.reset(new QTemporaryDir);
        QVERIFY2(temp->isValid(), qPrintable(temp->errorString()));
        source = QDir(temp->filePath("release"));
        site = temp->filePath("site");
        keyFile = temp->filePath("vendor.pem");
        QVERIFY(writeTestFile(source, "app.exe", "application"));
        QVERIFY(writeTestFile(source, "lib/core.dll", QByteArray(70000, 'c')));
        QVERIFY(writeTestFile(source, "empty.dat", QByteArray()));
    }

    void keygenWritesAPrivateKeyAndPrintsThePublicKey()
    {
        const ToolRun run = runPublishTool({"--keygen", keyFile});
        QVERIFY2(run.exitCode == 0, qPrintable(run.output));
        QString problem;
        QVERIFY2(isOwnerOnly(keyFile, problem), qPrintable(problem));
        QByteArray derived;
        QString errorText;
        QVERIFY2(publicKeyOf(readAll(keyFile), derived, errorText), qPrintable(errorText));
        // One line holds the key alone, ready for PublicKey= in system.cfg.
        QCOMPARE(publicKeyLines(run.output), QList<QByteArray>{derived});
    }

    void keygenNeverReplacesAFile_data()
    {
        QTest::addColumn<bool>("dangling");
        QTest::newRow("a file") << false;
        QTest::newRow("a dangling link") << true;
    }

    void keygenNeverReplacesAFile()
    {
        QFETCH(bool, dangling);
        const QString target = temp->filePath("elsewhere.pem");
        if (dangling) {
            QVERIFY(QFile::link(target, keyFile));
        } else {
            QVERIFY(writeTestFile(QDir(temp->path()), "vendor.pem", "the key in use"));
        }
        const auto before = treeSnapshot(temp->path());

        const ToolRun run = runPublishTool({"--keygen", keyFile});
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.output.contains("already exists"), qPrintable(run.output));
        QCOMPARE(treeSnapshot(temp->path()), before);
    }

    void keygenTakesNothingElse()
    {
        const ToolRun run = runPublishTool({"--keygen", keyFile, source.path(), site});
        QCOMPARE(run.exitCode, 2);
        QVERIFY(!QFileInfo::exists(keyFile));
    }

    void signedPublicationHoldsEverySignedPart()
    {
        const QByteArray publicKey = generateKey();
        const qint64 start = QDateTime::currentSecsSinceEpoch();
        const ToolRun run = runPublishTool(
            {source.path(), site, "--folder", "v2", "--sign", keyFile, "--expires-days", "7"});
        QVERIFY2(run.exitCode == 0, qPrintable(run.output));
        QCOMPARE(linesAfter(run.output, "PublicKey="), QStringList{QString::fromLatin1(publicKey)});

        const QDir folder(QDir(site).filePath("v2"));
        const QByteArray list = readAll(folder.filePath("md5.txt"));
        const QByteArray hashList = readAll(folder.filePath("sha256.txt"));
        QByteArray expectedHashList;
        for (const QString path : {"app.exe", "empty.dat", "lib/core.dll"}) {
            const QByteArray content = readAll(source.filePath(path));
            expectedHashList += sha256Text(content) + '\t' +
                                expectedSizeField(quint64(content.size())) + '\t' + path.toUtf8() +
                                '\n';
        }
        QCOMPARE(hashList, expectedHashList);
        QCOMPARE(parseHashList(hashList).keys(), parseFileList(list).keys());

        const QString description = QDir(site).filePath("update.ini");
        QCOMPARE(versionValue(description, "ListSha256").toLatin1(), sha256Text(list));
        QCOMPARE(versionValue(description, "HashListSha256").toLatin1(), sha256Text(hashList));
        const qint64 serial = versionValue(description, "Serial").toLongLong();
        QVERIFY2(serial >= start && serial <= QDateTime::currentSecsSinceEpoch(),
                 "the first serial is the publication time in seconds");
        const QString expires = versionValue(description, "Expires");
        QVERIFY2(expires.endsWith('Z'), qPrintable(expires));
        const qint64 expiresIn =
            QDateTime::currentDateTimeUtc().secsTo(QDateTime::fromString(expires, Qt::ISODate));
        QVERIFY2(expiresIn > 7 * 86400 - 120 && expiresIn <= 7 * 86400, qPrintable(expires));

        const QByteArray signature = readAll(QDir(site).filePath("update.ini.sig"));
        QVERIFY(signature.endsWith('\n'));
        QVERIFY2(verifySignature(publicKey, readAll(description), signature),
                 "update.ini.sig must be the signature of update.ini's exact bytes");
    }

    void unsignedPublicationHasNoSignedPart()
    {
        const ToolRun run = runPublishTool({source.path(), site});
        QVERIFY2(run.exitCode == 0, qPrintable(run.output));
        QVERIFY(linesAfter(run.output, "PublicKey=").isEmpty());
        QVERIFY(!QFileInfo::exists(QDir(site).filePath("update.ini.sig")));
        QVERIFY(!QFileInfo::exists(QDir(site).filePath("Base/sha256.txt")));
        const QSettings description(QDir(site).filePath("update.ini"), QSettings::IniFormat);
        QCOMPARE(description.allKeys(), QStringList({"Download/Connections", "Summary/UpdateType",
                                                     "Version/Folder", "Version/Version"}));
    }

    // Publications in the same second, or after a clock that went back, still grow.
    void serialAlwaysGrows()
    {
        generateKey();
        const QString description = QDir(site).filePath("update.ini");
        QVERIFY(runPublishTool({source.path(), site, "--sign", keyFile}).exitCode == 0);
        const quint64 first = versionValue(description, "Serial").toULongLong();
        QVERIFY(runPublishTool({source.path(), site, "--sign", keyFile}).exitCode == 0);
        const quint64 second = versionValue(description, "Serial").toULongLong();
        QVERIFY2(second > first, qPrintable(QStringLiteral("%1 then %2").arg(first).arg(second)));

        const quint64 future = quint64(QDateTime::currentSecsSinceEpoch()) + 100000;
        {
            QSettings settings(description, QSettings::IniFormat);
            settings.setValue("Version/Serial", QString::number(future));
        }
        QVERIFY(runPublishTool({source.path(), site, "--sign", keyFile}).exitCode == 0);
        QCOMPARE(versionValue(description, "Serial").toULongLong(), future + 1);
    }

    void refusedBeforeAnythingIsWritten_data()
    {
        QTest::addColumn<QStringList>("extra");
        QTest::addColumn<QString>("keyPlace"); // relative to the temporary folder; empty: none
        QTest::addColumn<QByteArray>("keyContent");
        QTest::addColumn<QString>("reason");
        QTest::addColumn<int>("exitCode");

        QTest::newRow("key inside SOURCE_DIR")
            << QStringList{"--sign", "release/vendor.pem"} << "release/vendor.pem" << QByteArray()
            << "inside" << 1;
        QTest::newRow("key inside OUTPUT_DIR")
            << QStringList{"--sign", "site/keys/vendor.pem"} << "site/keys/vendor.pem"
            << QByteArray() << "inside" << 1;
        QTest::newRow("missing key file")
            << QStringList{"--sign", "nowhere.pem"} << QString() << QByteArray() << "missing" << 1;
        QTest::newRow("not a key") << QStringList{"--sign", "vendor.pem"} << "vendor.pem"
                                   << QByteArray("just some text\n") << "PEM private key" << 1;
        QTest::newRow("expiry without signing")
            << QStringList{"--expires-days", "3"} << QString() << QByteArray() << "--sign" << 2;
        QTest::newRow("expiry of 0 days")
            << QStringList{"--sign", "vendor.pem", "--expires-days", "0"} << "vendor.pem"
            << QByteArray() << "--expires-days" << 2;
        QTest::newRow("signing a verification") << QStringList{"--verify", "--sign", "vendor.pem"}
                                                << "vendor.pem" << QByteArray() << "--sign" << 2;
    }

    void refusedBeforeAnythingIsWritten()
    {
        QFETCH(QStringList, extra);
        QFETCH(QString, keyPlace);
        QFETCH(QByteArray, keyContent);
        QFETCH(QString, reason);
        QFETCH(int, exitCode);

        if (!keyPlace.isEmpty()) {
            QByteArray content = keyContent;
            if (content.isEmpty()) {
                QByteArray publicKey;
                QString errorText;
                QVERIFY(generateKeyPair(content, publicKey, errorText));
            }
            QVERIFY(writeTestFile(QDir(temp->path()), keyPlace, content));
        }
        const auto before = treeSnapshot(temp->path());
        QStringList arguments;
        for (const QString &argument : extra) {
            arguments << (argument.endsWith(".pem") ? temp->filePath(argument) : argument);
        }
        if (!arguments.contains("--verify")) {
            arguments << source.path();
        }
        arguments << site;

        const ToolRun run = runPublishTool(arguments);
        QCOMPARE(run.exitCode, exitCode);
        QVERIFY2(run.output.contains(reason), qPrintable(run.output));
        QCOMPARE(treeSnapshot(temp->path()), before);
    }

    void verifyChecksTheSignedParts_data()
    {
        QTest::addColumn<QString>("damaged"); // a file of the site; empty: none
        QTest::addColumn<bool>("removed");    // false: a line break is appended to it
        QTest::addColumn<bool>("otherKey");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("message");

        QTest::newRow("intact") << QString() << false << false << 0 << "signature matches";
        QTest::newRow("signed by another key")
            << QString() << false << true << 1 << "not a signature";
        QTest::newRow("update.ini changed")
            << "update.ini" << false << false << 1 << "not a signature";
        QTest::newRow("signature missing")
            << "update.ini.sig" << true << false << 1 << "update.ini.sig\" is missing";
        QTest::newRow("sha256.txt missing")
            << "Base/sha256.txt" << true << false << 1 << "sha256.txt\" is missing";
        QTest::newRow("sha256.txt changed")
            << "Base/sha256.txt" << false << false << 1 << "does not match HashListSha256";
        QTest::newRow("md5.txt changed")
            << "Base/md5.txt" << false << false << 1 << "does not match ListSha256";
    }

    void verifyChecksTheSignedParts()
    {
        QFETCH(QString, damaged);
        QFETCH(bool, removed);
        QFETCH(bool, otherKey);
        QFETCH(int, exitCode);
        QFETCH(QString, message);
        QByteArray key = generateKey();
        QVERIFY(runPublishTool({source.path(), site, "--sign", keyFile}).exitCode == 0);
        QFile file(QDir(site).filePath(damaged));
        if (!damaged.isEmpty() && removed) {
            QVERIFY(file.remove());
        } else if (!damaged.isEmpty()) {
            QVERIFY(file.open(QIODevice::Append));
            QCOMPARE(file.write("\n"), qint64(1));
            file.close();
        }
        if (otherKey) {
            QByteArray ignored;
            QString errorText;
            QVERIFY(generateKeyPair(ignored, key, errorText));
        }

        const ToolRun run =
            runPublishTool({"--verify", site, "--public-key", QString::fromLatin1(key)});
        QCOMPARE(run.exitCode, exitCode);
        QVERIFY2(run.output.contains(message), qPrintable(run.output));
    }

    void verifyWithAKeyRefusesAnUnsignedPublication()
    {
        const QByteArray key = generateKey();
        QVERIFY(runPublishTool({source.path(), site}).exitCode == 0);
        const ToolRun run =
            runPublishTool({"--verify", site, "--public-key", QString::fromLatin1(key)});
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.output.contains("not signed"), qPrintable(run.output));
    }

    // The last step failing must not leave a new signature beside the old update.ini.
    void failedDescriptionRestoresTheSignature_data()
    {
        QTest::addColumn<bool>("signedBefore");
        QTest::newRow("previous publication signed") << true;
        QTest::newRow("previous publication unsigned") << false;
    }

    void failedDescriptionRestoresTheSignature()
    {
        QFETCH(bool, signedBefore);
        generateKey();
        QStringList first{source.path(), site};
        if (signedBefore) {
            first << "--sign" << keyFile;
        }
        QVERIFY(runPublishTool(first).exitCode == 0);
        // A folder in update.ini's place makes its replacement fail after the signature's.
        QVERIFY(QFile::remove(QDir(site).filePath("update.ini")));
        QVERIFY(writeTestFile(QDir(QDir(site).filePath("update.ini")), "blocker", "x"));
        const auto before = treeSnapshot(site);

        Publication next;
        next.outputDir = site;
        next.description.version = "2";
        next.files << ReleaseFile{"app.exe", source.filePath("app.exe"), 11};
        next.signingKeyPem = readAll(keyFile);
        quint64 bytes = 0;
        QString errorText;
        QString warningText;
        QVERIFY(!writePublication(next, {}, bytes, errorText, warningText));
        QVERIFY2(errorText.contains("update.ini"), qPrintable(errorText));
        QCOMPARE(treeSnapshot(site), before);
    }

private:
    QByteArray generateKey()
    {
        const ToolRun run = runPublishTool({"--keygen", keyFile});
        if (run.exitCode != 0) {
            qFatal("--keygen failed: %s", qPrintable(run.output));
        }
        const QList<QByteArray> keys = publicKeyLines(run.output);
        if (keys.size() != 1) {
            qFatal("--keygen printed no single key: %s", qPrintable(run.output));
        }
        return keys.first();
    }

    QScopedPointer<QTemporaryDir> temp;
    QDir source;
    QString site;
    QString keyFile;
};

QTEST_GUILESS_MAIN(tst_SignedPublish)
#include "tst_signedpublish.moc"
