#include "Startup.h"

#include "CUpdateError.h"
#include "Configuration.h"
#include "Directories.h"
#include "ExecutableFolder.h"
#include "FileNames.h"
#include "InstallRecovery.h"
#include "InstanceGuard.h"
#include "Report.h"
#include "RunUpdate.h"
#include "UiLanguage.h"
#include "UiResources.h"
#include "UpdateContext.h"
#include "UserTexts.h"

#include <QApplication>
#include <QFileInfo>
#include <QIcon>
#include <QLocale>
#include <QNetworkProxyFactory>
#include <QUrl>

namespace {

// Shows or reports a failure of start-up; in the interactive mode the host application is
// started once the message has been closed.
int failStartup(const UpdateContext &context, CUpdateError &errorDialog, const QString &title,
                const QString &text)
{
    if (context.mode == RunMode::Console) {
        writeReport(false, false, text);
        return 1;
    }
    showError(errorDialog, title, text, false);
    launchHost(context.exePath);
    return 1;
}

// The saved list, and a look at the files it names, started before the application object
// exists: that look is the longest part of an up-to-date check, and the start-up of the
// application and its windows hides it. Never while an installation step is cut short.
std::unique_ptr<SavedList> lookEarly(int argc, char **argv)
{
    const QString argument = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    const QString folder = executableFolder();
    if (runModeFromArgument(argument) == RunMode::Restart || folder.isEmpty())
        return nullptr;
    const QDir root = installRootFor(QDir(folder));
    if (QFileInfo::exists(root.absoluteFilePath(JournalFileName)))
        return nullptr;
    return std::make_unique<SavedList>(root);
}

int runWithContext(int argc, char **argv, std::unique_ptr<SavedList> early)
{
    UpdateContext context;
    const Configuration config = readConfiguration(context.appDir);
    installUiLanguage(chooseUiLanguage(config.language, QLocale::system().uiLanguages()));
    context.serverUrl = config.serverUrl;
    context.installDir = context.appDir;
    context.cacheDir = config.cacheDir;
    context.exePath = config.exePath;
    context.signatureRequired = config.signatureRequired;
    context.publicKey = config.publicKey;

    const QString argument = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    context.mode = runModeFromArgument(argument);

    // An installation step cut short is undone or finished before anything else, but never
    // under an updater that is still at work.
    const QDir installRoot = installRootFor(context.appDir);
    context.instanceGuard.setKey(instanceGuardKey());
    if (context.mode == RunMode::Restart) {
        StepFailure ignored;
        if (takeInstanceGuard(context.instanceGuard))
            recoverInstallation(installRoot, ignored);
        launchHost(context.exePath);
        return 1;
    }
    const bool guarded = takeInstanceGuard(context.instanceGuard);
    const bool interrupted = QFileInfo::exists(installRoot.absoluteFilePath(JournalFileName));
    StepFailure recovery;
    const bool recovered = guarded && recoverInstallation(installRoot, recovery);
    // Another updater may have changed the installation before this one took the guard.
    if (recovered && !interrupted && early && early->stillCurrent(installRoot))
        context.savedList = std::move(early);
    else if (recovered)
        context.savedList = std::make_unique<SavedList>(installRoot);

    CUpdateError errorDialog;
    errorDialog.setDownloadUrl(config.downloadUrl);
    if (!guarded)
        return failStartup(context, errorDialog, userText(UserText::StartTitle),
                           userText(UserText::AlreadyRunning));
    if (!recovered)
        return failStartup(context, errorDialog, userText(UserText::FailedTitle), recovery.text);

    if (!QUrl(context.serverUrl, QUrl::TolerantMode).isValid())
        return failStartup(context, errorDialog, userText(UserText::ConfigurationTitle),
                           userText(UserText::ServerUrlInvalid).arg(context.serverUrl));

    ensureDirectory(context.installDir);
    context.installDir = installRootFor(context.installDir);
    ensureDirectory(context.cacheDir);

    return runUpdate(context, errorDialog);
}

} // namespace

int startUpdater(int argc, char **argv)
{
    std::unique_ptr<SavedList> early = lookEarly(argc, argv);
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling, true);
    QCoreApplication::setAttribute(Qt::AA_UseHighDpiPixmaps, true);
    QApplication app(argc, argv);
    // On Windows Qt follows the system's proxy settings only when asked to.
    QNetworkProxyFactory::setUseSystemConfiguration(true);
    registerUiResources();
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icon")));
    return runWithContext(argc, argv, std::move(early));
}
