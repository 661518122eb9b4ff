#include "tools/Import.h"

#include <algorithm>
#include <filesystem>
#include <map>

#include "microkernel/FileLayout.h"
#include "microkernel/FileNames.h"
#include "tools/Dictionary.h"
#include "tools/TableSchema.h"

namespace vader::tools {
namespace {

namespace fs = std::filesystem;
using legacy::FileInfo;
using legacy::LegacyFile;

// File flags the record manager keeps: variable records, balanced index, free-space threshold,
// reserved duplicate pointers. Pre-allocation counts and numbered keys do not carry over.
constexpr uint16_t kKeptFileFlags = 0x0001 | 0x0020 | 0x00C0 | 0x0100;
// Key flags that describe the key (not the index state: key-only 0x4000, pending 0x8000).
constexpr uint16_t kKeptKeyFlags = 0x07EF;
// A FILE.DDF row up to its flags byte; older engines wrote rows of this length, without the
// reserved tail of later ones.
constexpr size_t kShortestFileRow = 87;
void RemoveStore(const std::string& path) {
  std::error_code ec;
  for (const char* suffix : {"", "-wal", "-shm", "-journal"}) fs::remove(path + suffix, ec);
}

// Get First / Get Next over every key of `dest`, record by record against the source index.
void CompareOrder(const ReadSource& source, BtrFile& dest, FileImport& result) {
  const LegacyFile& file = source.file;
  for (size_t k = 0; k < file.Info().keys.size(); ++k) {
    const std::vector<uint32_t> expected = file.IndexOrder(k);
    const auto number = static_cast<int8_t>(file.Info().keys[k].number);
    Bytes key(kKeyBufferSize, '\0'), record;
    size_t at = 0, differs = 0;
    for (int16_t s = dest.Get(kOpGetFirst, number, key, record); s == 0;
         s = dest.Get(kOpGetNext, number, key, record), ++at)
      if (at >= expected.size() || file.Record(expected[at]) != record) ++differs;
    if (differs || at != expected.size())
      result.notes.push_back("key " + std::to_string(number) + ": Get Next returns " +
                             std::to_string(at) + " records, " + std::to_string(differs) +
                             " of them not in the original index order");
  }
}

// The name of `wanted` in `dir` compared case-insensitively, as DOS names are; empty if none.
std::string FindEntry(const fs::path& dir, const std::string& wanted) {
  const fs::path found = microkernel::FindIgnoringCase((dir / wanted).string());
  std::error_code ec;
  return fs::exists(found, ec) ? found.filename().string() : "";
}

// The file a dictionary location names, relative to the database directory; empty when it is
// absolute or missing (`why` says which).
std::string ResolveLocation(const fs::path& dir, const std::string& location, std::string& why) {
  std::string path = location;
  std::replace(path.begin(), path.end(), '\\', '/');
  if (path.empty() || path[0] == '/' || (path.size() > 1 && path[1] == ':')) {
    why = "its location " + location + " lies outside the database directory";
    return "";
  }
  fs::path found;
  for (const fs::path& part : fs::path(path)) {
    if (part == "." || part.empty()) continue;
    const std::string name = part == ".." ? "" : FindEntry(dir / found, part.string());
    if (name.empty()) {
      why = "its data file " + location + " is missing";
      return "";
    }
    found /= name;
  }
  return found.string();
}

// A file to bring over: where it is in the source directory (found case-insensitively) and
// its name in the destination, as the dictionary spells it.
struct Planned {
  std::string source, dest;
  std::vector<std::string> tables;
};

// The owner name given for `source` (a path relative to the database directory, compared
// ignoring case), else the one given for every file.
std::string OwnerFor(const ImportOptions& options, const std::string& source) {
  for (const auto& [file, owner] : options.owners)
    if (SameName(file, source)) return owner;
  return options.owner;
}

}  // namespace

ReadSource ReadLegacy(const std::string& path) {
  ReadSource source{LegacyFile::Open(path), {}, 0};
  source.file.Verify();
  source.order = source.file.InsertionOrder(source.orderConflicts);
  return source;
}

FileDef DefinitionOf(const FileInfo& info) {
  FileDef def;
  def.recordLength = info.recordLength;
  def.pageSize = microkernel::PageSizeHolding(info.recordLength, info.pageSize);
  def.flags = info.fileFlags & kKeptFileFlags;
  def.duplicatePointers = info.reservedDuplicatePointers;
  for (const legacy::KeySpec& k : info.keys) {
    KeyDef key;
    key.number = k.number;
    key.uniqueValues = k.uniqueValues;
    for (const legacy::SegmentSpec& s : k.segments) {
      SegmentDef seg;
      seg.position = static_cast<uint16_t>(s.offset + 1);
      seg.length = s.length;
      seg.flags = s.flags & kKeptKeyFlags & ~legacy::kSegmented;
      seg.type = (s.flags & legacy::kExtended) ? s.type : 0;
      seg.nullValue = s.nullValue;
      seg.acs = static_cast<uint8_t>(s.acs < 0 ? 0 : s.acs);
      key.segments.push_back(seg);
    }
    def.keys.push_back(std::move(key));
  }
  for (const legacy::AcsTable& a : info.acs) def.acs.push_back(a.block);
  return def;
}

FileImport ImportFile(const ReadSource& source, const std::string& dest,
                      const ImportOptions& options) {
  const LegacyFile& file = source.file;
  const FileInfo& info = file.Info();
  FileImport result{file.Name(), dest, 0, false, {}, info.ownerProtected};
  if (info.ownerProtected && options.owner.empty())
    throw std::runtime_error(file.Name() + " is owner-protected: give its owner name with --owner");
  if (!options.replace && fs::exists(dest))
    throw std::runtime_error(dest + " already exists (--replace overwrites it)");
  CreateFromDef(dest, DefinitionOf(info), true);
  try {
    size_t changed = 0;
    {
      BtrFile out(dest);
      BatchInserter inserter(options.progress);
      for (uint32_t address : source.order) {
        const Bytes original = file.Record(address);
        Bytes record = original;
        inserter.Insert(out, record);
        changed += record != original;
      }
      result.records = inserter.Finish();
      CompareOrder(source, out, result);
    }
    if (const uint16_t pageSize = microkernel::PageSizeHolding(info.recordLength, info.pageSize);
        pageSize != info.pageSize)
      result.notes.push_back("page size " + std::to_string(pageSize) +
                             " instead of " + std::to_string(info.pageSize) +
                             ", which cannot hold a record of " +
                             std::to_string(info.recordLength) + " bytes here");
    if (changed)
      result.notes.push_back(std::to_string(changed) +
                             " records were changed on insert (an autoincrement value of 0 "
                             "receives the next number)");
    if (source.orderConflicts)
      result.notes.push_back(std::to_string(source.orderConflicts) +
                             " records could not follow every key's duplicate order (the keys' "
                             "orders contradict each other)");
    if (info.ownerProtected) {
      BtrFile out(dest, "", -4);
      out.SetOwner(options.owner, options.ownerLevel);
      result.ownerSet = true;
    }
  } catch (...) {
    RemoveStore(dest);
    throw;
  }
  return result;
}

uint64_t DatabaseImport::Records() const {
  uint64_t n = 0;
  for (const FileImport& f : files) n += f.records;
  return n;
}

DatabaseImport ImportDatabase(const std::string& sourceDir, const std::string& destDir,
                              const ImportOptions& options, std::ostream& log) {
  const fs::path dir(sourceDir);
  const std::string fileDdf = FindEntry(dir, "FILE.DDF");
  if (!fs::is_directory(dir) || fileDdf.empty())
    throw std::runtime_error("no dictionary in " + sourceDir + " (FILE.DDF is missing)");
  DatabaseImport result;
  // The files to bring over, by their path relative to the directory, in dictionary order.
  std::vector<Planned> plan;
  auto plan_file = [&](const std::string& source, std::string dest, const std::string& table) {
    for (Planned& p : plan) {
      if (p.source != source) continue;
      if (p.dest != dest && dest != source)
        result.notes.push_back(table + ": names " + dest + ", imported once as " + p.dest +
                               " (for " + p.tables.front() + ")");
      return p.tables.push_back(table);
    }
    plan.push_back({source, std::move(dest), {table}});
  };
  const ReadSource dictionary = ReadLegacy((dir / fileDdf).string());
  const std::vector<uint32_t> rows = dictionary.file.Info().keys.empty()
                                         ? dictionary.file.Addresses()
                                         : dictionary.file.IndexOrder(0);
  for (uint32_t address : rows) {
    const Bytes row = dictionary.file.Record(address);
    if (row.size() < kShortestFileRow) {
      result.skipped.push_back(fileDdf + " entry of " + std::to_string(row.size()) +
                               " bytes: too short for a table's name and location");
      continue;
    }
    const std::string table = TrimmedText(row, 2, kTableNameSize);
    const std::string location = TrimmedText(row, 22, kLocationSize);
    std::string why;
    const std::string relative = ResolveLocation(dir, location, why);
    std::string dest = location;
    std::replace(dest.begin(), dest.end(), '\\', '/');
    if (relative.empty())
      result.skipped.push_back(table + ": " + why);
    else
      plan_file(relative, dest, table);
  }
  std::error_code ec;
  for (const fs::directory_entry& e : fs::directory_iterator(dir, ec)) {
    const std::string name = e.path().filename().string();
    if (e.is_regular_file() && name.size() > 4 && SameName(name.substr(name.size() - 4), ".DDF"))
      plan_file(name, name, name);
  }
  // Read everything first: nothing is written unless every source can be read.
  std::vector<std::pair<std::string, ReadSource>> sources;
  std::vector<std::string> owners;  // the owner name each source is imported with
  std::string unnamedOwners;        // protected sources without one
  for (const Planned& p : plan) {
    std::string tables;
    for (const std::string& t : p.tables) tables += (tables.empty() ? "" : ", ") + t;
    try {
      sources.emplace_back(p.dest, ReadLegacy((dir / p.source).string()));
    } catch (const legacy::LegacyError& e) {
      if (!options.skipUnreadable) throw;
      result.skipped.push_back(tables + ": " + e.what());
      continue;
    }
    owners.push_back(OwnerFor(options, p.source));
    if (sources.back().second.file.Info().ownerProtected && owners.back().empty())
      unnamedOwners += (unnamedOwners.empty() ? "" : ", ") + p.source;
    if (!options.replace && fs::exists(fs::path(destDir) / p.dest))
      throw std::runtime_error((fs::path(destDir) / p.dest).string() +
                               " already exists (--replace overwrites it)");
  }
  if (options.check) {
    for (const auto& [relative, source] : sources)
      result.files.push_back({source.file.Name(), (fs::path(destDir) / relative).string(),
                              source.file.Addresses().size(), false, {},
                              source.file.Info().ownerProtected});
    return result;
  }
  if (!unnamedOwners.empty())
    throw std::runtime_error("owner-protected without an owner name (--owner or --owner-file): " +
                             unnamedOwners);
  fs::create_directories(destDir);
  try {
    for (size_t i = 0; i < sources.size(); ++i) {
      const auto& [relative, source] = sources[i];
      const fs::path target = fs::path(destDir) / relative;
      fs::create_directories(target.parent_path());
      ImportOptions fileOptions = options;
      fileOptions.owner = owners[i];
      result.files.push_back(ImportFile(source, target.string(), fileOptions));
      log << "imported " << relative << ": " << result.files.back().records << " records\n"
          << std::flush;
    }
  } catch (...) {
    for (const FileImport& f : result.files) RemoveStore(f.dest);
    throw;
  }
  return result;
}

}  // namespace vader::tools
