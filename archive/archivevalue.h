#pragma once

// The values a typedstream archive (the non-keyed NSArchiver format of .lsd files) holds, as a
// tree. Objects of the classes a document uses are decoded into their own kinds; any other
// object is kept as its class chain and raw groups so that nothing read is silently dropped.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace sprig {

struct ArchiveValue;
// Objects are shared: an archive may refer to one object from several places, and the writer
// writes a value reached twice through the same pointer once, then as a reference.
using ArchiveValuePtr = std::shared_ptr<const ArchiveValue>;

// One class of an object's chain, most-derived first.
struct ArchiveClass
{
    std::string name;
    std::int64_t version = 0;
    bool operator==(const ArchiveClass &) const = default;
};

// A typed group: its type encoding and one value per leaf type, in order (C arrays and structs
// are flattened, except arrays of chars, which become one Bytes value).
struct ArchiveGroup
{
    std::string types;
    std::vector<ArchiveValuePtr> values;
};

// NSColor as archived: its kind byte and, by kind, its 32-bit float components or its objects.
struct ArchiveColor
{
    enum Kind : int {
        CalibratedRgb = 1,   // red, green, blue, alpha
        DeviceRgb = 2,       // red, green, blue, alpha
        CalibratedWhite = 3, // white, alpha
        DeviceWhite = 4,     // white, alpha
        DeviceCmyk = 5,      // cyan, magenta, yellow, black, alpha
        Named = 6,           // objects: catalog name, colour name (strings), fallback colour
    };
    int kind = CalibratedRgb;
    std::vector<float> components;
    std::vector<ArchiveValuePtr> objects;

    // The number of float components the kind stores, or -1 for a kind without them.
    static int componentCount(int kind);
};

struct ArchiveValue
{
    enum class Kind {
        Nil,        // a nil object
        Integer,    // c C B s S i I l L q Q (C and B as raw bytes, unsigned as their bit pattern)
        Real,       // f d
        Bytes,      // + * % : and arrays of chars: raw bytes, never interpreted
        Class,      // a class value (#): the class chain
        String,     // NSString family: UTF-8 text
        Array,      // NSArray family
        Dictionary, // NSDictionary family, in archive order
        Number,     // NSNumber / NSValue holding one scalar
        Color,      // NSColor
        Object,     // any other object: class chain and groups
    };

    Kind kind = Kind::Nil;
    // Integer, Real and Number: the type letter of the value ('i', 'q', 'f', 'd', 'c', ...).
    char type = 0;
    std::int64_t integer = 0;
    double real = 0.0;
    // String: the text; Bytes: the bytes.
    std::string text;
    // String, Array and Dictionary: written as the mutable class (NSMutableString, ...).
    bool isMutable = false;
    // Array: the elements. Dictionary: keys and values alternating.
    std::vector<ArchiveValuePtr> items;
    ArchiveColor color;
    // Class and Object: the chain, most-derived first. Object: its groups.
    std::vector<ArchiveClass> classes;
    std::vector<ArchiveGroup> groups;
    // Object: the byte at which it starts; and, for an object of a class the reader decodes
    // (NSString, NSArray, NSDictionary, NSValue) whose groups do not have that class's layout,
    // what is wrong with them. Not written.
    std::size_t offset = 0;
    std::string damage;

    bool isNumber() const
    {
        return kind == Kind::Number || kind == Kind::Integer || kind == Kind::Real;
    }
    bool isIntegral() const { return type != 'f' && type != 'd'; }
    // The numeric value of Integer, Real and Number values as a double (0 for other kinds).
    double toDouble() const;

    // Dictionary: the value of the last entry whose key is the string `key`, or null.
    const ArchiveValue *find(std::string_view key) const;
    std::size_t dictionarySize() const { return items.size() / 2; }

    static ArchiveValuePtr nil();
    static ArchiveValuePtr string(std::string text, bool isMutable = false);
    static ArchiveValuePtr array(std::vector<ArchiveValuePtr> items, bool isMutable = false);
    // Entries in the order they are to be written.
    static ArchiveValuePtr dictionary(std::vector<std::pair<std::string, ArchiveValuePtr>> entries,
                                      bool isMutable = false);
    static ArchiveValuePtr
    dictionary(std::vector<std::pair<ArchiveValuePtr, ArchiveValuePtr>> entries,
               bool isMutable = false);
    // An NSNumber of an integer type ('c' 'C' 's' 'S' 'i' 'I' 'l' 'L' 'q' 'Q').
    static ArchiveValuePtr number(std::int64_t value, char type = 'i');
    // An NSNumber of type 'f' or 'd'.
    static ArchiveValuePtr realNumber(double value, char type = 'd');
    static ArchiveValuePtr colorValue(ArchiveColor color);
};

} // namespace sprig
