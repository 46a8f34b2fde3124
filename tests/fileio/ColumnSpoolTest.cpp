// Rows in, columns out: every value comes back where it was put, whether
// its block stayed in memory or went to disk, and across block edges.
#include "fileio/ColumnSpool.h"
#include "fileio/SafeFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

double valueAt(std::size_t row, std::size_t column) { return double(row) * 1000.0 + double(column) + 0.25; }

struct SpoolFolder {
    fs::path dir = fs::temp_directory_path() / ("qmf_spool_" + std::to_string(::getpid()));
    SpoolFolder() { fs::create_directories(dir); }
    ~SpoolFolder() { fs::remove_all(dir); }
};

TEST(ColumnSpool, ColumnsComeBackAsPutInMemoryAndSpilled) {
    SpoolFolder folder;
    const struct {
        std::size_t columns, rows, blockBytes;
        bool spilled;
    } cases[] = {
        {3, 10, 1 << 20, false},  // one block, never on disk
        {3, 100, 1, true},        // blocks of 16 rows, the last one partial
        {5, 96, 1, true},         // a last block exactly full: all on disk
        {1, 17, 1, true},         // one row past the first block
        {4, 0, 1, false},         // nothing at all
    };
    for (const auto& c : cases) {
        fileio::ColumnSpool spool(c.columns, folder.dir.string(), c.rows, c.blockBytes);
        for (std::size_t r = 0; r < c.rows; ++r) {
            for (std::size_t k = 0; k < c.columns; ++k) spool.set(k, valueAt(r, k));
            spool.endRow();
        }
        EXPECT_EQ(spool.rows(), c.rows);
        EXPECT_EQ(spool.spilled(), c.spilled) << c.columns << "x" << c.rows;
        // Whole columns, then pieces that start and end inside blocks.
        for (std::size_t k = 0; k < c.columns; ++k) {
            std::vector<double> got(c.rows, -1);
            spool.read(k, 0, c.rows, got.data());
            for (std::size_t r = 0; r < c.rows; ++r) ASSERT_EQ(got[r], valueAt(r, k)) << r << "," << k;
            for (std::size_t first = 0; first + 7 <= c.rows; first += 5) {
                double piece[7];
                spool.read(k, first, 7, piece);
                for (std::size_t i = 0; i < 7; ++i) ASSERT_EQ(piece[i], valueAt(first + i, k));
            }
        }
        // Nothing is left in the folder: the file has no name.
        EXPECT_TRUE(fs::is_empty(folder.dir));
    }
}

TEST(ColumnSpool, ReadsPastTheEndAreRefused) {
    SpoolFolder folder;
    fileio::ColumnSpool spool(2, folder.dir.string(), 40, 1);
    for (int r = 0; r < 40; ++r) {
        spool.set(0, r);
        spool.set(1, -r);
        spool.endRow();
    }
    double v[64];
    EXPECT_THROW(spool.read(2, 0, 1, v), fileio::Error);
    EXPECT_THROW(spool.read(0, 30, 11, v), fileio::Error);
    EXPECT_THROW(spool.read(0, 41, 0, v), fileio::Error);
    EXPECT_NO_THROW(spool.read(1, 40, 0, v));
}

TEST(ColumnSpool, AFolderThatCannotHoldItIsOneLine) {
    fileio::ColumnSpool spool(1, "/nonexistent-qmf-folder", 100, 1);
    for (int r = 0; r < 15; ++r) {
        spool.set(0, r);
        spool.endRow();
    }
    spool.set(0, 15);
    try {
        spool.endRow();
        ADD_FAILURE() << "spilled into a missing folder";
    } catch (const fileio::Error& e) {
        EXPECT_EQ(std::string(e.what()),
                  "cannot hold the keys in a temporary file in /nonexistent-qmf-folder: No such file or directory");
    }
}

}  // namespace
