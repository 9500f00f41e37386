#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class QLockFile;
class QString;

enum class RegResult { Success, NoMoreItems, NotFound, Failed };

namespace RegType {
constexpr std::uint32_t String = 1;
constexpr std::uint32_t Binary = 3;
constexpr std::uint32_t Dword = 4;
}  // namespace RegType

// One named value of a key: data is the raw bytes (a dword little-endian,
// a string as UTF-8 with its terminating NUL).
struct RegValue {
    std::string name;
    std::uint32_t type = 0;
    std::string data;
};

// A dword's 4 bytes, little-endian, and back.
std::string DwordData(std::uint32_t number);
std::uint32_t DwordNumber(const std::string& data);

// The per-user settings store: keys under HKEY_CURRENT_USER kept in one
// registry export file. An open key holds the store's lock until Close,
// which writes the changes at once, atomically. Lines the store cannot
// read are kept as they are and written back in their place.
class RegStore {
public:
    enum class Missing { Fail, Create };
    // What becomes of a file the store cannot use: one that is not a store
    // at all is set aside either way. ReplaceAny sets aside a readable store
    // too, for a caller that never loaded it and must not overwrite it.
    enum class Unusable { Keep, Replace, ReplaceAny };
    struct Section;
    struct Document;

    RegStore();
    ~RegStore();
    RegStore(const RegStore&) = delete;
    RegStore& operator=(const RegStore&) = delete;

    // Creates the key and any keys above it if missing; false when the
    // store cannot be read or written.
    static bool CreateKey(const std::string& keyPath);
    // Opens the key for reading and writing, creating it first if asked. A
    // file that is not a store at all is set aside under a new name; one
    // that cannot be read (its permissions, an I/O error) keeps its name.
    // Either way the key does not open, unless the file is to be replaced:
    // then it is set aside and the key opens in a new, empty store.
    bool Open(const std::string& keyPath, Missing missing = Missing::Fail, Unusable unusable = Unusable::Keep);
    // The key's values in file order, read without the lock and never
    // written: the store is replaced whole, so a reader sees one state or
    // the other. A missing file or key holds none; false when the file
    // cannot be read or is no store.
    static bool ReadValues(const std::string& keyPath, std::vector<RegValue>& values);
    // Values in file order; NoMoreItems past the last one.
    RegResult EnumValue(std::size_t index, RegValue& value) const;
    // Names are compared without regard to letter case.
    RegResult DeleteValue(const std::string& name);
    // A name holding a control character is refused: the file has no
    // escape for it.
    RegResult SetValue(const std::string& name, std::uint32_t type, const std::string& data);
    // Writes the changes, if any, and releases the key; false if the write failed.
    bool Close();

    static QString FilePath();
    // How long an open waits for another instance's key; tests shorten it.
    static void SetLockTimeout(int milliseconds);

private:
    std::unique_ptr<QLockFile> m_pLock;
    std::unique_ptr<Document> m_pDocument;
    Section* m_pSection = nullptr;
    bool m_bDirty = false;
};
