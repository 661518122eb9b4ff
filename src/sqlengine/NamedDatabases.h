#pragma once
// Named databases: names with a dictionary directory and a data directory, kept in the
// registry stand-in under HKEY_LOCAL_MACHINE\Software\Vader\Scalable SQL\Databases\<name>
// (string values "Dictionary" and "Data").

#include <string>
#include <vector>

namespace vader::sqlengine {

constexpr const char* kDatabasesKey = "Software\\Vader\\Scalable SQL\\Databases";

struct NamedDatabase {
  std::string name, dictionary, data;
};

std::vector<NamedDatabase> NamedDatabases();
// Finds `name` (with or without a leading "@", ignoring case); false when unknown.
bool FindNamedDatabase(const std::string& name, NamedDatabase& out);
// Adds or replaces a name; false when the registry cannot be written.
bool DefineNamedDatabase(const NamedDatabase& db);

}  // namespace vader::sqlengine
