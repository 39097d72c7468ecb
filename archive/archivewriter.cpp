#include "archive/archivewriter.h"

#include <bit>
#include <cmath>
#include <new>
#include <string_view>
#include <unordered_map>

namespace sprig {

namespace {

constexpr std::uint8_t kTagInt16 = 0x81;
constexpr std::uint8_t kTagInt32 = 0x82;
constexpr std::uint8_t kTagReal = 0x83;
constexpr std::uint8_t kTagNew = 0x84;
constexpr std::uint8_t kTagNil = 0x85;
constexpr std::uint8_t kTagEnd = 0x86;
constexpr std::uint8_t kTagInt64 = 0x87;
constexpr std::int64_t kReferenceBase = -110;
constexpr std::int64_t kSystemVersion = 1000;

using Chain = std::initializer_list<ArchiveClass>;

// The classes (and versions) NSArchiver writes for each kind.
const Chain kString = { { "NSString", 1 }, { "NSObject", 0 } };
const Chain kMutableString = { { "NSMutableString", 1 }, { "NSString", 1 }, { "NSObject", 0 } };
const Chain kArray = { { "NSArray", 0 }, { "NSObject", 0 } };
const Chain kMutableArray = { { "NSMutableArray", 0 }, { "NSArray", 0 }, { "NSObject", 0 } };
const Chain kDictionary = { { "NSDictionary", 0 }, { "NSObject", 0 } };
const Chain kMutableDictionary = { { "NSMutableDictionary", 0 },
                                   { "NSDictionary", 0 },
                                   { "NSObject", 0 } };
const Chain kNumber = { { "NSNumber", 0 }, { "NSValue", 0 }, { "NSObject", 0 } };
const Chain kColor = { { "NSColor", 0 }, { "NSObject", 0 } };

// What the writer cannot archive; caught at writeArchive.
struct Refusal
{
    std::string message;
};

class Writer
{
public:
    std::vector<std::uint8_t> write(const ArchiveValue &root)
    {
        mOut.push_back(4);
        writeUnsharedString("streamtyped");
        writeCompactInt(kSystemVersion);
        writeSharedString("@");
        writeObject(root);
        return std::move(mOut);
    }

private:
    void writeRaw(std::uint64_t value, int bytes)
    {
        for (int i = 0; i < bytes; ++i)
            mOut.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    }

    // The smallest form: one byte, or a tag and 2, 4 or 8 bytes (bytes that are tags and
    // -32768 take the next larger form).
    void writeCompactInt(std::int64_t v)
    {
        if (v >= -110 && v <= 127) {
            mOut.push_back(static_cast<std::uint8_t>(v));
        } else if (v >= -32767 && v <= 32767) {
            mOut.push_back(kTagInt16);
            writeRaw(static_cast<std::uint64_t>(v), 2);
        } else if (v >= INT32_MIN && v <= INT32_MAX) {
            mOut.push_back(kTagInt32);
            writeRaw(static_cast<std::uint64_t>(v), 4);
        } else {
            mOut.push_back(kTagInt64);
            writeRaw(static_cast<std::uint64_t>(v), 8);
        }
    }

    void writeReference(std::size_t index)
    {
        writeCompactInt(static_cast<std::int64_t>(index) + kReferenceBase);
    }

    // Integral values in range are written as integers; the rest as IEEE values.
    void writeReal(double v, char type)
    {
        if (v >= -2147483646.0 && v < 2147483646.0 && v == std::trunc(v)) {
            writeCompactInt(static_cast<std::int64_t>(v));
            return;
        }
        mOut.push_back(kTagReal);
        if (type == 'f')
            writeRaw(std::bit_cast<std::uint32_t>(static_cast<float>(v)), 4);
        else
            writeRaw(std::bit_cast<std::uint64_t>(v), 8);
    }

    void writeUnsharedString(std::string_view text)
    {
        writeCompactInt(static_cast<std::int64_t>(text.size()));
        mOut.insert(mOut.end(), text.begin(), text.end());
    }

    void writeSharedString(const std::string &text)
    {
        if (const auto it = mStrings.find(text); it != mStrings.end()) {
            writeReference(it->second);
            return;
        }
        mStrings.emplace(text, mStrings.size());
        mOut.push_back(kTagNew);
        writeUnsharedString(text);
    }

    void writeCString(const std::string &text)
    {
        if (const auto it = mCStrings.find(text); it != mCStrings.end()) {
            writeReference(it->second);
            return;
        }
        mCStrings.emplace(text, mObjectCount++);
        mOut.push_back(kTagNew);
        writeSharedString(text);
    }

