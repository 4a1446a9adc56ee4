#include "store/IniFile.h"

#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <random>

#include "Bytes.h"
#include "TempDir.h"
#include "store/Codec.h"
#include "store/FileSystem.h"
#include "store/StoreError.h"

using namespace quil::store;
namespace fs = std::filesystem;

namespace {

using quil::testing::readBytes;
using quil::testing::writeBytes;

std::string fixture(const std::string& name) {
    return readBytes(std::string(QUIL_TEST_DATA) + "/ini/" + name).value_or("");
}

class IniFileTest : public ::testing::Test {
protected:
    void SetUp() override { path_ = dir_.file("Quil.ini"); }

    IniFile ini() const { return IniFile(path_); }
    IniFile withFixture(const std::string& name) {
        writeBytes(path_, fixture(name));
        return ini();
    }

    quil::testing::TempDir dir_;
    std::string path_;
};

// Passes every call to the local file system, counting the calls that change something
// (creating the temporary file, writing, syncing, renaming) and failing the k-th of them.
class FailingFileSystem final : public FileSystem {
public:
    explicit FailingFileSystem(int failAt) : failAt_(failAt) {}
    int changes() const { return count_; }
    bool failReads = false;

    std::unique_ptr<File> open(const std::string& path, OpenMode mode) override {
        if (mode == OpenMode::Read && failReads) throw StoreError(fileNameOf(path), "読めません");
        if (mode != OpenMode::Read) step(path);
        return std::make_unique<Wrapped>(*this, local().open(path, mode));
    }
    bool exists(const std::string& path) override { return local().exists(path); }
    bool isDirectory(const std::string& path) override { return local().isDirectory(path); }
    void rename(const std::string& from, const std::string& to) override {
        step(to);
        local().rename(from, to);
    }
    void remove(const std::string& path) override { local().remove(path); }

private:
    class Wrapped final : public File {
    public:
        Wrapped(FailingFileSystem& owner, std::unique_ptr<File> inner)
            : File(inner->path()), owner_(owner), inner_(std::move(inner)) {}
        std::uint64_t size() override { return inner_->size(); }
        std::size_t readAt(std::uint64_t o, void* b, std::size_t n) override {
            return inner_->readAt(o, b, n);
        }
        void writeAt(std::uint64_t o, const void* b, std::size_t n) override {
            owner_.step(path());
            inner_->writeAt(o, b, n);
        }
        void truncate(std::uint64_t s) override { inner_->truncate(s); }
        void sync() override {
            owner_.step(path());
            inner_->sync();
        }

    private:
        FailingFileSystem& owner_;
        std::unique_ptr<File> inner_;
    };

    void step(const std::string& path) {
        if (++count_ == failAt_) throw StoreError(fileNameOf(path), "書き込みに失敗しました。");
    }
    int failAt_;
    int count_ = 0;
};

struct ScopedFileSystem {
    explicit ScopedFileSystem(FileSystem& f) { FileSystem::setCurrent(&f); }
    ~ScopedFileSystem() { FileSystem::setCurrent(nullptr); }
};

}  // namespace

TEST_F(IniFileTest, MissingFileGivesDefaultsAndIsNotCreatedByReading) {
    EXPECT_EQ(ini().readText("Dir", "Dir", "既定"), "既定");
    EXPECT_EQ(ini().readInteger("Location", "Width", 640), 640);
    EXPECT_FALSE(ini().hasKey("Dir", "Dir"));
    EXPECT_FALSE(fs::exists(path_));
}

TEST_F(IniFileTest, FirstWriteCreatesFileAndSectionsWithCrlf) {
    IniFile f = ini();
    f.writeText("Version", "No", "0.30");
    f.writeInteger("Location", "Top", -5);
    f.writeInteger("Location", "Left", 7);
    f.writeText("Version", "Extra", "");
    EXPECT_EQ(readBytes(path_),
              "[Version]\r\nNo=0.30\r\nExtra=\r\n\r\n[Location]\r\nTop=-5\r\nLeft=7\r\n");
    EXPECT_TRUE(f.hasKey("version", "extra"));
    EXPECT_EQ(f.readText("Version", "Extra", "x"), "");
    EXPECT_FALSE(fs::exists(path_ + ".tmp"));
}

