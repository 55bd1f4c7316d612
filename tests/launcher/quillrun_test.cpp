// Runs the real quillrun binary against the stand-in runtime library and checks the
// argument vector the runtime receives, the exit status and the messages.

#include "childprocess.h"
#include "standinenvironment.h"
#include "tracewin/version.h"

#include <algorithm>
#include <filesystem>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <optional>
#include <sstream>

namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using tracewin::testing::ChildResult;
using tracewin::testing::readWholeFile;
using tracewin::testing::runChild;
using tracewin::testing::ScratchDirectory;
using Vector = std::vector<std::string>;

constexpr const char* MAIN_CLASS = "sun.applet.AppletViewer";
constexpr const char* USAGE = "usage: quillrun [-J<runtime flag>] url|file ...\n";

class QuillrunTest : public ::testing::Test {
protected:
    // Runs quillrun with the given arguments after its program name.
    ChildResult run(const Vector& arguments, const std::string& startResult = "1",
                    const std::string& libraryDirectory = NQC300_STANDIN_DIR,
                    const std::string& programName = "quillrun",
                    const std::filesystem::path& workingDirectory = {}) {
        Vector argv{programName};
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        return runChild(QUILLRUN_PATH, argv,
                        {{"LD_LIBRARY_PATH", libraryDirectory},
                         {tracewin::standin::ARGV_FILE_VARIABLE, argvFile().string()},
                         {tracewin::standin::CALL_FILE_VARIABLE, callFile().string()},
                         {tracewin::standin::RESULT_VARIABLE, startResult}},
                        scratch_, workingDirectory);
    }

    // The vector the runtime's start export was given, or nothing if it was not called.
    std::optional<Vector> receivedVector() const {
        if (!std::filesystem::exists(argvFile())) {
            return std::nullopt;
        }
        std::istringstream lines(readWholeFile(argvFile()));
        Vector result;
        for (std::string line; std::getline(lines, line);) {
            result.push_back(line);
        }
        return result;
    }

    std::string receivedCall() const { return readWholeFile(callFile()); }

    std::filesystem::path argvFile() const { return scratch_.path() / "argv.txt"; }
    std::filesystem::path callFile() const { return scratch_.path() / "call.txt"; }

    ScratchDirectory scratch_;
};

TEST_F(QuillrunTest, FlagMovesInFrontOfTheMainClassWithoutItsPrefix) {
    const ChildResult result = run({"-JX", "P"});
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.standardOutput, "");
    EXPECT_EQ(result.standardError, "");
    EXPECT_THAT(receivedVector(),
                ::testing::Optional(ElementsAre("nqcjava", "X", MAIN_CLASS, "P")));
}

TEST_F(QuillrunTest, StartExportGetsItsEightArgumentsInOrder) {
    ASSERT_EQ(run({"-Xfirst", "-Jms", "page.html"}).exitStatus, 0);
    EXPECT_EQ(receivedCall(), "version=1\n"
                              "outField=set\n"
                              "options=580\n"
                              "reserved=0,0,0\n"
                              "argc=5\n"
                              "terminated=yes\n");
    EXPECT_THAT(receivedVector(), ::testing::Optional(ElementsAre("nqcjava", "ms", MAIN_CLASS,
                                                                  "-Xfirst", "page.html")));
}

TEST_F(QuillrunTest, CommandLineWithoutUrlOrFileIsAUsageError) {
    const std::vector<Vector> commandLines{{}, {"-Jx"}, {"-Jx", "-J", "-Jy"}};
    for (const Vector& arguments : commandLines) {
        SCOPED_TRACE(::testing::PrintToString(arguments));
        const ChildResult result = run(arguments);
        EXPECT_EQ(result.exitStatus, 1);
        EXPECT_EQ(result.standardError, USAGE);
        EXPECT_EQ(result.standardOutput, "");
        EXPECT_EQ(receivedVector(), std::nullopt) << "the runtime must not be started";
    }
}

TEST_F(QuillrunTest, UsageErrorNeedsNoRuntimeLibrary) {
    const ChildResult result = run({"-Jonly"}, "1", scratch_.path().string());
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(result.standardError, USAGE);
}

TEST_F(QuillrunTest, VersionAndHelpAloneAreAnsweredWithoutTheRuntime) {
    ChildResult result = run({"--version"}, "1", scratch_.path().string());
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.standardOutput, tracewin::versionLine("quillrun") + "\n");
    EXPECT_EQ(result.standardError, "");
    result = run({"--help"}, "1", scratch_.path().string());
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_THAT(result.standardOutput, HasSubstr("Usage: quillrun [-J<runtime flag>]..."));
    EXPECT_THAT(result.standardOutput, HasSubstr("Exit codes:"));
    EXPECT_EQ(receivedVector(), std::nullopt);
    // After a url or file they are the runtime's arguments like any other.
    ASSERT_EQ(run({"page.html", "--version"}).exitStatus, 0);
    EXPECT_THAT(receivedVector(),
                ::testing::Optional(ElementsAre("nqcjava", MAIN_CLASS, "page.html", "--version")));
}

TEST_F(QuillrunTest, BarePrefixPassesAnEmptyFlag) {
    ASSERT_EQ(run({"-J", "page.html"}).exitStatus, 0);
    EXPECT_THAT(receivedVector(),
                ::testing::Optional(ElementsAre("nqcjava", "", MAIN_CLASS, "page.html")));
}

