#include "archive/archivereader.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <new>
#include <optional>
#include <string_view>

namespace sprig {

namespace {

constexpr std::string_view kLittleEndianSignature = "streamtyped";
constexpr std::string_view kBigEndianSignature = "typedstream";
constexpr std::size_t kHeaderSize = 2 + 11;

// Head bytes, read as signed.
constexpr int kTagInt16 = -127;
constexpr int kTagInt32 = -126;
constexpr int kTagReal = -125;
constexpr int kTagNew = -124;
constexpr int kTagNil = -123;
constexpr int kTagEnd = -122;
constexpr int kTagInt64 = -121;
constexpr int kSmallestTag = -128;
constexpr int kLargestTag = -111;
// Table references count from this value.
constexpr std::int64_t kReferenceBase = -110;

// Type encodings nested deeper, or with more parts, than this are refused: no class we read
// comes close, and the limits bound the work one type reference can cause.
constexpr int kMaxTypeDepth = 16;
constexpr std::size_t kMaxTypeNodes = 256;
// Far beyond any input; keeps the size arithmetic of nested arrays from overflowing.
constexpr std::uint64_t kMinBytesCap = std::uint64_t(1) << 32;

struct Failure
{
    std::string message;
    std::size_t offset;
};

// A parsed type encoding: a leaf (code), an array (code '[', count, element in parts[0]) or a
// struct (code '{', fields in parts).
struct TypeNode
{
    char code = 0;
    std::uint64_t count = 0;
    std::vector<TypeNode> parts;
    std::uint64_t minBytes = 0; // the fewest bytes a value of this type takes in a stream
};

using TypeList = std::vector<TypeNode>;

class TypeParser
{
public:
    explicit TypeParser(std::string_view text)
        : mText(text)
    { }

    // Empty on success, else what is wrong with the encoding.
    std::string parseAll(TypeList &out)
    {
        while (mPos < mText.size()) {
            TypeNode node;
            if (std::string problem = parse(node, 0); !problem.empty())
                return problem;
            out.push_back(std::move(node));
        }
        if (out.empty())
            return "an empty type encoding";
        return {};
    }

private:
    std::string parse(TypeNode &node, int depth)
    {
        if (depth > kMaxTypeDepth)
            return "a type encoding nested too deeply";
        if (++mNodes > kMaxTypeNodes)
            return "a type encoding with too many parts";
        // Qualifiers (const, in, out, ...) do not change the encoding.
        while (mPos < mText.size()
               && std::string_view("rnNoORV").find(mText[mPos]) != std::string_view::npos)
            ++mPos;
        if (mPos >= mText.size())
            return "an incomplete type encoding";
        const char c = mText[mPos++];
        node.code = c;
        switch (c) {
        case 'c':
        case 'C':
        case 'B':
        case 's':
        case 'S':
        case 'i':
        case 'I':
        case 'l':
        case 'L':
        case 'q':
        case 'Q':
        case 'f':
        case 'd':
        case '*':
        case '+':
        case '%':
        case ':':
        case '#':
        case '@':
            node.minBytes = 1;
            return {};
        case '[': {
            std::uint64_t count = 0;
            bool digits = false;
            while (mPos < mText.size() && mText[mPos] >= '0' && mText[mPos] <= '9') {
                count = count * 10 + static_cast<std::uint64_t>(mText[mPos++] - '0');
                if (count > 0x7fffffff)
                    return "an array type with too many elements";
                digits = true;
            }
            if (!digits)
                return "an array type without a count";
            node.count = count;
            node.parts.emplace_back();
            if (std::string problem = parse(node.parts[0], depth + 1); !problem.empty())
                return problem;
            if (mPos >= mText.size() || mText[mPos] != ']')
                return "an unterminated array type";
            ++mPos;
            // Elements that read nothing would let a small input cause unbounded work.
            if (count > 0 && node.parts[0].minBytes == 0)
                return "an array of empty elements";
            node.minBytes = std::min(count * node.parts[0].minBytes, kMinBytesCap);
            return {};
        }
        case '{': {
            while (mPos < mText.size() && mText[mPos] != '=' && mText[mPos] != '}')
                ++mPos;
            if (mPos < mText.size() && mText[mPos] == '=')
                ++mPos;
            while (mPos < mText.size() && mText[mPos] != '}') {
                TypeNode field;
                if (std::string problem = parse(field, depth + 1); !problem.empty())
                    return problem;
                node.minBytes = std::min(node.minBytes + field.minBytes, kMinBytesCap);
                node.parts.push_back(std::move(field));
            }
            if (mPos >= mText.size())
                return "an unterminated struct type";
            ++mPos;
            // A struct without fields would read nothing; refusing it keeps every part of a
            // group's work tied to bytes of input.
            if (node.parts.empty())
                return "a struct type without fields";
            return {};
        }
        default:
            return std::string("an unsupported type '") + c + "'";
        }
    }

