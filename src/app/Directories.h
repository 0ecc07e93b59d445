#pragma once

#include <QDir>

// Makes `dir` absolute (against the working directory) and creates it with every missing
// level. Whether the creation worked shows up later, when a file in it cannot be created.
void ensureDirectory(QDir &dir);

// An updater kept in a "bin" folder (any letter case) updates the folder above it.
QDir installRootFor(const QDir &appDir);
