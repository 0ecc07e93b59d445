#pragma once

class QTextStream;
struct PublishOptions;

// Each runs one command of update-publish and returns its exit status.
int runPublish(const PublishOptions &options, QTextStream &out, QTextStream &err);
int runVerify(const PublishOptions &options, QTextStream &out, QTextStream &err);
int runKeygen(const PublishOptions &options, QTextStream &out, QTextStream &err);