    std::string_view mText;
    std::size_t mPos = 0;
    std::size_t mNodes = 0;
};

enum class EntryType {
    Object,
    Class,
    CString
};

// One entry of the object table: objects, the classes of chains, and C strings share it.
struct TableEntry
{
    EntryType type = EntryType::Object;
    bool complete = false;
    ArchiveValuePtr object;                // Object
    std::string text;                      // Class: name; CString: text
    std::int64_t version = 0;              // Class
    std::optional<std::size_t> superclass; // Class
    int chainLength = 0;                   // Class: number of classes up to the root
    std::uint64_t weight = 0;              // Object: what it materialised, charged per reference
};

bool chainHas(const std::vector<ArchiveClass> &chain, std::string_view name)
{
    return std::any_of(chain.begin(), chain.end(),
                       [&](const ArchiveClass &c) { return c.name == name; });
}

bool isGroup(const ArchiveGroup &group, std::string_view types, std::size_t values)
{
    return group.types == types && group.values.size() == values;
}

// The count group that starts an array or a dictionary, if it is one.
std::optional<std::int64_t> countOf(const std::vector<ArchiveGroup> &groups)
{
    if (groups.empty() || !isGroup(groups[0], "i", 1))
        return std::nullopt;
    const std::int64_t n = groups[0].values[0]->integer;
    return n >= 0 ? std::optional(n) : std::nullopt;
}

bool allSingleObjects(const std::vector<ArchiveGroup> &groups, std::size_t from)
{
    return std::all_of(groups.begin() + static_cast<std::ptrdiff_t>(from), groups.end(),
                       [](const ArchiveGroup &g) { return isGroup(g, "@", 1); });
}

std::optional<ArchiveColor> colorOf(const std::vector<ArchiveGroup> &groups)
{
    if (groups.size() != 2 || !isGroup(groups[0], "c", 1))
        return std::nullopt;
    ArchiveColor color;
    color.kind = static_cast<int>(groups[0].values[0]->integer);
    const ArchiveGroup &content = groups[1];
    if (color.kind == ArchiveColor::Named) {
        if (!isGroup(content, "@@@", 3))
            return std::nullopt;
        color.objects = content.values;
        return color;
    }
    const int n = ArchiveColor::componentCount(color.kind);
    if (n < 0
        || !isGroup(content, std::string(static_cast<std::size_t>(n), 'f'),
                    static_cast<std::size_t>(n)))
        return std::nullopt;
    for (const ArchiveValuePtr &v : content.values)
        color.components.push_back(static_cast<float>(v->real));
    return color;
}

// What is wrong with the groups of an array (perItem 1) or a dictionary (2) whose layout is
// not the one its class writes.
std::string collectionDamage(const std::vector<ArchiveGroup> &groups, std::size_t perItem)
{
    const char *what = perItem == 1 ? "elements" : "key and value objects";
    const auto n = countOf(groups);
    if (!n)
        return std::string("expected a count (one group of type 'i') before its ") + what;
    if (static_cast<std::size_t>(*n) * perItem != groups.size() - 1)
        return "its count says " + std::to_string(*n * static_cast<std::int64_t>(perItem)) + " "
               + what + " but " + std::to_string(groups.size() - 1) + " groups follow";
    return std::string("expected its ") + what + " as groups of one object each";
}

// Turns a generically read object into the value of its class, when its groups have the layout
// that class writes; anything else stays a generic object. A generic object of a class read
// here says what is wrong with its layout, and where the object starts.
ArchiveValuePtr
classify(std::vector<ArchiveClass> chain, std::vector<ArchiveGroup> groups, std::size_t offset)
{
    const std::string &leaf = chain.front().name;
    ArchiveValue v;
    if (chainHas(chain, "NSString")) {
        if (groups.size() == 1 && isGroup(groups[0], "+", 1)
            && groups[0].values[0]->kind == ArchiveValue::Kind::Bytes)
            return ArchiveValue::string(groups[0].values[0]->text, leaf == "NSMutableString");
        v.damage = "expected its text as one group of type '+'";
    } else if (chainHas(chain, "NSArray")) {
        const auto n = countOf(groups);
        if (n && static_cast<std::size_t>(*n) == groups.size() - 1 && allSingleObjects(groups, 1)) {
            std::vector<ArchiveValuePtr> items;
            items.reserve(groups.size() - 1);
            for (std::size_t i = 1; i < groups.size(); ++i)
                items.push_back(groups[i].values[0]);
            return ArchiveValue::array(std::move(items), leaf == "NSMutableArray");
        }
        v.damage = collectionDamage(groups, 1);
    } else if (chainHas(chain, "NSDictionary")) {
        const auto n = countOf(groups);
        if (n && static_cast<std::size_t>(*n) * 2 == groups.size() - 1
            && allSingleObjects(groups, 1)) {
            std::vector<std::pair<ArchiveValuePtr, ArchiveValuePtr>> entries;
            entries.reserve(groups.size() / 2);
            for (std::size_t i = 1; i + 1 < groups.size(); i += 2)
                entries.emplace_back(groups[i].values[0], groups[i + 1].values[0]);
            return ArchiveValue::dictionary(std::move(entries), leaf == "NSMutableDictionary");
        }
        v.damage = collectionDamage(groups, 2);
    } else if (chainHas(chain, "NSValue")) {
        if (groups.size() == 2 && isGroup(groups[0], "*", 1)
            && groups[0].values[0]->kind == ArchiveValue::Kind::Bytes) {
            const std::string &objcType = groups[0].values[0]->text;
            if (objcType.size() == 1 && isGroup(groups[1], objcType, 1)) {
                const ArchiveValue &scalar = *groups[1].values[0];
                if (scalar.kind == ArchiveValue::Kind::Integer
                    || scalar.kind == ArchiveValue::Kind::Real) {
                    ArchiveValue number = scalar;
                    number.kind = ArchiveValue::Kind::Number;
                    return std::make_shared<const ArchiveValue>(std::move(number));
                }
            }
        }
        v.damage = "expected its type (a group of type '*') and one number of that type";
    } else if (chainHas(chain, "NSColor")) {
        if (auto color = colorOf(groups))
            return ArchiveValue::colorValue(std::move(*color));
    }
    v.kind = ArchiveValue::Kind::Object;
    v.offset = offset;
    v.classes = std::move(chain);
    v.groups = std::move(groups);
    return std::make_shared<const ArchiveValue>(std::move(v));
}

class Reader
{
public:
    explicit Reader(std::span<const std::uint8_t> bytes)
        : mBytes(bytes)
        , mBudget(std::max(kMinArchiveBudget, kArchiveExpansionFactor * bytes.size()))
    { }

