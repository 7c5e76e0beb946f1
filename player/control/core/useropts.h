// Per-user options of every control: read once per process from a store (the
// registry key "SOFTWARE\Tarnwick\Qiv Player" under HKEY_CURRENT_USER on
// Windows), answered from process-wide copies afterwards, written back by the
// setters.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

constexpr size_t kQivOptionPathSize = 260;  // buffer bytes, at most 259 characters

// Where the option values live.
class QivOptionStore {
public:
    virtual ~QivOptionStore() = default;
    // Whether the key opens for reading.
    virtual bool canRead() = 0;
    // A 4-byte value; false when the key or value is missing or has another size.
    virtual bool readDword(const char* name, uint32_t& value) = 0;
    // At most cap bytes of a string value into buf; got is the byte count read
    // (it may lack a terminator). False when missing or longer than cap.
    virtual bool readString(const char* name, char* buf, size_t cap, size_t& got) = 0;
    // Create or open the key and write; the store's error code (0 for success).
    virtual long writeDword(const char* name, uint32_t value) = 0;
    virtual long writeString(const char* name, const char* text, size_t bytesWithZero) = 0;
    // Paths of the maker's other program when it is installed: fills both and
    // answers true; false leaves them alone.
    virtual bool defaultPaths(std::string& texturePath, std::string& objectPath) { return false; }
};

enum class QivDwordOption { AutoSave, SaveFilesWithDocument, Use4DVision, Use3DHardware };
enum class QivPathOption { ObjectPath, TexturePath };

class QivUserOptions {
public:
    explicit QivUserOptions(QivOptionStore* store = nullptr) : store_(store) {}
    void setStore(QivOptionStore* store) { store_ = store; }
    // Forget what was read (tests).
    void reset();

    uint32_t get(QivDwordOption which);
    long set(QivDwordOption which, uint32_t value);
    // The copy, always terminated.
    const char* get(QivPathOption which);
    // The copy takes at most 259 characters; the store gets only the string's bytes.
    long set(QivPathOption which, const char* path);

    static const char* valueName(QivDwordOption which);
    static const char* valueName(QivPathOption which);
    static uint32_t defaultValue(QivDwordOption which);

private:
    struct Dword {
        uint32_t value = 0;
        bool read = false;
    };
    struct Path {
        char value[kQivOptionPathSize] = {};
        bool read = false;
    };
    void takeDefaultPaths();
    QivOptionStore* store_;
    Dword dwords_[4];
    Path paths_[2];
};

// The INI file of an installed program: its folder (up to and including the
// last backslash) and the INI file name. Empty when the path has no backslash.
std::string qivSiblingFile(const std::string& programPath, const std::string& fileName);
