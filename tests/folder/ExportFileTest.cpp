// The one writer of the files the program makes for the user (CSV of the list, the tables
// and the register): a failure at any step leaves the old file whole and is raised.

#include <gtest/gtest.h>

#include <filesystem>

#include "CrashingFileSystem.h"
#include "TestSupport.h"
#include "folder/ExportFile.h"
#include "store/StoreError.h"

namespace quil::folder {
namespace {

using namespace quil::testing;
using Op = FaultyFileSystem::Op;

const std::string kOld = "old,file\r\n1,2\r\n";

// Long enough for the writer to hand over more than one piece.
std::string newContent() {
    std::string s;
    for (int i = 0; i < 2000; ++i) s += "row," + std::to_string(i) + "\r\n";
    return s;
}

// The unfinished copies ("*.part") a folder holds.
int partFiles(const TempDir& dir) {
    int n = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir.path()))
        n += e.path().extension() == ".part";
    return n;
}

void writeInPieces(const std::string& path, const std::string& bytes, store::FileSystem& fs) {
    writeExportFile(
        path,
        [&](const ExportSink& sink) {
            for (std::size_t at = 0; at < bytes.size(); at += 4096)
                sink(std::string_view(bytes).substr(at, 4096));
        },
        fs);
}

TEST(ExportFile, WritesTheBytesAndReplacesAnOldFile) {
    TempDir dir;
    const std::string path = dir.file("out.csv");
    writeBytes(path, kOld);
    writeInPieces(path, newContent(), store::FileSystem::local());
    EXPECT_EQ(readBytes(path), newContent());
    EXPECT_EQ(partFiles(dir), 0);
    writeExportFile(path, std::string_view("a\r\n"));
    EXPECT_EQ(readBytes(path), "a\r\n");
}

// Every write, sync, rename and open that can fail, failed in turn: the old file stays
// whole, no unfinished copy is left, and the caller hears of it.
TEST(ExportFile, AFailureAtAnyStepLeavesTheOldFileWholeAndIsRaised) {
    for (Op op : {Op::Open, Op::Write, Op::Sync, Op::Rename}) {
        for (int k = 1;; ++k) {
            SCOPED_TRACE(::testing::Message() << "op " << int(op) << " call " << k);
            TempDir dir;
            const std::string path = dir.file("out.csv");
            writeBytes(path, kOld);
            FaultyFileSystem fs(op, k);
            try {
                writeInPieces(path, newContent(), fs);
            } catch (const store::StoreError& e) {
                // The message names the user's file, not the unfinished copy beside it.
                EXPECT_EQ(e.file(), "out.csv") << e.what();
            }
            if (!fs.fired()) {
                EXPECT_EQ(readBytes(path), newContent());
                break;
            }
            EXPECT_EQ(readBytes(path), kOld);
            EXPECT_EQ(partFiles(dir), 0);
            EXPECT_THROW(
                {
                    FaultyFileSystem again(op, k);
                    writeInPieces(path, newContent(), again);
                },
                store::StoreError);
        }
    }
}

// Cut off after any number of changes, as by a crash: the named file holds either the old
// bytes or the new ones, never a part.
TEST(ExportFile, ACrashAtAnyPointLeavesTheOldFileOrTheNewOne) {
    for (int k = 1;; ++k) {
        SCOPED_TRACE(k);
        TempDir dir;
        const std::string path = dir.file("out.csv");
        writeBytes(path, kOld);
        CrashingFileSystem fs(k);
        try {
            writeInPieces(path, newContent(), fs);
        } catch (const store::StoreError&) {
        }
        const auto now = readBytes(path);
        ASSERT_TRUE(now);
        if (!fs.crashed()) {
            EXPECT_EQ(*now, newContent());
            break;
        }
        EXPECT_TRUE(*now == kOld || *now == newContent());
    }
}

TEST(ExportFile, ADataFileOrAFolderIsRefusedBeforeAnythingIsWritten) {
    TempDir dir;
    writeBytes(dir.file("Quil.qud"), kOld);
    FaultyFileSystem fs(Op::Open, 1000);
    EXPECT_THROW(writeExportFile(dir.file("Quil.qud"), std::string_view("x"), fs),
                 store::StoreError);
    EXPECT_THROW(writeExportFile(dir.file("quil.QUI"), std::string_view("x"), fs),
                 store::StoreError);
    EXPECT_THROW(writeExportFile(dir.path(), std::string_view("x"), fs), store::StoreError);
    EXPECT_EQ(fs.calls(Op::Open), 0);
    EXPECT_EQ(readBytes(dir.file("Quil.qud")), kOld);
    EXPECT_FALSE(readBytes(dir.file("quil.QUI")));
}

// A planted link beside the target is neither written through nor taken for our copy; two
// exports to one file each write a copy of their own, so the one that commits first puts
// its own bytes in place, whatever the other has written so far.
TEST(ExportFile, APlantedLinkOrASecondExportNeverSharesTheCopyBeside) {
    TempDir dir;
    writeBytes(dir.file("Quil.qud"), kOld);
    std::filesystem::create_symlink(dir.file("Quil.qud"), dir.file("out.csv.part"));
    writeExportFile(dir.file("out.csv"), std::string_view("title\r\n"));
    EXPECT_EQ(readBytes(dir.file("Quil.qud")), kOld);
    EXPECT_EQ(readBytes(dir.file("out.csv")), "title\r\n");
    EXPECT_TRUE(std::filesystem::is_symlink(dir.file("out.csv.part")));
    std::filesystem::remove(dir.file("out.csv.part"));

    FileBeside first(dir.file("out.csv"));
    FileBeside second(dir.file("out.csv"));
    second.write("second, half\r\n");
    first.write("first\r\n");
    first.commit();
    EXPECT_EQ(readBytes(dir.file("out.csv")), "first\r\n");
    second.write("second, rest\r\n");
    second.commit();
    EXPECT_EQ(readBytes(dir.file("out.csv")), "second, half\r\nsecond, rest\r\n");
    EXPECT_EQ(partFiles(dir), 0);
}

// A link the user names is written through to the file it points to and stays a link, unless
// it points to a data set's file; a file the program puts in place itself is never a link.
TEST(ExportFile, ALinkIsWrittenThroughUnlessItLeadsToADataFile) {
    TempDir dir;
    writeBytes(dir.file("Quil.qud"), kOld);
    writeBytes(dir.file("report.csv"), kOld);
    std::filesystem::create_symlink(dir.file("report.csv"), dir.file("latest.csv"));
    writeExportFile(dir.file("latest.csv"), std::string_view("new\r\n"));
    EXPECT_TRUE(std::filesystem::is_symlink(dir.file("latest.csv")));
    EXPECT_EQ(readBytes(dir.file("report.csv")), "new\r\n");

    std::filesystem::create_symlink(dir.file("Quil.qud"), dir.file("out.csv"));
    for (const std::string name : {"out.csv", "swap.journal", "QuilExt.db-wal", "Quil.kept"})
        EXPECT_THROW(writeExportFile(dir.file(name), std::string_view("x")), store::StoreError)
            << name;
    EXPECT_EQ(readBytes(dir.file("Quil.qud")), kOld);

    EXPECT_THROW(FileBeside(dir.file("out.csv"), FileRole::ProgramFile), store::StoreError);
    EXPECT_EQ(readBytes(dir.file("Quil.qud")), kOld);
    FileBeside pulled(dir.file("Quil.qui"), FileRole::ProgramFile);
    pulled.write("items");
    pulled.commit();
    EXPECT_EQ(readBytes(dir.file("Quil.qui")), "items");
}

}  // namespace
}  // namespace quil::folder
