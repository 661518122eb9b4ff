#pragma once
// Reading the records of an open file in bulk, straight from its storage, for a reader in this
// process that takes many records at a time (the relational engine). The file is the one open at
// a position block of a client, as for BTRCALLID: the client's own transaction, its locks and
// other processes' opens hold as they do for the operations. A file whose storage cannot be read
// this way answers 1 (invalid operation), and the reader uses the operations instead.

#include <cstdint>

namespace vader::microkernel {

// Receives the records of a scan, each straight from the storage: `data` is valid only during
// the call, which runs under the record manager's lock (it must make no call of its own).
class RecordSink {
 public:
  // False: the sink wants no more records this time.
  virtual bool Take(uint32_t position, const uint8_t* data, uint32_t length) = 0;

 protected:
  ~RecordSink() = default;
};

// Where a scan begins: on from the last record it gave, the first record of its order, or the
// first one at or past the key image given.
enum ScanStart : int8_t { kScanContinue = 0, kScanFirst, kScanGreaterEqual, kScanGreater };

}  // namespace vader::microkernel

// Hands the records of key `keyNumber` (-1: the physical order) to `sink` from `start` (the key
// image in `key` for the two bounded starts) until the sink wants no more (0) or the records end
// (9). Any other status tells why nothing more could be read.
extern "C" int16_t VADERSCANRECORDS(void* positionBlock, const uint8_t* clientId, int8_t keyNumber,
                                    int8_t start, const uint8_t* key, uint8_t keyLength,
                                    vader::microkernel::RecordSink* sink);