    Archive read()
    {
        Archive archive;
        readHeader(archive);
        if (mPos == mBytes.size())
            fail("the archive holds no data", mPos);
        while (mPos < mBytes.size())
            archive.groups.push_back(readGroup(0));
        return archive;
    }

private:
    [[noreturn]] void fail(std::string message, std::size_t offset) const
    {
        throw Failure{ std::move(message), offset };
    }

    [[noreturn]] void failTruncated() const
    {
        fail("the data ends in the middle of a value", mBytes.size());
    }

    std::size_t remaining() const { return mBytes.size() - mPos; }

    // Counts what reading at `at` materialises against the budget.
    void charge(std::uint64_t n, std::size_t at)
    {
        mCharged += n;
        if (mCharged > mBudget)
            fail("references that expand to more than " + std::to_string(mBudget)
                         + " bytes in memory, one object or string being referred to too often",
                 at);
    }

    void need(std::uint64_t n) const
    {
        if (n > remaining())
            failTruncated();
    }

    int peekHead() const
    {
        need(1);
        return static_cast<std::int8_t>(mBytes[mPos]);
    }

    int readHead()
    {
        const int head = peekHead();
        ++mPos;
        return head;
    }

    // An n-byte number in the stream's byte order.
    std::uint64_t readRaw(int n)
    {
        need(static_cast<std::uint64_t>(n));
        std::uint64_t value = 0;
        for (int i = 0; i < n; ++i) {
            const int shift = mBigEndian ? 8 * (n - 1 - i) : 8 * i;
            value |= std::uint64_t(mBytes[mPos + static_cast<std::size_t>(i)]) << shift;
        }
        mPos += static_cast<std::size_t>(n);
        return value;
    }