TEST_F(IniFileTest, MatchesWithoutCaseAndFirstSectionOrKeyWins) {
    IniFile f = withFixture("mixed-eol.ini");
    EXPECT_EQ(f.readInteger("LOCATION", "top", 0), 12);     // not the later [Location] Top=99
    EXPECT_EQ(f.readText("Location", "Left", ""), "34");    // "left = 34 " trimmed
    EXPECT_EQ(f.readText("viewitem", "CAR", ""), "101");    // first of two car= lines
    EXPECT_EQ(f.readText("Dir", "Dir", ""), "/srv/quil/");  // last line, no line break
    EXPECT_EQ(f.readText("", "orphan", "none"), "none");    // key before any section
    EXPECT_EQ(f.readText("Location", "no equals sign here", "none"), "none");
}

TEST_F(IniFileTest, IntegersMustBeWholeNumbers) {
    IniFile f = withFixture("non-numeric.ini");
    EXPECT_EQ(f.readInteger("Location", "Top", 1), 1);      // abc
    EXPECT_EQ(f.readInteger("Location", "Left", 2), 2);     // 12x
    EXPECT_EQ(f.readInteger("Location", "Width", 3), 800);  // " 800 "
    EXPECT_EQ(f.readInteger("Location", "Height", 4), 4);   // empty
    EXPECT_EQ(f.readInteger("TabWidth", "03", 60), 60);     // beyond 32 bits
    EXPECT_EQ(f.readInteger("TabWidth", "04", 60), INT_MIN);
    EXPECT_EQ(f.readInteger("TabWidth", "05", 60), 31);  // $1F
    EXPECT_EQ(f.readText("Item", "Time1", ""), "abcd");

    EXPECT_EQ(parseIniInteger("+5"), 5);
    EXPECT_EQ(parseIniInteger("2147483647"), INT_MAX);
    EXPECT_EQ(parseIniInteger("2147483648"), std::nullopt);
    EXPECT_EQ(parseIniInteger("-2147483649"), std::nullopt);
    EXPECT_EQ(parseIniInteger("0x10"), 16);
    EXPECT_EQ(parseIniInteger("$FFFFFFFF"), -1);
    EXPECT_EQ(parseIniInteger("$100000000"), std::nullopt);
    for (const char* bad : {"", "-", "+", "$", "0x", "1 2", "1.5", "１２", "12g", "$G"})
        EXPECT_EQ(parseIniInteger(bad), std::nullopt) << bad;
}

TEST_F(IniFileTest, Cp932SecondBytesAreOrdinaryBytes) {
    IniFile f = withFixture("cp932-backslash.ini");
    // 表 ソ 能 end in 0x5C; ゾ ends in 0x5D (']') inside a section name.
    EXPECT_EQ(f.readText("表示", "ソフト", ""), "能力表");
    EXPECT_EQ(f.readText("表示", "Dir", ""), "C:\\データ\\表\\");
    EXPECT_EQ(f.readText("見ゾ", "名前", ""), "ソ");

    const std::string before = readBytes(path_).value_or("");
    f.writeText("表示", "ソフト", "表\\ソ");
    std::string expected = before;
    const std::string oldLine = toCp932("ソフト=能力表");
    expected.replace(expected.find(oldLine), oldLine.size(), toCp932("ソフト=表\\ソ"));
    EXPECT_EQ(readBytes(path_), expected);
    EXPECT_EQ(f.readText("表示", "ソフト", ""), "表\\ソ");

    f.writeText("見ゾ", "能", "表");
    EXPECT_EQ(readBytes(path_), expected + toCp932("能=表") + "\r\n");
}

TEST_F(IniFileTest, RewriteInPlaceKeepsEveryOtherByte) {
    IniFile f = withFixture("mixed-eol.ini");
    const std::string before = readBytes(path_).value_or("");

    f.writeInteger("Location", "top", 7);  // the key keeps its spelling and its CRLF
    std::string expected = before;
    expected.replace(expected.find("TOP=12\r\n"), 8, "TOP=7\r\n");
    EXPECT_EQ(readBytes(path_), expected);

    f.writeText("LOCATION", "Left", "8");  // an LF line stays LF
    expected.replace(expected.find("left = 34 \n"), 11, "left=8\n");
    EXPECT_EQ(readBytes(path_), expected);

    f.writeText("Location", "Left", "8");  // same value: nothing is written
    EXPECT_EQ(readBytes(path_), expected);
}

