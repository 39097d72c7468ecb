#include "archive/archivevalue.h"

namespace sprig {

int ArchiveColor::componentCount(int kind)
{
    switch (kind) {
    case CalibratedRgb:
    case DeviceRgb:
        return 4;
    case CalibratedWhite:
    case DeviceWhite:
        return 2;
    case DeviceCmyk:
        return 5;
    default:
        return -1;
    }
}

double ArchiveValue::toDouble() const
{
    switch (kind) {
    case Kind::Integer:
    case Kind::Number:
        if (isIntegral())
            return type == 'Q' ? static_cast<double>(static_cast<std::uint64_t>(integer))
                               : static_cast<double>(integer);
        return real;
    case Kind::Real:
        return real;
    default:
        return 0.0;
    }
}

const ArchiveValue *ArchiveValue::find(std::string_view key) const
{
    if (kind != Kind::Dictionary)
        return nullptr;
    const ArchiveValue *found = nullptr;
    for (std::size_t i = 0; i + 1 < items.size(); i += 2) {
        const ArchiveValue &k = *items[i];
        if (k.kind == Kind::String && k.text == key)
            found = items[i + 1].get();
    }
    return found;
}

ArchiveValuePtr ArchiveValue::nil()
{
    static const ArchiveValuePtr value = std::make_shared<const ArchiveValue>();
    return value;
}

ArchiveValuePtr ArchiveValue::string(std::string text, bool isMutable)
{
    ArchiveValue v;
    v.kind = Kind::String;
    v.text = std::move(text);
    v.isMutable = isMutable;
    return std::make_shared<const ArchiveValue>(std::move(v));
}

ArchiveValuePtr ArchiveValue::array(std::vector<ArchiveValuePtr> items, bool isMutable)
{
    ArchiveValue v;
    v.kind = Kind::Array;
    v.items = std::move(items);
    v.isMutable = isMutable;
    return std::make_shared<const ArchiveValue>(std::move(v));
}

ArchiveValuePtr
ArchiveValue::dictionary(std::vector<std::pair<std::string, ArchiveValuePtr>> entries,
                         bool isMutable)
{
    std::vector<std::pair<ArchiveValuePtr, ArchiveValuePtr>> keyed;
    keyed.reserve(entries.size());
    for (auto &[key, value] : entries)
        keyed.emplace_back(string(std::move(key)), std::move(value));
    return dictionary(std::move(keyed), isMutable);
}

ArchiveValuePtr
ArchiveValue::dictionary(std::vector<std::pair<ArchiveValuePtr, ArchiveValuePtr>> entries,
                         bool isMutable)
{
    ArchiveValue v;
    v.kind = Kind::Dictionary;
    v.isMutable = isMutable;
    v.items.reserve(entries.size() * 2);
    for (auto &[key, value] : entries) {
        v.items.push_back(std::move(key));
        v.items.push_back(std::move(value));
    }
    return std::make_shared<const ArchiveValue>(std::move(v));
}

ArchiveValuePtr ArchiveValue::number(std::int64_t value, char type)
{
    ArchiveValue v;
    v.kind = Kind::Number;
    v.type = type;
    v.integer = value;
    return std::make_shared<const ArchiveValue>(std::move(v));
}

ArchiveValuePtr ArchiveValue::realNumber(double value, char type)
{
    ArchiveValue v;
    v.kind = Kind::Number;
    v.type = type;
    v.real = value;
    return std::make_shared<const ArchiveValue>(std::move(v));
}

ArchiveValuePtr ArchiveValue::colorValue(ArchiveColor color)
{
    ArchiveValue v;
    v.kind = Kind::Color;
    v.color = std::move(color);
    return std::make_shared<const ArchiveValue>(std::move(v));
}

} // namespace sprig