    // A compact integer whose head byte (at `at`) has been read.
    std::int64_t compactInt(int head, std::size_t at, const char *what)
    {
        switch (head) {
        case kTagInt16:
            return static_cast<std::int16_t>(readRaw(2));
        case kTagInt32:
            return static_cast<std::int32_t>(readRaw(4));
        case kTagInt64:
            return static_cast<std::int64_t>(readRaw(8));
        default:
            if (head >= kSmallestTag && head <= kLargestTag)
                fail(unexpected(head, what), at);
            return head;
        }
    }

    std::int64_t readCompactInt(const char *what)
    {
        const std::size_t at = mPos;
        return compactInt(readHead(), at, what);
    }

    static std::string unexpected(int head, const char *what)
    {
        static const char digits[] = "0123456789ABCDEF";
        const auto byte = static_cast<std::uint8_t>(head);
        return std::string("unexpected byte 0x") + digits[byte >> 4] + digits[byte & 15] + " where "
               + what + " belongs";
    }

    // Bytes with a compact-int length; nullopt for nil.
    std::optional<std::string> readUnsharedString()
    {
        const std::size_t at = mPos;
        const int head = readHead();
        if (head == kTagNil)
            return std::nullopt;
        const std::int64_t length = compactInt(head, at, "a length");
        if (length < 0)
            fail("a negative length", at);
        if (static_cast<std::uint64_t>(length) > remaining())
            fail("a length of " + std::to_string(length) + " bytes runs past the end of the data",
                 at);
        charge(static_cast<std::uint64_t>(length), at);
        std::string text(reinterpret_cast<const char *>(mBytes.data() + mPos),
                         static_cast<std::size_t>(length));
        mPos += static_cast<std::size_t>(length);
        return text;
    }

    std::size_t
    tableIndex(std::int64_t reference, std::size_t size, std::size_t at, const char *table) const
    {
        const std::int64_t index =
                reference < INT64_MAX + kReferenceBase ? reference - kReferenceBase : -1;
        if (index < 0 || static_cast<std::uint64_t>(index) >= size)
            fail(std::string("a reference to a missing ") + table + " (#" + std::to_string(index)
                         + ")",
                 at);
        return static_cast<std::size_t>(index);
    }

    // The index in the string table of a shared string; nullopt for nil.
    std::optional<std::size_t> readSharedString()
    {
        const std::size_t at = mPos;
        const int head = readHead();
        if (head == kTagNil)
            return std::nullopt;
        if (head == kTagNew) {
            const std::size_t lengthAt = mPos;
            auto text = readUnsharedString();
            if (!text)
                fail("a shared string without text", lengthAt);
            mStrings.push_back(std::move(*text));
            mTypes.emplace_back();
            return mStrings.size() - 1;
        }
        return tableIndex(compactInt(head, at, "a string"), mStrings.size(), at, "string");
    }

