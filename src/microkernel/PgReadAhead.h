#pragma once
// Rows of a sequential walk over a server file, read in growing batches ahead of the calls that
// will ask for them: walking many records costs a round trip per batch instead of one per
// record. The rows serve only the next steps of the same walk, and only while nothing may have
// changed the file since they were read (see Stamp).

#include <cstddef>
#include <cstdint>
#include <vector>

#include "microkernel/Bytes.h"
#include "microkernel/FileStore.h"

namespace vader::microkernel {

class ReadAhead {
 public:
  // What may change a file under rows read ahead: when any part differs from the one the rows
  // were read under, they may be stale.
  struct Stamp {
    uint64_t localWrites = 0;  // writes and commits on the file through this process
    uint64_t announced = 0;    // changes the server announced to the reading connection
    uint64_t definition = 0;   // definitions the reading store loaded
    bool operator==(const Stamp&) const = default;
  };

  // Whether a seek beyond `entry` (key paths) or `pos` (the physical order, `number` -1) in
  // direction `forward` is the next step of this walk, and the file unchanged since (`now`).
  bool Continues(int number, bool forward, const Bytes& entry, uint32_t pos,
                 const Stamp& now) const;
  bool HasRows() const { return next_ < filled_; }
  // Hands the next row over; buffers are swapped, so a long walk allocates nothing per row.
  void Take(Row& row);

  // The number of rows the next read asks for: growing while the walk goes on, at least
  // `expected` when the caller said how many it wants, at most `cap`.
  size_t NextBatch(bool continuing, size_t expected, size_t cap) const;
  // Starts a batch of the walk along `number` in direction `forward`, read under `stamp`;
  // rows are then added with Add, in walk order.
  void Begin(int number, bool forward, const Stamp& stamp, size_t size);
  Row& Add();
  // Drops the rows: the next seek reads from the server and the batches grow from one again.
  void Forget();

 private:
  std::vector<Row> rows_;
  size_t filled_ = 0, next_ = 0;
  size_t batch_ = 0;  // rows the last read asked for; 0 while no walk is under way
  int number_ = 0;
  bool forward_ = true;
  Stamp stamp_;
  Bytes lastEntry_;       // the row served last, where the next step starts
  uint32_t lastPos_ = 0;
};

}  // namespace vader::microkernel
