#include "sqlengine/NamedDatabases.h"

#include "platform/Registry.h"
#include "sqlengine/Catalog.h"

namespace vader::sqlengine {

using namespace vader::platform;

std::vector<NamedDatabase> NamedDatabases() {
  std::vector<NamedDatabase> out;
  RegistryKey root;
  if (root.Open(HKEY_LOCAL_MACHINE, kDatabasesKey, KEY_READ) != ERROR_SUCCESS) return out;
  std::vector<std::string> names;
  root.SubKeyNames(names);
  for (const std::string& n : names) {
    RegistryKey key;
    if (key.Open(HKEY_LOCAL_MACHINE, std::string(kDatabasesKey) + "\\" + n, KEY_READ) != ERROR_SUCCESS)
      continue;
    NamedDatabase db{n, "", ""};
    key.ReadString("Dictionary", db.dictionary);
    key.ReadString("Data", db.data);
    out.push_back(db);
  }
  return out;
}

bool FindNamedDatabase(const std::string& name, NamedDatabase& out) {
  const std::string wanted = !name.empty() && name[0] == '@' ? name.substr(1) : name;
  for (const NamedDatabase& db : NamedDatabases())
    if (SameText(db.name, wanted)) {
      out = db;
      return true;
    }
  return false;
}

bool DefineNamedDatabase(const NamedDatabase& db) {
  RegistryKey key;
  if (key.Open(HKEY_LOCAL_MACHINE, std::string(kDatabasesKey) + "\\" + db.name, KEY_ALL_ACCESS,
               true) != ERROR_SUCCESS)
    return false;
  return key.WriteString("Dictionary", db.dictionary) == ERROR_SUCCESS &&
         key.WriteString("Data", db.data) == ERROR_SUCCESS;
}

}  // namespace vader::sqlengine