    void readHeader(Archive &archive)
    {
        if (mBytes.size() < kHeaderSize || !looksLikeArchive(mBytes))
            fail("not a typedstream archive", 0);
        if (mBytes[0] != 4)
            fail("an archive of streamer version " + std::to_string(mBytes[0])
                         + ", which is not supported",
                 0);
        mBigEndian = mBytes[2] == 't';
        mPos = kHeaderSize;
        archive.bigEndian = mBigEndian;
        archive.systemVersion = readCompactInt("the system version");
    }

    // A group's type encoding: its string-table index and its parsed form.
    std::pair<std::size_t, const TypeList *> readTypes()
    {
        const std::size_t at = mPos;
        const auto index = readSharedString();
        if (!index)
            fail("a group without a type", at);
        std::shared_ptr<const TypeList> &cached = mTypes[*index];
        if (!cached) {
            auto types = std::make_shared<TypeList>();
            if (std::string problem = TypeParser(mStrings[*index]).parseAll(*types);
                !problem.empty())
                fail(problem + " (\"" + mStrings[*index].substr(0, 40) + "\")", at);
            cached = std::move(types);
        }
        return { *index, cached.get() };
    }

    ArchiveGroup readGroup(int depth)
    {
        ArchiveGroup group;
        const std::size_t at = mPos;
        const auto [index, types] = readTypes();
        charge(mStrings[index].size(), at);
        group.types = mStrings[index];
        for (const TypeNode &node : *types)
            readValue(node, depth, group.values);
        return group;
    }

    static ArchiveValuePtr
    scalar(ArchiveValue::Kind kind, char type, std::int64_t integer, double real)
    {
        ArchiveValue v;
        v.kind = kind;
        v.type = type;
        v.integer = integer;
        v.real = real;
        return std::make_shared<const ArchiveValue>(std::move(v));
    }

    static ArchiveValuePtr bytes(std::string text)
    {
        ArchiveValue v;
        v.kind = ArchiveValue::Kind::Bytes;
        v.text = std::move(text);
        return std::make_shared<const ArchiveValue>(std::move(v));
    }

    // Unsigned types keep their bit pattern at the declared width.
    static std::int64_t atWidth(char type, std::int64_t v)
    {
        switch (type) {
        case 's':
            return static_cast<std::int16_t>(v);
        case 'S':
            return static_cast<std::uint16_t>(v);
        case 'i':
        case 'l':
            return static_cast<std::int32_t>(v);
        case 'I':
        case 'L':
            return static_cast<std::uint32_t>(v);
        default:
            return v;
        }
    }

