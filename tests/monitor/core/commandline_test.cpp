#include "core/monitorarguments.h"
#include "core/monitoroptionsparser.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

using tracewin::MonitorOptionsParser;
using Args = std::vector<std::string>;

namespace {

MonitorOptionsParser quietParser(Args args, char separator = '/') {
    testing::internal::CaptureStdout();
    MonitorOptionsParser parser(std::move(args), separator);
    testing::internal::GetCapturedStdout();
    return parser;
}

TEST(MonitorOptionsParser, HelpByMinusEverywhereAndBySlashOnlyWhereTheSeparatorIsNotSlash) {
    EXPECT_TRUE(quietParser({"-h"}).isOptionHSet());
    EXPECT_FALSE(quietParser({"/h"}).isOptionHSet());
    EXPECT_TRUE(quietParser({"/h"}).isOptionDebuggeeNameSet())
        << "on this platform /h is a program name";
    EXPECT_TRUE(quietParser({"/h"}, '\\').isOptionHSet());
    EXPECT_TRUE(quietParser({"-?"}, '\\').isOptionHSet());
}

TEST(MonitorOptionsParser, HelpArgumentIsTheTextAfterTheFirstTwoCharacters) {
    MonitorOptionsParser p = quietParser({"-helpme"});
    EXPECT_TRUE(p.isOptionHSet());
    EXPECT_EQ(p.getOptionH(), Args{"elpme"});
}

TEST(MonitorOptionsParser, DoubleDashEndsTheOptions) {
    MonitorOptionsParser p = quietParser({"--", "-x", "third", "-h"});
    EXPECT_FALSE(p.errorEncounteredInParsing());
    EXPECT_EQ(p.getOptionDebuggeeName(), Args{"-x"});
    EXPECT_EQ(p.getOptionDebuggeeParms(), (Args{"third", "-h"}));
    EXPECT_FALSE(p.isOptionHSet());
}

TEST(MonitorOptionsParser, UnknownOptionBeforeTheProgramIsAnError) {
    MonitorOptionsParser p = quietParser({"-x", "-y", "prog", "a"});
    EXPECT_TRUE(p.errorEncounteredInParsing());
    EXPECT_EQ(p.getOptionInError(), "-x");
    EXPECT_EQ(p.getOptionDebuggeeName(), Args{"prog"});
    EXPECT_EQ(p.getOptionDebuggeeParms(), Args{"a"});
}

TEST(MonitorOptionsParser, NoArgumentsSetNothing) {
    MonitorOptionsParser p = quietParser({});
    EXPECT_FALSE(p.errorEncounteredInParsing());
    EXPECT_FALSE(p.isOptionHSet());
    EXPECT_FALSE(p.isOptionDebuggeeNameSet());
    EXPECT_FALSE(p.isOptionDebuggeeParmsSet());
    EXPECT_EQ(p.getNextArg(), "");
}

TEST(MonitorOptionsParser, EachParserKeepsItsOwnPositionAndPrintsItsArguments) {
    testing::internal::CaptureStdout();
    MonitorOptionsParser first({"prog", "p1"});
    MonitorOptionsParser second({"other"});
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "arg[0]=prog\narg[1]=p1\nIsParm!\narg[0]=other\n");
    EXPECT_EQ(second.getOptionDebuggeeName(), Args{"other"});
    EXPECT_EQ(first.getOptionDebuggeeParms(), Args{"p1"});
}

TEST(MonitorOptionsParser, ReadsBothHomesFromTheInitialisationFile) {
    testsupport::TempDir dir;
    std::string ini =
        dir.write("monitor.ini", "# x\nJDK_HOME=/opt/jdk\r\nOTHER=1\nJDEBUG_HOME=/opt/mon=itor\n");
    MonitorOptionsParser p = quietParser({});
    EXPECT_TRUE(p.readIniInfo(ini));
    EXPECT_EQ(p.getEnvJDKHome(), "/opt/jdk");
    EXPECT_EQ(p.getEnvJMonitorHome(), "/opt/mon=itor");
    EXPECT_FALSE(p.readIniInfo(dir.str() + "/missing.ini"));
    EXPECT_EQ(p.getEnvJDKHome(), "/opt/jdk");
}

TEST(MonitorOptionsParser, IsDigitMeansDecimalDigitsOnly) {
    EXPECT_TRUE(MonitorOptionsParser::isDigit("0123"));
    EXPECT_FALSE(MonitorOptionsParser::isDigit(""));
    EXPECT_FALSE(MonitorOptionsParser::isDigit("-1"));
    EXPECT_FALSE(MonitorOptionsParser::isDigit("1a"));
}

} // namespace

namespace {

using tracewin::MonitorArguments;

TEST(MonitorArguments, OptionsMatchByContainment) {
    MonitorArguments a = MonitorArguments::processArgs({"x-hidey", "--external=1"});
    EXPECT_TRUE(a.hide);
    EXPECT_TRUE(a.external);
    EXPECT_FALSE(a.serverRoot);
}

TEST(MonitorArguments, ServerTakesTheNextArgumentWhichIsExaminedToo) {
    MonitorArguments a = MonitorArguments::processArgs({"-server", "/srv/-hide"});
    EXPECT_EQ(a.serverRoot, std::optional<std::string>("/srv/-hide"));
    EXPECT_TRUE(a.hide);
    EXPECT_FALSE(MonitorArguments::processArgs({"-hide", "-server"}).serverRoot)
        << "a last -server has no root";
    EXPECT_EQ(MonitorArguments::processArgs({"-server", "a", "-server", "b"}).serverRoot,
              std::optional<std::string>("b"));
}

} // namespace
