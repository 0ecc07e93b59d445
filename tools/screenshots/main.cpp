// update-screenshots OUT_DIR LANGUAGE: draws the three windows as a user sees them, in the
// language (zh_CN or en), and saves them as OUT_DIR/{notice,progress,error}-LANGUAGE.png.
// The pictures in the documentation are made with it (scripts/screenshots.sh).

#include "CDownloadThread.h"
#include "CUpdateError.h"
#include "CUpdateNotice.h"
#include "CUpdateProgress.h"
#include "UiLanguage.h"
#include "UiResources.h"
#include "UserTexts.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QPixmap>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextStream>

namespace {

constexpr qint64 MiB = qint64(1024) * 1024;

// A translation longer than its button would be cut off on every machine with this font.
bool buttonsFit(const QWidget &window, QString &errorText)
{
    for (const QPushButton *button : window.findChildren<QPushButton *>()) {
        const int needed = button->fontMetrics().horizontalAdvance(button->text()) + 8;
        if (needed > button->width()) {
            errorText = QStringLiteral("\"%1\" does not fit its button").arg(button->text());
            return false;
        }
    }
    return true;
}

bool save(QWidget &window, const QDir &folder, const QString &name, const QString &language,
          QString &errorText)
{
    if (!buttonsFit(window, errorText))
        return false;
    const QString path =
        folder.absoluteFilePath(name + QLatin1Char('-') + language + QStringLiteral(".png"));
    const QPixmap picture = window.grab();
    if (picture.isNull() || !picture.save(path, "PNG")) {
        errorText = QStringLiteral("cannot draw or save %1").arg(path);
        return false;
    }
    return true;
}

bool drawAll(const QDir &folder, const QString &language, QString &errorText)
{
    CUpdateNotice notice;
    notice.setVersion(QStringLiteral("4.0.0.8"));
    if (!save(notice, folder, QStringLiteral("notice"), language, errorText))
        return false;

    // A worker with nothing to fetch: it ends at once and leaves the bars where they are put.
    QTemporaryDir scratch;
    CDownloadThread idle(QString(), QDir(scratch.path()), QDir(scratch.path()), {}, nullptr);
    CUpdateProgress progress(&idle);
    progress.onDownloadStarted(QFileInfo(QStringLiteral("bin/MyApp.exe")), 3, 8);
    progress.onDownloadProgress(90 * MiB, 120 * MiB);
    if (!save(progress, folder, QStringLiteral("progress"), language, errorText))
        return false;

    CUpdateError error;
    error.setDownloadUrl(QStringLiteral("http://www.example.com/download.html"));
    const QString file = QStringLiteral("C:/Program Files (x86)/MyApp/bin/MyApp.exe");
    error.setMessage(userText(UserText::FailedTitle),
                     userText(UserText::RenameFailed).arg(file, file + QStringLiteral(".old")),
                     true);
    return save(error, folder, QStringLiteral("error"), language, errorText);
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QTextStream err(stderr);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() != 3) {
        err << "usage: update-screenshots OUT_DIR zh_CN|en\n";
        return 2;
    }
    const QString &language = arguments.at(2);
    if (chooseUiLanguage(language, {}) != language || !installUiLanguage(language)) {
        err << "unknown language: " << language << "\n";
        return 2;
    }
    registerUiResources();
    const QDir folder(arguments.at(1));
    if (!folder.mkpath(QStringLiteral("."))) {
        err << "cannot create " << folder.path() << "\n";
        return 1;
    }
    QString errorText;
    if (!drawAll(folder, language, errorText)) {
        err << errorText << "\n";
        return 1;
    }
    return 0;
}