TEST_F(IniFileTest, NewKeyGoesAtTheEndOfItsSection) {
    writeBytes(path_, "[A]\r\nx=1\r\n\r\n[B]\r\ny=2\r\n\r\n[A]\r\nz=3\r\n");
    ini().writeText("a", "New", "v");
    EXPECT_EQ(readBytes(path_), "[A]\r\nx=1\r\nNew=v\r\n\r\n[B]\r\ny=2\r\n\r\n[A]\r\nz=3\r\n");

    // Into the last section of a file without a final line break.
    IniFile f = withFixture("mixed-eol.ini");
    const std::string before = readBytes(path_).value_or("");
    f.writeText("Dir", "ExeDir", "/opt/");
    EXPECT_EQ(readBytes(path_), before + "\r\nExeDir=/opt/\r\n");
    // A new section after it.
    f.writeText("Item", "Time", "1");
    EXPECT_EQ(readBytes(path_), before + "\r\nExeDir=/opt/\r\n\r\n[Item]\r\nTime=1\r\n");
}

TEST_F(IniFileTest, ValueWithLineBreaksCannotAddLines) {
    IniFile f = ini();
    f.writeText("Dir", "Dir", "a\r\n[Evil]\nx=1");
    EXPECT_EQ(f.readText("Evil", "x", "none"), "none");
    EXPECT_EQ(f.readText("Dir", "Dir", ""), "a  [Evil] x=1");
}

TEST_F(IniFileTest, WriteAllIsOneReplacement) {
    FailingFileSystem counting(0);
    ScopedFileSystem scope(counting);
    ini().writeAll({{"S", "a", "1"}, {"T", "b", "2"}, {"S", "c", "3"}});
    EXPECT_EQ(counting.changes(), 4);  // create temp, write, sync, rename
    EXPECT_EQ(readBytes(path_), "[S]\r\na=1\r\nc=3\r\n\r\n[T]\r\nb=2\r\n");
}

TEST_F(IniFileTest, LongLinesAndGarbageAreReadSafely) {
    IniFile f = withFixture("long-line.ini");
    EXPECT_EQ(f.readText("Dir", "Dir", "").size(), 70000u);
    EXPECT_EQ(f.readInteger("Location", "Width", 0), 800);

    // A line of four megabytes with no line break, then deterministic binary noise.
    std::string big = "[Location]\r\nTop=1\r\n" + std::string(4u << 20, '=');
    std::mt19937 rng(12345);
    for (int i = 0; i < 1 << 16; ++i) big.push_back(static_cast<char>(rng() & 0xFF));
    writeBytes(path_, big);
    EXPECT_EQ(f.readInteger("Location", "Top", 0), 1);
    f.writeText("Location", "Top", "2");
    std::string expected = big;
    expected[16] = '2';
    EXPECT_TRUE(readBytes(path_) == expected);  // every other byte untouched
    f.writeText("Zz", "k", "v");
    EXPECT_EQ(f.readText("Zz", "k", ""), "v");
}

TEST_F(IniFileTest, UnreadableFileGivesDefaultsButWritesAreRefused) {
    writeBytes(path_, "[S]\r\nk=1\r\n");
    FailingFileSystem failing(0);
    failing.failReads = true;
    ScopedFileSystem scope(failing);
    EXPECT_EQ(ini().readInteger("S", "k", 9), 9);
    EXPECT_THROW(ini().writeText("S", "k", "2"), StoreError);
    EXPECT_EQ(readBytes(path_), "[S]\r\nk=1\r\n");
}

TEST_F(IniFileTest, FailedWriteLeavesTheFileAsItWas) {
    for (bool existing : {false, true}) {
        for (int k = 1;; ++k) {
            fs::remove(path_);
            if (existing) writeBytes(path_, fixture("cp932-backslash.ini"));
            const std::string before = existing ? readBytes(path_).value_or("") : "";
            FailingFileSystem failing(k);
            ScopedFileSystem scope(failing);
            try {
                ini().writeAll({{"表示", "ソフト", "新"}, {"New", "k", "v"}});
            } catch (const StoreError& e) {
                EXPECT_EQ(e.file(), "Quil.ini") << k;
                EXPECT_EQ(fs::exists(path_), existing) << k;
                if (existing) {
                    EXPECT_EQ(readBytes(path_), before) << k;
                }
                EXPECT_FALSE(fs::exists(path_ + ".tmp")) << k;
                continue;
            }
            // The k-th change was never reached: the write went through completely.
            EXPECT_EQ(k, 5);
            EXPECT_EQ(ini().readText("表示", "ソフト", ""), "新");
            EXPECT_EQ(ini().readText("new", "K", ""), "v");
            break;
        }
    }
}
