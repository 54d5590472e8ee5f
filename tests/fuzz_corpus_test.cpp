// The fuzz targets' seed corpus, run through their checks in the normal build: the controller
// replies and System.cfg files committed under tests/fuzz/corpus/ must keep passing whenever the
// reply grammar or the profile code changes, without waiting for a clang build.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/fuzz/FuzzChecks.h"
#include "tests/support/TestFiles.h"

TEST(FuzzCorpus, EveryCommittedInputKeepsTheRules)
{
    const std::filesystem::path corpus = TARNIK_FUZZ_CORPUS;
    for (const auto& [target, check] : {std::pair{"reply", &fuzzchecks::CheckReceivedBytes},
                                        std::pair{"profile", &fuzzchecks::CheckProfileEdit}}) {
        size_t files = 0;
        for (const auto& entry : std::filesystem::directory_iterator(corpus / target)) {
            const std::string bytes = ReadWholeFile(entry.path());
            EXPECT_EQ(check(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()), "") << entry.path();
            ++files;
        }
        EXPECT_GE(files, 5u) << "corpus missing in " << corpus / target;   // an empty one would pass silently
    }
}
