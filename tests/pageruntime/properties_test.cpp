#include "support/tempdir.h"
#include "tracehook/atomicfile.h"
#include "tracehook/properties.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

using tracehook::Properties;

TEST(Properties, ReadsSeparatorsCommentsAndBlanks) {
    Properties p = Properties::parse(
        "# comment\n! also\n  a=1\nb:2\nc 3\nd\n\ne = spaced value  \n  # indented comment\n");
    EXPECT_EQ(p.value("a"), "1");
    EXPECT_EQ(p.value("b"), "2");
    EXPECT_EQ(p.value("c"), "3");
    EXPECT_EQ(p.get("d"), std::optional<std::string>(""));
    EXPECT_EQ(p.value("e"), "spaced value  ");
    EXPECT_EQ(p.size(), 5u);
    EXPECT_FALSE(p.get("# comment"));
}

TEST(Properties, KeepsOnlyTheFirstSeparatorAndLaterDuplicatesWin) {
    Properties p = Properties::parse("url=http://host:80/a=b\nk=1\nk=2\n");
    EXPECT_EQ(p.value("url"), "http://host:80/a=b");
    EXPECT_EQ(p.value("k"), "2");
    ASSERT_EQ(p.entries().size(), 2u);
    EXPECT_EQ(p.entries()[1].first, "k");
}

TEST(Properties, DecodesEscapesAndContinuations) {
    Properties p = Properties::parse(
        "tab=a\\tb\nnl=x\\ny\nkey\\ with\\=sep=v\nlong=one \\\n    two \\\n three\n"
        "uni=\\u00e9\\u20AC\npair=\\uD83D\\uDE00\nbad=\\u12\nslash=c:\\\\dir\n");
    EXPECT_EQ(p.value("tab"), "a\tb");
    EXPECT_EQ(p.value("nl"), "x\ny");
    EXPECT_EQ(p.value("key with=sep"), "v");
    EXPECT_EQ(p.value("long"), "one two three");
    EXPECT_EQ(p.value("uni"), "\xC3\xA9\xE2\x82\xAC");
    EXPECT_EQ(p.value("pair"), "\xF0\x9F\x98\x80");
    EXPECT_EQ(p.value("bad"), "\\u12");
    EXPECT_EQ(p.value("slash"), "c:\\dir");
}

TEST(Properties, AcceptsCrLfAndCrAndMissingFinalNewline) {
    Properties p = Properties::parse("a=1\r\nb=2\rc=3");
    EXPECT_EQ(p.value("a"), "1");
    EXPECT_EQ(p.value("b"), "2");
    EXPECT_EQ(p.value("c"), "3");
}

TEST(Properties, ToleratesHostileText) {
    for (const char* text :
         {"", "\\", "=", ":::", "\\u", "a=\\", "\\\\\\", "\n\n\n", "=\\u00", "\xff\xfe=\x80"}) {
        Properties p = Properties::parse(text);
        (void)p.toText();
    }
    EXPECT_EQ(Properties::parse("=value").value(""), "value");
    EXPECT_EQ(Properties::parse("a=\\").value("a"), "");
}

TEST(Properties, WriterOutputReadsBackTheSameEntries) {
    Properties p;
    p.set("plain", "value");
    p.set("with space", " leading and trailing ");
    p.set("k=v:x", "a=b:c");
    p.set("#hash", "#not a comment");
    p.set("ctl", "t\tn\nr\rbs\\");
    p.set("utf8", "\xC3\xA9t\xC3\xA9");
    p.set("empty", "");
    Properties back = Properties::parse(p.toText());
    EXPECT_EQ(back.entries(), p.entries());
}

TEST(Properties, SetReplacesInPlaceAndRemoveDrops) {
    Properties p = Properties::parse("a=1\nb=2\nc=3\n");
    p.set("b", "20");
    EXPECT_TRUE(p.remove("a"));
    EXPECT_FALSE(p.remove("zz"));
    EXPECT_EQ(p.toText(), "b=20\nc=3\n");
}

TEST(Properties, LoadReportsAMissingFile) {
    testsupport::TempDir dir;
    EXPECT_FALSE(Properties::load(dir.str() + "/missing.properties"));
    std::string path = dir.write("x.properties", "port=8082\n");
    ASSERT_TRUE(Properties::load(path));
    EXPECT_EQ(Properties::load(path)->value("port"), "8082");
}

TEST(AtomicFile, ReplacesTheWholeFileAndLeavesNoTemporaryBehind) {
    testsupport::TempDir dir;
    std::string path =
        dir.write("settings.properties", "old contents that are longer than the new ones\n");
    ::chmod(path.c_str(), 0640);
    EXPECT_EQ(tracehook::AtomicFile::write(path, "new=1\n"), "");
    EXPECT_EQ(testsupport::readFile(path), "new=1\n");
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    int files = 0;
    for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(dir.path()))
        ++files;
    EXPECT_EQ(files, 1);
}

TEST(AtomicFile, CreateMakesAFileOnceAndNeverReplacesOne) {
    testsupport::TempDir dir;
    const std::string path = dir.str() + "/new.properties";
    EXPECT_EQ(tracehook::AtomicFile::create(path, "port=1\n"), "");
    EXPECT_EQ(testsupport::readFile(path), "port=1\n");
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);
    EXPECT_NE(tracehook::AtomicFile::create(path, "port=2\n"), "");
    EXPECT_EQ(testsupport::readFile(path), "port=1\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                            std::filesystem::directory_iterator()),
              1);
}

TEST(AtomicFile, FailsClearlyWhenTheDirectoryIsMissing) {
    testsupport::TempDir dir;
    std::string error = tracehook::AtomicFile::write(dir.str() + "/no/such/dir/f.properties", "x");
    EXPECT_NE(error, "");
}
