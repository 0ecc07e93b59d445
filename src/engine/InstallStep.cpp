#include "CDownloadThread.h"

#include "InstallTransaction.h"
#include "UserTexts.h"

void CDownloadThread::installFiles()
{
    InstallTransaction step(installDir, cacheDir, files);
    if (!step.run()) {
        reportFailure(QFileInfo(step.failure().path), step.failure().text);
        return;
    }
    success.store(true);
    message = userText(UserText::Updated);
    endRun();
}
