// Values that arrive row by row (a frame of every curve) and are read back
// column by column (a curve's every frame), in memory that does not grow
// with the rows: a block of rows is held, column by column, and each full
// block goes to a file with no name beside the output, gone with the
// process however it ends.
//
//   fileio::ColumnSpool spool(curves, "/out/folder");
//   for each frame: for each curve c: spool.set(c, v);  spool.endRow();
//   spool.read(c, first, count, values);
//
// Failures (no room on the disk, a read that comes back short) are
// fileio::Error, one line.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace fileio {

class ColumnSpool {
public:
    // expectedRows: a hint, so a short run holds no more than it needs;
    // blockBytes: about the memory held, though a block keeps at least 16 rows.
    ColumnSpool(std::size_t columns, std::string folder, std::size_t expectedRows,
                std::size_t blockBytes = std::size_t(16) << 20);
    ~ColumnSpool();
    ColumnSpool(const ColumnSpool&) = delete;
    ColumnSpool& operator=(const ColumnSpool&) = delete;

    std::size_t rows() const { return rows_; }
    bool spilled() const { return fd_ >= 0; }

    void set(std::size_t column, double value) { block_[column * blockRows_ + inBlock_] = value; }
    void endRow();
    // count values of a column from row first on; first + count <= rows().
    void read(std::size_t column, std::size_t first, std::size_t count, double* out) const;

private:
    void spill();
    std::size_t columns_;
    std::string folder_;
    std::size_t blockRows_;
    std::vector<double> block_;  // the rows not yet spilled, column after column
    std::size_t inBlock_ = 0;    // rows in block_
    std::size_t rows_ = 0;
    std::size_t spilledBlocks_ = 0;
    int fd_ = -1;
};

}  // namespace fileio
