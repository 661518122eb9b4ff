// Decoding and encoding a 20-field record of mixed native types, as a table does for every
// record it reads or writes, against a plain per-field copy of the same bytes.

#include <benchmark/benchmark.h>

#include <array>
#include <cstring>
#include <vector>

#include "btrieve/BtrConst.h"
#include "btrieve/BtrConv.h"

namespace {

using namespace vader;

struct Field {
  uint16_t type;
  uint16_t size;
  int16_t dec;
  uint16_t offset = 0;       // in the native record
  uint16_t localOffset = 0;  // in the engine record
};

// A customer-like record: texts, integers, floats, dates, packed and zoned numbers, flags.
std::vector<Field> Layout() {
  std::vector<Field> fields = {
      {BT_STRING, 30, 0},       {BT_INTEGER, 2, 0},   {BT_INTEGER, 4, 0},
      {BT_FLOAT, 8, 0},         {BT_FLOAT, 4, 0},     {BT_DATE, 4, 0},
      {BT_TIME, 4, 0},          {BT_DECIMAL, 6, 2},   {BT_MONEY, 5, 2},
      {BT_LOGICAL, 1, 0},       {BT_NUMERIC, 8, 2},   {BT_BFLOAT, 8, 0},
      {BT_LSTRING, 20, 0},      {BT_ZSTRING, 16, 0},  {BT_UNSIGNED_BINARY, 4, 0},
      {BT_AUTOINCREMENT, 4, 0}, {BT_BIT, 1, 0x04},    {BT_CURRENCY, 8, 0},
      {BT_TIMESTAMP, 8, 0},     {BT_NUMERICSTS, 6, 1}};
  uint16_t offset = 0, local = 0;
  for (Field& f : fields) {
    f.offset = offset;
    f.localOffset = local;
    offset = static_cast<uint16_t>(offset + f.size);
    local = static_cast<uint16_t>(local + std::max<uint16_t>(f.size + 1, 8));
  }
  return fields;
}

struct Record {
  std::vector<Field> fields = Layout();
  std::array<uint8_t, 512> native{};
  std::array<uint8_t, 1024> local{};
};

// Engine values for every field, encoded once so that decoding reads real data.
Record MakeRecord() {
  Record r;
  const double numbers[] = {1234.5, 0.25, -98.76, 12.5};
  int n = 0;
  for (const Field& f : r.fields) {
    uint8_t* value = r.local.data() + f.localOffset;
    switch (f.type) {
      case BT_STRING:
      case BT_LSTRING:
      case BT_ZSTRING:
        std::strcpy(reinterpret_cast<char*>(value), "Vader Ltd");
        break;
      case BT_INTEGER:
      case BT_UNSIGNED_BINARY:
      case BT_AUTOINCREMENT: {
        const int32_t v = 4711;
        std::memcpy(value, &v, 4);
        break;
      }
      case BT_DATE: {
        const int32_t v = DayNumber(2024, 2, 29);
        std::memcpy(value, &v, 4);
        break;
      }
      case BT_TIME: {
        const int32_t v = 36'930'500;
        std::memcpy(value, &v, 4);
        break;
      }
      case BT_LOGICAL:
      case BT_BIT: {
        const int16_t v = -1;
        std::memcpy(value, &v, 2);
        break;
      }
      case BT_TIMESTAMP: {
        const double v = DayNumber(2024, 2, 29) * 86'400'000.0 + 1000;
        std::memcpy(value, &v, 8);
        break;
      }
      default: {
        const double v = numbers[n++ % 4];
        std::memcpy(value, &v, 8);
      }
    }
    ConvertLocalToNative(f.type, f.size, f.dec, f.size, value, r.native.data() + f.offset);
  }
  return r;
}

void BM_DecodeRecord(benchmark::State& state) {
  Record r = MakeRecord();
  for (auto _ : state) {
    for (const Field& f : r.fields) {
      bool blank = false;
      ConvertNativeToLocal(f.type, f.size, f.dec, f.size, r.native.data() + f.offset,
                           r.local.data() + f.localOffset, blank);
      benchmark::DoNotOptimize(blank);
    }
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * 20);
}
BENCHMARK(BM_DecodeRecord);

void BM_EncodeRecord(benchmark::State& state) {
  Record r = MakeRecord();
  for (auto _ : state) {
    for (const Field& f : r.fields)
      ConvertLocalToNative(f.type, f.size, f.dec, f.size, r.local.data() + f.localOffset,
                           r.native.data() + f.offset);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * 20);
}
BENCHMARK(BM_EncodeRecord);

// The floor: each field's bytes copied to its engine slot with no conversion at all.
void BM_CopyRecordBaseline(benchmark::State& state) {
  Record r = MakeRecord();
  for (auto _ : state) {
    for (const Field& f : r.fields) {
      benchmark::DoNotOptimize(r.native.data());
      std::memcpy(r.local.data() + f.localOffset, r.native.data() + f.offset, f.size);
    }
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * 20);
}
BENCHMARK(BM_CopyRecordBaseline);

}  // namespace

BENCHMARK_MAIN();
