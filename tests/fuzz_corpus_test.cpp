// The fuzz targets' seed corpus, run through their checks in the normal build: the controller
// replies and System.cfg files committed under tests/fuzz/corpus/ must keep passing whenever the
// reply grammar or the profile code changes, without waiting for a clang build.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "tests/fuzz/FuzzChecks.h"

namespace {

QString CorpusDir(const char* target)
{
    // This file lies beside tests/fuzz/; CMake hands the compiler its absolute path.
    return QFileInfo(QStringLiteral(__FILE__)).absolutePath() + QStringLiteral("/fuzz/corpus/") +
           QString::fromLatin1(target);
}

template <typename Check>
void RunCorpus(const char* target, Check check)
{
    const QDir dir(CorpusDir(target));
    const QStringList files = dir.entryList(QDir::Files, QDir::Name);
    // An empty or moved corpus would pass silently.
    ASSERT_GE(files.size(), 5) << "corpus missing in " << dir.path().toStdString();
    for (const QString& name : files) {
        QFile file(dir.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << name.toStdString();
        const QByteArray bytes = file.readAll();
        EXPECT_EQ(check(reinterpret_cast<const uint8_t*>(bytes.constData()), static_cast<size_t>(bytes.size())),
                  std::string())
            << target << "/" << name.toStdString();
    }
}

TEST(FuzzCorpus, ControllerRepliesKeepTheReplyRules)
{
    RunCorpus("reply", fuzzchecks::CheckReceivedBytes);
}

TEST(FuzzCorpus, ProfileEditsKeepTheProfileRules)
{
    RunCorpus("profile", fuzzchecks::CheckProfileEdit);
}

} // namespace