    void readValue(const TypeNode &node, int depth, std::vector<ArchiveValuePtr> &out)
    {
        const std::size_t at = mPos;
        if (node.code != '[' && node.code != '{') {
            if (++mValueCount > kMaxArchiveValues)
                fail("more than " + std::to_string(kMaxArchiveValues) + " values", at);
            charge(1, at);
        }
        switch (node.code) {
        case 'c':
        case 'C':
        case 'B': {
            need(1);
            const std::uint8_t byte = mBytes[mPos++];
            out.push_back(scalar(ArchiveValue::Kind::Integer, node.code,
                                 node.code == 'c' ? static_cast<std::int8_t>(byte) : byte, 0.0));
            return;
        }
        case 's':
        case 'S':
        case 'i':
        case 'I':
        case 'l':
        case 'L':
        case 'q':
        case 'Q':
            out.push_back(scalar(ArchiveValue::Kind::Integer, node.code,
                                 atWidth(node.code, readCompactInt("an integer")), 0.0));
            return;
        case 'f':
        case 'd': {
            const int head = readHead();
            double value;
            if (head == kTagReal) {
                if (node.code == 'f')
                    value = std::bit_cast<float>(static_cast<std::uint32_t>(readRaw(4)));
                else
                    value = std::bit_cast<double>(readRaw(8));
            } else {
                value = static_cast<double>(compactInt(head, at, "a number"));
                if (node.code == 'f')
                    value = static_cast<float>(value);
            }
            out.push_back(scalar(ArchiveValue::Kind::Real, node.code, 0, value));
            return;
        }
        case '+': {
            auto text = readUnsharedString();
            out.push_back(text ? bytes(std::move(*text)) : ArchiveValue::nil());
            return;
        }
        case '%':
        case ':': {
            const auto index = readSharedString();
            if (index)
                charge(mStrings[*index].size(), at);
            out.push_back(index ? bytes(mStrings[*index]) : ArchiveValue::nil());
            return;
        }
        case '*':
            out.push_back(readCString());
            return;
        case '#': {
            const auto cls = readClass();
            if (!cls) {
                out.push_back(ArchiveValue::nil());
                return;
            }
            ArchiveValue v;
            v.kind = ArchiveValue::Kind::Class;
            v.classes = chainOf(*cls, at);
            out.push_back(std::make_shared<const ArchiveValue>(std::move(v)));
            return;
        }
        case '@':
            out.push_back(readObject(depth));
            return;
        case '[': {
            const TypeNode &element = node.parts[0];
            if (node.minBytes > remaining())
                fail("an array of " + std::to_string(node.count)
                             + " elements runs past the end of the data",
                     at);
            if (element.code == 'c' || element.code == 'C') {
                charge(node.count, at);
                out.push_back(
                        bytes(std::string(reinterpret_cast<const char *>(mBytes.data() + mPos),
                                          static_cast<std::size_t>(node.count))));
                mPos += static_cast<std::size_t>(node.count);
                return;
            }
            for (std::uint64_t i = 0; i < node.count; ++i)
                readValue(element, depth, out);
            return;
        }
        case '{':
            for (const TypeNode &field : node.parts)
                readValue(field, depth, out);
            return;
        default:
            fail("an unsupported type", at); // refused by the parser already
        }
    }

    ArchiveValuePtr readCString()
    {
        const std::size_t at = mPos;
        const int head = readHead();
        if (head == kTagNil)
            return ArchiveValue::nil();
        if (head == kTagNew) {
            const std::size_t textAt = mPos;
            const auto index = readSharedString();
            if (!index)
                fail("a C string without text", textAt);
            TableEntry entry;
            entry.type = EntryType::CString;
            entry.complete = true;
            entry.text = mStrings[*index];
            charge(entry.text.size(), at);
            mObjects.push_back(std::move(entry));
            return bytes(mStrings[*index]);
        }
        const TableEntry &entry = mObjects[tableIndex(compactInt(head, at, "a C string"),
                                                      mObjects.size(), at, "object")];
        if (entry.type != EntryType::CString)
            fail("a reference to something other than a C string", at);
        charge(entry.text.size(), at);
        return bytes(entry.text);
    }

    // The object-table index of a class (with its superclasses); nullopt for nil. `depth` counts
    // the subclasses being read, so that a long chain fails before it runs deep.
    std::optional<std::size_t> readClass(int depth = 0)
    {
        const std::size_t at = mPos;
        const int head = readHead();
        if (head == kTagNil)
            return std::nullopt;
        if (head != kTagNew) {
            const std::size_t index =
                    tableIndex(compactInt(head, at, "a class"), mObjects.size(), at, "object");
            const TableEntry &entry = mObjects[index];
            if (entry.type != EntryType::Class)
                fail("a reference to something other than a class", at);
            if (!entry.complete)
                fail("a class that is its own superclass", at);
            return index;
        }
        if (depth >= kMaxArchiveClassChain)
            fail(chainTooLong(), at);
        const std::size_t nameAt = mPos;
        const auto name = readSharedString();
        if (!name)
            fail("a class without a name", nameAt);
        const std::size_t index = mObjects.size();
        TableEntry entry;
        entry.type = EntryType::Class;
        entry.text = mStrings[*name];
        entry.version = readCompactInt("a class version");
        mObjects.push_back(std::move(entry));
        const std::size_t superAt = mPos;
        const auto superclass = readClass(depth + 1);
        const int length = superclass ? mObjects[*superclass].chainLength + 1 : 1;
        if (depth + length > kMaxArchiveClassChain)
            fail(chainTooLong(), superAt);
        TableEntry &self = mObjects[index];
        self.superclass = superclass;
        self.chainLength = length;
        self.complete = true;
        return index;
    }

