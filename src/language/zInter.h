#pragma once
// The language service: the dictionary named in Language.INI, text translation, and the
// walker that translates a whole window.
//
// A dictionary is a plain 8-bit text file, one entry per line: the designed text, the
// separator "~|~", and its translation. The first line whose key matches a text
// (case-insensitively, in the user's locale) translates it.

#include <cstdint>
#include <string>
#include <vector>

namespace vader {

class TComponent;
class TDataSet;
class TField;

// Start-up: finds Language.INI (beside the executable when it is there and writable, else the
// user's copy in the XDG configuration directory), registers the language-change
// message, and loads the dictionary it names (writing the name back, which creates the
// file when it is missing). Raises when Language.INI cannot be written.
void ZInterStartup();
// Shut-down: frees the dictionary and forgets the file names.
void ZInterShutdown();

// The translation of Text, or Text itself when the dictionary has no usable entry.
std::string TranslateText(const std::string& text);

// Stores FileName as the dictionary in Language.INI, reloads, and broadcasts the change.
void SetLanguageFile(const std::string& fileName);

// Empties the dictionary and loads it again from the file Language.INI names.
void LoadDictionary();

// Translates Component and everything it owns, recursively. Never reports an error.
void TranslateComponent(TComponent* component);
void TranslateDataSetLabels(TDataSet* dataSet);
void TranslateFieldLabel(TField* field);

const std::string& LanguageIniFile();
const std::string& DictionaryFileName();
std::uint16_t LanguageChangeMessage();
// Index-aligned: entry i of both comes from line i of the dictionary file.
const std::vector<std::string>& DictionaryKeys();
const std::vector<std::string>& DictionaryTexts();

}  // namespace vader