    void writeClassChain(Chain chain)
    {
        for (const ArchiveClass &cls : chain) {
            if (const auto it = mClasses.find(cls.name); it != mClasses.end()) {
                writeReference(it->second);
                return;
            }
            mClasses.emplace(cls.name, mObjectCount++);
            mOut.push_back(kTagNew);
            writeSharedString(cls.name);
            writeCompactInt(cls.version);
        }
        mOut.push_back(kTagNil);
    }

    void writeScalar(const ArchiveValue &v)
    {
        switch (v.type) {
        case 'c':
        case 'C':
        case 'B':
            mOut.push_back(static_cast<std::uint8_t>(v.integer));
            return;
        case 's':
        case 'S':
        case 'i':
        case 'I':
        case 'l':
        case 'L':
        case 'q':
        case 'Q':
            writeCompactInt(v.integer);
            return;
        case 'f':
        case 'd':
            writeReal(v.real, v.type);
            return;
        default:
            throw Refusal{ std::string("cannot archive a number of type '") + v.type + "'" };
        }
    }

    void writeObjectGroup(const ArchiveValue &v)
    {
        writeSharedString("@");
        writeObject(v);
    }

    void writeCount(std::size_t n)
    {
        writeSharedString("i");
        writeCompactInt(static_cast<std::int64_t>(n));
    }

    void writeColor(const ArchiveColor &color)
    {
        writeSharedString("c");
        mOut.push_back(static_cast<std::uint8_t>(color.kind));
        if (color.kind == ArchiveColor::Named) {
            if (color.objects.size() != 3)
                throw Refusal{ "a named colour needs a catalog, a name and a colour" };
            writeSharedString("@@@");
            for (const ArchiveValuePtr &object : color.objects)
                writeObject(*object);
            return;
        }
        const int n = ArchiveColor::componentCount(color.kind);
        if (n < 0 || color.components.size() != static_cast<std::size_t>(n))
            throw Refusal{ "a colour whose components do not match its kind" };
        writeSharedString(std::string(color.components.size(), 'f'));
        for (float c : color.components)
            writeReal(c, 'f');
    }

    void writeObject(const ArchiveValue &v)
    {
        if (v.kind == ArchiveValue::Kind::Nil) {
            mOut.push_back(kTagNil);
            return;
        }
        if (const auto it = mObjects.find(&v); it != mObjects.end()) {
            writeReference(it->second);
            return;
        }
        mObjects.emplace(&v, mObjectCount++);
        mOut.push_back(kTagNew);
        switch (v.kind) {
        case ArchiveValue::Kind::String:
            writeClassChain(v.isMutable ? kMutableString : kString);
            writeSharedString("+");
            writeUnsharedString(v.text);
            break;
        case ArchiveValue::Kind::Array:
            writeClassChain(v.isMutable ? kMutableArray : kArray);
            writeCount(v.items.size());
            for (const ArchiveValuePtr &item : v.items)
                writeObjectGroup(*item);
            break;
        case ArchiveValue::Kind::Dictionary:
            if (v.items.size() % 2 != 0)
                throw Refusal{ "a dictionary with a key but no value" };
            writeClassChain(v.isMutable ? kMutableDictionary : kDictionary);
            writeCount(v.dictionarySize());
            for (const ArchiveValuePtr &item : v.items)
                writeObjectGroup(*item);
            break;
        case ArchiveValue::Kind::Number: {
            writeClassChain(kNumber);
            const std::string type(1, v.type);
            writeSharedString("*");
            writeCString(type);
            writeSharedString(type);
            writeScalar(v);
            break;
        }
        case ArchiveValue::Kind::Color:
            writeClassChain(kColor);
            writeColor(v.color);
            break;
        default:
            throw Refusal{ "cannot archive a value of this kind as an object" };
        }
        mOut.push_back(kTagEnd);
    }

    std::vector<std::uint8_t> mOut;
    std::unordered_map<std::string, std::size_t> mStrings;
    // Object table: objects by identity, classes by name, C strings by text.
    std::unordered_map<const ArchiveValue *, std::size_t> mObjects;
    std::unordered_map<std::string, std::size_t> mClasses;
    std::unordered_map<std::string, std::size_t> mCStrings;
    std::size_t mObjectCount = 0;
};

} // namespace

bool writeArchive(const ArchiveValue &root, std::vector<std::uint8_t> &out, std::string *error)
{
    try {
        out = Writer().write(root);
        return true;
    } catch (const Refusal &refusal) {
        if (error)
            *error = refusal.message;
    } catch (const std::bad_alloc &) {
        if (error)
            *error = "there is not enough memory to archive it";
    }
    return false;
}

} // namespace sprig