    static std::string chainTooLong()
    {
        return "a class chain longer than " + std::to_string(kMaxArchiveClassChain) + " classes";
    }

    std::vector<ArchiveClass> chainOf(std::size_t index, std::size_t at)
    {
        std::vector<ArchiveClass> chain;
        for (std::optional<std::size_t> i = index; i; i = mObjects[*i].superclass) {
            charge(mObjects[*i].text.size(), at);
            chain.push_back({ mObjects[*i].text, mObjects[*i].version });
        }
        return chain;
    }

    ArchiveValuePtr readObject(int depth)
    {
        const std::size_t at = mPos;
        const int head = readHead();
        if (head == kTagNil)
            return ArchiveValue::nil();
        if (head != kTagNew) {
            const TableEntry &entry = mObjects[tableIndex(compactInt(head, at, "an object"),
                                                          mObjects.size(), at, "object")];
            if (entry.type != EntryType::Object)
                fail("a reference to something other than an object", at);
            if (!entry.complete)
                fail("an object that contains itself", at);
            charge(entry.weight, at);
            return entry.object;
        }
        if (depth >= kMaxArchiveDepth)
            fail("objects nested more than " + std::to_string(kMaxArchiveDepth) + " deep", at);
        const std::size_t index = mObjects.size();
        const std::uint64_t chargedBefore = mCharged;
        mObjects.emplace_back();
        const std::size_t classAt = mPos;
        const auto cls = readClass();
        if (!cls)
            fail("an object without a class", classAt);
        std::vector<ArchiveGroup> groups;
        while (peekHead() != kTagEnd)
            groups.push_back(readGroup(depth + 1));
        ++mPos;
        ArchiveValuePtr object = classify(chainOf(*cls, at), std::move(groups), at);
        mObjects[index].object = object;
        mObjects[index].complete = true;
        mObjects[index].weight = mCharged - chargedBefore;
        return object;
    }

    std::span<const std::uint8_t> mBytes;
    std::size_t mPos = 0;
    bool mBigEndian = false;
    std::vector<std::string> mStrings;
    // Parsed type encodings, by string-table index, parsed on first use as a group's type.
    std::vector<std::shared_ptr<const TypeList>> mTypes;
    std::vector<TableEntry> mObjects;
    std::size_t mValueCount = 0;
    std::uint64_t mBudget;
    std::uint64_t mCharged = 0;
};

} // namespace

const ArchiveValue *Archive::root() const
{
    if (groups.size() != 1 || groups[0].types != "@" || groups[0].values.size() != 1)
        return nullptr;
    return groups[0].values[0].get();
}

bool looksLikeArchive(std::span<const std::uint8_t> bytes)
{
    if (bytes.size() < kHeaderSize || (bytes[0] != 3 && bytes[0] != 4) || bytes[1] != 11)
        return false;
    const std::string_view signature(reinterpret_cast<const char *>(bytes.data() + 2), 11);
    return signature == kLittleEndianSignature || signature == kBigEndianSignature;
}

bool readArchive(std::span<const std::uint8_t> bytes, Archive &out, ArchiveError *error)
{
    try {
        out = Reader(bytes).read();
        return true;
    } catch (const Failure &failure) {
        if (error)
            *error = { failure.message, failure.offset };
    } catch (const std::bad_alloc &) {
        if (error)
            *error = { "the archive is too large to read", 0, true };
    }
    return false;
}

} // namespace sprig