TEST_F(QuillrunTest, ArgumentsAfterTheUrlKeepTheirOrder) {
    ASSERT_EQ(run({"http://localhost/a.html", "second", "-Jflag", "with space", "", "-j", "last"})
                  .exitStatus,
              0);
    EXPECT_THAT(receivedVector(), ::testing::Optional(ElementsAre(
                                      "nqcjava", "flag", MAIN_CLASS, "http://localhost/a.html",
                                      "second", "with space", "", "-j", "last")));
}

TEST_F(QuillrunTest, TwoHundredArgumentsWithInterleavedFlags) {
    Vector arguments;
    Vector flags;
    Vector others;
    for (int i = 0; i < 200; ++i) {
        const std::string index = std::to_string(i);
        if (i % 3 == 1 || i % 7 == 0) {
            arguments.push_back("-J-Dprop" + index + "=v" + index);
            flags.push_back("-Dprop" + index + "=v" + index);
        } else {
            arguments.push_back("page" + index + ".html");
            others.push_back("page" + index + ".html");
        }
    }
    Vector expected{"nqcjava"};
    expected.insert(expected.end(), flags.begin(), flags.end());
    expected.push_back(MAIN_CLASS);
    expected.insert(expected.end(), others.begin(), others.end());

    ASSERT_EQ(run(arguments).exitStatus, 0);
    EXPECT_EQ(receivedVector(), expected);
    EXPECT_THAT(receivedCall(), HasSubstr("argc=202\n"));
}

TEST_F(QuillrunTest, ProgramNameIsNeverTakenForAFlag) {
    ASSERT_EQ(run({"page.html"}, "1", NQC300_STANDIN_DIR, "-Jquillrun").exitStatus, 0);
    EXPECT_THAT(receivedVector(),
                ::testing::Optional(ElementsAre("nqcjava", MAIN_CLASS, "page.html")));
}

TEST_F(QuillrunTest, ExitStatusFollowsTheStartResult) {
    const std::vector<std::pair<std::string, int>> cases{{"1", 0}, {"-7", 0}, {"99", 0}, {"0", 99}};
    for (const auto& [startResult, exitStatus] : cases) {
        SCOPED_TRACE("start result " + startResult);
        const ChildResult result = run({"page.html"}, startResult);
        EXPECT_EQ(result.exitStatus, exitStatus);
        EXPECT_EQ(result.standardError, "") << "a failed start prints nothing";
        EXPECT_EQ(result.standardOutput, "");
    }
}

TEST_F(QuillrunTest, MissingRuntimeLibraryIsAFailedStart) {
    const ChildResult result = run({"page.html"}, "1", scratch_.path().string());
    EXPECT_EQ(result.exitStatus, 99);
    EXPECT_THAT(result.standardError, ::testing::StartsWith("quillrun: "));
    EXPECT_THAT(result.standardError, HasSubstr("libnqc300.so"));
    EXPECT_EQ(std::count(result.standardError.begin(), result.standardError.end(), '\n'), 1);
    EXPECT_THAT(result.standardError, ::testing::EndsWith("\n"));
    EXPECT_EQ(result.standardOutput, "");
}

TEST_F(QuillrunTest, RuntimeLibraryIsNotTakenFromTheWorkingDirectory) {
    const std::filesystem::path workingDirectory = scratch_.path() / "cwd";
    const std::filesystem::path emptyDirectory = scratch_.path() / "empty";
    std::filesystem::create_directory(workingDirectory);
    std::filesystem::create_directory(emptyDirectory);
    std::filesystem::copy_file(std::filesystem::path(NQC300_STANDIN_DIR) / "libnqc300.so",
                               workingDirectory / "libnqc300.so");

    const ChildResult result =
        run({"page.html"}, "1", emptyDirectory.string(), "quillrun", workingDirectory);
    EXPECT_EQ(result.exitStatus, 99);
    EXPECT_EQ(receivedVector(), std::nullopt);
}

TEST_F(QuillrunTest, MissingStartExportIsAFailedStart) {
    const ChildResult result = run({"page.html"}, "1", NQC300_WITHOUT_START_DIR);
    EXPECT_EQ(result.exitStatus, 99);
    EXPECT_THAT(result.standardError, HasSubstr("__nqcStartVM"));
    EXPECT_THAT(result.standardError, HasSubstr("libnqc300.so"));
    EXPECT_EQ(std::count(result.standardError.begin(), result.standardError.end(), '\n'), 1);
    EXPECT_EQ(receivedVector(), std::nullopt);
}

TEST_F(QuillrunTest, LinksNeitherTheToolkitNorTheSupportLibrary) {
    const ChildResult result = runChild("/usr/bin/ldd", {"ldd", QUILLRUN_PATH}, {}, scratch_);
    ASSERT_EQ(result.exitStatus, 0) << result.standardError;
    EXPECT_THAT(result.standardOutput, ::testing::Not(HasSubstr("libQt")));
    EXPECT_THAT(result.standardOutput, ::testing::Not(HasSubstr("tracehook")));
    EXPECT_THAT(result.standardOutput, ::testing::Not(HasSubstr("nqc300")));
}

} // namespace
